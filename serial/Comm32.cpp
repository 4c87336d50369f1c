#include "serial/Comm32.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>

#include "serial/CommThreads.h"
#include "serial/PortBackend.h"

namespace vemkard {
namespace sb = serial_backend;

class TCommSession {
  public:
    explicit TCommSession(TComm32* owner) : Owner(owner) {}
    TComm32* const Owner;
};

// What the owner thread needs to read the port itself.
class TOwnerReader {
  public:
    std::array<std::uint8_t, kMaxChunk> buffer{};
    TChunkEvents events;
};

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

namespace {

// Opens `name` as OpenPort and ProbePort do; throws their open failures.
sb::OpenResult OpenOrThrow(const std::string& name, const std::string& lockDirectory) {
    sb::OpenOptions options;
    options.lockDirectory = lockDirectory;
    sb::OpenResult opened = sb::OpenDevice(name, options);
    if (opened.status == sb::OpenStatus::CannotOpen) {
        throw ECommsError(TOpenFailure::CannotOpen, opened.error, opened.holder.pid,
                          opened.holder.name);
    }
    if (opened.status == sb::OpenStatus::NotCharDevice)
        throw ECommsError(TOpenFailure::NotCommPort);
    return opened;
}

}  // namespace

TComm32::TComm32(ICommMessageTarget& target)
    : lockDirectory_(sb::kLockDirectory),
      rs485_(std::make_unique<sb::Rs485State>()),
      target_(target) {}

TComm32::~TComm32() {
    ClosePort();
}

// ----- properties ------------------------------------------------------------------

void TComm32::ApplyWhileOpen() {
    if (port_ != sb::kNoPort) sb::ApplySettings(port_, dcb_);
}

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
    ApplyWhileOpen();
    if (port_ != sb::kNoPort) sb::ApplyRtsControl(port_, dcb_, *rs485_);
}

void TComm32::SetEventChar(char eventChar) {
    dcb_.EvtChar = eventChar;
    eventChar_.store(eventChar);
    ApplyWhileOpen();
}

// ----- open and close -------------------------------------------------------------

void TComm32::CloseDeviceAndForget() {
    sb::RestoreRs485(port_, *rs485_);
    sb::CloseDevice(port_, lockFile_);
    port_ = sb::kNoPort;
    lockFile_.clear();
    portOpen_ = false;
}

bool TComm32::OpenPort() {
    if (port_ != sb::kNoPort) throw ECommsError(TOpenFailure::AlreadyOpen);

    const sb::OpenResult opened = OpenOrThrow(commPort_, lockDirectory_);
    port_ = opened.port;
    lockFile_ = opened.lockFile;

    dcb_.Flags |= kDcbBinary;
    portOpen_ = true;
    if (!sb::ApplySettings(port_, dcb_)) {
        const int error = errno;
        // What the line echoed before the settings is not sent at the close.
        sb::Purge(port_, false, true);
        CloseDeviceAndForget();
        throw ECommsError::RateNotKept(error, dcb_.BaudRate, dcb_.RateKept);
    }
    sb::PrepareLine(port_, dcb_);
    sb::ApplyRtsControl(port_, dcb_, *rs485_);

    try {
        closeEvent_ = std::make_unique<sb::Event>();
    } catch (const std::system_error&) {
        CloseDeviceAndForget();
        return false;
    }
    session_ = std::make_shared<TCommSession>(this);
    eventChar_.store(dcb_.EvtChar);
    UpdateReportedEvents();
    // The first call comes from the owner's loop, after the open has returned.
    if (target_.WatchPort(port_, [this] { ReadOnOwner(); })) {
        ownerReader_ = std::make_unique<TOwnerReader>();
        ownerReader_->events.Start(port_);
    }
    const TCommThreadLink link{.Port = port_,
                               .CloseEvent = closeEvent_.get(),
                               .NotifyWindow = &target_,
                               .Session = session_,
                               .EventChar = &eventChar_,
                               .ReportedEvents = &reportedEvents_,
                               .OwnerReads = ownerReader_ != nullptr,
                               .TraceWrites = &traceWrites_,
                               .TraceOrder = &traceOrder_};

    try {
        readThread_ = std::make_unique<TReadThread>(link);
        readThread_->Start();
    } catch (const std::exception&) {
        readThread_.reset();
        throw ECommsError(TOpenFailure::NoReadThread);
    }
    try {
        // The writer's queue exists before its thread runs, so nothing queued
        // right after the open is lost.
        writeThread_ = std::make_unique<TWriteThread>(link);
        writeThread_->Start();
    } catch (const std::exception&) {
        writeThread_.reset();
        throw ECommsError(TOpenFailure::NoWriteThread);
    }
    return true;
}

