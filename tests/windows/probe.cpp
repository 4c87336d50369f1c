// Reads vemkard.exe's main window from outside, through the messages that
// screen readers and test tools use, and prints it as UTF-8 lines:
//   title= status= counter= progress= (WM_GETTEXT, PBM_GETPOS)
//   origin=X,Y      the client area's top left on the screen
//   frame=WxH+X+Y   the window with its frame on the screen
//   box=TITLE       each other dialog of the program (message box, file dialog)
//   button.NAME=X,Y row1=X,Y  where to click a tool button, the grid's first
//                   file (the design's places, at the window's dpi)
//   probe.exe [--until TEXT] [--close]
// --until repeats, for up to 20 s, until a line holds TEXT (status 1 if none
// does); --close then posts WM_CLOSE to the window. Status 2: no window.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "forms/Form1Design.h"

namespace {

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

std::wstring Text(HWND window) {
    wchar_t text[1024] = L"";
    SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

bool IsVemkard(DWORD process) {
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (!handle) return false;
    wchar_t path[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    const bool read = QueryFullProcessImageNameW(handle, 0, path, &size);
    CloseHandle(handle);
    const std::wstring image = path;
    return read && image.size() >= 12 &&
           _wcsicmp(image.c_str() + image.size() - 12, L"\\vemkard.exe") == 0;
}

struct Found {
    HWND main = nullptr, status = nullptr, progress = nullptr, counter = nullptr;
    std::vector<HWND> boxes;
};

BOOL CALLBACK OnChild(HWND child, LPARAM data) {
    auto& found = *reinterpret_cast<Found*>(data);
    const std::wstring name = ClassOf(child);
    if (name == STATUSCLASSNAMEW) found.status = child;
    if (name == PROGRESS_CLASSW) found.progress = child;
    // The queue counter is the static control at Label4's place.
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    const int dpi = static_cast<int>(GetDpiForWindow(child));
    if (_wcsicmp(name.c_str(), L"Static") == 0 &&
        rect.left == MulDiv(vemkard::kLabel4Left, dpi, 96) &&
        rect.top == MulDiv(vemkard::kLabel4Top, dpi, 96))
        found.counter = child;
    return TRUE;
}

BOOL CALLBACK OnWindow(HWND window, LPARAM data) {
    auto& found = *reinterpret_cast<Found*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!IsWindowVisible(window) || !IsVemkard(process)) return TRUE;
    if (ClassOf(window) == L"#32770") {
        found.boxes.push_back(window);
    } else if (FindWindowExW(window, nullptr, STATUSCLASSNAMEW, nullptr)) {
        found.main = window;
        EnumChildWindows(window, OnChild, data);
    }
    return TRUE;
}

std::string Describe(const Found& found) {
    POINT origin{0, 0};
    ClientToScreen(found.main, &origin);
    std::string lines = "title=" + Utf8(Text(found.main)) + "\n";
    lines += "status=" + (found.status ? Utf8(Text(found.status)) : "(none)") + "\n";
    lines += "counter=" + (found.counter ? Utf8(Text(found.counter)) : "(none)") + "\n";
    lines += "progress=" +
             (found.progress ? std::to_string(SendMessageW(found.progress, PBM_GETPOS, 0, 0))
                             : "(none)") +
             "\n";
    lines += "origin=" + std::to_string(origin.x) + "," + std::to_string(origin.y) + "\n";
    RECT frame{};
    GetWindowRect(found.main, &frame);
    lines += "frame=" + std::to_string(frame.right - frame.left) + "x" +
             std::to_string(frame.bottom - frame.top) + "+" + std::to_string(frame.left) + "+" +
             std::to_string(frame.top) + "\n";
    const int dpi = static_cast<int>(GetDpiForWindow(found.main));
    const auto at = [&](const std::string& name, int x, int y) {
        return name + "=" + std::to_string(origin.x + MulDiv(x, dpi, 96)) + "," +
               std::to_string(origin.y + MulDiv(y, dpi, 96)) + "\n";
    };
    for (const vemkard::TToolItem& item : vemkard::kToolItems)
        if (item.image >= 0)
            lines += at(std::string("button.") + item.name, item.left + item.width / 2,
                        vemkard::kToolButtonTop + vemkard::kToolButtonHeight / 2);
    // Below the grid's border and its row of titles.
    const vemkard::TRect grid = vemkard::GridRect(vemkard::kForm1Width);
    lines += at("row1", grid.left + vemkard::ColumnWidth(grid.width, 0) + 40,
                grid.top + 1 + vemkard::kGridRowHeight * 3 / 2);
    for (HWND box : found.boxes) lines += "box=" + Utf8(Text(box)) + "\n";
    return lines;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string until;
    bool close = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--until" && i + 1 < argc) until = Utf8(argv[++i]);
        if (arg == L"--close") close = true;
    }
    std::string lines;
    bool seen = false;
    for (int tries = 0; tries < 400; ++tries) {
        Found found;
        EnumWindows(OnWindow, reinterpret_cast<LPARAM>(&found));
        if (found.main) {
            lines = Describe(found);
            seen = lines.find(until) != std::string::npos;
            if (seen && close) PostMessageW(found.main, WM_CLOSE, 0, 0);
        }
        if (seen || until.empty()) break;
        Sleep(50);
    }
    _setmode(_fileno(stdout), _O_BINARY);  // \n, not \r\n
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    if (lines.empty()) std::fputs("probe: no vemkard.exe window\n", stderr);
    return lines.empty() ? 2 : seen ? 0 : 1;
}
