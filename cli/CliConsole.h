// The window's session without the window: the serial component with its
// threads, the protocol core and the file and firmware handlers, wired
// through ConsoleSession, with a MessageLoop as the owner thread. One batch
// at a time is started through a window handler and run until the session
// ends it; how it ended is read from what the session did.
//
// Thread rules: everything on the thread that runs the loop (the main one),
// except that Abandon is posted there by the signal thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/LineTrace.h"
#include "cli/Progress.h"
#include "files/UserDialogs.h"
#include "link/Comm32SerialLink.h"
#include "link/ConsoleSession.h"
#include "link/LoopReplyTimer.h"
#include "serial/Comm32.h"
#include "serial/MessageLoop.h"

namespace vemkard {

class TInterrupt;

struct TConsoleSettings {
    std::string Port;
    std::uint32_t BaudRate = 1000000;
    std::chrono::milliseconds Timeout{kReplyTimeoutMs};
};

enum class TBatchEnd {
    Done,  // the queue was worked off: "Операция успешно завершена."
    NothingQueued,  // the handler queued nothing (a warning box answered No)
    OpenFailed,     // "Невозможно открыть порт!"
    Refused,        // a local file refused, nothing queued
    NoReply,        // "Нет связи с устройством!"
    VerifyError,    // "Ошибка верификации по адресу ...h!"
    Interrupted,    // a signal abandoned it
    Other,          // the session ended it with another text
};

// Commands of each code.
using TCommandTally = std::array<int, 256>;

struct TBatchResult {
    TBatchEnd End = TBatchEnd::Done;
    // The status text that tells how it ended (the window's own words; for
    // OpenFailed with the port's reason after them).
    std::string Status;
    // Queued by the handler; still queued when the batch ended (before the
    // queue was abandoned).
    TCommandTally Queued{};
    TCommandTally Left{};
    bool HungUp = false;  // the serial component reported the line failed
};

// A status text that ends a batch by refusing a local file.
bool IsRefusal(std::string_view status);

class TCliConsole final : private ILinkView {
  public:
    // `trace` may be null.
    TCliConsole(const TConsoleSettings& settings, IUserDialogs& dialogs, TProgressLine& progress,
                TLineTrace* trace, const TInterrupt& interrupt);
    ~TCliConsole() override;
    TCliConsole(const TCliConsole&) = delete;
    TCliConsole& operator=(const TCliConsole&) = delete;

    // Runs `start` (a window handler: it opens the link and queues), then the
    // loop until the batch has ended. Lets EFOpenError from `start` through,
    // with the link closed and nothing queued.
    TBatchResult Run(const std::function<void()>& start);
    // Abandons the running batch: the interrupt, on the loop thread.
    void Abandon();

    MessageLoop& Loop() { return loop_; }
    ConsoleSession& Session() { return session_; }

  private:
    // ILinkView: the status line and the queue display.
    void SetStatus(std::string_view text) override;
    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void SetQueueCounter(std::string_view text) override;

    TCommandTally Tally() const;
    void ShowProgress();
    TBatchResult Ended(TBatchEnd end, std::string status);

    MessageLoop loop_;
    TComm32 comm_{loop_};
    Comm32SerialLink serial_{comm_};
    LoopReplyTimer timer_;
    ThreadSleeper sleeper_;
    TProgressLine& progress_;
    TLineTrace* trace_;
    const TInterrupt& interrupt_;
    ConsoleSession session_;

    // The batch that runs.
    std::vector<std::string> statuses_;
    TCommandTally queued_{};
    TCommandTally left_{};
    bool abandoned_ = false;
    bool hungUp_ = false;
    std::uint64_t lineBytes_ = 0;
    std::chrono::steady_clock::time_point batchStart_{};
    std::chrono::steady_clock::time_point barStart_{};
    int maximum_ = -1;
    int position_ = 0;
};

}  // namespace vemkard
