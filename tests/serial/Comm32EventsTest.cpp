// The line-event dispatch on the owner thread.
#include <string>
#include <vector>

#include "tests/serial/CommHarness.h"

namespace vemkard::testing {
namespace {

// Assigns every event of `comm` to append its name to `log`.
void LogAllEvents(TComm32& comm, std::vector<std::string>& log) {
    const auto note = [&log](const char* name) {
        return [&log, name](TComm32&) { log.emplace_back(name); };
    };
    comm.OnCommEvent = note("CommEvent");
    comm.OnError = [&log](std::uint32_t flags) { log.push_back("Error:" + std::to_string(flags)); };
    comm.OnEventChar = note("EventChar");
    comm.OnBreak = note("Break");
    comm.OnTXEMPTY = note("TXEMPTY");
    comm.OnRX80FULL = note("RX80FULL");
    comm.OnPERR = note("PERR");
    comm.OnChangeCTS = note("ChangeCTS");
    comm.OnSetCTS = note("SetCTS");
    comm.OnClearCTS = note("ClearCTS");
    comm.OnChangeDSR = note("ChangeDSR");
    comm.OnSetDSR = note("SetDSR");
    comm.OnClearDSR = note("ClearDSR");
    comm.OnChangeRing = note("ChangeRing");
    comm.OnSetRing = note("SetRing");
    comm.OnClearRing = note("ClearRing");
    comm.OnChangeRLSD = note("ChangeRLSD");
    comm.OnSetRLSD = note("SetRLSD");
    comm.OnClearRLSD = note("ClearRLSD");
}

TCommMessage EventMessage(std::uint32_t mask, std::uint32_t status, std::uint32_t flags = 0) {
    TCommMessage message;
    message.Msg = WM_COMM_EVENT;
    message.LParam = static_cast<std::intptr_t>(mask | (status << 16));
    message.ErrorFlags = flags;
    return message;
}

struct DispatchCase {
    const char* name;
    std::uint32_t mask;
    std::uint32_t status;
    std::uint32_t errorFlags;
    std::vector<std::string> raised;
};

class Comm32Dispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(Comm32Dispatch, RaisesTheEventsOfTheMaskInOrder) {
    const DispatchCase& c = GetParam();
    MessageLoop loop;
    TComm32 comm(loop);
    std::vector<std::string> log;
    LogAllEvents(comm, log);
    comm.HandleMessage(EventMessage(c.mask, c.status, c.errorFlags));
    EXPECT_EQ(log, c.raised);
    EXPECT_EQ(comm.LastEventMask(), c.mask);
    EXPECT_EQ(comm.LastModemStatus(), c.status);
}

const DispatchCase kDispatch[] = {
    {"CtsOn", EV_CTS, MS_CTS_ON, 0, {"CommEvent", "ChangeCTS", "SetCTS"}},
    {"CtsOff", EV_CTS, MS_DSR_ON, 0, {"CommEvent", "ChangeCTS", "ClearCTS"}},
    {"ErrorCarriesItsFlags", EV_ERR, 0, CE_FRAME | CE_OVERRUN, {"CommEvent", "Error:10"}},
    {"RingAndCarrier",
     EV_RING | EV_RLSD,
     MS_RLSD_ON,
     0,
     {"CommEvent", "ChangeRing", "ClearRing", "ChangeRLSD", "SetRLSD"}},
    {"NothingButTheFirst", 0, 0, 0, {"CommEvent"}},
    {"EveryEvent",
     0x07FE,
     MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON,
     CE_BREAK,
     {"CommEvent", "Error:16", "EventChar", "Break", "TXEMPTY", "RX80FULL", "PERR", "ChangeCTS",
      "SetCTS", "ChangeDSR", "SetDSR", "ChangeRing", "SetRing", "ChangeRLSD", "SetRLSD"}},
};

INSTANTIATE_TEST_SUITE_P(Masks, Comm32Dispatch, ::testing::ValuesIn(kDispatch),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Comm32Events, ASetHandlerRunsWithoutItsChangeHandler) {
    MessageLoop loop;
    TComm32 comm(loop);
    int set = 0;
    comm.OnSetDSR = [&](TComm32& sender) {
        EXPECT_EQ(&sender, &comm);
        ++set;
    };
    comm.HandleMessage(EventMessage(EV_DSR, MS_DSR_ON));
    EXPECT_EQ(set, 1);
}

TEST(Comm32Events, StartedAndUnknownMessagesRaiseNothing) {
    MessageLoop loop;
    TComm32 comm(loop);
    std::vector<std::string> log;
    LogAllEvents(comm, log);
    int data = 0;
    comm.OnReceiveData = [&](const void*, std::uint16_t) { ++data; };
    comm.OnRequestHangup = [&](TComm32&) { log.emplace_back("Hangup"); };
    for (const std::uint32_t msg : {WM_COMM_STARTED, WM_USER + 9, 0u}) {
        TCommMessage message;
        message.Msg = msg;
        comm.HandleMessage(message);
    }
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(data, 0);
}

TEST(Comm32Events, TheEventCharacterIsReportedBeforeItsChunk) {
    CommHarness h;
    h.comm.SetEventChar('~');
    std::vector<std::string> log;
    LogAllEvents(h.comm, log);
    h.comm.OnReceiveData = [&](const void*, std::uint16_t length) {
        log.push_back("Data:" + std::to_string(length));
    };
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.pty.Write(std::vector<std::uint8_t>{'a', '~', 'b'}, kPatience));
    ASSERT_TRUE(h.loop.RunUntil([&] { return !log.empty() && log.back() == "Data:3"; }, kPatience));
    const std::vector<std::string> expected{"CommEvent", "EventChar", "ChangeRing", "ClearRing",
                                            "Data:3"};
    EXPECT_EQ(log, expected);

    log.clear();
    ASSERT_TRUE(h.pty.Write(std::vector<std::uint8_t>{'x', 'y'}, kPatience));
    ASSERT_TRUE(h.loop.RunUntil([&] { return !log.empty(); }, kPatience));
    EXPECT_EQ(log, std::vector<std::string>{"Data:2"});
}

TEST(Comm32Events, WithoutAHandlerTheEventCharacterPostsNothing) {
    CommHarness h;
    h.comm.SetEventChar('~');
    h.comm.OnBreak = [](TComm32&) {};  // listens for another event
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.pty.Write(std::vector<std::uint8_t>{'a', '~', 'b'}, kPatience));
    ASSERT_TRUE(h.RunUntilReceived(3));
    EXPECT_EQ(h.target.Count(WM_COMM_EVENT), 0);
}

TEST(Comm32Events, APtyReportsNoLinesAtStart) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.WaitStarted());
    h.comm.ClosePort();
    EXPECT_EQ(h.target.Count(WM_COMM_EVENT), 0);
}

}  // namespace
}  // namespace vemkard::testing
