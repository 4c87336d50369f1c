#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "files/DirectoryGrid.h"
#include "files/DirectoryListing.h"
#include "files/FileErrors.h"
#include "firmware/FirmwareProgrammer.h"
#include "tests/support/FakeLink.h"
#include "tests/support/FilesFixture.h"
#include "tests/support/TempFiles.h"

namespace vemkard {
namespace {

using testing::Bytes;
using testing::CountingBytes;
using testing::SentFrame;
using testing::WordAt;

Bytes AddressReply(std::uint16_t address, std::uint8_t flag = 0) {
    return {static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8),
            flag};
}

class FirmwareTest : public testing::FilesFixture {
  protected:
    // Chooses an image with `content` and presses the firmware button.
    void Program(const Bytes& content) {
        dialogs.chosenFile = folder.Write("main.mts", content);
        programmer.ToolButton10Click();
    }

    // Acknowledges every block with its own address and stops at the refresh.
    std::vector<SentFrame> RunPasses() {
        return rig.RunUntil(cmReadDirectory, [](const SentFrame& frame) {
            return AddressReply(WordAt(frame.payload, 0));
        });
    }

    // The 32 bytes each block should carry: file bytes, and past the end of
    // the file what the block before left at the same positions.
    static std::vector<Bytes> ExpectedBlocks(const Bytes& image) {
        std::vector<Bytes> blocks;
        Bytes buffer(32, 0xFF);
        for (std::size_t address = 0; address < image.size(); address += 32) {
            for (std::size_t i = 0; i < 32 && address + i < image.size(); ++i) {
                buffer[i] = image[address + i];
            }
            blocks.push_back(buffer);
        }
        return blocks;
    }

    // Checks one pass of blocks against the image.
    static void ExpectPass(const std::vector<SentFrame>& sent, std::size_t first,
                           std::uint8_t command, const Bytes& image) {
        const std::vector<Bytes> blocks = ExpectedBlocks(image);
        ASSERT_GE(sent.size(), first + blocks.size());
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            const SentFrame& frame = sent[first + i];
            ASSERT_EQ(frame.command, command) << "block " << i;
            ASSERT_EQ(frame.payload.size(), 35u) << "block " << i;
            ASSERT_EQ(WordAt(frame.payload, 0), i * 32) << "block " << i;
            ASSERT_EQ(frame.payload[2], 32) << "block " << i;
            ASSERT_EQ(Bytes(frame.payload.begin() + 3, frame.payload.end()), blocks[i])
                << "block " << i;
        }
    }

    FirmwareProgrammer programmer{rig.link, listing, dialogs};
};

TEST_F(FirmwareTest, ButtonAsksFirstWithTheExactWarningText) {
    dialogs.confirm = false;
    programmer.ToolButton10Click();
    ASSERT_EQ(dialogs.warnings.size(), 1u);
    EXPECT_EQ(dialogs.warnings[0],
              "Все данные в пульте будут утеряны!\x0A\x0DПодтвердите операцию");
    EXPECT_TRUE(dialogs.openRequests.empty());
    EXPECT_EQ(rig.serial.opens, 0);
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FirmwareTest, CancelledDialogDoesNothing) {
    programmer.ToolButton10Click();
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.openRequests[0].filter, "Зашифрованные прошивки|*.mts");
    EXPECT_EQ(dialogs.openRequests[0].filterIndex, 1);
    EXPECT_EQ(dialogs.openRequests[0].defaultExtension, "*.mts");
    EXPECT_EQ(rig.serial.opens, 0);
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FirmwareTest, ImageOf64BytesIsTwoBlocksPerPassThenTheRefresh) {
    const Bytes image = CountingBytes(64);
    Program(image);
    EXPECT_TRUE(rig.serial.open);
    EXPECT_EQ(rig.view.counter, "5");
    EXPECT_EQ(rig.view.progressMaximum, 5);
    EXPECT_EQ(rig.view.progressPosition, 5);

    const std::vector<SentFrame> sent = RunPasses();
    ASSERT_EQ(sent.size(), 5u);
    ExpectPass(sent, 0, cmProgramFlash, image);
    ExpectPass(sent, 2, cmVerifyFlash, image);
    EXPECT_EQ(sent[4].command, cmReadDirectory);
    // The last verify reply still found the refresh queued.
    EXPECT_EQ(rig.view.status, "Идет верификация по адресу 20h");
    // Each block frame is L = 36 on the wire.
    EXPECT_EQ(rig.serial.writes[0].size(), 36u + 6u);
    EXPECT_EQ(rig.serial.writes[0][4], 36);
}

