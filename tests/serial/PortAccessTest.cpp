// Ports that another program holds are left alone, ports we hold are held,
// a probe changes nothing, a rate the driver does not run is refused, and RTS
// follows the RTS control. As root and, where we are root, as nobody.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <fstream>
#include <memory>
#include <optional>

#include "serial/PortBackend.h"
#include "tests/serial/PortRig.h"

namespace vemkard::testing {
namespace {

namespace sb = serial_backend;

std::optional<ECommsError> Refusal(const std::function<void()>& open) {
    try {
        open();
    } catch (const ECommsError& e) {
        return e;
    }
    return {};
}

int LockOwner(const std::string& path) {
    std::ifstream file(path);
    int pid = 0;
    return file >> pid ? pid : 0;
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

struct BusyCase {
    const char* name;
    // Makes the port busy without a lock of its own: what must stay alive
    // while it is, and the holder that the refusal must name.
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

TEST_P(PortBusy, OpenAndProbeRefuseItBeforeTouchingTheLineAndNameTheHolder) {
    const BusyCase& c = GetParam();
    EXPECT_EQ(
        AsRootAndOrdinaryUser([&c](PortRig& rig, Report& r) {
            int pid = 0;
            const auto held = c.hold(rig, pid);
            const std::function<void()> opens[] = {
                [&] { rig.comm.OpenPort(); },
                [&] { rig.comm.ProbePort(rig.pty.SlaveName()); },
            };
            for (const auto& open : opens) {
                const auto e = Refusal(open);
                r.Check(e && e->Failure() == TOpenFailure::CannotOpen && e->SystemError() == EBUSY,
                        e ? e->what() : "opened");
                r.Check(e && e->HolderPid() == pid && !e->HolderName().empty() &&
                            e->HolderName() == sb::ProcessName(pid, "/proc"),
                        e ? "holder " + e->HolderName() : "no holder");
                r.Check(!rig.comm.PortOpen() && rig.Untouched(), "the line was touched");
            }
        }),
        "");
}

INSTANTIATE_TEST_SUITE_P(Linux, PortBusy, ::testing::ValuesIn(kBusy),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PortBusy, AnExclusiveModeOrAnFlockThatProcDoesNotShowRefuses) {
    EXPECT_EQ(AsRootAndOrdinaryUser([](PortRig& rig, Report& r) {
                  for (const bool exclusive : {true, false}) {
                      const int fd =
                          ::open(rig.pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                      if (exclusive) ::ioctl(fd, TIOCEXCL);
                      if (!exclusive) ::flock(fd, LOCK_EX | LOCK_NB);
                      // A /proc with no processes in it.
                      const sb::OpenResult opened = sb::OpenDevice(
                          rig.pty.SlaveName(), {rig.lockDirectory, rig.lockDirectory});
                      r.Check(opened.status == sb::OpenStatus::CannotOpen && opened.error == EBUSY,
                              exclusive ? "exclusive mode ignored" : "flock ignored");
                      r.Check(!Exists(rig.LockFile()), "lock file left");
                      sb::CloseDevice(opened.port, opened.lockFile);
                      ::ioctl(fd, TIOCNXCL);
                      ::close(fd);
                  }
              }),
              "");
}

TEST(PortHold, AnOpenPortIsHeldThreeWaysAndLetGoAtCloseAndAStaleLockIsTakenOver) {
    EXPECT_EQ(AsRootAndOrdinaryUser([](PortRig& rig, Report& r) {
                  WriteLockFile(rig.LockFile(), DeadPid());
                  r.Check(rig.comm.OpenPort(), "not opened");
                  r.Check(LockOwner(rig.LockFile()) == ::getpid(), "the lock file is not ours");
                  // Root gets past the exclusive mode and must ask; nobody is turned away.
                  int fd = ::open(rig.pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                  int exclusive = 0;
                  r.Check(fd < 0 ? errno == EBUSY
                                 : ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 1 &&
                                       ::flock(fd, LOCK_EX | LOCK_NB) != 0,
                          "not held");
                  ::close(fd);
                  rig.comm.ClosePort();
                  r.Check(!Exists(rig.LockFile()), "the lock file stays after the close");
                  fd = ::open(rig.pty.SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                  r.Check(fd >= 0 && ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0 &&
                              ::flock(fd, LOCK_EX | LOCK_NB) == 0,
                          "still held after the close");
                  ::close(fd);
                  // Where no lock file can be made the port opens without one.
                  rig.comm.SetLockDirectory(rig.lockDirectory + "/missing");
                  r.Check(rig.comm.OpenPort(), "no lock directory, not opened");
              }),
              "");
}

TEST(Comm32Probe, AFreePortIsFoundAndLeftAsItWasWithItsBytesWaiting) {
    EXPECT_EQ(AsRootAndOrdinaryUser([](PortRig& rig, Report& r) {
                  rig.comm.SetBaudRate(1000000);
                  rig.comm.SetParity(pOdd);
                  const auto e = Refusal([&] { rig.comm.ProbePort(rig.pty.SlaveName()); });
                  r.Check(!e, e ? e->what() : "");
                  r.Check(rig.Untouched(), "the probe changed the line");
                  r.Check(!rig.comm.PortOpen() && !Exists(rig.LockFile()), "left held");
                  r.Check(rig.comm.OpenPort(), "does not open after the probe");
              }),
              "");
}

// ----- rates -------------------------------------------------------------------------

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

TEST(Comm32Rate, ARateTheDriverDoesNotRunIsRefusedAndTheLineKeepsItsSettings) {
    // Root may lock a line's speed (TIOCSLCKTRMIOS); the driver then keeps
    // its rate whatever is asked, as a UART does with a rate it cannot run.
    if (::geteuid() != 0) GTEST_SKIP() << "locking a line's speed takes root";
    PortRig rig;
    termios locked{};
    locked.c_cflag = CBAUD;
    ASSERT_EQ(::ioctl(rig.pty.MasterFd(), TIOCSLCKTRMIOS, &locked), 0);
    rig.comm.SetBaudRate(1000000);
    const std::function<void()> opens[] = {
        [&] { rig.comm.OpenPort(); },
        [&] { rig.comm.ProbePort(rig.pty.SlaveName()); },
    };
    for (const auto& open : opens) {
        const auto e = Refusal(open);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->Failure(), TOpenFailure::BadSettings);
        EXPECT_FALSE(rig.comm.PortOpen());
        EXPECT_TRUE(rig.Untouched());
        EXPECT_FALSE(Exists(rig.LockFile()));
    }
    rig.comm.SetBaudRate(4800);  // the rate it runs
    EXPECT_TRUE(rig.comm.OpenPort());
}

// ----- RTS -----------------------------------------------------------------------------

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
            << std::hex << c.rtsControl << " toggled by the driver " << c.driverToggles;
    }
}

}  // namespace
}  // namespace vemkard::testing
