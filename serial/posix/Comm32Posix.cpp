// TComm32's open, close, writes and owner-thread reads over POSIX termios.
#include <array>
#include <cerrno>
#include <system_error>

#include "serial/Comm32.h"
#include "serial/CommSession.h"
#include "serial/posix/CommThreads.h"
#include "serial/posix/PortBackend.h"

namespace vemkard {
namespace sb = serial_backend;

struct TComm32::TPortState {
    int port = sb::kNoPort;
    std::string lockFile;  // ours while open; empty when none could be made
    sb::Rs485State rs485;  // the driver's, put back at close
    std::unique_ptr<sb::Event> closeEvent;
    // While the owner thread reads: its buffer and the line events of its chunks.
    struct TOwnerReader {
        std::array<std::uint8_t, kMaxChunk> buffer{};
        TChunkEvents events;
    };
    std::unique_ptr<TOwnerReader> ownerReader;
};

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
    : state_(std::make_unique<TPortState>()), lockDirectory_(sb::kLockDirectory), target_(target) {}

TComm32::~TComm32() {
    ClosePort();
}

void TComm32::ApplyWhileOpen(bool flowControl) {
    if (state_->port == sb::kNoPort) return;
    sb::ApplySettings(state_->port, dcb_);
    if (flowControl) sb::ApplyRtsControl(state_->port, dcb_, state_->rs485);
}

// ----- open and close -------------------------------------------------------------

void TComm32::CloseDeviceAndForget() {
    sb::RestoreRs485(state_->port, state_->rs485);
    sb::CloseDevice(state_->port, state_->lockFile);
    state_->port = sb::kNoPort;
    state_->lockFile.clear();
    portOpen_ = false;
}

bool TComm32::OpenPort() {
    if (state_->port != sb::kNoPort) throw ECommsError(TOpenFailure::AlreadyOpen);

    const sb::OpenResult opened = OpenOrThrow(commPort_, lockDirectory_);
    state_->port = opened.port;
    state_->lockFile = opened.lockFile;

    dcb_.Flags |= kDcbBinary;
    portOpen_ = true;
    if (!sb::ApplySettings(state_->port, dcb_)) {
        const int error = errno;
        // What the line echoed before the settings is not sent at the close.
        sb::Purge(state_->port, false, true);
        CloseDeviceAndForget();
        throw ECommsError::RateNotKept(error, dcb_.BaudRate, dcb_.RateKept);
    }
    sb::PrepareLine(state_->port, dcb_);
    sb::ApplyRtsControl(state_->port, dcb_, state_->rs485);

    try {
        state_->closeEvent = std::make_unique<sb::Event>();
    } catch (const std::system_error&) {
        CloseDeviceAndForget();
        return false;
    }
    session_ = std::make_shared<TCommSession>(this);
    eventChar_.store(dcb_.EvtChar);
    UpdateReportedEvents();
    // The first call comes from the owner's loop, after the open has returned.
    if (target_.WatchPort(state_->port, [this] { ReadOnOwner(); })) {
        state_->ownerReader = std::make_unique<TPortState::TOwnerReader>();
        state_->ownerReader->events.Start(state_->port);
    }
    const TCommThreadLink link{.Port = state_->port,
                               .CloseEvent = state_->closeEvent.get(),
                               .NotifyWindow = &target_,
                               .Session = session_,
                               .EventChar = &eventChar_,
                               .ReportedEvents = &reportedEvents_,
                               .OwnerReads = state_->ownerReader != nullptr,
                               .Trace = {&traceWrites_, &traceOrder_}};

    StartCommThreads(readThread_, writeThread_, link);
    return true;
}

void TComm32::ClosePort() {
    if (state_->port == sb::kNoPort) return;
    StopOwnerReads();
    if (state_->closeEvent) state_->closeEvent->Set();
    // The writer first: a frame it took just before the close is written
    // before the purge or not at all, and the driver is left nothing to send.
    if (writeThread_) {
        writeThread_->Join();
        writeThread_.reset();
    }
    sb::Purge(state_->port, false, true);
    if (readThread_) {
        readThread_->Join();
        readThread_.reset();
    }
    sb::Purge(state_->port, true, false);
    sb::ReleaseOutput(state_->port);
    state_->closeEvent.reset();
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
    return sb::Escape(state_->port, function);
}

void TComm32::ReadOnOwner() {
    if (!state_->ownerReader) return;
    const sb::IoResult read = sb::ReadPort(state_->port, state_->ownerReader->buffer.data(),
                                           state_->ownerReader->buffer.size());
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
    data.Data.assign(state_->ownerReader->buffer.begin(),
                     state_->ownerReader->buffer.begin() + std::ptrdiff_t(read.bytes));
    data.Data.push_back(0);
    data.Time = arrival;
    data.Session = session;

    UpdateReportedEvents();
    const bool open = state_->ownerReader->events.Inspect(
        state_->port, data.Data.data(), read.bytes, reportedEvents_.load(std::memory_order_relaxed),
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
    if (!state_->ownerReader) return;
    target_.UnwatchPort(state_->port);
    state_->ownerReader.reset();
}

}  // namespace vemkard
