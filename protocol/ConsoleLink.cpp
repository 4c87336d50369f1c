#include "protocol/ConsoleLink.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace vemkard {

ConsoleLink::ConsoleLink(ISerialLink& serial, ILinkView& view, IReplyTimer& timer,
                         ISleeper& sleeper, std::function<std::string()> portName)
    : serial_(serial),
      view_(view),
      timer_(timer),
      sleeper_(sleeper),
      portName_(std::move(portName)) {
    timer_.SetInterval(kReplyTimeoutMs);
}

// ---------------------------------------------------------------------------
// Link activation

void ConsoleLink::ActivateComm() {
    if (!serial_.PortOpen()) {
        try {
            serial_.SetCommPort(portName_ ? portName_() : std::string());
            serial_.SetOddParity();
            serial_.OpenPort();
            view_.SetStatus(kTextPortOpened);
            scanPosition_ = 0;
            fillLevel_ = 0;
            serial_.EscapeComm(5);  // SETDTR: the line settings leave DTR down
        } catch (...) {
            // The system's reason follows, so the user knows what to do.
            const std::string reason = serial_.OpenFailure();
            view_.SetStatus(reason.empty() ? std::string(kTextCannotOpenPort)
                                           : std::string(kTextCannotOpenPort) + " " + reason);
            return;
        }
    }
    RestartReplyTimer();
}

void ConsoleLink::DeactivateComm() {
    ++deactivations_;
    if (serial_.PortOpen()) serial_.ClosePort();
    timer_.Disable();
}

// ---------------------------------------------------------------------------
// Command queue

bool ConsoleLink::AddCommand(std::uint8_t command, const std::uint8_t* payload, int length) {
    if (length < 1 || length > kMaxSentLength) return false;
    TCommandEntry& entry = queue_.emplace_back();
    entry.Command = command;
    entry.Length = static_cast<std::uint8_t>(length);
    if (length > 1)
        std::memcpy(entry.Payload.data(), payload, static_cast<std::size_t>(length - 1));
    ShowQueueCounter();
    return true;
}

void ConsoleLink::UpdateQueueProgress() {
    view_.SetProgressMaximum(QueueLength());
    view_.SetProgressPosition(QueueLength());
}

void ConsoleLink::RemoveHeadCommand() {
    if (!queue_.empty()) {
        queue_.pop_front();
        headSent_ = false;
        ++queueSteps_;
    }
    if (queue_.empty()) {
        view_.SetStatus(kTextOperationDone);
        DeactivateComm();
    }
    view_.SetProgressPosition(QueueLength());
    ShowQueueCounter();
}

void ConsoleLink::ClearCommands() {
    queue_.clear();
    headSent_ = false;
    view_.SetProgressPosition(0);
    view_.SetQueueCounter("0");
    DeactivateComm();
}

void ConsoleLink::SendHeadCommand() {
    if (queue_.empty()) return;
    // The console needs a moment after its poll before it listens. The poll's
    // last byte came before its chunk was read, so counting from the read
    // never makes the pause shorter.
    const auto from = passArrival_ != std::chrono::steady_clock::time_point{}
                          ? passArrival_
                          : std::chrono::steady_clock::now();
    sleeper_.SleepUntil(from + std::chrono::milliseconds(kPollAnswerPauseMs));
    std::array<std::uint8_t, kFrameBufferSize> frame;
    // The entry's bytes (L, code, payload) are the frame's body, in order.
    const auto* body = reinterpret_cast<const std::uint8_t*>(&queue_.front());
    const std::size_t size = BuildFrame(body, frame.data());
    if (!serial_.WriteData(frame.data(), static_cast<std::uint16_t>(size)) || headSent_) return;
    headSent_ = true;
    ++queueSteps_;
}

void ConsoleLink::ShowQueueCounter() {
    view_.SetQueueCounter(std::to_string(queue_.size()));
}

bool ConsoleLink::HeadAwaits(std::uint8_t command) const {
    // A reply can only answer a command that has gone out. Without this a
    // reply that the console repeats would remove the next command unsent.
    return headSent_ && !queue_.empty() && queue_.front().Command == command;
}

// ---------------------------------------------------------------------------
// Receiver

namespace {

bool IsPoll(const std::uint8_t* frame) {
    return frame[kFramePrefixSize] >= 1 && frame[kFramePrefixSize + 1] == cmPoll;
}

}  // namespace

void ConsoleLink::Comm321ReceiveData(const void* buffer, std::uint16_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const unsigned deactivationsBefore = deactivations_;
    const unsigned stepsBefore = queueSteps_;
    passArrival_ = serial_.ReceivedAt();
    std::size_t left = length;
    // A parse leaves at most 260 bytes, so a chunk that does not fit is taken
    // in pieces with a parse after each; nothing is dropped or overrun. The
    // pieces are one pass: the parser looks into the rest for later polls.
    do {
        const std::size_t room = kReceiveBufferSize - static_cast<std::size_t>(fillLevel_);
        const std::size_t piece = std::min(left, room);
        std::copy_n(bytes, piece, receiveBuffer_.data() + fillLevel_);
        fillLevel_ += static_cast<int>(piece);
        bytes += piece;
        left -= piece;
        passRest_ = {bytes, left};
        ParseReceived();
    } while (left > 0);
    passRest_ = {};
    passArrival_ = {};
    // A batch that this chunk finished or abandoned keeps its final message.
    if (deactivations_ != deactivationsBefore) return;
    if (queueSteps_ != stepsBefore || queue_.empty()) RestartReplyTimer();
}

