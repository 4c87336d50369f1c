// What the protocol core needs from the layers around it. The core calls these
// on the user-interface thread only; implementations need no locking for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "protocol/Frame.h"

namespace vemkard {

// The serial port as the protocol sees it (the TComm32 surface it uses).
class ISerialLink {
  public:
    virtual ~ISerialLink() = default;
    virtual bool PortOpen() const = 0;
    // Takes effect at the next OpenPort.
    virtual void SetCommPort(const std::string& name) = 0;
    virtual void SetOddParity() = 0;
    // Opens the port; throws (any exception type) when it cannot.
    virtual bool OpenPort() = 0;
    virtual void ClosePort() = 0;
    // Queues one whole frame for sending and returns at once.
    virtual bool WriteData(const std::uint8_t* data, std::uint16_t count) = 0;
    // EscapeCommFunction codes: 5 raises DTR. Nonzero on success.
    virtual std::uint32_t EscapeComm(std::uint32_t function) = 0;
    // Why the latest OpenPort failed, as a sentence a user can act on; empty
    // when it did not fail or nothing more is known.
    virtual std::string OpenFailure() const { return {}; }
    // While a received chunk is being handed over: when it was read from the
    // line (steady clock). Unset (the epoch) when the link does not know.
    virtual std::chrono::steady_clock::time_point ReceivedAt() const { return {}; }
};

// The status line and the queue display.
class ILinkView {
  public:
    virtual ~ILinkView() = default;
    virtual void SetStatus(std::string_view text) = 0;
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetQueueCounter(std::string_view text) = 0;
};

// The no-reply timer. Disable then Enable, or Restart, starts a full interval.
class IReplyTimer {
  public:
    virtual ~IReplyTimer() = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual void Enable() = 0;
    virtual void Disable() = 0;
    virtual bool Enabled() const = 0;
    // Every reply restarts the timer; a timer may do that more cheaply.
    virtual void Restart() {
        Disable();
        Enable();
    }
};

// Blocking pause on the calling thread.
class ISleeper {
  public:
    virtual ~ISleeper() = default;
    // Returns once the steady clock has reached `deadline` (at once when it
    // has already passed), never before.
    virtual void SleepUntil(std::chrono::steady_clock::time_point deadline) = 0;
};

// Owner of the directory listing: replies 16..18, and the refresh that the
// replies to cmClearAll and cmCreateFile queue.
class IDirectoryReplies {
  public:
    virtual ~IDirectoryReplies() = default;
    virtual void RefreshDirectory() = 0;
    virtual void HandleDirectoryReply(std::span<const std::uint8_t> payload) = 0;
    virtual void HandleEntryReply(std::span<const std::uint8_t> payload) = 0;
    virtual void HandleFreeSpaceReply(std::span<const std::uint8_t> payload) = 0;
};

// Owner of the firmware status texts: replies 1..4, after their acknowledgement.
class IFirmwareReplies {
  public:
    virtual ~IFirmwareReplies() = default;
    virtual void ShowProgramStatus(const TReplyRecord& reply) = 0;
    virtual void ShowVerifyStatus(const TReplyRecord& reply) = 0;
    virtual void ShowEepromProgramStatus(const TReplyRecord& reply) = 0;
    virtual void ShowEepromVerifyStatus(const TReplyRecord& reply) = 0;
};

}  // namespace vemkard
