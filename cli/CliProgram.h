// vemkard-cli: the console's files and firmware from a shell, on the same
// session as the window, with exit statuses and a line trace. The program
// itself, whatever the platform's entry point: posix/main.cpp, win32/main.cpp.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vemkard {

// Runs the command line `arguments` (UTF-8, without the program's name);
// `portVariable` is VEMKARD_PORT when set. Messages go to std::cerr, results
// to std::cout, both UTF-8. Returns the exit status.
int RunCliProgram(const std::vector<std::string>& arguments,
                  const std::optional<std::string>& portVariable);

}  // namespace vemkard
