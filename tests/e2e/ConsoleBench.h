// The whole program below its windows, run against the console simulator
// over a pseudo-terminal: the real TComm32 with its threads, the protocol
// core, the file and firmware handlers, and a MessageLoop as the owner thread
// (the test's own thread, while it runs the loop).
//
// Thread rules: the session, the grid, the view and the timer belong to the
// thread that runs the loop; the simulator's store is read through
// simulator.WithStore from any thread.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/Comm32SerialLink.h"
#include "link/ConsoleSession.h"
#include "link/LoopReplyTimer.h"
#include "protocol/LinkInterfaces.h"
#include "serial/Comm32.h"
#include "serial/DeadlineSleep.h"
#include "serial/MessageLoop.h"
#include "sim/ConsoleSimulator.h"
#include "sim/ConsoleStore.h"
#include "sim/FaultPlan.h"
#include "sim/SimEndpoint.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/SimulatedConsole.h"

namespace vemkard::testing {

using namespace std::chrono_literals;

// The status line with its history, and the queue display.
class StatusView : public ILinkView {
  public:
    void SetStatus(std::string_view text) override { history.emplace_back(text); }
    void SetProgressMaximum(int maximum) override { progressMaximum = maximum; }
    void SetProgressPosition(int position) override { progressPosition = position; }
    void SetQueueCounter(std::string_view text) override { counter = text; }

    std::string Status() const { return history.empty() ? std::string() : history.back(); }
    bool Showed(std::string_view text) const {
        for (const auto& line : history) {
            if (line == text) return true;
        }
        return false;
    }

    std::vector<std::string> history;
    int progressMaximum = 0;
    int progressPosition = 0;
    std::string counter = "0";
};

// The program's pause before it answers a poll, or a shorter one counted
// from the same moment.
class BenchSleeper : public ISleeper {
  public:
    explicit BenchSleeper(int pauseMs) : pauseMs_(pauseMs) {}
    void SleepUntil(std::chrono::steady_clock::time_point deadline) override {
        if (pauseMs_ >= 0) deadline -= std::chrono::milliseconds(kPollAnswerPauseMs - pauseMs_);
        SleepUntilDeadline(deadline);
    }

  private:
    int pauseMs_;
};

struct BenchOptions {
    std::size_t capacity = 60000;
    // A poll unanswered for 40 ms is repeated: twice the program's pause, so a
    // line fault costs little time.
    SimulatorOptions simulator{.pollMs = 5, .answerMs = 40};
    FaultRates faults{};
    std::uint32_t seed = 1;
    // The no-reply timer's interval, so that a silent console is noticed
    // soon; zero keeps the program's own.
    std::chrono::milliseconds replyTimeout{0};
    // The pause before each answer; negative keeps the program's 20 ms.
    int answerPauseMs = -1;
    // Fills the console's memory before the simulator starts.
    std::function<void(ConsoleStore&)> fill{};
    bool log = false;  // frames on standard error
};

class ConsoleBench : public SimulatedConsole {
  public:
    explicit ConsoleBench(const BenchOptions& options = {})
        : SimulatedConsole(options.capacity, options.fill, options.simulator,
                           FaultPlan(options.faults, options.seed), Logger(options.log)),
          comm(loop),
          serial(comm),
          timer(loop, options.replyTimeout),
          sleeper(options.answerPauseMs),
          session(serial, view, timer, sleeper, dialogs, [this] { return Port(); }) {
        comm.SetBaudRate(1000000);
        comm.OnReceiveData = [this](const void* buffer, std::uint16_t length) {
            session.Link.Comm321ReceiveData(buffer, length);
        };
        timer.onTick = [this] { session.Link.Timer1Timer(); };
    }
    ~ConsoleBench() {
        if (comm.PortOpen()) comm.ClosePort();
    }
    ConsoleBench(const ConsoleBench&) = delete;
    ConsoleBench& operator=(const ConsoleBench&) = delete;

    // Runs the program until its batch has ended: nothing queued, port closed.
    bool RunUntilIdle(std::chrono::milliseconds limit = 50s) {
        return loop.RunUntil([this] { return session.Link.QueueLength() == 0 && !comm.PortOpen(); },
                             limit);
    }
    bool RunUntilStatus(std::string_view text, std::chrono::milliseconds limit = 50s) {
        return loop.RunUntil([this, text] { return view.Status() == text; }, limit);
    }

  private:
    static ConsoleSimulator::Logger Logger(bool log);

  public:
    MessageLoop loop;
    TComm32 comm;
    Comm32SerialLink serial;
    LoopReplyTimer timer;
    StatusView view;
    BenchSleeper sleeper;
    FakeDialogs dialogs;
    ConsoleSession session;
};

inline ConsoleSimulator::Logger ConsoleBench::Logger(bool log) {
    // VEMKARD_E2E_LOG=1 logs every run's frames, to look into a failure.
    if (!log && std::getenv("VEMKARD_E2E_LOG") == nullptr) return {};
    return [](const std::string& line) { std::fprintf(stderr, "sim %s\n", line.c_str()); };
}

}  // namespace vemkard::testing
