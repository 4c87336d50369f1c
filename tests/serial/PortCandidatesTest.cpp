// The serial devices a port scan tries: natural order, device-backed
// /sys/class/tty entries, never a stub or the kernel's console.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "serial/posix/PortCandidates.h"

namespace vemkard {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(PortCandidates, NaturalOrderComparesDigitRunsByValue) {
    struct Case {
        const char *a, *b;
        bool less;
    };
    const Case cases[] = {
        {"ttyS2", "ttyS10", true},     {"ttyS10", "ttyS2", false}, {"ttyACM0", "ttyS0", true},
        {"ttyUSB1", "ttyUSB1", false}, {"ttyS", "ttyS0", true},    {"tty007", "tty8", true},
    };
    for (const Case& c : cases) EXPECT_EQ(NaturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}

// A /sys/class/tty and a /proc of the test's own.
struct FakeSystem {
    fs::path root = fs::temp_directory_path() / ("vemkard-tty-" + std::to_string(::getpid()));
    fs::path sys = root / "class-tty";
    fs::path proc = root / "proc";

    FakeSystem() {
        fs::create_directories(root / "devices/serial");
        fs::create_directories(proc);
        fs::create_directories(sys);
    }
    ~FakeSystem() { fs::remove_all(root); }

    static void Write(const fs::path& file, const std::string& text) {
        std::ofstream(file) << text;
    }
    void Entry(const std::string& name, bool device, const char* type, const char* dev) {
        fs::create_directories(sys / name);
        if (device) fs::create_directory_symlink(root / "devices/serial", sys / name / "device");
        if (type) Write(sys / name / "type", type);
        if (dev) Write(sys / name / "dev", dev);
    }
};

TEST(PortCandidates, DeviceBackedEntriesInNaturalOrderWithoutStubs) {
    FakeSystem fake;
    fake.Entry("ttyS10", true, "4\n", "4:74\n");
    fake.Entry("ttyS2", true, "4\n", "4:66\n");
    fake.Entry("ttyS3", true, "0\n", "4:67\n");  // 8250 stub
    fake.Entry("ttyUSB0", true, nullptr, "188:0\n");
    fake.Entry("tty0", false, nullptr, "4:0\n");  // virtual console
    fake.Entry("ptmx", false, nullptr, "5:2\n");
    EXPECT_EQ(ListSerialDevices(fake.sys, fake.proc),
              (Names{"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0"}));
    EXPECT_EQ(ListSerialDevices(fake.sys / "missing", fake.proc), Names{});
}

TEST(PortCandidates, TheKernelsConsolesAreNeverListed) {
    FakeSystem fake;
    fake.Entry("ttyS0", true, "4\n", "4:64\n");
    fake.Entry("ttyS1", true, "4\n", "4:65\n");
    fake.Entry("ttyUSB0", true, nullptr, "188:0\n");
    fake.Entry("ttyUSB1", true, nullptr, "188:1\n");
    fake.Entry("tty0", false, nullptr, "4:0\n");
    // Each names a console by what it knows: /proc/consoles by the device
    // number (a name there may be another path to it), active by name.
    FakeSystem::Write(fake.proc / "consoles", "ttyS0                -W- (EC  p a)    4:64\n");
    fs::create_directories(fake.sys / "console");
    FakeSystem::Write(fake.sys / "console/active", "tty0 ttyUSB1\n");
    EXPECT_EQ(ListSerialDevices(fake.sys, fake.proc), (Names{"/dev/ttyS1", "/dev/ttyUSB0"}));
}

}  // namespace
}  // namespace vemkard
