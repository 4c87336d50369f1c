// vemkard-sim: a stand-in for the ВМ-4 console on a pseudo-terminal, a
// serial device or a unix socket. Prints the path the program should open as its first line.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "sim/ConsoleSimulator.h"
#include "sim/ConsoleStore.h"
#include "sim/FaultPlan.h"
#include "sim/SampleFiles.h"
#include "sim/SimEndpoint.h"

namespace {

using namespace vemkard;

constexpr const char* kUsage =
    "usage: vemkard-sim [options]\n"
    "  --link PATH        make PATH a symbolic link to the pseudo-terminal\n"
    "  --device PATH      serve a serial device (1000000 baud, 8O1) instead of a pty\n"
    "  --socket PATH      serve the first connection to a unix socket at PATH\n"
    "                     (a virtual machine's serial port) instead of a pty\n"
    "  --store DIR        load the console's memory from DIR and save it there on exit\n"
    "  --samples          start with a few sample files when the store is empty\n"
    "  --capacity N       file memory in bytes (default 32768)\n"
    "  --poll-ms N        pause before each poll (default 5)\n"
    "  --answer-ms N      time a poll waits for the program's frame (default 100)\n"
    "  --seed N           seed of the fault generator (default 1)\n"
    "  --lose R --damage R --noise R --split R --duplicate R\n"
    "                     fault rates, 0 .. 1\n"
    "  --damage-length R  flip one bit of a poll's length byte at rate R\n"
    "  --delay-ms N       wait N ms before replying (rate --delay R, default 1)\n"
    "  --silent-after N   send nothing after N replies\n"
    "  --deaf-after N     stop reading the line after N replies (polls go on)\n"
    "  --verify-error A   verify replies for block address A (hex) report an error\n"
    "  --execute-repeats  carry out repeated commands and late answers too\n"
    "  --log              log every frame on standard error\n"
    "  --version          print the version and exit\n";

struct Options {
    std::string link;
    std::string device;
    std::string socket;
    std::string store;
    bool samples = false;
    std::size_t capacity = ConsoleStore::kDefaultCapacity;
    SimulatorOptions simulator;
    std::uint32_t seed = 1;
    FaultRates faults;
    bool delayRateGiven = false;
    bool log = false;
};

// A signal may come before the simulator exists (a script stops us as soon
// as it has read the path): the flag keeps it until the simulator is there.
std::atomic<ConsoleSimulator*> g_simulator{nullptr};
volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void OnSignal(int) {
    g_stopRequested = 1;
    if (ConsoleSimulator* simulator = g_simulator.load()) simulator->RequestStop();
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

[[noreturn]] void Fail(const std::string& message) {
    std::cerr << "vemkard-sim: " << message << "\n" << kUsage;
    std::exit(2);
}

long ParseNumber(std::string_view option, const char* text, int base, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, base);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        Fail("bad value for " + std::string(option) + ": " + text);
    }
    return value;
}

