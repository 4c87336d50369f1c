// End-to-end transfer benchmark: the program below its window (the real
// TComm32 with its threads, the protocol core, the file and firmware
// handlers, the program's own pause, a MessageLoop as owner thread) against
// the console simulator over a pseudo-terminal. Each run writes a firmware
// image (program + verify) and uploads a file, and prints how close the
// transfer came to the pace the console sets:
//
//   bound = commands x (20 ms + simulator poll pause + measured pty round trip)
//
// and the program's CPU share and its answer overhead measured at the
// console's end of the line.
//
//   build/tests/bench/transfer_bench [--runs N] [--poll-ms N] [--only firmware|upload]
//                                    [--firmware-bytes N] [--upload-bytes N] [--split]
//
// --split also takes the program's own stamps (its line trace, which costs a
// little) and splits the overhead into its three legs.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "link/Comm32SerialLink.h"
#include "link/ConsoleSession.h"
#include "link/LoopReplyTimer.h"
#include "protocol/ConsoleLink.h"
#include "protocol/Frame.h"
#include "serial/Comm32.h"
#include "serial/MessageLoop.h"
#include "tests/bench/BenchSupport.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/SimulatedConsole.h"

namespace vemkard::bench {
namespace {

using namespace std::chrono_literals;

struct Options {
    int runs = 3;
    int pollMs = 5;
    std::size_t firmwareBytes = 65535;
    std::size_t uploadBytes = 60 * 1024;
    bool firmware = true;
    bool upload = true;
    // Also splits the overhead at the program's own stamps (the line trace).
    bool split = false;
};

// The status line and the queue display, as a window would take them.
class CountingView : public ILinkView {
  public:
    void SetStatus(std::string_view text) override { status = text; }
    void SetProgressMaximum(int) override {}
    void SetProgressPosition(int) override {}
    void SetQueueCounter(std::string_view) override {}
    std::string status;
};

// One fresh console and program.
struct Rig {
    explicit Rig(int pollMs)
        : console(65535, {}, SimulatorOptions{.pollMs = pollMs}, FaultPlan{}, wire.Logger()),
          comm(loop),
          serial(comm),
          timer(loop),
          session(serial, view, timer, sleeper, dialogs, [this] { return console.Port(); }) {
        comm.SetBaudRate(1000000);
        comm.OnReceiveData = [this](const void* buffer, std::uint16_t length) {
            session.Link.Comm321ReceiveData(buffer, length);
        };
        timer.onTick = [this] { session.Link.Timer1Timer(); };
        // Only the simulator's thread runs besides this one yet.
        for (const pid_t tid : ThreadIds()) {
            if (tid != ::gettid()) foreign.push_back(tid);
        }
    }
    ~Rig() {
        if (comm.PortOpen()) comm.ClosePort();
    }
    // Notes the program's read of each poll and the end of each write.
    void TraceProgramSide() {
        static const std::vector<std::uint8_t> kPoll = MakeFrame(cmPoll);
        comm.SetOnTrace([this](const TTraceChunk& chunk) {
            if (chunk.Direction == TTraceDirection::Sent) {
                written.push_back(chunk.Time);
            } else if (std::equal(chunk.Bytes.begin(), chunk.Bytes.end(), kPoll.begin(),
                                  kPoll.end())) {
                pollsRead.push_back(chunk.Time);
            }
        });
    }
    bool RunUntilIdle() {
        return loop.RunUntil([this] { return session.Link.QueueLength() == 0 && !comm.PortOpen(); },
                             600s);
    }

