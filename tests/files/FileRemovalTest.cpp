#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "files/DirectoryGrid.h"
#include "files/DirectoryListing.h"
#include "files/FileRemoval.h"
#include "tests/support/FakeLink.h"
#include "tests/support/FilesFixture.h"

namespace vemkard {
namespace {

using testing::Bytes;
using testing::SentFrame;

class FileRemovalTest : public testing::FilesFixture {
  protected:
    // Lets the console report `count` files, so the grid has count + 2 rows,
    // and the entries of the first `read` of them (all by default).
    void ListFiles(std::uint8_t count, int read = 255) {
        rig.link.AddCommand(cmReadDirectory, nullptr, 1);
        rig.Reply(cmReadDirectory, {count});
        for (int i = 0; i < std::min<int>(count, read); ++i)
            rig.Reply(cmReadEntry, {static_cast<std::uint8_t>(i), 0, 1, 0, 10, 0, 1, 'A'});
        rig.link.ClearCommands();
        rig.serial.opens = 0;
    }

    std::vector<std::uint8_t> Commands(const std::vector<SentFrame>& frames) {
        std::vector<std::uint8_t> commands;
        for (const SentFrame& frame : frames) commands.push_back(frame.command);
        return commands;
    }

    FileRemoval removal{rig.link, grid, listing, dialogs};
};

TEST_F(FileRemovalTest, DoubleClickOnAFileRowDeletesItThenRefreshes) {
    ListFiles(3);
    for (const int row : {1, 2, 3}) {
        SCOPED_TRACE(row);
        grid.SetCurrentRow(row);
        removal.StringGrid1DblClick();
        EXPECT_TRUE(rig.serial.open);
        EXPECT_EQ(rig.view.progressMaximum, 2);

        const std::optional<SentFrame> remove = rig.Poll();
        ASSERT_TRUE(remove);
        EXPECT_EQ(remove->command, cmDeleteFile);
        EXPECT_EQ(remove->payload, Bytes{static_cast<std::uint8_t>(row - 1)});
        rig.Reply(cmDeleteFile);
        const std::optional<SentFrame> refresh = rig.Poll();
        ASSERT_TRUE(refresh);
        EXPECT_EQ(refresh->command, cmReadDirectory);
        rig.link.ClearCommands();
    }
}

TEST_F(FileRemovalTest, DoubleClickOutsideTheListedFileRowsDoesNothing) {
    struct Case {
        std::uint8_t files;
        int read;
        int row;
    };
    // Titles, free-space row, empty listing, and rows whose entries have not
    // arrived yet (a stale current row included).
    for (const Case c : {Case{3, 3, 0}, Case{3, 3, 4}, Case{0, 0, 0}, Case{0, 0, 1}, Case{3, 1, 2},
                         Case{3, 0, 1}}) {
        SCOPED_TRACE(::testing::Message()
                     << int(c.files) << " files, " << c.read << " read, row " << c.row);
        ListFiles(c.files, c.read);
        grid.SetCurrentRow(c.row);
        removal.StringGrid1DblClick();
        EXPECT_EQ(rig.serial.opens, 0);
        EXPECT_TRUE(rig.link.Queue().empty());
    }
}

TEST_F(FileRemovalTest, InitialGridHasNoFileRow) {
    for (const int row : {0, 1}) {
        grid.SetCurrentRow(row);
        removal.StringGrid1DblClick();
    }
    EXPECT_EQ(rig.serial.opens, 0);
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FileRemovalTest, DeleteReplyWhileAnotherCommandLeadsIsIgnored) {
    ListFiles(1);
    grid.SetCurrentRow(1);
    removal.StringGrid1DblClick();
    rig.Reply(cmClearAll);
    rig.Reply(cmReadDirectory, {0});
    EXPECT_EQ(rig.QueuedCommands(), (std::vector<std::uint8_t>{cmDeleteFile, cmReadDirectory}));
}

TEST_F(FileRemovalTest, ClearAsksWithTheExactWarningText) {
    dialogs.confirm = false;
    removal.ToolButton6Click();
    ASSERT_EQ(dialogs.warnings.size(), 1u);
    const std::string& text = dialogs.warnings[0];
    EXPECT_EQ(text,
              "Вы собираетесь удалить все файлы из памяти пульта!\x0A\x0D"
              "Подтвердите Ваше желание:");
}

TEST_F(FileRemovalTest, ClearAnsweredNoDoesNothing) {
    dialogs.confirm = false;
    removal.ToolButton6Click();
    EXPECT_EQ(rig.serial.opens, 0);
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FileRemovalTest, ClearConfirmedSendsClearAllAndTheReplyQueuesTheRefresh) {
    removal.ToolButton6Click();
    EXPECT_TRUE(rig.serial.open);
    EXPECT_EQ(rig.view.progressMaximum, 1);
    EXPECT_EQ(rig.view.progressPosition, 1);

    const std::vector<SentFrame> sent =
        rig.RunConsole([](const SentFrame& frame) -> std::optional<Bytes> {
            if (frame.command == cmReadDirectory) return Bytes{0};
            if (frame.command == cmReadFreeSpace) return Bytes{0x10, 0x27};
            return Bytes{};
        });
    EXPECT_EQ(Commands(sent),
              (std::vector<std::uint8_t>{cmClearAll, cmReadDirectory, cmReadFreeSpace}));
    EXPECT_TRUE(sent[0].payload.empty());
    EXPECT_EQ(grid.Cell(1, 1), "Свободно - 10000 байт");
    EXPECT_EQ(rig.view.status, "Операция успешно завершена.");
}

TEST_F(FileRemovalTest, UnansweredClearNeverQueuesTheRefresh) {
    removal.ToolButton6Click();
    ASSERT_TRUE(rig.Poll());
    ASSERT_TRUE(rig.Poll());
    EXPECT_EQ(rig.QueuedCommands(), (std::vector<std::uint8_t>{cmClearAll}));
}

TEST_F(FileRemovalTest, ClearBehindOtherWorkGetsItsRefreshAtTheTail) {
    listing.RefreshDirectory();
    removal.ToolButton6Click();
    EXPECT_EQ(rig.QueuedCommands(), (std::vector<std::uint8_t>{cmReadDirectory, cmClearAll}));
    rig.Reply(cmReadDirectory, {0});
    listing.RefreshDirectory();
    EXPECT_EQ(rig.QueuedCommands(),
              (std::vector<std::uint8_t>{cmClearAll, cmReadFreeSpace, cmReadDirectory}));
    rig.Reply(cmClearAll);
    EXPECT_EQ(rig.QueuedCommands(),
              (std::vector<std::uint8_t>{cmReadFreeSpace, cmReadDirectory, cmReadDirectory}));
}

}  // namespace
}  // namespace vemkard
