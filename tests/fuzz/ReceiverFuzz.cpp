// The receiver of a whole session (listing, upload, removal and firmware
// handlers attached) under arbitrary bytes in arbitrary chunks, with commands
// queued and user actions between the chunks.
//
// The input is laid out in ReceiverInput.h.
//
// Every chunk and every frame handed on is an exact-size heap copy, so that
// AddressSanitizer reports a read past it. An independent receiver, written
// from the frame rules, finds the frames each chunk completes; the frames of
// codes 1 to 4 (which reach their handler whatever the queue holds) must be
// handed on byte for byte and in order.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/ConsoleSession.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/ReceiverInput.h"
#include "tests/protocol/LinkFakes.h"
#include "tests/support/FakeDialogs.h"

using namespace vemkard;
using namespace vemkard::fuzz;

namespace {

constexpr std::size_t kMaxChunk = 0xFFFF;

struct LocalFiles {
    ScratchFolder folder;
    std::string plan, organisation, empty, image;

    LocalFiles() {
        Bytes bytes(1500);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i % 251);
        plan = folder.Write("plan.h6s", std::span(bytes).first(100));
        bytes[1029] = 0x23;  // A = 0x123, raised to 0x130
        bytes[1030] = 0x01;
        bytes[1024 + 0x130] = 0x00;  // B = 0x100
        bytes[1024 + 0x131] = 0x01;
        organisation = folder.Write("org.m0", bytes);
        empty = folder.Write("empty.txt", {});
        image = folder.Write("main.mts", std::span(bytes).first(70));
    }
};

// Finds the complete frames with a valid checksum in the bytes received so
// far, the way the receiver is to find them: a false start moves on one byte.
class ReferenceReceiver {
  public:
    void Reset() { buffer_.clear(); }
    std::size_t Pending() const { return buffer_.size(); }

    std::vector<Bytes> Feed(std::span<const std::uint8_t> chunk) {
        buffer_.insert(buffer_.end(), chunk.begin(), chunk.end());
        std::vector<Bytes> frames;
        std::size_t scan = 0;
        while (scan + 6 < buffer_.size()) {
            const auto at = buffer_.begin() + static_cast<std::ptrdiff_t>(scan);
            if (!std::equal(kFramePrefix.begin(), kFramePrefix.end(), at)) {
                ++scan;
                continue;
            }
            const std::size_t length = at[4];
            if (length > buffer_.size() - scan - 6) break;
            const Bytes frame(at, at + static_cast<std::ptrdiff_t>(length + 6));
            // Valid: the 8-bit sum of the whole frame is 0xFF.
            if (Sum(frame) != 0xFF) {
                ++scan;
                continue;
            }
            if (length > 0) frames.push_back(frame);  // L = 0 carries no code
            scan += length + 6;
        }
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(scan));
        return frames;
    }

  private:
    static std::uint8_t Sum(const Bytes& bytes) {
        std::uint8_t sum = 0;
        for (const std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
        return sum;
    }
    Bytes buffer_;
};

class CheckingSerial : public ISerialLink {
  public:
    bool PortOpen() const override { return open; }
    void SetCommPort(const std::string&) override {}
    void SetOddParity() override {}
    bool OpenPort() override {
        if (busy) throw std::runtime_error("port busy");
        open = true;
        ++opens;
        return true;
    }
    void ClosePort() override { open = false; }
    // Every frame written must be the head entry's frame.
    bool WriteData(const std::uint8_t* data, std::uint16_t count) override {
        FUZZ_CHECK(link && !link->Queue().empty(), "a frame written with nothing queued");
        const TCommandEntry& head = link->Queue().front();
        FUZZ_CHECK(head.Length >= 1 && head.Length <= 250, "head entry with L %u", head.Length);
        const Bytes expected = WireFrame(head.Command, {head.Payload.data(), head.Length - 1u});
        FUZZ_CHECK(count == expected.size() && std::equal(data, data + count, expected.begin()),
                   "wrote %u bytes that are not the frame of the head (code %u, L %u)", count,
                   head.Command, head.Length);
        if (open) {
            sentHead = &head;
            sentEntry = head;
        }
        Observe();
        return open;
    }
    std::uint32_t EscapeComm(std::uint32_t) override { return open ? 1 : 0; }

    // A refused write does not send the head.
    bool HeadSent() const { return !link->Queue().empty() && sentHead == &link->Queue().front(); }

    // The head now, or nothing.
    const TCommandEntry* Head() const {
        return link->Queue().empty() ? nullptr : &link->Queue().front();
    }
    // Entries leave from the head only: once the entry sent is not the head it
    // is gone (and a later entry may take its address).
    void Observe() {
        seenHead = Head();
        if (sentHead != seenHead) sentHead = nullptr;
    }

