#include "cli/CliConsole.h"

#include <algorithm>

#include "cli/Interrupt.h"
#include "files/FileErrors.h"
#include "files/FileUpload.h"
#include "firmware/FirmwareProgrammer.h"

namespace vemkard {
namespace {

using Clock = std::chrono::steady_clock;

// The start of the firmware verify error texts, flash and EEPROM.
constexpr std::string_view kVerifyErrorStart = "Ошибка верификации";

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

const char* Phase(std::uint8_t command) {
    switch (command) {
        case cmProgramFlash:
            return "Программирование";
        case cmVerifyFlash:
            return "Верификация";
        case cmProgramEeprom:
            return "Программирование EEPROM";
        case cmVerifyEeprom:
            return "Верификация EEPROM";
        case cmClearAll:
            return "Очистка";
        case cmDeleteFile:
            return "Удаление";
        case cmCreateFile:
        case cmWriteBlock:
            return "Загрузка";
        default:
            return "Чтение списка";
    }
}

}  // namespace

bool IsRefusal(std::string_view status) {
    for (const std::string_view refusal :
         {kTextFileTooLarge, kTextOrganisationDamaged, kTextNameTooLong, kTextFirmwareTooLarge,
          kTextFirmwareEmpty}) {
        if (status == refusal) return true;
    }
    return false;
}

TCliConsole::TCliConsole(const TConsoleSettings& settings, IUserDialogs& dialogs,
                         TProgressLine& progress, TLineTrace* trace, const TInterrupt& interrupt)
    : timer_(loop_, settings.Timeout),
      progress_(progress),
      trace_(trace),
      interrupt_(interrupt),
      session_(serial_, *this, timer_, sleeper_, dialogs, [port = settings.Port] { return port; }) {
    comm_.SetBaudRate(settings.BaudRate);
    comm_.SetFlowControl(fcNone);
    comm_.SetEventChar(0);
    comm_.OnReceiveData = [this](const void* buffer, std::uint16_t length) {
        session_.Link.Comm321ReceiveData(buffer, length);
    };
    comm_.OnRequestHangup = [this](TComm32&) { hungUp_ = true; };
    // Only what is shown needs the tap: it costs the writer a message a frame.
    if (trace_ || progress_.Enabled()) {
        comm_.SetOnTrace([this](const TTraceChunk& chunk) {
            lineBytes_ += chunk.Bytes.size();
            if (trace_) trace_->Add(chunk);
        });
    }
    timer_.onTick = [this] { session_.Link.Timer1Timer(); };
}

TCliConsole::~TCliConsole() {
    // The threads post to the loop: stop them while it exists.
    timer_.Disable();
    comm_.ClosePort();
}

TBatchResult TCliConsole::Run(const std::function<void()>& start) {
    if (interrupt_.Requested()) return Ended(TBatchEnd::Interrupted, "");
    statuses_.clear();
    left_.fill(0);
    abandoned_ = false;
    hungUp_ = false;
    lineBytes_ = 0;
    maximum_ = -1;
    position_ = 0;
    batchStart_ = barStart_ = Clock::now();

    ConsoleLink& link = session_.Link;
    try {
        start();
    } catch (const EFOpenError&) {
        link.ClearCommands();
        throw;
    }
    queued_ = left_ = Tally();
    if (interrupt_.Requested()) {
        link.ClearCommands();
        return Ended(TBatchEnd::Interrupted, "");
    }
    const auto openFailed = std::find_if(statuses_.begin(), statuses_.end(), [](const auto& text) {
        return text.starts_with(kTextCannotOpenPort);
    });
    if (openFailed != statuses_.end()) {
        link.ClearCommands();  // they would wait for a later open
        return Ended(TBatchEnd::OpenFailed, *openFailed);
    }
    const auto refusal = std::find_if(statuses_.begin(), statuses_.end(), IsRefusal);
    if (refusal != statuses_.end()) {
        link.ClearCommands();
        return Ended(TBatchEnd::Refused, *refusal);
    }
    if (link.QueueLength() == 0) {
        link.DeactivateComm();
        return Ended(TBatchEnd::NothingQueued, "");
    }

    ShowProgress();
    // The no-reply timer ends a batch that the console leaves unanswered.
    loop_.RunUntil([&] { return abandoned_ || (link.QueueLength() == 0 && !comm_.PortOpen()); },
                   std::chrono::hours(24 * 365));
    progress_.End();
    if (trace_) trace_->Flush();

    if (abandoned_) return Ended(TBatchEnd::Interrupted, "");
    const auto verify = std::find_if(statuses_.begin(), statuses_.end(), [](const auto& text) {
        return text.starts_with(kVerifyErrorStart);
    });
    if (verify != statuses_.end()) return Ended(TBatchEnd::VerifyError, *verify);
    const std::string last = statuses_.empty() ? std::string() : statuses_.back();
    if (last == kTextNoConnection) return Ended(TBatchEnd::NoReply, last);
    if (last == kTextOperationDone) return Ended(TBatchEnd::Done, last);
    return Ended(TBatchEnd::Other, last);
}

TBatchResult TCliConsole::Ended(TBatchEnd end, std::string status) {
    TBatchResult result;
    result.End = end;
    result.Status = std::move(status);
    result.Queued = queued_;
    result.Left = left_;
    result.HungUp = hungUp_;
    return result;
}

void TCliConsole::Abandon() {
    if (session_.Link.QueueLength() == 0 && !comm_.PortOpen()) return;
    abandoned_ = true;
    session_.Link.ClearCommands();
}

void TCliConsole::SetStatus(std::string_view text) {
    statuses_.emplace_back(text);
}

void TCliConsole::SetProgressMaximum(int maximum) {
    maximum_ = maximum;
    barStart_ = Clock::now();
}

void TCliConsole::SetProgressPosition(int position) {
    position_ = position;
    ShowProgress();
}

void TCliConsole::SetQueueCounter(std::string_view) {
    // An emptied queue keeps the last count: what was left when it ended.
    if (session_.Link.QueueLength() > 0) left_ = Tally();
    ShowProgress();
}

TCommandTally TCliConsole::Tally() const {
    TCommandTally tally{};
    for (const TCommandEntry& entry : session_.Link.Queue()) ++tally[entry.Command];
    return tally;
}

void TCliConsole::ShowProgress() {
    const ConsoleLink& link = session_.Link;
    if (link.QueueLength() == 0) return;
    const auto now = Clock::now();
    TProgressState state;
    state.Phase = Phase(link.Queue().front().Command);
    state.Maximum = maximum_;
    state.Position = position_;
    state.Left = link.QueueLength();
    state.Bytes = lineBytes_;
    state.Elapsed = Seconds(now - batchStart_);
    state.BarElapsed = Seconds(now - barStart_);
    progress_.Show(state, now);
}

}  // namespace vemkard
