// Ctrl-C, Ctrl-Break and closing the console window, from the console's
// control handler. Windows runs the handler on a thread of its own.
#include <mutex>
#include <system_error>

#include "cli/win32/InterruptWatch.h"

namespace vemkard {
namespace {

// The program has one TInterrupt at a time; the handler finds it here.
std::mutex g_mutex;
TInterrupt* g_interrupt = nullptr;  // guarded by g_mutex
// Set when the TInterrupt has gone, that is when the program has said what
// was done. Never closed: a handler may still wait on it.
const HANDLE g_ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI OnConsoleControl(DWORD event) {
    {
        std::lock_guard lock(g_mutex);
        if (!g_interrupt) return FALSE;
        if (g_interrupt->MarkRequested()) {
            TInterruptWatch& watch = g_interrupt->Watch();
            SetEvent(watch.wake);
            if (const HANDLE reader = watch.reader.load()) CancelSynchronousIo(reader);
            g_interrupt->RunCallback();
        }
    }
    // Windows ends the process as soon as the handler of a closed window (or
    // a logoff, a shutdown) returns, and gives it 5 s: wait for the program
    // to close the port and say what was done.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_ended, 4500);
    return TRUE;
}

}  // namespace

TInterrupt::TInterrupt() : watch_(std::make_unique<TInterruptWatch>()) {
    watch_->wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!watch_->wake)
        throw std::system_error(int(GetLastError()), std::system_category(), "CreateEvent");
    std::lock_guard lock(g_mutex);
    g_interrupt = this;
    ResetEvent(g_ended);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TInterrupt::~TInterrupt() {
    {
        std::lock_guard lock(g_mutex);
        g_interrupt = nullptr;
    }
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    SetEvent(g_ended);
    CloseHandle(watch_->wake);
}

}  // namespace vemkard