    const ConsoleLink* link = nullptr;
    const TCommandEntry* sentHead = nullptr;  // the entry last written
    TCommandEntry sentEntry;                  // and a copy of it
    // The head when it was last looked at: at each write and handler call,
    // and after each operation.
    const TCommandEntry* seenHead = nullptr;
    bool open = false;
    bool busy = false;
    int opens = 0;
};

class NoPause : public ISleeper {
  public:
    void SleepUntil(std::chrono::steady_clock::time_point) override {}
};

// Stands between the link and the real handlers: hands them exact-size copies
// and checks what they do to the grid and the link.
class Spy : public IDirectoryReplies, public IFirmwareReplies, public IGridObserver {
  public:
    Spy(ConsoleSession& session, CheckingSerial& serial) : session_(session), serial_(serial) {
        session.Link.SetDirectoryReplies(this);
        session.Link.SetFirmwareReplies(this);
        session.Grid.SetObserver(this);
    }
    ~Spy() override {
        session_.Link.SetDirectoryReplies(&session_.Listing);
        session_.Link.SetFirmwareReplies(&session_.Firmware);
        session_.Grid.SetObserver(nullptr);
    }

    // Called by the link only for the replies to a clear or a create.
    void RefreshDirectory() override {
        CheckAnswered();
        serial_.Observe();
        session_.Listing.RefreshDirectory();
    }
    void HandleDirectoryReply(std::span<const std::uint8_t> payload) override {
        if (!payload.empty()) lastCount = payload[0];
        Directory(Handling::kDirectory, payload, &IDirectoryReplies::HandleDirectoryReply);
    }
    void HandleEntryReply(std::span<const std::uint8_t> payload) override {
        entryRow_ = payload.empty() ? -1 : payload[0] + 1;
        Directory(Handling::kEntry, payload, &IDirectoryReplies::HandleEntryReply);
    }
    void HandleFreeSpaceReply(std::span<const std::uint8_t> payload) override {
        Directory(Handling::kFreeSpace, payload, &IDirectoryReplies::HandleFreeSpaceReply);
    }

    void ShowProgramStatus(const TReplyRecord& reply) override {
        Firmware(reply, &IFirmwareReplies::ShowProgramStatus);
    }
    void ShowVerifyStatus(const TReplyRecord& reply) override {
        Firmware(reply, &IFirmwareReplies::ShowVerifyStatus);
    }
    void ShowEepromProgramStatus(const TReplyRecord& reply) override {
        Firmware(reply, &IFirmwareReplies::ShowEepromProgramStatus);
    }
    void ShowEepromVerifyStatus(const TReplyRecord& reply) override {
        Firmware(reply, &IFirmwareReplies::ShowEepromVerifyStatus);
    }

    void RowsReset(int) override {
        FUZZ_CHECK(handling_ == Handling::kDirectory, "grid rows reset outside a count reply");
    }
    void CellChanged(int row, int column) override {
        const int last = session_.Grid.RowCount() - 1;
        switch (handling_) {
            case Handling::kEntry:
                FUZZ_CHECK(row == entryRow_ && row >= 1 && row < last,
                           "an entry reply for row %d wrote row %d of %d", entryRow_, row, last);
                break;
            case Handling::kFreeSpace:
                FUZZ_CHECK(row == last && column == 1, "free space written to %d:%d", row, column);
                break;
            default:
                FUZZ_CHECK(false, "cell %d:%d written outside an entry or free-space reply", row,
                           column);
        }
    }

    int lastCount = 0;
    // Frames of codes 1..4 that the independent receiver found and that have
    // not yet reached their handler.
    std::deque<Bytes> expectedFirmware;
    bool verifyError = false;

  private:
    enum class Handling { kNothing, kDirectory, kEntry, kFreeSpace };

    // The frame being dispatched lies whole inside the received bytes.
    void CheckInBuffer(std::size_t length) {
        const ConsoleLink& link = session_.Link;
        FUZZ_CHECK(link.ScanPosition() >= 0 && link.FillLevel() <= int{kReceiveBufferSize} &&
                       link.ScanPosition() + static_cast<int>(length) + 6 <= link.FillLevel(),
                   "frame of L %zu dispatched at %d with %d bytes received", length,
                   link.ScanPosition(), link.FillLevel());
    }