double ParseRate(std::string_view option, const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= 0.0 && value <= 1.0)) {
        Fail("bad rate for " + std::string(option) + ": " + text);
    }
    return value;
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--samples") {
            options.samples = true;
            continue;
        }
        if (option == "--log") {
            options.log = true;
            continue;
        }
        if (option == "--execute-repeats") {
            options.simulator.executeRepeats = true;
            continue;
        }
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (option == "--version") {
            std::cout << "vemkard-sim " VEMKARD_VERSION "\n";
            std::exit(0);
        }
        static const std::string_view kWithValue[] = {
            "--link",         "--device",        "--store",  "--capacity",  "--poll-ms",
            "--answer-ms",    "--seed",          "--lose",   "--damage",    "--noise",
            "--split",        "--duplicate",     "--delay",  "--delay-ms",  "--silent-after",
            "--verify-error", "--damage-length", "--socket", "--deaf-after"};
        if (std::find(std::begin(kWithValue), std::end(kWithValue), option) ==
            std::end(kWithValue)) {
            Fail("unknown option " + std::string(option));
        }
        if (i + 1 >= argc) Fail("missing value for " + std::string(option));
        const char* value = argv[++i];
        if (option == "--link") {
            options.link = value;
        } else if (option == "--device") {
            options.device = value;
        } else if (option == "--socket") {
            options.socket = value;
        } else if (option == "--store") {
            options.store = value;
        } else if (option == "--capacity") {
            options.capacity =
                static_cast<std::size_t>(ParseNumber(option, value, 10, 0, 1L << 30));
        } else if (option == "--poll-ms") {
            options.simulator.pollMs = static_cast<int>(ParseNumber(option, value, 10, 0, 60000));
        } else if (option == "--answer-ms") {
            options.simulator.answerMs = static_cast<int>(ParseNumber(option, value, 10, 1, 60000));
        } else if (option == "--seed") {
            options.seed =
                static_cast<std::uint32_t>(ParseNumber(option, value, 10, 0, 0xFFFFFFFFL));
        } else if (option == "--lose") {
            options.faults.lose = ParseRate(option, value);
        } else if (option == "--damage") {
            options.faults.damage = ParseRate(option, value);
        } else if (option == "--damage-length") {
            options.faults.damageLength = ParseRate(option, value);
        } else if (option == "--noise") {
            options.faults.noise = ParseRate(option, value);
        } else if (option == "--split") {
            options.faults.split = ParseRate(option, value);
        } else if (option == "--duplicate") {
            options.faults.duplicate = ParseRate(option, value);
        } else if (option == "--delay") {
            options.faults.delay = ParseRate(option, value);
            options.delayRateGiven = true;
        } else if (option == "--delay-ms") {
            options.faults.delayMs = static_cast<int>(ParseNumber(option, value, 10, 0, 60000));
        } else if (option == "--silent-after") {
            options.faults.silentAfter = ParseNumber(option, value, 10, 0, 1L << 40);
        } else if (option == "--deaf-after") {
            options.faults.deafAfter = ParseNumber(option, value, 10, 0, 1L << 40);
        } else if (option == "--verify-error") {
            options.faults.verifyErrorAddress =
                static_cast<std::uint16_t>(ParseNumber(option, value, 16, 0, 0xFFFF));
        } else {
            Fail("unknown option " + std::string(option));
        }
    }
    if (options.faults.delayMs > 0 && !options.delayRateGiven) options.faults.delay = 1.0;
    if (!options.link.empty() && !(options.device.empty() && options.socket.empty()))
        Fail("--link serves a pty only");
    if (!options.device.empty() && !options.socket.empty())
        Fail("--device and --socket exclude each other");
    return options;
}

// Points `link` at `target`, replacing an older link but never a real file.
void MakeLink(const std::string& link, const std::string& target) {
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(link, error))) {
        std::filesystem::remove(link, error);
    }
    std::filesystem::create_symlink(target, link, error);
    if (error) Fail("cannot link " + link + ": " + error.message());
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    InstallSignalHandlers();
    try {
        ConsoleStore store(options.capacity);
        if (!options.store.empty()) store.Load(options.store);
        // A saved store keeps its samples; adding them again would double them.
        if (options.samples && store.Files().empty()) AddSampleFiles(store);

        ScopedFd line;
        std::string path;
        SimulatorOptions simulatorOptions = options.simulator;
        if (!options.socket.empty()) {
            const ScopedFd listener = ListenOnSocket(options.socket);
            std::cout << options.socket << std::endl;
            line = AcceptConnection(listener);
            // The far end's hang-up is the end of the run, as on a device.
            simulatorOptions.watchHangup = false;
            simulatorOptions.losePollsUntaken = true;
        } else if (options.device.empty()) {
            PseudoTerminal pty = OpenPseudoTerminal();
            line = std::move(pty.master);
            path = pty.slaveName;
            if (!options.link.empty()) MakeLink(options.link, path);
        } else {
            line = OpenSerialDevice(options.device);
            path = options.device;
            simulatorOptions.watchHangup = false;
        }
        if (options.socket.empty()) std::cout << path << std::endl;

        ConsoleSimulator::Logger log;
        if (options.log) log = [](const std::string& text) { std::cerr << text << std::endl; };
        ConsoleSimulator simulator(line.Get(), store, simulatorOptions,
                                   FaultPlan(options.faults, options.seed), log);
        g_simulator = &simulator;
        if (g_stopRequested) simulator.RequestStop();

        const bool clean = simulator.Run();
        g_simulator = nullptr;
        if (!options.store.empty())
            simulator.WithStore([&](ConsoleStore& s) { s.Save(options.store); });
        if (!options.link.empty()) {
            std::error_code error;
            std::filesystem::remove(options.link, error);
        }
        if (!options.socket.empty()) ::unlink(options.socket.c_str());
        // A virtual machine that powers off closes its end: the normal end.
        return clean || !options.socket.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "vemkard-sim: " << error.what() << "\n";
        return 1;
    }
}