void ConsoleLink::ParseReceived() {
    while (const std::optional<int> at =
               NextFrame(receiveBuffer_.data(), scanPosition_, fillLevel_)) {
        const std::uint8_t* frame = receiveBuffer_.data() + *at;
        const int end = *at + frame[kFramePrefixSize] + 6;
        // A poll is only a turn to speak: of several in one pass, the console
        // listens for the answer to the last, and an answer to each would
        // repeat the head command as often.
        if (!IsPoll(frame) || !LaterPollInPass(end))
            DispatchReply(TReplyRecord{frame + kFramePrefixSize});
        scanPosition_ = end;
        CompactReceiveBuffer();
    }
    CompactReceiveBuffer();
}

bool ConsoleLink::LaterPollInPass(int from) const {
    const auto hasPoll = [](const std::uint8_t* bytes, int position, int size) {
        while (const std::optional<int> at = NextFrame(bytes, position, size)) {
            if (IsPoll(bytes + *at)) return true;
            position = *at + bytes[*at + kFramePrefixSize] + 6;
        }
        return false;
    };
    if (passRest_.empty()) return hasPoll(receiveBuffer_.data(), from, fillLevel_);
    // Rare: the pass goes on in bytes that have not reached the buffer yet.
    std::vector<std::uint8_t> rest(receiveBuffer_.begin() + from,
                                   receiveBuffer_.begin() + fillLevel_);
    rest.insert(rest.end(), passRest_.begin(), passRest_.end());
    return hasPoll(rest.data(), 0, static_cast<int>(rest.size()));
}

void ConsoleLink::CompactReceiveBuffer() {
    if (scanPosition_ <= 0) return;
    std::memmove(receiveBuffer_.data(), receiveBuffer_.data() + scanPosition_,
                 static_cast<std::size_t>(fillLevel_ - scanPosition_));
    fillLevel_ -= scanPosition_;
    scanPosition_ = 0;
}

namespace {

// Payload bytes that each reply's owner reads. A shorter reply is malformed:
// it is ignored like a reply to another command, so the head is sent again.
std::size_t RequiredPayload(std::uint8_t command) {
    switch (command) {
        case cmProgramFlash:
        case cmProgramEeprom:
            return 2;  // block address
        case cmVerifyFlash:
        case cmVerifyEeprom:
            return 3;  // block address, error flag
        case cmReadDirectory:
            return 1;  // file count
        case cmReadEntry:
            return 7;  // index .. name length
        case cmReadFreeSpace:
            return 2;  // free bytes
        default:
            return 0;
    }
}

}  // namespace

void ConsoleLink::DispatchReply(const TReplyRecord& reply) {
    if (reply.Length() == 0) return;  // no command code in it
    const std::uint8_t command = reply.Command();
    if (reply.Payload().size() < RequiredPayload(command)) return;

    switch (command) {
        case cmPoll:
            SendHeadCommand();
            break;
        case cmProgramFlash:
        case cmVerifyFlash:
        case cmProgramEeprom:
        case cmVerifyEeprom: {
            // The low byte of the block address acknowledges the head block.
            if (HeadAwaits(command) && queue_.front().Payload[0] == reply.Payload()[0])
                RemoveHeadCommand();
            if (!firmware_) break;
            if (command == cmProgramFlash) firmware_->ShowProgramStatus(reply);
            if (command == cmVerifyFlash) firmware_->ShowVerifyStatus(reply);
            if (command == cmProgramEeprom) firmware_->ShowEepromProgramStatus(reply);
            if (command == cmVerifyEeprom) firmware_->ShowEepromVerifyStatus(reply);
            break;
        }
        case cmReadDirectory:
        case cmReadEntry:
        case cmReadFreeSpace:
            if (!HeadAwaits(command)) break;
            // The handler runs first so that what it queues is in place
            // before the head goes and the queue cannot run empty between.
            if (directory_) {
                if (command == cmReadDirectory) directory_->HandleDirectoryReply(reply.Payload());
                if (command == cmReadEntry) directory_->HandleEntryReply(reply.Payload());
                if (command == cmReadFreeSpace) directory_->HandleFreeSpaceReply(reply.Payload());
            }
            RemoveHeadCommand();
            break;
        case cmClearAll:
        case cmCreateFile:
            if (!HeadAwaits(command)) break;
            if (directory_) directory_->RefreshDirectory();
            RemoveHeadCommand();
            break;
        case cmDeleteFile:
        case cmWriteBlock:
            if (HeadAwaits(command)) RemoveHeadCommand();
            break;
        default:
            break;  // not a command of this protocol
    }
}

// ---------------------------------------------------------------------------
// No-reply timer

void ConsoleLink::RestartReplyTimer() {
    timer_.Restart();
}

void ConsoleLink::Timer1Timer() {
    ClearCommands();
    view_.SetStatus(kTextNoConnection);
    timer_.Disable();
}

}  // namespace vemkard
