// Ports that another program holds are left alone, ports we hold are held,
// a probe changes nothing, a rate the driver does not run is refused, and RTS
// follows the RTS control. As root and, when we are root, as nobody too.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "serial/OpenFailureReason.h"
#include "serial/posix/PortBackend.h"
#include "tests/serial/PortRig.h"

namespace vemkard::testing {
namespace {

namespace sb = serial_backend;

// Runs `check` on a rig as we are, and when we are root once more in a child
// that has become nobody in the dialout group; its failures print as usual.
void AsRootAndOrdinaryUser(const std::function<void(PortRig&)>& check) {
    {
        PortRig rig;
        check(rig);
    }
    if (::geteuid() != 0) return;
    PortRig rig;
    const bool failedBefore = ::testing::Test::HasFailure();
    const pid_t child = ::fork();
    if (child == 0) {
        SCOPED_TRACE("as nobody");
        const gid_t dialout[] = {20};
        EXPECT_TRUE(::setgroups(1, dialout) == 0 && ::setgid(20) == 0 && ::setuid(65534) == 0);
        ::prctl(PR_SET_DUMPABLE, 1);  // as a program he starts: /proc shows it to him
        if (::getuid() != 0) check(rig);
        rig.comm.ClosePort();
        std::fflush(stdout);
        ::_exit(::testing::Test::HasFailure() != failedBefore ? 1 : 0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0) << "as nobody";
}

std::optional<ECommsError> Refusal(const std::function<void()>& open) {
    try {
        open();
    } catch (const ECommsError& e) {
        return e;
    }
    return {};
}

// The two ways in: an open and a probe.
std::vector<std::function<void()>> Opens(PortRig& rig) {
    return {[&rig] { rig.comm.OpenPort(); }, [&rig] { rig.comm.ProbePort(rig.pty.SlaveName()); }};
}

int LockOwner(const std::string& path) {
    std::ifstream file(path);
    int pid = 0;
    return file >> pid ? pid : 0;
}

struct BusyCase {
    const char* name;
    // Holds the port without a lock of its own; sets the holder's pid.
    std::function<std::shared_ptr<void>(PortRig&, int& pid)> hold;
};

const BusyCase kBusy[] = {
    {"AnotherDescriptorOfOurs",
     [](PortRig& rig, int& pid) -> std::shared_ptr<void> {
         const int fd = ::open(rig.pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
         pid = ::getpid();
         return std::shared_ptr<void>(nullptr, [fd](void*) { ::close(fd); });
     }},
    {"AnotherProcess",
     [](PortRig& rig, int& pid) -> std::shared_ptr<void> {
         auto holder = std::make_shared<HolderProcess>(rig.pty.SlaveName());
         pid = holder->Pid();
         return holder;
     }},
    {"ALiveLockFile",
     [](PortRig& rig, int& pid) -> std::shared_ptr<void> {
         auto holder = std::make_shared<HolderProcess>();
         pid = holder->Pid();
         WriteLockFile(rig.LockFile(), pid);
         return holder;
     }},
};

class PortBusy : public ::testing::TestWithParam<BusyCase> {};

TEST_P(PortBusy, IsRefusedBeforeItsLineIsTouchedNamingTheHolder) {
    AsRootAndOrdinaryUser([hold = GetParam().hold](PortRig& rig) {
        int pid = 0;
        const auto held = hold(rig, pid);
        for (const auto& open : Opens(rig)) {
            const auto e = Refusal(open);
            ASSERT_TRUE(e) << "opened";
            EXPECT_EQ(e->Failure(), TOpenFailure::CannotOpen);
            EXPECT_EQ(e->SystemError(), EBUSY);
            EXPECT_EQ(e->HolderPid(), pid);
            EXPECT_EQ(e->HolderName(), sb::ProcessName(pid, "/proc"));
            EXPECT_FALSE(e->HolderName().empty());
            // The sentence a user reads names the program that holds it.
            EXPECT_NE(OpenFailureReason(*e, rig.pty.SlaveName()).find(e->HolderName()),
                      std::string::npos);
            EXPECT_FALSE(rig.comm.PortOpen());
            EXPECT_TRUE(rig.Untouched());
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Linux, PortBusy, ::testing::ValuesIn(kBusy),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PortBusy, AnExclusiveModeOrAnFlockThatProcDoesNotShowRefuses) {
    AsRootAndOrdinaryUser([](PortRig& rig) {
        for (const bool exclusive : {true, false}) {
            SCOPED_TRACE(exclusive ? "exclusive mode" : "flock");
            const int fd = ::open(rig.pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            exclusive ? ::ioctl(fd, TIOCEXCL) : ::flock(fd, LOCK_EX | LOCK_NB);
            // A /proc without processes in it.
            const auto opened =
                sb::OpenDevice(rig.pty.SlaveName(), {rig.lockDirectory, rig.lockDirectory});
            EXPECT_EQ(opened.status, sb::OpenStatus::CannotOpen);
            EXPECT_EQ(opened.error, EBUSY);
            EXPECT_NE(::access(rig.LockFile().c_str(), F_OK), 0) << "lock file left";
            ::ioctl(fd, TIOCNXCL);
            ::close(fd);
        }
    });
}

TEST(PortHold, AnOpenPortIsHeldThreeWaysUntilItClosesAndAStaleLockIsTakenOver) {
    AsRootAndOrdinaryUser([](PortRig& rig) {
        const pid_t gone = ::fork();
        if (gone == 0) ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        WriteLockFile(rig.LockFile(), gone);
        ASSERT_TRUE(rig.comm.OpenPort());
        EXPECT_EQ(LockOwner(rig.LockFile()), ::getpid());
        for (const bool open : {true, false}) {
            SCOPED_TRACE(open ? "open" : "closed");
            // Root gets past the exclusive mode and must ask; nobody is turned away.
            const int fd = ::open(rig.pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            int mode = 0;
            const bool exclusive =
                fd < 0 ? errno == EBUSY : ::ioctl(fd, TIOCGEXCL, &mode) == 0 && mode == 1;
            const bool locked = fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            EXPECT_EQ(exclusive, open);
            EXPECT_EQ(locked, open);
            ::close(fd);
            rig.comm.ClosePort();
        }
        EXPECT_NE(::access(rig.LockFile().c_str(), F_OK), 0) << "lock file left";
        // Where no lock file can be made the port opens without one.
        rig.comm.SetLockDirectory(rig.lockDirectory + "/missing");
        EXPECT_TRUE(rig.comm.OpenPort());
    });
}

TEST(Comm32Probe, AFreePortIsFoundAndLeftAsItWasWithItsBytesWaiting) {
    AsRootAndOrdinaryUser([](PortRig& rig) {
        rig.comm.SetBaudRate(1000000);
        rig.comm.SetParity(pOdd);
        const auto e = Refusal([&] { rig.comm.ProbePort(rig.pty.SlaveName()); });
        EXPECT_FALSE(e) << e->what();
        EXPECT_TRUE(rig.Untouched());
        EXPECT_NE(::access(rig.LockFile().c_str(), F_OK), 0) << "lock file left";
        EXPECT_TRUE(rig.comm.OpenPort());
    });
}

TEST(Comm32Rate, ARateWithinTwoPercentIsTaken) {
    struct Case {
        std::uint32_t wanted, actual;
        bool taken;
    };
    const Case cases[] = {
        {1000000, 1000000, true}, {1000000, 980000, true},   {1000000, 1020000, true},
        {1000000, 979999, false}, {1000000, 1020001, false}, {1000000, 115200, false},
        {9600, 9615, true},       {19200, 0, false},         {4000000000u, 4000000000u, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RateTaken(c.wanted, c.actual), c.taken) << c.wanted << " ran as " << c.actual;
    }
}

TEST(Comm32Rate, ARateTheDriverDoesNotRunIsRefusedNamingBothAndTheLineKeepsItsSettings) {
    // Root may lock a line's speed; the driver then keeps its rate whatever
    // is asked, as a UART does with one it cannot run.
    if (::geteuid() != 0) GTEST_SKIP() << "locking a line's speed takes root";
    PortRig rig;
    termios locked{};
    locked.c_cflag = CBAUD;
    ASSERT_EQ(::ioctl(rig.pty.MasterFd(), TIOCSLCKTRMIOS, &locked), 0);
    rig.comm.SetBaudRate(1000000);
    // A freshly booted serial port echoes.
    rig.line.c_lflag |= ECHO;
    ASSERT_EQ(::ioctl(rig.pty.MasterFd(), TCSETS2, &rig.line), 0);
    // The open leaves the echo off, which would send a polling console's
    // bytes back to it; the probe that follows puts back what it found.
    rig.line.c_lflag &= ~(ECHO | ECHONL);
    for (const auto& open : Opens(rig)) {
        const auto e = Refusal(open);
        ASSERT_TRUE(e) << "opened";
        EXPECT_EQ(e->Failure(), TOpenFailure::BadSettings);
        EXPECT_EQ(e->RateAsked(), 1000000u);
        EXPECT_EQ(e->RateKept(), 4800u);
        EXPECT_FALSE(rig.comm.PortOpen());
        EXPECT_TRUE(rig.Untouched());
    }
    rig.comm.SetCommPort("/dev/null");  // refused before any rate is read back
    EXPECT_EQ(Refusal([&] { rig.comm.OpenPort(); })->RateKept(), 0u);
    rig.comm.SetCommPort(rig.pty.SlaveName());
    rig.comm.SetBaudRate(4800);  // the rate it runs
    EXPECT_TRUE(rig.comm.OpenPort());
}

TEST(Comm32Rts, RtsIsLowUnlessRaisedHandshakenOrToggledByTheDriver) {
    struct Case {
        std::uint32_t rtsControl;
        bool driverToggles, dropped;
    };
    const Case cases[] = {
        {0, false, true},
        {kDcbRtsControlEnable, false, false},
        {kDcbRtsControlHandshake, false, false},
        {kDcbRtsControlToggle, true, false},
        {kDcbRtsControlToggle, false, true},  // a pty, most USB adapters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sb::RtsDropped(kDcbBinary | c.rtsControl, c.driverToggles), c.dropped)
            << std::hex << c.rtsControl << ", toggled by the driver " << c.driverToggles;
    }
}

}  // namespace
}  // namespace vemkard::testing