    // A reply acknowledges only a head that has gone out.
    void CheckAnswered() const {
        FUZZ_CHECK(serial_.HeadSent(), "a reply to code %u taken before it was sent",
                   session_.Link.Queue().empty() ? 0 : session_.Link.Queue().front().Command);
    }

    void Directory(Handling handling, std::span<const std::uint8_t> payload,
                   void (IDirectoryReplies::*handler)(std::span<const std::uint8_t>)) {
        CheckInBuffer(payload.size() + 1);
        CheckAnswered();
        serial_.Observe();
        const HeapCopy copy(payload);
        handling_ = handling;
        (session_.Listing.*handler)(copy.Span());
        handling_ = Handling::kNothing;
    }

    void Firmware(const TReplyRecord& reply,
                  void (IFirmwareReplies::*handler)(const TReplyRecord&)) {
        const std::size_t length = reply.Length();
        CheckInBuffer(length);
        const HeapCopy copy({reply.bytes, length + 1});
        if (length >= 4) {
            FUZZ_CHECK(!expectedFirmware.empty(), "code %u handed on that was not received",
                       reply.Command());
            const Bytes& frame = expectedFirmware.front();
            FUZZ_CHECK(frame.size() == length + 6 &&
                           std::equal(copy.Data(), copy.Data() + length + 1, frame.begin() + 4),
                       "code %u handed on with other bytes than received", reply.Command());
            expectedFirmware.pop_front();
        }
        CheckAcknowledgement(reply);
        // The handler may clear the queue (a verify error).
        (session_.Firmware.*handler)(TReplyRecord{copy.Data()});
        serial_.Observe();
        if (reply.Command() == cmVerifyFlash || reply.Command() == cmVerifyEeprom) {
            if (length >= 4 && copy.Data()[4] != 0) {
                verifyError = true;
                CheckAbandoned("verify error");
            }
        }
    }

    // A block reply removes the block sent last exactly when its code and its
    // first payload byte are the block's. Only such a reply can remove a
    // block, so this is known when that block was the head when last seen.
    void CheckAcknowledgement(const TReplyRecord& reply) const {
        const TCommandEntry& sent = serial_.sentEntry;
        if (serial_.sentHead == nullptr || serial_.seenHead != serial_.sentHead ||
            sent.Command < cmProgramFlash || sent.Command > cmVerifyEeprom || reply.Length() < 2)
            return;
        const bool removed = serial_.Head() != serial_.sentHead;
        const bool matches = sent.Command == reply.Command() && sent.Payload[0] == reply.bytes[2];
        FUZZ_CHECK(removed == matches, "reply code %u byte %u %s block code %u byte %u",
                   reply.Command(), reply.bytes[2], removed ? "removed" : "left", sent.Command,
                   sent.Payload[0]);
    }

  public:
    void CheckAbandoned(const char* after) const {
        FUZZ_CHECK(session_.Link.QueueLength() == 0 && !session_.Link.Serial().PortOpen(),
                   "after a %s: %d queued, port %s", after, session_.Link.QueueLength(),
                   session_.Link.Serial().PortOpen() ? "open" : "closed");
    }

  private:
    ConsoleSession& session_;
    CheckingSerial& serial_;
    Handling handling_ = Handling::kNothing;
    int entryRow_ = -1;
};

struct Rig {
    CheckingSerial serial;
    testing::RecordingView view;
    testing::FakeTimer timer;
    NoPause sleeper;
    testing::FakeDialogs dialogs;
    ConsoleSession session{serial, view, timer, sleeper, dialogs, [] { return std::string(); }};
    Spy spy{session, serial};
    ReferenceReceiver reference;

    Rig() { serial.link = &session.Link; }

    void Deliver(std::span<const std::uint8_t> chunk) {
        chunk = chunk.first(std::min(chunk.size(), kMaxChunk));
        for (Bytes& frame : reference.Feed(chunk)) {
            const std::uint8_t command = frame[5];
            if (frame[4] >= 4 && command >= cmProgramFlash && command <= cmVerifyEeprom)
                spy.expectedFirmware.push_back(std::move(frame));
        }
        spy.verifyError = false;
        const HeapCopy copy(chunk);
        session.Link.Comm321ReceiveData(copy.Data(), static_cast<std::uint16_t>(chunk.size()));
        FUZZ_CHECK(spy.expectedFirmware.empty(), "%zu received frames of codes 1..4 not handed on",
                   spy.expectedFirmware.size());
        if (spy.verifyError) {
            spy.CheckAbandoned("chunk with a verify error");
            FUZZ_CHECK(!timer.enabled, "the timer runs after a verify error");
        }
    }

