// The command line of vemkard-cli: the command, its arguments and the options.
// The settings that the window keeps (port, device) come from here.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemkard {

enum class TCliCommand { None, Ports, Ls, Put, Rm, Clear, Flash };

// The devices of the window's tool bar and their line speeds.
struct TCliDevice {
    std::string_view Name;  // as given to --device
    std::uint32_t BaudRate;
    std::string_view Text;  // the tool bar hint
};
inline constexpr std::array<TCliDevice, 3> kCliDevices{{
    {"vm4", 1000000, "Пульт ВМ-4"},
    {"timer-19200", 19200, "Хронос-6 (19200)"},
    {"timer-9600", 9600, "Хронос-6 (9600)"},
}};

inline constexpr std::string_view kPortVariable = "VEMKARD_PORT";

struct TCliOptions {
    TCliCommand Command = TCliCommand::None;
    // put: the files; rm: the name; flash: the image.
    std::vector<std::string> Arguments;
    std::string Port;
    std::uint32_t BaudRate = kCliDevices[0].BaudRate;
    std::chrono::milliseconds Timeout{20000};
    std::optional<std::string> Trace;  // "-": standard error
    std::optional<int> Index;          // rm --index, counted from 1 as ls shows it
    bool Json = false;
    bool Yes = false;
    bool Quiet = false;
    bool Help = false;
    bool Version = false;
};

struct TParsedCommandLine {
    TCliOptions Options;
    std::string Error;  // empty when the command line is usable
};

// `portVariable` is the value of VEMKARD_PORT, if set; --port wins over it.
TParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                    std::optional<std::string> portVariable);

// The --help text, exit statuses included.
std::string HelpText();

}  // namespace vemkard
