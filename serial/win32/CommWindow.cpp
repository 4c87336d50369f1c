#include "CommWindow.h"

#include <memory>
#include <system_error>

#include "serial/Comm32.h"

namespace vemkard {
namespace {

constexpr wchar_t kClassName[] = L"VemkardComm32";

bool IsCommMessage(UINT msg) {
    return msg >= WM_COMM_DATA && msg <= WM_COMM_WRITTEN;
}

}  // namespace

TCommWindow::TCommWindow() {
    static const ATOM registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &TCommWindow::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass);
    }();
    if (registered != 0) {
        window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    }
    if (!window_) throw std::system_error(int(GetLastError()), std::system_category());
}

TCommWindow::~TCommWindow() {
    MSG message;
    while (PeekMessageW(&message, window_, WM_COMM_DATA, WM_COMM_WRITTEN, PM_REMOVE)) {
        delete reinterpret_cast<TCommMessage*>(message.lParam);
    }
    DestroyWindow(window_);
}

bool TCommWindow::Post(TCommMessage message) {
    auto copy = std::make_unique<TCommMessage>(std::move(message));
    if (!PostMessageW(window_, copy->Msg, copy->WParam, reinterpret_cast<LPARAM>(copy.get())))
        return false;
    copy.release();  // the window procedure frees it
    return true;
}

LRESULT CALLBACK TCommWindow::Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!IsCommMessage(msg) || lParam == 0) return DefWindowProcW(window, msg, wParam, lParam);
    const std::unique_ptr<TCommMessage> message(reinterpret_cast<TCommMessage*>(lParam));
    TComm32::Deliver(*message);
    return 0;
}

}  // namespace vemkard