void TComm32::ClosePort() {
    if (port_ == sb::kNoPort) return;
    StopOwnerReads();
    if (closeEvent_) closeEvent_->Set();
    // The writer first: a frame it took just before the close is written
    // before the purge or not at all, and the driver is left nothing to send.
    if (writeThread_) {
        writeThread_->Join();
        writeThread_.reset();
    }
    sb::Purge(port_, false, true);
    if (readThread_) {
        readThread_->Join();
        readThread_.reset();
    }
    sb::Purge(port_, true, false);
    sb::ReleaseOutput(port_);
    closeEvent_.reset();
    CloseDeviceAndForget();
    session_.reset();
}

void TComm32::ProbePort(const std::string& name) const {
    const sb::OpenResult opened = OpenOrThrow(name, lockDirectory_);
    sb::SavedLine saved;
    sb::SaveLine(opened.port, saved);
    TDcb dcb = dcb_;
    dcb.Flags |= kDcbBinary;
    const bool taken = sb::ApplySettings(opened.port, dcb);
    const int error = errno;
    sb::RestoreLine(opened.port, saved);
    sb::CloseDevice(opened.port, opened.lockFile);
    if (!taken) throw ECommsError::RateNotKept(error, dcb.BaudRate, dcb.RateKept);
}

bool TComm32::WriteData(const void* data, std::uint16_t count) {
    if (!writeThread_ || (data == nullptr && count != 0)) return false;
    return writeThread_->Queue(data, count);
}

std::uint32_t TComm32::EscapeComm(std::uint32_t function) {
    return sb::Escape(port_, function);
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

void TComm32::ReadOnOwner() {
    if (!ownerReader_) return;
    const sb::IoResult read =
        sb::ReadPort(port_, ownerReader_->buffer.data(), ownerReader_->buffer.size());
    // Stamped as soon as the bytes are ours: the answer's pause counts from here.
    const auto arrival = std::chrono::steady_clock::now();
    if (read.status == sb::IoStatus::WouldBlock) return;
    const std::weak_ptr<TCommSession> session = session_;
    if (read.status != sb::IoStatus::Done) {
        // The far end is gone. The hang-up goes through the queue, as the
        // reader's would, so that the handler does not run inside this call.
        StopOwnerReads();
        TCommMessage hangup;
        hangup.Msg = WM_COMM_HANGUP;
        hangup.Session = session;
        target_.Post(std::move(hangup));
        return;
    }

    // The message's own copy: a handler may close the port, and the buffer with it.
    TCommMessage data;
    data.Msg = WM_COMM_DATA;
    data.WParam = read.bytes;
    data.Data.reserve(read.bytes + 1);
    data.Data.assign(ownerReader_->buffer.begin(),
                     ownerReader_->buffer.begin() + std::ptrdiff_t(read.bytes));
    data.Data.push_back(0);
    data.Time = arrival;
    data.Session = session;

    UpdateReportedEvents();
    const bool open = ownerReader_->events.Inspect(
        port_, data.Data.data(), read.bytes, reportedEvents_.load(std::memory_order_relaxed),
        dcb_.EvtChar, [&](std::uint32_t mask, std::uint32_t status, std::uint32_t flags) {
            TCommMessage event;
            event.Msg = WM_COMM_EVENT;
            event.LParam = EventParam(mask, status);
            event.ErrorFlags = flags;
            event.Session = session;
            HandleMessage(event);
            return !session.expired();  // false once a handler has closed the port
        });
    if (!open) return;
    if (traceWrites_.load()) {
        // Queued behind what the writer has reported, so that an answer is
        // never traced before the frame it answers.
        const std::lock_guard order(traceOrder_);
        target_.Post(std::move(data));
        return;
    }
    HandleMessage(data);
}

void TComm32::StopOwnerReads() {
    if (!ownerReader_) return;
    target_.UnwatchPort(port_);
    ownerReader_.reset();
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
