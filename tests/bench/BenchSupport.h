// Measuring pieces shared by the end-to-end benchmarks: the pty round trip,
// the wire timing at the console's end of the line, a percentile summary and
// the CPU time of the program's own threads; and the files they send.
//
// Thread rules: ConsoleWireTiming's logger may run on any thread (the
// simulator's wire thread); its other members belong to one thread. The rest
// holds no state shared between threads.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "sim/ConsoleSimulator.h"

namespace vemkard::bench {

using Clock = std::chrono::steady_clock;

// Milliseconds between two moments.
double Ms(Clock::duration duration);

// The median round trip over a fresh pseudo-terminal, in milliseconds: the
// console's end writes a poll-sized frame, a thread at the program's end
// blocked in poll() reads it and writes `replyBytes` back at once, and the
// console's end, blocked in poll() too, reads them. Each sample starts from
// idle threads, as every poll does. Throws std::system_error.
double MeasurePtyRoundTripMs(std::size_t samples = 300, std::size_t replyBytes = 42);

// CPU microseconds that one wake-up of a blocked thread costs on this
// machine, median over `samples` rounds: a thread sleeps 20 or 5 ms (the
// line's quiet spells: the pause, the console's poll pause), wakes another
// blocked in poll() through an eventfd and blocks in poll() until it
// answers. A command wakes the program's owner thread three times (it reads
// the reply and the poll itself, and ends the pause), so this sets a floor
// under the CPU per command.
// Throws std::system_error.
double MeasureWakeUpCpuUs(std::size_t samples = 200);
// Prints that floor, measured now, as a line of a benchmark's header.
void PrintWakeUpFloor();

// Writes `size` bytes of a random stream from `seed` to `path` (a firmware
// image or a file to upload); returns the path.
std::string WriteRandomFile(const std::filesystem::path& path, std::size_t size, unsigned seed);

// Minimum, median, 90th, 99th percentile (nearest rank) and maximum; zeros
// when empty.
struct Summary {
    std::size_t count = 0;
    double min = 0, median = 0, p90 = 0, p99 = 0, max = 0;
};
Summary Summarize(std::vector<double> values);
// "min 0.05 median 0.21 p90 0.35 p99 1.20 max 3.10" (milliseconds).
std::string FormatSummary(const Summary& summary);

// CPU seconds the hypervisor has taken from this machine's processors so far
// (steal time, /proc/stat): on a virtual machine it shows as delays of whole
// milliseconds that no program can avoid. 0 where the kernel counts none.
double StealSeconds();

// The thread ids of this process as they are now.
std::vector<pid_t> ThreadIds();

// CPU seconds and wake-ups of this process, less those of threads that are not the
// program's (the in-process simulator's). The left-out threads must live
// while the meter is used; threads that end in between (the serial
// component's, at every close) still count.
class ProgramCpu {
  public:
    explicit ProgramCpu(std::vector<pid_t> foreign = {}) : foreign_(std::move(foreign)) {}
    double Seconds() const;
    // The times the program's threads have blocked and been woken again, so far.
    std::uint64_t WakeUps() const;

  private:
    std::vector<pid_t> foreign_;
};

// Timing at the console's end of the line, taken through the simulator's
// logger: each undamaged poll is stamped just before its write (so at most
// the write's own few microseconds before its last byte is on the wire) and
// each frame of the program when the simulator has read it (its first byte
// came in the same read: the program writes a frame at once). The answer
// overhead of a poll is from the poll to the frame that answers it, less the
// program's pause.
class ConsoleWireTiming {
  public:
    // For SimulatorOptions' owner: a logger that stamps. Lines are not kept.
    ConsoleSimulator::Logger Logger();
    // Forgets the stamps so far.
    void Reset();
    // Overheads, in milliseconds beyond `pauseMs`, of every poll answered
    // by a frame before the next poll, since the last Reset.
    std::vector<double> AnswerOverheadsMs(double pauseMs = 20.0) const;
    std::size_t Polls() const;
    std::size_t Frames() const;
    // The stamps of the polls and of the program's frames, in order.
    std::vector<Clock::time_point> PollStamps() const;
    std::vector<Clock::time_point> FrameStamps() const;
    // The thread the simulator logs from; 0 until it has logged.
    pid_t WireThread() const;

  private:
    struct Stamp {
        Clock::time_point time;
        bool poll;  // else a frame of the program
    };
    void Note(const std::string& line);

    mutable std::mutex mutex_;
    std::vector<Stamp> stamps_;
    pid_t wireThread_ = 0;
};

}  // namespace vemkard::bench