    ConsoleWireTiming wire;
    testing::SimulatedConsole console;
    MessageLoop loop;
    TComm32 comm;
    Comm32SerialLink serial;
    LoopReplyTimer timer;
    CountingView view;
    ThreadSleeper sleeper;
    testing::FakeDialogs dialogs;
    ConsoleSession session;
    std::vector<pid_t> foreign;
    std::vector<Clock::time_point> pollsRead, written;
};

struct Figures {
    std::size_t commands = 0;
    double wallS = 0, boundS = 0, ratio = 0, cpuShare = 0, roundTripMs = 0, stealShare = 0;
    Summary overhead;
    bool ok = false;
};

std::string WriteFile(const std::filesystem::path& path, std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<char> bytes(size);
    for (auto& b : bytes) b = static_cast<char>(random());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path.string();
}

// Where the overhead goes: console to the program's read of the poll, the
// read + 20 ms to the end of the program's write, that write to the console.
void PrintSplit(const Rig& rig) {
    const auto polls = rig.wire.PollStamps();
    const auto frames = rig.wire.FrameStamps();
    const std::size_t n =
        std::min({polls.size(), frames.size(), rig.pollsRead.size(), rig.written.size()});
    std::vector<double> toRead, toWrite, toConsole;
    for (std::size_t i = 0; i < n; ++i) {
        toRead.push_back(Ms(rig.pollsRead[i] - polls[i]));
        toWrite.push_back(Ms(rig.written[i] - rig.pollsRead[i]) - 20.0);
        toConsole.push_back(Ms(frames[i] - rig.written[i]));
    }
    std::printf("  split over %zu polls (of %zu, %zu, %zu, %zu):\n", n, polls.size(),
                rig.pollsRead.size(), rig.written.size(), frames.size());
    std::printf("    console poll -> program read     %s\n",
                FormatSummary(Summarize(toRead)).c_str());
    std::printf("    read + 20 ms -> write done       %s\n",
                FormatSummary(Summarize(toWrite)).c_str());
    std::printf("    write done -> console            %s\n",
                FormatSummary(Summarize(toConsole)).c_str());
}

Figures Run(const Options& options, bool firmware, const std::string& file) {
    Figures figures;
    figures.roundTripMs = MeasurePtyRoundTripMs();
    Rig rig(options.pollMs);
    rig.dialogs.confirm = true;
    rig.dialogs.chosenFile = file;
    if (!firmware) {
        // The upload checks the size against the free space of a listing.
        rig.session.Listing.ToolButton4Click();
        if (!rig.RunUntilIdle()) return figures;
    }
    const ProgramCpu cpu(rig.foreign);
    if (options.split) rig.TraceProgramSide();
    rig.wire.Reset();
    const std::uint64_t commandsBefore = rig.console.simulator.CommandsReceived();
    const double cpuBefore = cpu.Seconds();
    const double stealBefore = StealSeconds();
    const auto start = Clock::now();
    if (firmware) {
        rig.session.Firmware.ToolButton10Click();
    } else {
        rig.session.Upload.ToolButton8Click();
    }
    const bool idle = rig.RunUntilIdle();
    const double wall = Ms(Clock::now() - start) / 1000.0;
    const double cpuSeconds = cpu.Seconds() - cpuBefore;
    // Both processors' steal, against the wall time of one.
    figures.stealShare = (StealSeconds() - stealBefore) / wall;

    figures.commands = rig.console.simulator.CommandsReceived() - commandsBefore;
    figures.wallS = wall;
    figures.boundS =
        double(figures.commands) * (20.0 + options.pollMs + figures.roundTripMs) / 1000.0;
    figures.ratio = wall / figures.boundS;
    figures.cpuShare = cpuSeconds / wall;
    figures.overhead = Summarize(rig.wire.AnswerOverheadsMs());
    figures.ok = idle && rig.view.status == kTextOperationDone;
    if (options.split) PrintSplit(rig);
    if (!figures.ok) std::fprintf(stderr, "run failed: status \"%s\"\n", rig.view.status.c_str());
    return figures;
}

void Print(const char* what, int run, const Figures& f) {
    std::printf(
        "%-8s run %d: commands %zu, wall %.3f s, bound %.3f s (round trip %.3f ms), "
        "wall/bound %.4f, cpu %.2f %% of wall, answer overhead %s ms (%zu polls), "
        "steal %.2f %% of wall%s\n",
        what, run, f.commands, f.wallS, f.boundS, f.roundTripMs, f.ratio, 100.0 * f.cpuShare,
        FormatSummary(f.overhead).c_str(), f.overhead.count, 100.0 * f.stealShare,
        f.ok ? "" : " FAILED");
    std::fflush(stdout);
}

// min / median / max of one figure over the runs.
void PrintSpread(const char* what, const char* figure, std::vector<double> values,
                 const char* format) {
    std::sort(values.begin(), values.end());
    const double median = values[values.size() / 2];
    char line[256];
    std::snprintf(line, sizeof line, "%%-8s %%-18s min %s  median %s  max %s\n", format, format,
                  format);
    std::printf(line, what, figure, values.front(), median, values.back());
}

void PrintSummary(const char* what, const std::vector<Figures>& runs) {
    if (runs.empty()) return;
    const auto pick = [&](auto field) {
        std::vector<double> values;
        for (const auto& f : runs) values.push_back(field(f));
        return values;
    };
    PrintSpread(what, "wall/bound", pick([](const Figures& f) { return f.ratio; }), "%.4f");
    PrintSpread(what, "cpu % of wall", pick([](const Figures& f) { return 100 * f.cpuShare; }),
                "%.2f");
    PrintSpread(what, "overhead median", pick([](const Figures& f) { return f.overhead.median; }),
                "%.3f");
    PrintSpread(what, "overhead p90", pick([](const Figures& f) { return f.overhead.p90; }),
                "%.3f");
    PrintSpread(what, "overhead p99", pick([](const Figures& f) { return f.overhead.p99; }),
                "%.3f");
    PrintSpread(what, "overhead max", pick([](const Figures& f) { return f.overhead.max; }),
                "%.3f");
}

[[noreturn]] void Usage() {
    std::fprintf(stderr,
                 "usage: transfer_bench [--runs N] [--poll-ms N] [--only firmware|upload]\n"
                 "                      [--firmware-bytes N] [--upload-bytes N] [--split]\n");
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--split") {
            options.split = true;
            continue;
        }
        if (i + 1 >= argc) Usage();
        const std::string value = argv[++i];
        if (option == "--runs") {
            options.runs = std::max(1, std::atoi(value.c_str()));
        } else if (option == "--poll-ms") {
            options.pollMs = std::max(0, std::atoi(value.c_str()));
        } else if (option == "--firmware-bytes") {
            options.firmwareBytes = std::clamp<std::size_t>(std::stoul(value), 1, 65535);
        } else if (option == "--upload-bytes") {
            options.uploadBytes = std::clamp<std::size_t>(std::stoul(value), 1, 61440);
        } else if (option == "--only" && (value == "firmware" || value == "upload")) {
            options.firmware = value == "firmware";
            options.upload = value == "upload";
        } else {
            Usage();
        }
    }
    return options;
}

}  // namespace
}  // namespace vemkard::bench

int main(int argc, char** argv) {
    using namespace vemkard::bench;
    const Options options = Parse(argc, argv);
    const auto folder = std::filesystem::temp_directory_path() /
                        ("vemkard-transfer-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string image = WriteFile(folder / "image.mts", options.firmwareBytes, 1);
    const std::string upload = WriteFile(folder / "upload.bin", options.uploadBytes, 2);
    std::printf("transfer_bench: firmware image %zu bytes, upload %zu bytes, poll pause %d ms\n",
                options.firmwareBytes, options.uploadBytes, options.pollMs);

    std::vector<Figures> firmware, uploads;
    bool ok = true;
    for (int run = 1; run <= options.runs; ++run) {
        if (options.firmware) {
            firmware.push_back(Run(options, true, image));
            Print("firmware", run, firmware.back());
            ok = ok && firmware.back().ok;
        }
        if (options.upload) {
            uploads.push_back(Run(options, false, upload));
            Print("upload", run, uploads.back());
            ok = ok && uploads.back().ok;
        }
    }
    PrintSummary("firmware", firmware);
    PrintSummary("upload", uploads);
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}
