// TComm32's open, close and writes over the Win32 communications functions,
// with the port opened for overlapped I/O and the threads posting to the
// component's message-only window.
#include <cstring>
#include <system_error>

#include "CommThreads.h"
#include "CommWindow.h"
#include "PortName.h"
#include "serial/Comm32.h"
#include "serial/CommSession.h"

namespace vemkard {

struct TComm32::TPortState {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE closeEvent = nullptr;
    DCB dcb{};    // the driver's whole record, as the last open merged it
    DCB found{};  // the driver's record as the open found it, put back at close
    bool foundKnown = false;
    TCommWindow window;
};

namespace {

// Our flags word over the record's bit fields, which have the same order.
void SetFlags(DCB& dcb, std::uint32_t flags) {
    dcb.fBinary = flags & 1;
    dcb.fParity = flags >> 1 & 1;
    dcb.fOutxCtsFlow = flags >> 2 & 1;
    dcb.fOutxDsrFlow = flags >> 3 & 1;
    dcb.fDtrControl = flags >> 4 & 3;
    dcb.fDsrSensitivity = flags >> 6 & 1;
    dcb.fTXContinueOnXoff = flags >> 7 & 1;
    dcb.fOutX = flags >> 8 & 1;
    dcb.fInX = flags >> 9 & 1;
    dcb.fErrorChar = flags >> 10 & 1;
    dcb.fNull = flags >> 11 & 1;
    dcb.fRtsControl = flags >> 12 & 3;
    dcb.fAbortOnError = flags >> 14 & 1;
}

// Our settings over the driver's record: the rest (XON/XOFF limits and
// characters, error and EOF characters) stays the driver's.
void MergeSettings(DCB& driver, const TDcb& ours) {
    driver.DCBlength = sizeof(DCB);
    driver.BaudRate = ours.BaudRate;
    SetFlags(driver, ours.Flags | kDcbBinary);
    driver.ByteSize = ours.ByteSize;
    driver.Parity = ours.Parity;
    driver.StopBits = ours.StopBits;
    driver.EvtChar = ours.EvtChar;
}

// Sets the settings and reads them back: a driver may take a rate it cannot
// run and keep another. Throws the open's failure when they are refused.
void ApplySettings(HANDLE port, DCB& dcb) {
    const DWORD wanted = dcb.BaudRate;
    if (!SetCommState(port, &dcb))
        throw ECommsError(TOpenFailure::BadSettings, static_cast<int>(GetLastError()));
    DCB taken{};
    taken.DCBlength = sizeof taken;
    if (GetCommState(port, &taken) && !RateTaken(wanted, taken.BaudRate))
        throw ECommsError::RateNotKept(ERROR_INVALID_PARAMETER, wanted, taken.BaudRate);
}

// Opens `name` as OpenPort and ProbePort do; throws their open failures.
HANDLE OpenOrThrow(const std::string& name) {
    // Share mode 0: the port is ours alone while open.
    const HANDLE port = CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        throw ECommsError(TOpenFailure::CannotOpen, static_cast<int>(GetLastError()));
    if (GetFileType(port) != FILE_TYPE_CHAR) {
        CloseHandle(port);
        throw ECommsError(TOpenFailure::NotCommPort);
    }
    return port;
}

}  // namespace

TComm32::TComm32(ICommMessageTarget& target)
    : state_(std::make_unique<TPortState>()), lockDirectory_("/var/lock"), target_(target) {}

TComm32::~TComm32() {
    ClosePort();
}

void TComm32::ApplyWhileOpen(bool) {
    if (state_->port == INVALID_HANDLE_VALUE) return;
    MergeSettings(state_->dcb, dcb_);
    SetCommState(state_->port, &state_->dcb);
}

void TComm32::CloseDeviceAndForget() {
    // The line is left as the open found it, for the next program that opens
    // it. (Wine on a pseudo-terminal also refuses odd parity again once set.)
    if (state_->foundKnown) SetCommState(state_->port, &state_->found);
    state_->foundKnown = false;
    CloseHandle(state_->port);
    state_->port = INVALID_HANDLE_VALUE;
    portOpen_ = false;
}

bool TComm32::OpenPort() {
    if (state_->port != INVALID_HANDLE_VALUE) throw ECommsError(TOpenFailure::AlreadyOpen);
    state_->port = OpenOrThrow(commPort_);

    DCB& dcb = state_->dcb;
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    const bool known = GetCommState(state_->port, &dcb);
    state_->found = dcb;
    state_->foundKnown = known;
    MergeSettings(dcb, dcb_);
    dcb_.Flags |= kDcbBinary;
    dcb_.XonChar = dcb.XonChar;
    dcb_.XoffChar = dcb.XoffChar;
    dcb_.EofChar = dcb.EofChar;
    // What one read finds is handed over once the line has been quiet for
    // 1 ms; writes have no time limit.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    SetCommTimeouts(state_->port, &timeouts);

    portOpen_ = true;
    try {
        // A device that has no line settings (NUL) fails here too.
        if (!known) throw ECommsError(TOpenFailure::BadSettings, static_cast<int>(GetLastError()));
        ApplySettings(state_->port, dcb);
    } catch (const ECommsError&) {
        CloseDeviceAndForget();
        throw;
    }
    SetupComm(state_->port, rxQueue_, txQueue_);
    // Bytes that waited in the driver before the open are not taken as new.
    PurgeComm(state_->port, PURGE_RXCLEAR);

    state_->closeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!state_->closeEvent) {
        CloseDeviceAndForget();
        return false;
    }
    session_ = std::make_shared<TCommSession>(this);
    UpdateReportedEvents();
    const TCommThreadLink link{.Port = state_->port,
                               .CloseEvent = state_->closeEvent,
                               .NotifyWindow = &state_->window,
                               .Session = session_,
                               .ReportedEvents = &reportedEvents_,
                               .Trace = {&traceWrites_, &traceOrder_}};
    StartCommThreads(readThread_, writeThread_, link);
    return true;
}

