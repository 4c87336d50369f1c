#include "cli/Terminal.h"

#include "cli/win32/InterruptWatch.h"
#include "text/win32/WideText.h"

namespace vemkard {

bool IsTerminal(TStandardStream stream) {
    DWORD mode = 0;
    return GetConsoleMode(
               GetStdHandle(stream == TStandardStream::Input ? STD_INPUT_HANDLE : STD_ERROR_HANDLE),
               &mode) != 0;
}

std::size_t TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 79;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 1 ? std::size_t(columns - 1) : 79;
}

std::string ReadTerminalLine(const TInterrupt& interrupt) {
    TInterruptWatch& watch = interrupt.Watch();
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    // Ctrl-Break and a closed window do not end a console read as Ctrl-C
    // does: the control handler cancels it.
    watch.reader = self;
    std::wstring line;
    for (;;) {
        const HANDLE handles[] = {watch.wake, input};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) break;
        // The console edits and echoes the line; this returns with it after Enter.
        wchar_t text[256];
        DWORD got = 0;
        if (!ReadConsoleW(input, text, 256, &got, nullptr) || got == 0) break;
        line.append(text, got);
        if (line.find(L'\n') != std::wstring::npos) break;
    }
    watch.reader = nullptr;
    if (self) CloseHandle(self);
    line = line.substr(0, line.find_first_of(L"\r\n"));
    return win32::ToUtf8(line);
}

}  // namespace vemkard