TEST_F(FirmwareTest, LastBlockOf70ByteImageKeepsStaleBytesInBothPasses) {
    const Bytes image = CountingBytes(70);
    Program(image);
    const std::vector<SentFrame> sent = RunPasses();
    ASSERT_EQ(sent.size(), 7u);
    for (const std::size_t last : {2u, 5u}) {
        // File bytes 64 .. 69, then 38 .. 63 left from the block at 32.
        Bytes expected;
        for (std::size_t i = 64; i < 70; ++i) expected.push_back(image[i]);
        for (std::size_t i = 38; i < 64; ++i) expected.push_back(image[i]);
        EXPECT_EQ(WordAt(sent[last].payload, 0), 64);
        EXPECT_EQ(Bytes(sent[last].payload.begin() + 3, sent[last].payload.end()), expected);
    }
    ExpectPass(sent, 0, cmProgramFlash, image);
    ExpectPass(sent, 3, cmVerifyFlash, image);
}

TEST_F(FirmwareTest, LargestImageTakes2048BlocksPerPass) {
    Bytes image = CountingBytes(65535);
    image[0xFFC0 + 31] = 0xA5;  // the one stale byte of the last block
    Program(image);
    EXPECT_EQ(rig.link.QueueLength(), 4097);

    const std::vector<SentFrame> sent = RunPasses();
    ASSERT_EQ(sent.size(), 4097u);
    ExpectPass(sent, 0, cmProgramFlash, image);
    ExpectPass(sent, 2048, cmVerifyFlash, image);
    for (const std::size_t last : {2047u, 4095u}) {
        EXPECT_EQ(WordAt(sent[last].payload, 0), 0xFFE0);
        EXPECT_EQ(sent[last].payload.back(), 0xA5);
    }
    EXPECT_EQ(rig.view.status, "Идет верификация по адресу FFE0h");

    rig.Reply(cmReadDirectory, {0});
    ASSERT_TRUE(rig.Poll());
    rig.Reply(cmReadFreeSpace, {0, 0});
    EXPECT_EQ(rig.view.status, "Операция успешно завершена.");
    EXPECT_FALSE(rig.serial.open);
}

TEST_F(FirmwareTest, ImageShorterThanABlockIsPaddedWithFFInBothPasses) {
    const Bytes image = CountingBytes(10);
    Program(image);
    const std::vector<SentFrame> sent = RunPasses();
    ASSERT_EQ(sent.size(), 3u);
    Bytes expected = image;
    expected.resize(32, 0xFF);
    for (const std::size_t i : {0u, 1u}) {
        EXPECT_EQ(WordAt(sent[i].payload, 0), 0);
        EXPECT_EQ(Bytes(sent[i].payload.begin() + 3, sent[i].payload.end()), expected);
    }
}

TEST_F(FirmwareTest, RefusedImagesQueueNothingAndCloseTheLink) {
    struct Case {
        std::size_t size;
        const char* status;
    };
    for (const Case c : {Case{65536, "Файл слишком большой!"}, Case{70000, "Файл слишком большой!"},
                         Case{0, "Файл прошивки пуст"}}) {
        SCOPED_TRACE(c.size);
        Program(CountingBytes(c.size));
        EXPECT_EQ(rig.view.status, c.status);
        EXPECT_TRUE(rig.link.Queue().empty()) << "no refresh to report a success";
        EXPECT_FALSE(rig.serial.open);
        EXPECT_FALSE(rig.timer.enabled);
    }
}

