#include "Services.h"

#include <commdlg.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "forms/FileFilter.h"
#include "forms/Form2Design.h"
#include "forms/UncaughtError.h"

namespace vemkard::win32 {

HFONT MakeFont(UINT dpi, bool bold) {
    const std::wstring name = ToWide(kWindowFontName);
    return CreateFontW(-Scale(kWindowFontPixels, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, name.c_str());
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, UINT style, HBRUSH background,
                         HICON icon) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);
}

void SizeClient(HWND window, int width, int height, UINT dpi) {
    RECT rect{0, 0, Scale(width, dpi), Scale(height, dpi)};
    AdjustWindowRectExForDpi(&rect, DWORD(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                             DWORD(GetWindowLongPtrW(window, GWL_EXSTYLE)), dpi);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreOnScreen(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& screen = monitor.rcMonitor;
    SetWindowPos(window, nullptr, (screen.left + screen.right - (frame.right - frame.left)) / 2,
                 (screen.top + screen.bottom - (frame.bottom - frame.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), int(text.size()))));
    return ToUtf8(text);
}

void TErrorBox::ShowError(std::string_view text) {
    MessageBoxW(owner_, ToWide(text).c_str(), ToWide(kErrorBoxCaption).c_str(),
                MB_OK | MB_ICONERROR);
}

void TTimer::Start(int milliseconds) {
    active_ = SetTimer(window_, id_, static_cast<UINT>(milliseconds), nullptr) != 0;
}

void TTimer::Stop() {
    if (active_) KillTimer(window_, id_);
    active_ = false;
}

void TTimer::Fire() {
    // Single shot: the system's timer repeats.
    Stop();
    if (OnTimer) OnTimer();
}

std::optional<std::string> TUserDialogs::OpenFile(std::string_view filter, int filterIndex,
                                                  std::string_view defaultExtension) {
    // "description\0patterns\0...\0\0"
    std::wstring filters;
    for (const TFileFilter& each : ParseFileFilter(filter)) {
        filters += ToWide(each.description) + L'\0';
        for (std::size_t i = 0; i < each.patterns.size(); ++i)
            filters += (i ? L";" : L"") + ToWide(each.patterns[i]);
        filters += L'\0';
    }
    filters += L'\0';
    const std::wstring extension = ToWide(DefaultSuffix(defaultExtension));
    std::vector<wchar_t> path(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(filterIndex);
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // A typed name of a missing file is accepted; the caller reports it.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) return {};
    return ToUtf8(path.data());
}

bool TUserDialogs::ConfirmWarning(std::string_view text) {
    return MessageBoxW(owner_, ToWide(text).c_str(), L"Warning",
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1) == IDYES;
}

namespace {

// The key, opened or made anew on each call; closed when it goes.
struct TKey {
    HKEY key = nullptr;
    TKey() {
        const std::wstring path =
            L"Software\\" + ToWide(kSettingsOrganisation) + L"\\" + ToWide(kSettingsApplication);
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~TKey() {
        if (key) RegCloseKey(key);
    }
    // The value's type and bytes; false when there is none.
    bool Read(std::string_view name, DWORD& type, std::vector<BYTE>& data) const {
        const std::wstring value = ToWide(name);
        DWORD size = 0;
        if (!key ||
            RegQueryValueExW(key, value.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return false;
        data.assign(size, 0);
        return RegQueryValueExW(key, value.c_str(), nullptr, &type, data.data(), &size) ==
                   ERROR_SUCCESS &&
               (data.resize(size), true);
    }
};

}  // namespace

std::optional<std::string> TRegistryStore::ReadString(std::string_view name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!TKey().Read(name, type, data) || type != REG_SZ) return {};
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    // Stored with or without its terminating zero.
    text.resize(std::wcslen(text.c_str()));
    return ToUtf8(text);
}

std::optional<int> TRegistryStore::ReadInteger(std::string_view name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!TKey().Read(name, type, data) || type != REG_DWORD || data.size() != sizeof(DWORD))
        return {};
    std::int32_t value = 0;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

void TRegistryStore::WriteString(std::string_view name, std::string_view value) {
    const TKey key;
    const std::wstring text = ToWide(value);
    if (key.key)
        RegSetValueExW(key.key, ToWide(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void TRegistryStore::WriteInteger(std::string_view name, int value) {
    const TKey key;
    const DWORD number = static_cast<DWORD>(value);
    if (key.key)
        RegSetValueExW(key.key, ToWide(name).c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&number), sizeof number);
}

// Comm321 as the main window sets it up: odd parity, no flow control, no
// event character.
TPort::TPort() : comm_(*this) {
    comm_.SetParity(pOdd), comm_.SetFlowControl(fcNone), comm_.SetEventChar(0);
}

void TPort::SetBaudRate(std::uint32_t rate) {
    comm_.SetBaudRate(rate);
}

void TPort::SetReceiveHandler(std::function<void(const void*, std::uint16_t)> handler) {
    comm_.OnReceiveData = std::move(handler);
}

void TPort::ProbePort(const std::string& name) {
    comm_.ProbePort(name);
}

}  // namespace vemkard::win32
