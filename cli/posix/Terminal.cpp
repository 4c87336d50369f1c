#include "cli/Terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/posix/InterruptWatch.h"

namespace vemkard {

bool IsTerminal(TStandardStream stream) {
    return ::isatty(stream == TStandardStream::Input ? STDIN_FILENO : STDERR_FILENO) != 0;
}

std::size_t TerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1;
    return 79;
}

std::string ReadTerminalLine(const TInterrupt& interrupt) {
    std::string line;
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {interrupt.Watch().wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) break;
        if (fds[1].revents != 0) break;
        char c = 0;
        if (::read(STDIN_FILENO, &c, 1) != 1 || c == '\n') break;
        line += c;
    }
    return line;
}

}  // namespace vemkard
