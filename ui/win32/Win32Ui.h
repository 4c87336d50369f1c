// Private to ui/win32: <windows.h> and the common controls, and what every
// part of the window uses: text conversion, the design's scale, colours.
#pragma once

// clang-format off
// First: the serial constants share names with <windows.h> macros.
#include "serial/CommMessage.h"
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <string>
#include <string_view>
#include <utility>

#include "forms/Form1Design.h"
#include "forms/UncaughtError.h"
#include "text/win32/WideText.h"

namespace vemkard::win32 {

// The design's pixels at 96 dots per inch, at `dpi`.
inline int Scale(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), 96);
}
inline COLORREF Rgb(TColour colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

// The window font ("MS Sans Serif", or the system's stand-in) at `dpi`.
HFONT MakeFont(UINT dpi, bool bold);

// Registers a window class (again: no harm) whose procedure is Dispatch<T>.
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, UINT style = 0,
                         HBRUSH background = nullptr, HICON icon = nullptr);

// A window procedure that hands each message to the object given as the
// creation parameter: T::Handle(window, msg, wParam, lParam).
template <typename T>
LRESULT CALLBACK Dispatch(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* object = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return object ? object->Handle(window, msg, wParam, lParam)
                  : DefWindowProcW(window, msg, wParam, lParam);
}

// Gives the window a client area of the design's size at `dpi`.
void SizeClient(HWND window, int width, int height, UINT dpi);
// Puts the window in the middle of its screen.
void CentreOnScreen(HWND window);

// The window font in both weights at a window's dpi, made anew by SetDpi.
class TFonts {
  public:
    TFonts() = default;
    TFonts(const TFonts&) = delete;
    TFonts& operator=(const TFonts&) = delete;
    ~TFonts() { Free(); }
    void SetDpi(UINT dpi) {
        Free();
        Dpi = dpi;
        Regular = MakeFont(dpi, false);
        Bold = MakeFont(dpi, true);
    }

    UINT Dpi = 96;
    HFONT Regular = nullptr;
    HFONT Bold = nullptr;

  private:
    void Free() {
        for (HFONT font : {Regular, Bold})
            if (font) DeleteObject(font);
    }
};

// A window's text as UTF-8.
std::string WindowText(HWND window);

// The error box: a modal MessageBoxW over `owner`.
class TErrorBox : public IErrorBox {
  public:
    explicit TErrorBox(HWND owner) : owner_(owner) {}
    void ShowError(std::string_view text) override;

  private:
    HWND owner_;
};

// Runs a handler of the forms; what it lets escape goes to the error box,
// never through the system's frames.
template <typename F>
void Guarded(HWND owner, F&& handler) {
    TErrorBox box(owner);
    RunGuarded(box, std::forward<F>(handler));
}

}  // namespace vemkard::win32