TEST_F(FirmwareTest, RefusalBehindOtherWorkLeavesItRunning) {
    rig.link.ActivateComm();
    listing.RefreshDirectory();
    Program(CountingBytes(0));
    EXPECT_EQ(rig.view.status, "Файл прошивки пуст");
    EXPECT_EQ(rig.QueuedCommands(), (std::vector<std::uint8_t>{cmReadDirectory}));
    EXPECT_TRUE(rig.serial.open);
    EXPECT_TRUE(rig.timer.enabled);
}

TEST_F(FirmwareTest, DeviceWithoutEndIsRefusedAsTooLarge) {
    // It reports size 0, yet reading it never ends.
    dialogs.chosenFile = "/dev/zero";
    programmer.ToolButton10Click();
    EXPECT_EQ(rig.view.status, "Файл слишком большой!");
    EXPECT_TRUE(rig.link.Queue().empty());
    EXPECT_FALSE(rig.serial.open);
}

TEST_F(FirmwareTest, MissingImageRaisesCannotOpenAndQueuesNothing) {
    const std::string path = (folder.Path() / "absent.mts").string();
    dialogs.chosenFile = path;
    try {
        programmer.ToolButton10Click();
        ADD_FAILURE() << "no error raised";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open file \"" + path + "\". " + std::strerror(ENOENT));
    }
    EXPECT_FALSE(rig.serial.open) << "the link it opened is closed again";
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FirmwareTest, AbandoningARunIsAskedFirst) {
    struct Case {
        const char* what;
        bool run;  // else only a refresh is queued
        bool yes;
        bool goesOn;
        std::size_t left;
    };
    for (const Case c :
         {Case{"no run", false, false, true, 1}, Case{"run, No", true, false, false, 5},
          Case{"run, Yes", true, true, true, 0}}) {
        SCOPED_TRACE(c.what);
        rig.link.ActivateComm();
        if (c.run)
            Program(CountingBytes(64));
        else
            listing.RefreshDirectory();
        rig.view.status = "было";
        dialogs.warnings.clear();
        dialogs.confirm = c.yes;
        EXPECT_EQ(programmer.ConfirmAbandonRun(), c.goesOn);
        EXPECT_EQ(dialogs.warnings, c.run
                                        ? std::vector<std::string>{"Идет запись основной программы!"
                                                                   "\x0A\x0DПрервать операцию?"}
                                        : std::vector<std::string>{});
        EXPECT_EQ(rig.link.Queue().size(), c.left);
        EXPECT_EQ(rig.serial.open, c.left > 0);
        EXPECT_EQ(rig.view.status, c.left == 0 ? "Запись основной программы прервана" : "было");
        rig.link.ClearCommands();
        dialogs.confirm = true;
    }
}

TEST_F(FirmwareTest, VerifyErrorShowsTheAddressAndAbandonsEverything) {
    Program(CountingBytes(0x2000));
    // Program pass, then the verify pass up to the failing block.
    for (std::uint16_t address = 0; address < 0x2000; address += 32) {
        rig.Reply(cmProgramFlash, AddressReply(address));
    }
    for (std::uint16_t address = 0; address < 0x1FE0; address += 32) {
        rig.Reply(cmVerifyFlash, AddressReply(address));
    }
    EXPECT_EQ(rig.view.status, "Идет верификация по адресу 1FC0h");
    ASSERT_EQ(rig.link.QueueLength(), 2);

    rig.Reply(cmVerifyFlash, AddressReply(0x1FE0, 1));
    EXPECT_EQ(rig.view.status, "Ошибка верификации по адресу 1FE0h!");
    EXPECT_TRUE(rig.link.Queue().empty());
    EXPECT_EQ(rig.view.counter, "0");
    EXPECT_EQ(rig.view.progressPosition, 0);
    EXPECT_FALSE(rig.serial.open);
    EXPECT_FALSE(rig.timer.enabled);
    EXPECT_FALSE(rig.Poll());
}

