#include "serial/Comm32.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

#include "serial/CommSession.h"

namespace vemkard {

const char* OpenFailureMessage(TOpenFailure failure) {
    switch (failure) {
        case TOpenFailure::AlreadyOpen:
            return "Заданный порт уже открыт!";
        case TOpenFailure::CannotOpen:
            return "Невозможно открыть порт!";
        case TOpenFailure::NotCommPort:
            return "Задан не COM-порт";
        case TOpenFailure::BadSettings:
            return "Неверно заданы параметры порта!";
        case TOpenFailure::NoReadThread:
            return "Невозможно создать Read thread";
        case TOpenFailure::NoWriteThread:
            return "Невозможно создать Write thread";
    }
    return "Невозможно открыть порт!";
}

ECommsError::ECommsError(TOpenFailure failure, int systemError, int holderPid,
                         std::string holderName)
    : std::runtime_error(OpenFailureMessage(failure)),
      failure_(failure),
      systemError_(systemError),
      holderPid_(holderPid),
      holderName_(std::move(holderName)) {}

ECommsError ECommsError::RateNotKept(int systemError, std::uint32_t asked, std::uint32_t kept) {
    ECommsError error(TOpenFailure::BadSettings, systemError);
    error.rateAsked_ = asked;
    error.rateKept_ = kept;
    return error;
}

// ----- properties ------------------------------------------------------------------

void TComm32::SetBaudRate(std::uint32_t baudRate) {
    dcb_.BaudRate = baudRate;
    ApplyWhileOpen();
}

void TComm32::SetByteSize(TBytesize byteSize) {
    dcb_.ByteSize = static_cast<std::uint8_t>(byteSize + 4);
    ApplyWhileOpen();
}

void TComm32::SetParity(TParity parity) {
    dcb_.Parity = parity;
    ApplyWhileOpen();
}

void TComm32::SetStopBits(TStopBits stopBits) {
    dcb_.StopBits = stopBits;
    ApplyWhileOpen();
}

TFlowControl TComm32::FlowControl() const {
    const std::uint32_t rts = dcb_.Flags & kDcbRtsControlMask;
    if (rts == kDcbRtsControlToggle) return fcHardware2;
    if (rts & kDcbRtsControlHandshake) return fcHardware1;
    if ((dcb_.Flags & (kDcbOutX | kDcbInX)) == (kDcbOutX | kDcbInX)) return fcSoftware;
    return fcNone;
}

void TComm32::SetFlowControl(TFlowControl flowControl) {
    std::uint32_t flags = dcb_.Flags & ~(kDcbOutX | kDcbInX | kDcbRtsControlMask);
    switch (flowControl) {
        case fcNone:
            break;
        case fcHardware1:
            flags |= kDcbRtsControlHandshake;
            break;
        case fcHardware2:
            flags |= kDcbRtsControlToggle;
            break;
        case fcSoftware:
            flags |= kDcbOutX | kDcbInX;
            break;
    }
    dcb_.Flags = flags;
    ApplyWhileOpen(true);
}

void TComm32::SetEventChar(char eventChar) {
    dcb_.EvtChar = eventChar;
    eventChar_.store(eventChar);
    ApplyWhileOpen();
}

// ----- messages -----------------------------------------------------------------------

void TComm32::Deliver(const TCommMessage& message) {
    if (const auto session = message.Session.lock()) session->Owner->HandleMessage(message);
}

void TComm32::HandleMessage(const TCommMessage& message) {
    static const std::weak_ptr<TCommSession> kNoSession;
    const bool madeByHand =
        !message.Session.owner_before(kNoSession) && !kNoSession.owner_before(message.Session);
    if (!madeByHand && (!session_ || message.Session.lock() != session_)) return;
    UpdateReportedEvents();

    switch (message.Msg) {
        case WM_COMM_DATA: {
            const auto count = std::min<std::size_t>(message.WParam & 0xFFFF, message.Data.size());
            Trace(TTraceDirection::Received, message, count);
            receivedAt_ = message.Time;
            if (OnReceiveData)
                OnReceiveData(message.Data.data(), static_cast<std::uint16_t>(count));
            receivedAt_ = {};
            break;
        }
        case WM_COMM_WRITTEN:
            Trace(TTraceDirection::Sent, message,
                  std::min<std::size_t>(message.WParam, message.Data.size()));
            break;
        case WM_COMM_HANGUP:
            Raise(OnRequestHangup);
            break;
        case WM_COMM_EVENT:
            DispatchCommEvent(message);
            break;
        default:
            break;  // WM_COMM_STARTED and anything else raise nothing
    }
}

void TComm32::SetOnTrace(TTraceEvent tap) {
    traceWrites_.store(static_cast<bool>(tap));
    onTrace_ = std::move(tap);
}

void TComm32::Trace(TTraceDirection direction, const TCommMessage& message, std::size_t count) {
    if (!onTrace_) return;
    // A message stamped by its thread keeps that moment.
    const auto time = message.Time != std::chrono::steady_clock::time_point{}
                          ? message.Time
                          : std::chrono::steady_clock::now();
    onTrace_(TTraceChunk{direction, {message.Data.data(), count}, time});
}

void TComm32::UpdateReportedEvents() {
    std::uint32_t mask = 0;
    if (OnCommEvent) mask = ~0u;
    if (OnEventChar) mask |= EV_RXFLAG;
    if (OnError) mask |= EV_ERR;
    if (OnBreak) mask |= EV_BREAK;
    if (OnChangeRing || OnSetRing || OnClearRing) mask |= EV_RING;
    reportedEvents_.store(mask, std::memory_order_relaxed);
}

void TComm32::Raise(const TNotifyEvent& event) {
    if (event) event(*this);
}

void TComm32::DispatchCommEvent(const TCommMessage& message) {
    const auto param = static_cast<std::uint32_t>(message.LParam);
    const std::uint32_t mask = param & 0xFFFF;
    const std::uint32_t status = param >> 16;
    lastEventMask_ = mask;
    lastModemStatus_ = status;

    Raise(OnCommEvent);
    if ((mask & EV_ERR) && OnError) OnError(message.ErrorFlags);
    if (mask & EV_RXFLAG) Raise(OnEventChar);
    if (mask & EV_BREAK) Raise(OnBreak);
    if (mask & EV_TXEMPTY) Raise(OnTXEMPTY);
    if (mask & EV_RX80FULL) Raise(OnRX80FULL);
    if (mask & EV_PERR) Raise(OnPERR);

    struct Line {
        std::uint32_t event, on;
        const TNotifyEvent &change, &set, &clear;
    };
    const Line lines[] = {
        {EV_CTS, MS_CTS_ON, OnChangeCTS, OnSetCTS, OnClearCTS},
        {EV_DSR, MS_DSR_ON, OnChangeDSR, OnSetDSR, OnClearDSR},
        {EV_RING, MS_RING_ON, OnChangeRing, OnSetRing, OnClearRing},
        {EV_RLSD, MS_RLSD_ON, OnChangeRLSD, OnSetRLSD, OnClearRLSD},
    };
    for (const Line& line : lines) {
        if ((mask & line.event) == 0) continue;
        Raise(line.change);
        Raise((status & line.on) ? line.set : line.clear);
    }
}

}  // namespace vemkard
