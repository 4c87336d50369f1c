// TComm32: the serial port component. It keeps the line settings, opens and
// closes the port, hands bytes to its writer thread and turns what it reads
// (or its reader thread reports) into events raised on its owner thread.
//
// Thread rules:
// - The owner thread is the one that hands the component's messages back to
//   it (ICommMessageTarget, then Deliver or HandleMessage). Every member below
//   (properties, operations, events) belongs to that thread alone.
// - While the port is open a reader and a writer thread run. They never call
//   into the component: they post messages to the target given at
//   construction, and the events are raised on the owner thread, in the order
//   the messages were posted.
// - Where the target watches the port for the owner thread (WatchPort), the
//   component reads there itself and raises each chunk's events at once; the
//   reader then only reports the modem lines. While the line is traced the
//   chunks still go through the target's queue, behind the writer's reports.
// - ClosePort blocks until both threads have ended. Messages of an open that
//   has since been closed raise nothing.
// - Several components may share one target and one owner thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>

#include "serial/CommMessage.h"
#include "serial/Dcb.h"

namespace vemkard {

enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum TStopBits : std::uint8_t { sb1_0, sb1_5, sb2_0 };
enum TBytesize : std::uint8_t { sz_4, sz_5, sz_6, sz_7, sz_8 };
enum TFlowControl : std::uint8_t { fcNone, fcHardware1, fcHardware2, fcSoftware };

// Why an open failed.
enum class TOpenFailure {
    AlreadyOpen,    // "Заданный порт уже открыт!"
    CannotOpen,     // "Невозможно открыть порт!"
    NotCommPort,    // "Задан не COM-порт"
    BadSettings,    // "Неверно заданы параметры порта!"
    NoReadThread,   // "Невозможно создать Read thread"
    NoWriteThread,  // "Невозможно создать Write thread"
};

// The message text of each open failure.
const char* OpenFailureMessage(TOpenFailure failure);

// Raised by OpenPort and ProbePort alone. what() is the Russian message
// text; the system's error number, where there is one, is kept beside it.
// A port that somebody else holds fails with CannotOpen and EBUSY, and names
// the holder where a lock file or /proc shows it.
class ECommsError : public std::runtime_error {
  public:
    explicit ECommsError(TOpenFailure failure, int systemError = 0, int holderPid = 0,
                         std::string holderName = {});
    TOpenFailure Failure() const { return failure_; }
    int SystemError() const { return systemError_; }
    // The process that holds the port: 0 and empty when unknown.
    int HolderPid() const { return holderPid_; }
    const std::string& HolderName() const { return holderName_; }
    // BadSettings where the driver took the settings but kept another rate:
    // the rate asked for and the one kept. 0 and 0 otherwise.
    std::uint32_t RateAsked() const { return rateAsked_; }
    std::uint32_t RateKept() const { return rateKept_; }
    static ECommsError RateNotKept(int systemError, std::uint32_t asked, std::uint32_t kept);

  private:
    TOpenFailure failure_;
    int systemError_;
    int holderPid_;
    std::string holderName_;
    std::uint32_t rateAsked_ = 0;
    std::uint32_t rateKept_ = 0;
};

class TComm32;
class TReadThread;
class TWriteThread;

enum class TTraceDirection : std::uint8_t { Received, Sent };

// Bytes as they crossed the line, for a trace.
struct TTraceChunk {
    TTraceDirection Direction = TTraceDirection::Received;
    std::span<const std::uint8_t> Bytes;  // valid during the call
    // Sent: when the writer had handed them to the driver. Received: the
    // chunk's own stamp where its thread set one, else when the owner got it.
    std::chrono::steady_clock::time_point Time;
};

using TReceiveDataEvent = std::function<void(const void* Buffer, std::uint16_t BufferLength)>;
using TTraceEvent = std::function<void(const TTraceChunk& Chunk)>;
using TErrorEvent = std::function<void(std::uint32_t ErrorCode)>;
using TNotifyEvent = std::function<void(TComm32& Sender)>;

class TComm32 {
  public:
    // `target` carries the threads' messages to the owner thread; it must
    // outlive the component.
    explicit TComm32(ICommMessageTarget& target);
    // Closes the port when it is open.
    ~TComm32();
    TComm32(const TComm32&) = delete;
    TComm32& operator=(const TComm32&) = delete;