TEST_F(FirmwareTest, ReplyWithAnotherAddressLeavesTheHeadButShowsItsAddress) {
    Program(CountingBytes(64));
    rig.Reply(cmProgramFlash, AddressReply(0));
    rig.Reply(cmProgramFlash, AddressReply(32));
    rig.Reply(cmVerifyFlash, AddressReply(0x1234));
    EXPECT_EQ(rig.view.status, "Идет верификация по адресу 1234h");
    const std::optional<SentFrame> resent = rig.Poll();
    ASSERT_TRUE(resent);
    EXPECT_EQ(resent->command, cmVerifyFlash);
    EXPECT_EQ(WordAt(resent->payload, 0), 0);
}

struct StatusCase {
    const char* label;
    std::uint8_t command;
    std::uint8_t flag;
    bool queueEmpty;
    const char* text;
};

class FirmwareStatusTest : public FirmwareTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(FirmwareStatusTest, ShowsTheTextForTheReply) {
    const StatusCase& c = GetParam();
    if (!c.queueEmpty) listing.RefreshDirectory();
    rig.Reply(c.command, AddressReply(0xABC0, c.flag));
    EXPECT_EQ(rig.view.status, c.text);
    EXPECT_EQ(rig.link.Queue().empty(), c.queueEmpty || (c.flag != 0 && c.command % 2 == 0));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FirmwareStatusTest,
    ::testing::Values(
        StatusCase{"ProgramIgnoresTheFlag", cmProgramFlash, 7, false,
                   "Идет программирование по адресу ABC0h"},
        StatusCase{"ProgramWithEmptyQueue", cmProgramFlash, 0, true,
                   "Идет программирование по адресу ABC0h"},
        StatusCase{"VerifyInProgress", cmVerifyFlash, 0, false, "Идет верификация по адресу ABC0h"},
        StatusCase{"VerifyDone", cmVerifyFlash, 0, true, "Программирование успешно завершено"},
        StatusCase{"VerifyError", cmVerifyFlash, 0xFF, false,
                   "Ошибка верификации по адресу ABC0h!"},
        StatusCase{"VerifyErrorBeatsDone", cmVerifyFlash, 1, true,
                   "Ошибка верификации по адресу ABC0h!"},
        StatusCase{"EepromProgramIgnoresTheFlag", cmProgramEeprom, 1, false,
                   "Идет программирование EEPROM по адресу ABC0h"},
        StatusCase{"EepromVerifyInProgress", cmVerifyEeprom, 0, false,
                   "Идет верификация EEPROM по адресу ABC0h"},
        StatusCase{"EepromVerifyDone", cmVerifyEeprom, 0, true,
                   "Программирование EEPROM успешно завершено"},
        StatusCase{"EepromVerifyError", cmVerifyEeprom, 2, false,
                   "Ошибка верификации EEPROM по адресу ABC0h!"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(FirmwareTest, StatusHandlersCalledDirectlyIgnoreShortReplies) {
    listing.RefreshDirectory();
    // L = 3: command code and a two-byte address, no error flag.
    const Bytes body{3, cmVerifyFlash, 0x20, 0x00};
    programmer.ShowVerifyStatus(TReplyRecord{body.data()});
    programmer.ShowEepromVerifyStatus(TReplyRecord{body.data()});
    const Bytes shorter{2, cmProgramFlash, 0x20};
    programmer.ShowProgramStatus(TReplyRecord{shorter.data()});
    EXPECT_EQ(rig.view.status, "");
    EXPECT_EQ(rig.link.QueueLength(), 1);
}

TEST_F(FirmwareTest, SmallAddressesHaveNoLeadingZeros) {
    rig.Reply(cmProgramFlash, AddressReply(0));
    EXPECT_EQ(rig.view.status, "Идет программирование по адресу 0h");
    rig.Reply(cmProgramEeprom, AddressReply(0x20));
    EXPECT_EQ(rig.view.status, "Идет программирование EEPROM по адресу 20h");
}

}  // namespace
}  // namespace vemkard
