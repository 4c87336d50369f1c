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
#include <filesystem>
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
#include "tests/bench/BenchOptions.h"
#include "tests/bench/BenchSupport.h"
#include "tests/bench/RunFigures.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/SimulatedConsole.h"

namespace vemkard::bench {
namespace {

using namespace std::chrono_literals;

struct Options : RunOptions {
    std::size_t uploadBytes = 60 * 1024;
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

RunFigures Run(const Options& options, bool firmware, const std::string& file) {
    RunFigures figures;
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
    const std::uint64_t wakeUpsBefore = cpu.WakeUps();
    const double stealBefore = StealSeconds();
    const auto start = Clock::now();
    if (firmware) {
        rig.session.Firmware.ToolButton10Click();
    } else {
        rig.session.Upload.ToolButton8Click();
    }
    const bool idle = rig.RunUntilIdle();
    figures.wallS = Ms(Clock::now() - start) / 1000.0;
    figures.cpuSeconds = cpu.Seconds() - cpuBefore;
    figures.wakeUps = cpu.WakeUps() - wakeUpsBefore;
    // Both processors' steal, against the wall time of one.
    figures.stealShare = (StealSeconds() - stealBefore) / figures.wallS;

    figures.commands = rig.console.simulator.CommandsReceived() - commandsBefore;
    figures.overhead = Summarize(rig.wire.AnswerOverheadsMs());
    Complete(figures, options.pollMs);
    figures.ok = idle && rig.view.status == kTextOperationDone;
    if (options.split) PrintSplit(rig);
    if (!figures.ok) std::fprintf(stderr, "run failed: status \"%s\"\n", rig.view.status.c_str());
    return figures;
}

Options Parse(int argc, char** argv) {
    Options options;
    CommandLine line(argc, argv,
                     "usage: transfer_bench [--runs N] [--poll-ms N] [--only firmware|upload]\n"
                     "                      [--firmware-bytes N] [--upload-bytes N] [--split]\n");
    while (line.Next()) {
        if (line.Flag("--split")) {
            options.split = true;
        } else if (line.Option("--upload-bytes")) {
            options.uploadBytes = std::size_t(line.Number(1, 61440));
        } else if (!TakeRunOption(line, options, {"firmware", "upload"})) {
            line.Usage();
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
    const std::string image = WriteRandomFile(folder / "image.mts", options.firmwareBytes, 1);
    const std::string upload = WriteRandomFile(folder / "upload.bin", options.uploadBytes, 2);
    std::printf("transfer_bench: firmware image %zu bytes, upload %zu bytes, poll pause %d ms\n",
                options.firmwareBytes, options.uploadBytes, options.pollMs);
    PrintWakeUpFloor();

    RunReport report;
    for (int run = 1; run <= options.runs; ++run) {
        if (options.Runs("firmware")) report.Add("firmware", run, Run(options, true, image));
        if (options.Runs("upload")) report.Add("upload", run, Run(options, false, upload));
    }
    report.PrintSummary();
    std::filesystem::remove_all(folder);
    return report.AllOk() ? 0 : 1;
}
