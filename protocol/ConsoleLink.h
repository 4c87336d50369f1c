// The protocol core: the command queue, the answering of polls, link
// activation, the receiver and the reply dispatch, and the no-reply timer.
//
// Thread rules: every method runs on the user-interface thread (the thread
// that owns the serial component's events and the timer). Nothing here locks
// and nothing here pumps messages, so a dispatch never re-enters the receiver.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "protocol/Frame.h"
#include "protocol/LinkInterfaces.h"

namespace vemkard {

// One queued command: L, the command code and the payload, in frame order.
struct TCommandEntry {
    std::uint8_t Length = 0;
    std::uint8_t Command = 0;
    std::array<std::uint8_t, 251> Payload{};
};
static_assert(sizeof(TCommandEntry) == 253 && std::is_standard_layout_v<TCommandEntry>,
              "entry keeps L, code and payload contiguous, L first");

inline constexpr int kReplyTimeoutMs = 20000;
inline constexpr int kPollAnswerPauseMs = 20;
inline constexpr std::size_t kReceiveBufferSize = 4096;

inline constexpr std::string_view kTextOperationDone = "Операция успешно завершена.";
inline constexpr std::string_view kTextNoConnection = "Нет связи с устройством!";
inline constexpr std::string_view kTextCannotOpenPort = "Невозможно открыть порт!";
inline constexpr std::string_view kTextPortOpened = "Порт открыт";

class ConsoleLink {
  public:
    // `portName` gives the port name to open (the settings dialog's text).
    ConsoleLink(ISerialLink& serial, ILinkView& view, IReplyTimer& timer, ISleeper& sleeper,
                std::function<std::string()> portName);
    ConsoleLink(const ConsoleLink&) = delete;
    ConsoleLink& operator=(const ConsoleLink&) = delete;

    // Handlers of later layers; either may stay unset (those replies then
    // only do their queue step).
    void SetDirectoryReplies(IDirectoryReplies* handler) { directory_ = handler; }
    void SetFirmwareReplies(IFirmwareReplies* handler) { firmware_ = handler; }

    // --- link activation -------------------------------------------------
    // Opens the port when it is closed (status "Порт открыт", receive buffer
    // reset, DTR raised; a failed open shows "Невозможно открыть порт!",
    // followed by the port's reason when it gives one, and arms nothing),
    // then restarts the no-reply timer. Never throws.
    void ActivateComm();
    // Closes an open port and disables the no-reply timer.
    void DeactivateComm();

    // --- command queue ----------------------------------------------------
    // Appends (command, payload[0 .. length-2]) with length L = payload size + 1.
    // Refuses L < 1 or L > 250 (the frame would not fit the send buffer):
    // returns false and queues nothing. Updates the queue counter.
    bool AddCommand(std::uint8_t command, const std::uint8_t* payload, int length);
    // Progress bar maximum and position := queue length.
    void UpdateQueueProgress();
    // Removes the head; when the queue is then empty reports completion and
    // deactivates the link.
    void RemoveHeadCommand();
    // Empties the queue and deactivates the link; leaves the status line alone.
    void ClearCommands();
    // Answers a poll: after the pause, writes the head's frame. The head stays.
    // The pause ends kPollAnswerPauseMs after the chunk that brought the poll
    // was read, so that no delay on the program's side adds to it; outside a
    // receive pass, or when the link gives no time, it counts from now.
    void SendHeadCommand();

    // --- receiver -----------------------------------------------------------
    // Handler of the serial component's receive-data event. One chunk is one
    // receive pass, also when it is parsed in pieces. Restarts the no-reply
    // timer when the chunk moved the queue on (a head went out for the first
    // time or was removed) or nothing is queued; polls that only fetch the
    // same head again and replies that are ignored do not, so an
    // unacknowledged head ends the batch like a silent console.
    void Comm321ReceiveData(const void* buffer, std::uint16_t length);
    // Dispatches every complete, valid frame from the scan position on, in
    // order, except that of several polls in one pass only the last is
    // answered: the earlier ones are stale.
    void ParseReceived();
    // Drops the bytes before the scan position.
    void CompactReceiveBuffer();
    // Acts on one received frame by its command code.
    void DispatchReply(const TReplyRecord& reply);

    // --- no-reply timer ---------------------------------------------------
    void RestartReplyTimer();
    // Tick of the no-reply timer: abandons the queued work.
    void Timer1Timer();

    // --- state, for the layers above and for tests -------------------------
    const std::deque<TCommandEntry>& Queue() const { return queue_; }
    int QueueLength() const { return static_cast<int>(queue_.size()); }
    int FillLevel() const { return fillLevel_; }
    int ScanPosition() const { return scanPosition_; }
    ILinkView& View() { return view_; }
    ISerialLink& Serial() { return serial_; }

  private:
    void ShowQueueCounter();
    bool HeadAwaits(std::uint8_t command) const;
    // Whether the current receive pass holds another poll from `from` on.
    bool LaterPollInPass(int from) const;

    ISerialLink& serial_;
    ILinkView& view_;
    IReplyTimer& timer_;
    ISleeper& sleeper_;
    std::function<std::string()> portName_;
    IDirectoryReplies* directory_ = nullptr;
    IFirmwareReplies* firmware_ = nullptr;

    // Head removal and tail append are O(1); firmware runs queue ~4100 entries.
    std::deque<TCommandEntry> queue_;
    // The head has been written at least once since it became the head.
    bool headSent_ = false;
    // Counts each head sent for the first time and each head removed: the
    // steps by which a batch moves on.
    unsigned queueSteps_ = 0;

    std::array<std::uint8_t, kReceiveBufferSize> receiveBuffer_{};
    int fillLevel_ = 0;
    int scanPosition_ = 0;
    // The bytes of the chunk being received that are not in the buffer yet.
    std::span<const std::uint8_t> passRest_;
    // When the chunk being received was read; unset outside a receive pass.
    std::chrono::steady_clock::time_point passArrival_{};
    // Counts DeactivateComm calls, so the receiver can tell that a parse
    // finished or abandoned the batch and must not re-arm the timer.
    unsigned deactivations_ = 0;
};

}  // namespace vemkard
