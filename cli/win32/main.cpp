// The Windows entry point: the arguments come as wide strings, and the
// output goes through TConsoleOutput.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "cli/win32/ConsoleOutput.h"
#include "text/win32/WideText.h"

int wmain(int argc, wchar_t** argv) {
    using namespace vemkard;
    win32::TConsoleOutput out(STD_OUTPUT_HANDLE);
    win32::TConsoleOutput err(STD_ERROR_HANDLE);
    // Put back before the buffers go: the streams outlive them.
    const struct TStreams {
        std::streambuf* out;
        std::streambuf* err;
        ~TStreams() {
            std::cout.flush();
            std::cerr.flush();
            std::cout.rdbuf(out);
            std::cerr.rdbuf(err);
        }
    } streams{std::cout.rdbuf(&out), std::cerr.rdbuf(&err)};

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(win32::ToUtf8(argv[i]));
    const std::wstring name = win32::ToWide(kPortVariable);
    const wchar_t* port = _wgetenv(name.c_str());
    return RunCliProgram(arguments,
                         port ? std::optional<std::string>(win32::ToUtf8(port)) : std::nullopt);
}
