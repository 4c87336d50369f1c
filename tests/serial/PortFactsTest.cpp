// What the system says about a port: the sentence for a failed open, and the
// description of a device from sysfs and /dev (on a fake tree).
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>

#include "serial/OpenFailureReason.h"
#include "serial/posix/PortDescription.h"

namespace vemkard::testing {
namespace {

namespace fs = std::filesystem;

TOpenFailureFacts Facts(std::string port, TOpenFailure failure, int error = 0,
                        std::string group = "", bool newLogin = false,
                        std::optional<TPortHolder> holder = std::nullopt) {
    return {std::move(port), failure, error, std::move(group), newLogin, std::move(holder)};
}

TEST(OpenFailureReason, SaysWhatTheUserCanDo) {
    using F = TOpenFailure;
    const std::string p = "/dev/ttyUSB0";
    struct Case {
        TOpenFailureFacts facts;
        std::string text;
    };
    const Case cases[] = {
        {Facts(p, F::CannotOpen, ENOENT),
         "Устройства /dev/ttyUSB0 нет: проверьте имя порта и что адаптер подключён."},
        {Facts(p, F::CannotOpen, ENXIO),
         "За /dev/ttyUSB0 нет устройства: адаптер отключён или порт отсутствует."},
        {Facts(p, F::CannotOpen, EACCES, "dialout"),
         "Нет доступа к /dev/ttyUSB0: порт доступен группе «dialout». Добавьте себя в неё "
         "(sudo adduser $USER dialout), затем выйдите из системы и войдите снова."},
        {Facts(p, F::CannotOpen, EACCES, "dialout", true),
         "Нет доступа к /dev/ttyUSB0: вы уже в группе «dialout», но этот вход в систему был "
         "раньше; выйдите из системы и войдите снова."},
        {Facts(p, F::CannotOpen, EACCES, "root"),
         "Нет доступа к /dev/ttyUSB0: недостаточно прав; запустите программу от имени "
         "пользователя, которому доступен порт."},
        {Facts(p, F::CannotOpen, EBUSY),
         "Порт /dev/ttyUSB0 занят другой программой; закройте её и повторите."},
        {Facts(p, F::CannotOpen, EWOULDBLOCK, "", false, TPortHolder{4242, "minicom"}),
         "Порт /dev/ttyUSB0 занят другой программой (minicom, pid 4242); закройте её и повторите."},
        {Facts("/tmp", F::CannotOpen, EISDIR), "/tmp — каталог, а не порт."},
        {Facts("/dev/null", F::NotCommPort), "/dev/null — не последовательный порт."},
        {Facts(p, F::BadSettings, ENOTTY),
         "Порт /dev/ttyUSB0 не принимает параметры линии: это не последовательный порт, или "
         "адаптер не поддерживает скорость устройства."},
        {GatherOpenFailureFacts(ECommsError::RateNotKept(EINVAL, 1000000, 9600), "/dev/ttyS1"),
         "Порт /dev/ttyS1 принял параметры линии, но не скорость 1000000 бод: драйвер оставил "
         "9600 бод. Адаптер не поддерживает скорость устройства."},
        {Facts(p, F::AlreadyOpen), "Порт /dev/ttyUSB0 уже открыт этой программой."},
    };
    for (const Case& c : cases) EXPECT_EQ(DescribeOpenFailure(c.facts), c.text);
}

TEST(OpenFailureReason, NamesTheGroupThatTheDeviceNodeBelongsTo) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the node a group";
    const group* dialout = ::getgrnam("dialout");
    if (!dialout) GTEST_SKIP() << "no dialout group";
    const fs::path node = fs::temp_directory_path() / ("vemkard-node-" + std::to_string(getpid()));
    std::ofstream(node).put('x');
    ASSERT_EQ(::chown(node.c_str(), 0, dialout->gr_gid), 0);
    const TOpenFailureFacts facts =
        GatherOpenFailureFacts(ECommsError(TOpenFailure::CannotOpen, EACCES), node.string());
    fs::remove(node);
    EXPECT_EQ(facts.Group, "dialout");
    EXPECT_EQ(facts.SystemError, EACCES);
    EXPECT_NE(OpenFailureReason(ECommsError(TOpenFailure::CannotOpen, ENOENT), "/nonexistent"), "");
}

// A sysfs and /dev as the kernel lays them out for one USB adapter and one
// on-board port, below a private folder.
class FakeSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("vemkard-sys-" + std::to_string(getpid()));
        const fs::path usb = root_ / "sys/devices/pci0000:00/usb1/1-2";
        Write(usb / "idVendor", "0403\n");
        Write(usb / "idProduct", "6001\n");
        Write(usb / "manufacturer", "FTDI\n");
        Write(usb / "product", "FT232R USB UART\n");
        Write(usb / "serial", "A10K5TBQ\n");
        fs::create_directories(usb / "1-2:1.0/ttyUSB0");
        fs::create_directories(root_ / "sys/devices/platform/serial8250/tty/ttyS0");
        fs::create_directories(root_ / "sys/bus/platform/drivers/serial8250");
        fs::create_symlink("../../../../bus/platform/drivers/serial8250",
                           root_ / "sys/devices/platform/serial8250/driver");
        fs::create_directories(root_ / "sys/class/tty/ttyUSB0");
        fs::create_directories(root_ / "sys/class/tty/ttyS0");
        fs::create_symlink("../../../devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0",
                           root_ / "sys/class/tty/ttyUSB0/device");
        fs::create_symlink("../../../devices/platform/serial8250",
                           root_ / "sys/class/tty/ttyS0/device");
        Write(root_ / "dev/ttyUSB0", "");
        Write(root_ / "dev/ttyS0", "");
        fs::create_directories(root_ / "dev/serial/by-id");
        fs::create_symlink("../../ttyUSB0",
                           root_ / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5TBQ-if00-port0");
        roots_ = {(root_ / "sys").string(), (root_ / "dev").string()};
    }
    void TearDown() override { fs::remove_all(root_); }

    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }

    fs::path root_;
    TSystemRoots roots_;
};

TEST_F(FakeSystem, AUsbAdapterShowsItsNumbersNamesAndStableName) {
    const TPortDescription port = DescribePort("/dev/ttyUSB0", roots_);
    EXPECT_EQ(port.VendorId, "0403");
    EXPECT_EQ(port.ProductId, "6001");
    EXPECT_EQ(port.Manufacturer, "FTDI");
    EXPECT_EQ(port.Product, "FT232R USB UART");
    EXPECT_EQ(port.Serial, "A10K5TBQ");
    const std::string byId =
        roots_.Dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5TBQ-if00-port0";
    ASSERT_EQ(port.ById, std::vector<std::string>{byId});
    EXPECT_EQ(PortSummary(port),
              "/dev/ttyUSB0  USB 0403:6001 FTDI FT232R USB UART, серийный номер "
              "A10K5TBQ, " +
                  byId);
}

TEST_F(FakeSystem, AnOnBoardPortShowsItsDriverAndAnUnknownOneItsPathAlone) {
    const TPortDescription board = DescribePort("/dev/ttyS0", roots_);
    EXPECT_TRUE(board.VendorId.empty());
    EXPECT_TRUE(board.ById.empty());
    EXPECT_EQ(PortSummary(board), "/dev/ttyS0  драйвер serial8250");
    EXPECT_EQ(PortSummary(DescribePort("/dev/ttyACM7", roots_)), "/dev/ttyACM7");
}

}  // namespace
}  // namespace vemkard::testing