    // A user action; when it opened the port the receive buffer starts afresh.
    template <class Action>
    void Act(Action action) {
        const int opens = serial.opens;
        action();
        if (serial.opens != opens) reference.Reset();
    }

    void CheckState() const {
        const ConsoleLink& link = session.Link;
        FUZZ_CHECK(link.ScanPosition() == 0, "scan position %d between chunks",
                   link.ScanPosition());
        FUZZ_CHECK(link.FillLevel() >= 0 && link.FillLevel() <= 260, "%d bytes left after a parse",
                   link.FillLevel());
        FUZZ_CHECK(static_cast<std::size_t>(link.FillLevel()) == reference.Pending(),
                   "%d bytes kept, the frame rules keep %zu", link.FillLevel(),
                   reference.Pending());
        FUZZ_CHECK(view.counter == std::to_string(link.QueueLength()), "counter %s, queue %d",
                   view.counter.c_str(), link.QueueLength());
        FUZZ_CHECK(session.Grid.RowCount() == spy.lastCount + 2, "%d rows after a count of %d",
                   session.Grid.RowCount(), spy.lastCount);
        for (const TCommandEntry& entry : link.Queue())
            FUZZ_CHECK(entry.Length >= 1 && entry.Length <= 250, "queued L %u", entry.Length);
    }

    void Operate(FuzzInput& input, const LocalFiles& files) {
        const int operation = input.Byte() % kOperations;
        switch (operation) {
            case kChunk:
                Deliver(input.Take(input.Word()));
                break;
            case kRepeatedChunk: {
                const std::size_t times = input.Byte() + 1u;
                const auto piece = input.Take(input.Byte() + 1u);
                Bytes chunk;
                for (std::size_t i = 0; i < times && chunk.size() < kMaxChunk; ++i)
                    chunk.insert(chunk.end(), piece.begin(), piece.end());
                Deliver(chunk);
                break;
            }
            case kFrame:
            case kSplitFrame: {
                const bool split = operation == kSplitFrame;
                const std::size_t cut = split ? input.Byte() : 0;
                const std::uint8_t command = input.Byte();
                const Bytes frame = WireFrame(command, input.Take(input.Byte() % 255));
                const std::size_t at = split ? cut % (frame.size() + 1) : frame.size();
                Deliver(std::span(frame).first(at));
                if (split) Deliver(std::span(frame).subspan(at));
                break;
            }
            case kTimerTick:
                if (timer.enabled) session.Link.Timer1Timer();
                break;
            case kRefresh:
                Act([&] { session.Listing.ToolButton4Click(); });
                break;
            case kDoubleClick:
                session.Grid.SetCurrentRow(input.Byte());
                Act([&] { session.Removal.StringGrid1DblClick(); });
                break;
            case kUpload: {
                const std::string* choices[] = {&files.plan, &files.organisation, &files.empty};
                dialogs.chosenFile = *choices[input.Byte() % 3];
                Act([&] { session.Upload.ToolButton8Click(); });
                break;
            }
            case kClear:
                dialogs.confirm = input.Byte() & 1;
                Act([&] { session.Removal.ToolButton6Click(); });
                break;
            case kFirmware:
                dialogs.confirm = input.Byte() & 1;
                dialogs.chosenFile = files.image;
                Act([&] { session.Firmware.ToolButton10Click(); });
                break;
            case kPortClosed:
                serial.ClosePort();
                break;
            case kPortBusy:
                serial.busy = !serial.busy;
                break;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const LocalFiles files;
    FuzzInput input(data, size);
    const auto rig = std::make_unique<Rig>();
    try {
        const std::uint8_t setup = input.Byte();
        rig->dialogs.confirm = true;
        if (setup & kSetupRefresh) rig->Act([&] { rig->session.Listing.ToolButton4Click(); });
        if (setup & kSetupUpload) {
            rig->dialogs.chosenFile = files.plan;
            rig->Act([&] { rig->session.Upload.ToolButton8Click(); });
        }
        if (setup & kSetupFirmware) {
            rig->dialogs.chosenFile = files.image;
            rig->Act([&] { rig->session.Firmware.ToolButton10Click(); });
        }
        if (setup & kSetupClear) rig->Act([&] { rig->session.Removal.ToolButton6Click(); });
        rig->CheckState();
        while (!input.Empty()) {
            rig->serial.Observe();
            rig->Operate(input, files);
            rig->serial.Observe();
            rig->CheckState();
        }
    } catch (const std::exception& error) {
        FUZZ_CHECK(false, "exception: %s", error.what());
    } catch (...) {
        FUZZ_CHECK(false, "an exception that is no std::exception");
    }
    return 0;
}
