// The terminal (the console on Windows) that the program talks to: whether
// a standard stream is one, how wide it is, a line typed on it. One
// implementation per platform, cli/posix/ and cli/win32/.
//
// Thread rules: the owner thread only.
#pragma once

#include <cstddef>
#include <string>

namespace vemkard {

class TInterrupt;

enum class TStandardStream { Input, Error };

// True when `stream` is a terminal rather than a file or a pipe.
bool IsTerminal(TStandardStream stream);

// The characters a line of standard error's terminal takes, less one so
// that the cursor stays on it; 79 when that cannot be told.
std::size_t TerminalColumns();

// One line typed on standard input, UTF-8, without its line end. Returns
// what came so far when the input ends or `interrupt` is requested.
std::string ReadTerminalLine(const TInterrupt& interrupt);

}  // namespace vemkard
