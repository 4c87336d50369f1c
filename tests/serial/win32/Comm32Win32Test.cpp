// The Win32 serial component under Wine: port names, open failures, and a
// line to the console simulator on a pseudo-terminal mapped as a COM port
// (VEMKARD_TEST_PORT; with-sim sets it). What Wine cannot show (an
// exclusive open, parity, DTR, modem lines) is not tested here.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "PortName.h"
#include "protocol/Frame.h"
#include "serial/Comm32.h"
#include "serial/DeadlineSleep.h"
#include "serial/MessageLoop.h"
#include "serial/OpenFailureReason.h"

namespace vemkard {
namespace {

using namespace std::chrono_literals;

TEST(PortName, PlainComPortsGetTheDevicePrefixOthersStayAsTyped) {
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM7", "\\\\.\\COM7"},
        {"com12", "\\\\.\\com12"},
        {"COM255", "\\\\.\\COM255"},
        {"\\\\.\\COM3", "\\\\.\\COM3"},
        {"//./COM4", "//./COM4"},
        {"COM256", "COM256"},
        {"COM0", "COM0"},
        {"COMX", "COMX"},
        {"NUL", "NUL"},
    };
    for (const auto& c : cases) EXPECT_EQ(DevicePath(c.name), c.path) << c.name;
}

TEST(Comm32Win32, AnOpenThatFailsSaysWhyAndLeavesNothingOpen) {
    const std::string file = "comm32-not-a-port.txt";
    std::ofstream(file) << "x";
    const struct {
        std::string port;
        TOpenFailure failure;
        const char* reason;
    } cases[] = {
        {"COM249", TOpenFailure::CannotOpen, "нет: проверьте имя порта"},
        {file, TOpenFailure::NotCommPort, "не последовательный порт"},
    };
    MessageLoop loop;
    TComm32 comm(loop);
    for (const auto& c : cases) {
        comm.SetCommPort(c.port);
        try {
            comm.OpenPort();
            ADD_FAILURE() << c.port << " opened";
        } catch (const ECommsError& error) {
            EXPECT_EQ(error.Failure(), c.failure) << c.port;
            EXPECT_NE(OpenFailureReason(error, c.port).find(c.reason), std::string::npos)
                << OpenFailureReason(error, c.port);
        }
        EXPECT_FALSE(comm.PortOpen());
    }
    std::remove(file.c_str());
}

TEST(Comm32Win32, ALineWithoutModemLinesKeepsItsDataAndAnswersAcrossReopens) {
    const char* port = std::getenv("VEMKARD_TEST_PORT");
    if (!port) GTEST_SKIP() << "no simulated console (VEMKARD_TEST_PORT)";
    MessageLoop loop;
    TComm32 comm(loop);
    comm.SetCommPort(port);
    comm.SetBaudRate(1000000);
    comm.SetParity(pOdd);
    // Every line event is listened for: Wine refuses them on a pseudo-terminal,
    // which must cost the events and nothing else.
    int hangups = 0;
    comm.OnCommEvent = [](TComm32&) {};
    comm.OnRequestHangup = [&](TComm32&) { ++hangups; };
    std::vector<std::uint8_t> received;
    bool written = false, answered = false;
    comm.OnReceiveData = [&](const void* data, std::uint16_t count) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        received.insert(received.end(), bytes, bytes + count);
        int from = 0;
        while (const auto at = NextFrame(received.data(), from, int(received.size()))) {
            const std::uint8_t command = received[std::size_t(*at) + 5];
            if (command == 0 && !written) {
                const auto frame = MakeFrame(18, {});  // the free space
                written = comm.WriteData(frame.data(), std::uint16_t(frame.size()));
            }
            answered = answered || command == 18;
            from = *at + received[std::size_t(*at) + 4] + int(kFrameOverhead);
        }
    };
    for (int open = 0; open < 2; ++open) {
        received.clear();
        written = answered = false;
        ASSERT_TRUE(comm.OpenPort());
        EXPECT_TRUE(loop.RunUntil([&] { return answered; }, 20s)) << "open " << open;
        comm.ClosePort();
        EXPECT_FALSE(comm.PortOpen());
    }
    EXPECT_EQ(hangups, 0);
}

TEST(DeadlineSleep, NeverEndsBeforeItsDeadline) {
    for (int i = 0; i < 20; ++i) {
        const auto deadline = std::chrono::steady_clock::now() + 3ms;
        SleepUntilDeadline(deadline);
        EXPECT_GE(std::chrono::steady_clock::now(), deadline);
    }
}

}  // namespace
}  // namespace vemkard
