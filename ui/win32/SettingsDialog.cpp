#include "SettingsDialog.h"

#include <algorithm>

#include "MainWindow.h"
#include "forms/Form2Design.h"
#include "serial/PortList.h"

namespace vemkard::win32 {
namespace {

constexpr wchar_t kClassName[] = L"VemkardForm2";
// Sets the field to a picked entry's path once the box has set its text.
constexpr UINT kPickedMessage = WM_APP + 1;
constexpr int kDropDownHeight = 200;
constexpr int kLabel1Width = 70, kLabel1Height = 16;

}  // namespace

TForm2::TForm2(TForm1& form1)
    : form1_(form1),
      background_(CreateSolidBrush(Rgb(kForm2Colour))),
      form_(form1.Form(), *this, store_, NumberedPortNames,
            [](const std::string& path) { return DescribeSerialPort(path); }) {
    RegisterWindowClass(kClassName, &Dispatch<TForm2>);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, ToWide(kForm2Title).c_str(),
                              WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, form1.Window(),
                              nullptr, instance, this);
    label1_ = CreateWindowExW(0, L"STATIC", ToWide(kLabel1Text).c_str(),
                              WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0,
                              window_, nullptr, instance, nullptr);
    // First in the tab order; no completion rewrites what was typed.
    comboBox1_ = CreateWindowExW(
        0, WC_COMBOBOXW, ToWide(kComboBox1Initial).c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, 0, 0,
        0, window_, nullptr, instance, nullptr);
    button1_ = CreateWindowExW(0, WC_BUTTONW, ToWide(kButton1Caption).c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
                               window_, reinterpret_cast<HMENU>(IDOK), instance, nullptr);
    Layout();
    form1_.SetForm2(this);
    Guarded(form1.Window(), [this] { form_.LoadSettings(); });
}

TForm2::~TForm2() {
    FormDestroy();
    form1_.SetForm2(nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    DeleteObject(background_);
}

void TForm2::Layout() {
    fonts_.SetDpi(GetDpiForWindow(window_));
    SizeClient(window_, kForm2Width, kForm2Height, fonts_.Dpi);
    const auto place = [this](HWND control, const TRect& rect, HFONT font) {
        MoveWindow(control, Scale(rect.left, fonts_.Dpi), Scale(rect.top, fonts_.Dpi),
                   Scale(rect.width, fonts_.Dpi), Scale(rect.height, fonts_.Dpi), TRUE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    };
    place(label1_, {kLabel1Left, kLabel1Top, kLabel1Width, kLabel1Height}, fonts_.Bold);
    // A combo box's height is its field's and its list's.
    place(comboBox1_,
          {kComboBox1Rect.left, kComboBox1Rect.top, kComboBox1Rect.width, kDropDownHeight},
          fonts_.Regular);
    place(button1_, kButton1Rect, fonts_.Bold);
}

bool TForm2::ShowModal() {
    Guarded(window_, [this] { form_.FormShow(); });
    // The descriptions are longer than the field: the list may be wider.
    int width = 0;
    const HDC dc = GetDC(comboBox1_);
    const HGDIOBJ old = SelectObject(dc, fonts_.Regular);
    const int count = int(SendMessageW(comboBox1_, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring text(std::size_t(SendMessageW(comboBox1_, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(comboBox1_, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), int(std::wcslen(text.c_str())), &size);
        width = std::max<int>(width, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(comboBox1_, dc);
    SendMessageW(comboBox1_, CB_SETDROPPEDWIDTH, width + GetSystemMetrics(SM_CXVSCROLL) + 8, 0);

    const HWND owner = form1_.Window();
    CentreOnScreen(window_);
    EnableWindow(owner, FALSE);
    ShowWindow(window_, SW_SHOW);
    SetFocus(comboBox1_);
    modal_ = true;
    accepted_ = false;
    MSG message;
    while (modal_) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
            PostQuitMessage(int(message.wParam));  // for the main loop
            break;
        }
        // Enter presses OK, Tab moves between the controls.
        if (IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    EnableWindow(owner, TRUE);
    ShowWindow(window_, SW_HIDE);
    SetActiveWindow(owner);
    return accepted_;
}

void TForm2::FormDestroy() {
    Guarded(form1_.Window(), [this] { form_.FormDestroy(); });
}

std::string TForm2::PortText() const {
    return WindowText(comboBox1_);
}

void TForm2::SetPortText(std::string_view text) {
    SetWindowTextW(comboBox1_, ToWide(text).c_str());
}

void TForm2::ClearPorts() {
    SendMessageW(comboBox1_, CB_RESETCONTENT, 0, 0);
    paths_.clear();
}

void TForm2::AddPort(std::string_view description, std::string_view path) {
    SendMessageW(comboBox1_, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(ToWide(description).c_str()));
    paths_.push_back(ToWide(path));
}

LRESULT TForm2::Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK && modal_) {
                // The modal result is set before the click handler runs.
                accepted_ = true;
                modal_ = false;
                Guarded(window_, [this] { form_.Button1Click(); });
            } else if (reinterpret_cast<HWND>(lParam) == comboBox1_ &&
                       (HIWORD(wParam) == CBN_SELCHANGE || HIWORD(wParam) == CBN_SELENDOK)) {
                // The box puts the entry's description in the field; the
                // port name is its path.
                PostMessageW(window_, kPickedMessage,
                             WPARAM(SendMessageW(comboBox1_, CB_GETCURSEL, 0, 0)), 0);
            }
            // No cancel button: Esc (IDCANCEL) closes nothing.
            return 0;
        case kPickedMessage:
            if (wParam < paths_.size()) SetWindowTextW(comboBox1_, paths_[wParam].c_str());
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(IDOK, DC_HASDEFID);
        case WM_CLOSE:
            modal_ = false;
            return 0;
        case WM_CTLCOLORSTATIC:
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(background_);
        case WM_ERASEBKGND: {
            RECT rect{};
            GetClientRect(window, &rect);
            FillRect(reinterpret_cast<HDC>(wParam), &rect, background_);
            return 1;
        }
        case WM_DPICHANGED:
            Layout();
            return 0;
        default:
            return DefWindowProcW(window, msg, wParam, lParam);
    }
}

}  // namespace vemkard::win32