    // ----- properties --------------------------------------------------------
    // While the port is closed a setter only stores. While it is open the line
    // settings are applied at once; a setting the driver refuses leaves the
    // line as it was, is kept, and is tried again by the next open.

    // The port's name; "COM2" after construction. Takes effect at the next
    // open. POSIX opens the path unchanged; Windows puts "\\.\" before a
    // plain COMn, so that COM10 and above open too.
    // Takes effect at the next open.
    const std::string& CommPort() const { return commPort_; }
    void SetCommPort(std::string port) { commPort_ = std::move(port); }
    // Any rate the driver runs; it is read back after it is set.
    std::uint32_t BaudRate() const { return dcb_.BaudRate; }
    void SetBaudRate(std::uint32_t baudRate);
    TBytesize ByteSize() const { return static_cast<TBytesize>(dcb_.ByteSize - 4); }
    void SetByteSize(TBytesize byteSize);
    TParity Parity() const { return static_cast<TParity>(dcb_.Parity); }
    void SetParity(TParity parity);
    TStopBits StopBits() const { return static_cast<TStopBits>(dcb_.StopBits); }
    void SetStopBits(TStopBits stopBits);
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl flowControl);
    // Driver queue sizes: SetupComm's on Windows; stored only on Linux, whose
    // drivers size their own queues.
    std::uint32_t RxQueue() const { return rxQueue_; }
    void SetRxQueue(std::uint32_t size) { rxQueue_ = size; }
    std::uint32_t TxQueue() const { return txQueue_; }
    void SetTxQueue(std::uint32_t size) { txQueue_ = size; }
    // The received character that raises OnEventChar.
    char EventChar() const { return dcb_.EvtChar; }
    void SetEventChar(char eventChar);
    bool PortOpen() const { return portOpen_; }
    // The settings record; after an open it also holds the driver's characters.
    const TDcb& Dcb() const { return dcb_; }
    // Taken from the latest WM_COMM_EVENT. The event character and line
    // errors are reported only while a handler listens for them (see
    // the events below).
    std::uint32_t LastEventMask() const { return lastEventMask_; }
    std::uint32_t LastModemStatus() const { return lastModemStatus_; }
    // Where the open takes its LCK.. lock file; /var/lock after construction.
    // Stored only on Windows, where the exclusive open holds the port.
    const std::string& LockDirectory() const { return lockDirectory_; }
    void SetLockDirectory(std::string directory) { lockDirectory_ = std::move(directory); }

    // ----- operations -----------------------------------------------------------

    // Opens CommPort with the current settings and starts both threads. Throws
    // ECommsError (see TOpenFailure for the state each leaves). A port that
    // another program holds is refused before anything touches its line.
    // Returns false, with the port closed, only when the close event cannot
    // be made.
    bool OpenPort();
    // Stops both threads and closes the port; nothing when closed. Write
    // requests not yet sent are dropped and the driver's queues purged, the
    // output once the writer has stopped, so the close waits for no drain.
    void ClosePort();
    // Finds out whether `name` would open with the current settings, and
    // leaves it as it was: refuses as OpenPort does (busy, not a character
    // device, rate or settings not taken), otherwise puts the line settings
    // and modem lines back, with no flush, and closes. No threads run; the
    // component's own port and CommPort are not touched.
    void ProbePort(const std::string& name) const;
    // Queues a copy of `count` bytes for the writer and returns at once. False
    // when the port is closed, the writer thread is missing or has ended on a
    // failure. Completion and write failures are not reported here (a failed
    // write shows as OnRequestHangup).
    bool WriteData(const void* data, std::uint16_t count);
    // Escape function by code: 5 SETDTR, 6 CLRDTR, 3 SETRTS, 4 CLRRTS,
    // 8 SETBREAK, 9 CLRBREAK, 1 SETXOFF, 2 SETXON. Nonzero on success; 0 when
    // closed, for other codes, or when the driver refuses (a pty refuses DTR).
    std::uint32_t EscapeComm(std::uint32_t function);