void TComm32::ClosePort() {
    if (state_->port == INVALID_HANDLE_VALUE) return;
    if (state_->closeEvent) SetEvent(state_->closeEvent);
    PurgeComm(state_->port, PURGE_RXABORT | PURGE_RXCLEAR);
    if (readThread_) {
        readThread_->Join();
        readThread_.reset();
    }
    PurgeComm(state_->port, PURGE_TXABORT | PURGE_TXCLEAR);
    if (writeThread_) {
        writeThread_->Join();
        writeThread_.reset();
    }
    if (state_->closeEvent) CloseHandle(state_->closeEvent);
    state_->closeEvent = nullptr;
    CloseDeviceAndForget();
    session_.reset();
}

void TComm32::ProbePort(const std::string& name) const {
    const HANDLE port = OpenOrThrow(name);
    DCB saved{};
    saved.DCBlength = sizeof saved;
    if (!GetCommState(port, &saved)) {
        const DWORD error = GetLastError();
        CloseHandle(port);
        throw ECommsError(TOpenFailure::BadSettings, static_cast<int>(error));
    }
    DCB dcb = saved;
    MergeSettings(dcb, dcb_);
    try {
        ApplySettings(port, dcb);
    } catch (const ECommsError&) {
        // A probe leaves the line as it found it.
        SetCommState(port, &saved);
        CloseHandle(port);
        throw;
    }
    SetCommState(port, &saved);
    CloseHandle(port);
}

bool TComm32::WriteData(const void* data, std::uint16_t count) {
    if (!writeThread_ || (data == nullptr && count != 0)) return false;
    return writeThread_->Queue(data, count);
}

std::uint32_t TComm32::EscapeComm(std::uint32_t function) {
    if (state_->port == INVALID_HANDLE_VALUE) return 0;
    return EscapeCommFunction(state_->port, function) ? 1 : 0;
}

}  // namespace vemkard