    // ----- messages from the threads ----------------------------------------------

    // Raises the events of one message. Messages posted by an open that has
    // been closed since are ignored; messages made by hand (no session) are
    // handled. WM_COMM_STARTED and unknown messages raise nothing.
    void HandleMessage(const TCommMessage& message);
    // Hands a posted message to the component that posted it, when that
    // component still exists and the open that posted it is still current.
    static void Deliver(const TCommMessage& message);

    // ----- events (raised on the owner thread) --------------------------------------
    // The event character and line errors are looked for only
    // for the events that have a handler (OnCommEvent listens for all). A
    // handler set while the port is open counts from the next message the
    // component handles.

    TReceiveDataEvent OnReceiveData;  // each chunk; the buffer is valid during the call
    // During OnReceiveData: when the chunk was read (steady clock).
    // Unset (the epoch) at other times and for a message made by hand.
    std::chrono::steady_clock::time_point ReceivedAt() const { return receivedAt_; }
    TNotifyEvent OnRequestHangup;  // the line failed
    TNotifyEvent OnCommEvent;      // every line event, first
    TErrorEvent OnError;           // EV_ERR, with the line error flags (CE_...)
    TNotifyEvent OnBreak;
    TNotifyEvent OnChangeCTS;
    TNotifyEvent OnChangeDSR;
    TNotifyEvent OnPERR;
    TNotifyEvent OnChangeRing;
    TNotifyEvent OnChangeRLSD;
    TNotifyEvent OnRX80FULL;
    TNotifyEvent OnTXEMPTY;
    TNotifyEvent OnSetCTS;
    TNotifyEvent OnSetDSR;
    TNotifyEvent OnSetRing;
    TNotifyEvent OnSetRLSD;
    TNotifyEvent OnClearCTS;
    TNotifyEvent OnClearDSR;
    TNotifyEvent OnClearRing;
    TNotifyEvent OnClearRLSD;
    TNotifyEvent OnEventChar;

    // The line trace, on the owner thread: each received chunk just before
    // OnReceiveData, and each write request once the writer has handed it to
    // the driver (after a failed write, the part that went). With no tap set
    // the writer reports nothing.
    void SetOnTrace(TTraceEvent tap);

  private:
    // What the component holds on this platform besides its settings (the
    // port handle, the close event, ...): each platform's Comm32 file has it.
    struct TPortState;

    // Applies the settings at once when open; the result is not examined.
    // `flowControl`: the flow control setting changed.
    void ApplyWhileOpen(bool flowControl = false);
    void DispatchCommEvent(const TCommMessage& message);
    void Raise(const TNotifyEvent& event);
    void Trace(TTraceDirection direction, const TCommMessage& message, std::size_t count);
    void CloseDeviceAndForget();
    // The EV_ bits that have a handler, for the reader.
    void UpdateReportedEvents();
    // Where the target watches the port (POSIX), its call when the port is
    // readable: reads one chunk on the owner thread and raises its events,
    // or the hang-up.
    void ReadOnOwner();
    void StopOwnerReads();

    std::unique_ptr<TPortState> state_;
    std::unique_ptr<TReadThread> readThread_;
    std::unique_ptr<TWriteThread> writeThread_;
    std::string commPort_ = "COM2";
    std::string lockDirectory_;
    ICommMessageTarget& target_;
    std::shared_ptr<TCommSession> session_;
    bool portOpen_ = false;
    std::uint32_t rxQueue_ = 4096;
    std::uint32_t txQueue_ = 4096;
    TDcb dcb_;
    std::atomic<char> eventChar_{0};  // dcb_.EvtChar, for the reader
    std::atomic<std::uint32_t> reportedEvents_{0};
    std::chrono::steady_clock::time_point receivedAt_{};
    TTraceEvent onTrace_;
    std::atomic<bool> traceWrites_{false};  // onTrace_ is set, for the writer
    std::mutex traceOrder_;                 // TCommThreadLink::TraceOrder
    std::uint32_t lastEventMask_ = 0;
    std::uint32_t lastModemStatus_ = 0;
};

}  // namespace vemkard
