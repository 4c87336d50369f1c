#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "files/DirectoryGrid.h"
#include "files/DirectoryListing.h"
#include "tests/support/FakeLink.h"
#include "tests/support/FilesFixture.h"

namespace vemkard {
namespace {

using testing::Bytes;

using testing::SentFrame;

struct ConsoleFile {
    std::uint16_t type;
    std::uint16_t size;
    std::string name;  // CP1251 bytes
};

Bytes EntryPayload(std::uint8_t index, std::uint16_t type, std::uint16_t size,
                   const std::string& name) {
    Bytes payload{index,
                  0x5A,
                  static_cast<std::uint8_t>(type & 0xFF),
                  static_cast<std::uint8_t>(type >> 8),
                  static_cast<std::uint8_t>(size & 0xFF),
                  static_cast<std::uint8_t>(size >> 8),
                  static_cast<std::uint8_t>(name.size())};
    for (const char c : name) payload.push_back(static_cast<std::uint8_t>(c));
    return payload;
}

Bytes WordPayload(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

// Answers the three directory commands from a list of files.
struct DirectoryConsole {
    std::vector<ConsoleFile> files;
    std::uint16_t freeSpace = 0;

    std::optional<Bytes> operator()(const SentFrame& frame) const {
        switch (frame.command) {
            case cmReadDirectory:
                return Bytes{static_cast<std::uint8_t>(files.size())};
            case cmReadEntry: {
                const ConsoleFile& file = files.at(frame.payload.at(0));
                return EntryPayload(frame.payload[0], file.type, file.size, file.name);
            }
            case cmReadFreeSpace:
                return WordPayload(freeSpace);
            default:
                ADD_FAILURE() << "unexpected command " << int{frame.command};
                return {};
        }
    }
};

class RecordingObserver : public IGridObserver {
  public:
    void RowsReset(int rowCount) override { resets.push_back(rowCount); }
    void CellChanged(int row, int column) override { changes.emplace_back(row, column); }
    std::vector<int> resets;
    std::vector<std::pair<int, int>> changes;
};

class DirectoryListingTest : public testing::FilesFixture {
  protected:
    DirectoryListingTest() { grid.SetObserver(&observer); }

    // Queues a refresh and lets the console answer it whole.
    std::vector<SentFrame> List(const DirectoryConsole& console) {
        listing.ToolButton4Click();
        return rig.RunConsole(console);
    }

    std::vector<std::string> Row(int row) const {
        return {grid.Cell(row, 0), grid.Cell(row, 1), grid.Cell(row, 2), grid.Cell(row, 3)};
    }

    RecordingObserver observer;
};

TEST_F(DirectoryListingTest, StartsWithTitlesOneEmptyRowAndTenThousandFree) {
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"№№", "Название файла", "Тип файла", "Размер"}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(listing.FreeSpace(), 10000);
}

TEST_F(DirectoryListingTest, RefreshButtonOpensTheLinkAndSendsReadDirectory) {
    listing.ToolButton4Click();
    EXPECT_TRUE(rig.serial.open);
    EXPECT_EQ(rig.view.progressMaximum, 1);
    EXPECT_EQ(rig.view.progressPosition, 1);

    const std::optional<SentFrame> sent = rig.Poll();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->command, cmReadDirectory);
    EXPECT_TRUE(sent->payload.empty());
    EXPECT_EQ(rig.serial.writes.back(), (Bytes{0x5C, 0x59, 0x53, 0x57, 0x01, 0x10, 0x8F}));
}

TEST_F(DirectoryListingTest, RefreshAloneDoesNotOpenTheLink) {
    listing.RefreshDirectory();
    EXPECT_FALSE(rig.serial.open);
    EXPECT_EQ(rig.QueuedCommands(), (std::vector<std::uint8_t>{cmReadDirectory}));
}

TEST_F(DirectoryListingTest, ListsEveryFileAndTheFreeSpace) {
    const DirectoryConsole console{{{ftYearPlan, 100, "/tmp/plan.h6s"},
                                    {ftIntersection, 560, "\xCF\xE5\xF0\xE5\xEA\xF0.m0 "},
                                    {2, 65535, "x"}},
                                   4321};
    const std::vector<SentFrame> sent = List(console);

    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0].command, cmReadDirectory);
    for (std::uint8_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sent[1 + i].command, cmReadEntry);
        EXPECT_EQ(sent[1 + i].payload, Bytes{i});
    }
    EXPECT_EQ(sent[4].command, cmReadFreeSpace);
    EXPECT_TRUE(sent[4].payload.empty());

    ASSERT_EQ(grid.RowCount(), 5);
    EXPECT_EQ(Row(1), (std::vector<std::string>{"1", "/tmp/plan.h6s",
                                                "Годовой план Хронос-6 \"ЛИСТРАН\"", "100 б."}));
    EXPECT_EQ(Row(2), (std::vector<std::string>{"2", "Перекр.m0 ", "Организация перекрестка МРК-8",
                                                "560 б."}));
    EXPECT_EQ(Row(3), (std::vector<std::string>{"3", "x", "Неизвестный тип 2h", "65535 б."}));
    EXPECT_EQ(Row(4), (std::vector<std::string>{"", "Свободно - 4321 байт", "", ""}));
    EXPECT_EQ(listing.FreeSpace(), 4321);
    ASSERT_EQ(listing.Files().size(), 3u);
    const std::pair<std::uint16_t, std::uint16_t> codes[] = {{1, 100}, {0x4D52, 560}, {2, 65535}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(listing.Files()[i].Listed);
        EXPECT_EQ(listing.Files()[i].FileType, codes[i].first);
        EXPECT_EQ(listing.Files()[i].Size, codes[i].second);
    }
    EXPECT_EQ(rig.view.status, "Операция успешно завершена.");
    EXPECT_FALSE(rig.serial.open);
}

TEST_F(DirectoryListingTest, EmptyDirectoryQueuesOnlyTheFreeSpaceRead) {
    listing.ToolButton4Click();
    ASSERT_TRUE(rig.Poll());
    rig.Reply(cmReadDirectory, {0});
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(rig.QueuedCommands(), (std::vector<std::uint8_t>{cmReadFreeSpace}));

    const std::optional<SentFrame> sent = rig.Poll();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->command, cmReadFreeSpace);
    rig.Reply(cmReadFreeSpace, WordPayload(0));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"", "Свободно - 0 байт", "", ""}));
    EXPECT_EQ(listing.FreeSpace(), 0);
    EXPECT_FALSE(rig.Poll());
}

TEST_F(DirectoryListingTest, FullDirectoryReadsAll255Entries) {
    listing.ToolButton4Click();
    ASSERT_TRUE(rig.Poll());
    rig.Reply(cmReadDirectory, {255});

    EXPECT_EQ(grid.RowCount(), 257);
    // The directory read counted while still at the head.
    EXPECT_EQ(rig.view.progressMaximum, 257);
    EXPECT_EQ(rig.view.progressPosition, 256);
    const auto& queue = rig.link.Queue();
    ASSERT_EQ(queue.size(), 256u);
    for (std::size_t i = 0; i < 255; ++i) {
        EXPECT_EQ(queue[i].Command, cmReadEntry);
        EXPECT_EQ(queue[i].Length, 2);
        EXPECT_EQ(queue[i].Payload[0], i);
    }
    EXPECT_EQ(queue.back().Command, cmReadFreeSpace);

    DirectoryConsole console;
    for (int i = 0; i < 255; ++i) console.files.push_back({ftProgram, 7, "f" + std::to_string(i)});
    console.freeSpace = 65535;
    rig.RunConsole(console);
    EXPECT_EQ(Row(255), (std::vector<std::string>{"255", "f254", "Программа", "7 б."}));
    EXPECT_EQ(Row(256), (std::vector<std::string>{"", "Свободно - 65535 байт", "", ""}));
    EXPECT_EQ(listing.FreeSpace(), 65535);
}

struct TypeCase {
    std::uint16_t code;
    const char* text;
};

class FileTypeNameTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(FileTypeNameTest, GivesTheTextOfTheCode) {
    EXPECT_EQ(FileTypeName(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Codes, FileTypeNameTest,
                         ::testing::Values(TypeCase{1, "Годовой план Хронос-6 \"ЛИСТРАН\""},
                                           TypeCase{0x10, "План громкости ЗВН-5"},
                                           TypeCase{0x4D52, "Организация перекрестка МРК-8"},
                                           TypeCase{0x8000, "Программа"},
                                           TypeCase{0, "Неизвестный тип 0h"},
                                           TypeCase{2, "Неизвестный тип 2h"},
                                           TypeCase{0xABCD, "Неизвестный тип ABCDh"},
                                           TypeCase{0x4D53, "Неизвестный тип 4D53h"},
                                           TypeCase{0xFFFF, "Неизвестный тип FFFFh"}));

// Starts a listing of `count` files and leaves the first entry read at the head.
class EntryReplyTest : public DirectoryListingTest {
  protected:
    void StartListing(std::uint8_t count) {
        listing.ToolButton4Click();
        ASSERT_TRUE(rig.Poll());
        rig.Reply(cmReadDirectory, {count});
        observer.changes.clear();
    }
};

TEST_F(EntryReplyTest, UnknownTypeShowsItsHexCodeInTheGrid) {
    StartListing(1);
    rig.Reply(cmReadEntry, EntryPayload(0, 0xABCD, 1, "a"));
    EXPECT_EQ(grid.Cell(1, 2), "Неизвестный тип ABCDh");
}

TEST_F(EntryReplyTest, EmptyNameLeavesOnlyTheNameCellEmpty) {
    StartListing(1);
    rig.Reply(cmReadEntry, EntryPayload(0, ftVolumePlan, 0, ""));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"1", "", "План громкости ЗВН-5", "0 б."}));
}

TEST_F(EntryReplyTest, TheReplyIndexChoosesTheRow) {
    StartListing(3);
    rig.Reply(cmReadEntry, EntryPayload(2, ftProgram, 9, "late"));
    EXPECT_EQ(Row(3), (std::vector<std::string>{"3", "late", "Программа", "9 б."}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"", "", "", ""}));
    // The head went all the same: the next entry read is now first.
    ASSERT_FALSE(rig.link.Queue().empty());
    EXPECT_EQ(rig.link.Queue().front().Payload[0], 1);
}

TEST_F(EntryReplyTest, IndexAtOrPastTheFreeSpaceRowIsIgnored) {
    for (const std::uint8_t index : {2, 3, 255}) {
        SCOPED_TRACE(int{index});
        StartListing(2);
        rig.Reply(cmReadEntry, EntryPayload(index, ftProgram, 9, "bad"));
        EXPECT_TRUE(observer.changes.empty());
        EXPECT_EQ(grid.RowCount(), 4);
        for (int row = 1; row < 4; ++row) {
            EXPECT_EQ(Row(row), (std::vector<std::string>{"", "", "", ""}));
        }
        rig.link.ClearCommands();
    }
}

TEST_F(EntryReplyTest, EntryBeforeAnyListingIsIgnored) {
    rig.link.AddCommand(cmReadEntry, Bytes{0}.data(), 2);
    rig.Reply(cmReadEntry, EntryPayload(0, ftProgram, 9, "stray"));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"", "", "", ""}));
}

TEST_F(EntryReplyTest, NameRunningPastTheFrameShowsTheBytesItHolds) {
    StartListing(1);
    Bytes payload = EntryPayload(0, ftProgram, 9, "short");
    payload[6] = 40;
    rig.Reply(cmReadEntry, payload);
    EXPECT_EQ(grid.Cell(1, 1), "short");
    EXPECT_EQ(grid.Cell(1, 3), "9 б.");
}

TEST_F(EntryReplyTest, BytesAfterTheNameAreNotShown) {
    StartListing(1);
    Bytes payload = EntryPayload(0, ftProgram, 9, "name");
    payload.push_back('X');
    rig.Reply(cmReadEntry, payload);
    EXPECT_EQ(grid.Cell(1, 1), "name");
}

TEST_F(EntryReplyTest, ObserverHearsOfEveryFilledCell) {
    StartListing(1);
    rig.Reply(cmReadEntry, EntryPayload(0, ftProgram, 9, "n"));
    EXPECT_EQ(observer.changes, (std::vector<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}, {1, 3}}));
}

TEST_F(DirectoryListingTest, EachDirectoryReplyResizesAndEmptiesTheGrid) {
    List({{{ftProgram, 1, "a"}, {ftProgram, 2, "b"}, {ftProgram, 3, "c"}}, 100});
    ASSERT_EQ(grid.Cell(2, 1), "b");

    listing.ToolButton4Click();
    ASSERT_TRUE(rig.Poll());
    rig.Reply(cmReadDirectory, {1});
    EXPECT_EQ(observer.resets.back(), 3);
    ASSERT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"№№", "Название файла", "Тип файла", "Размер"}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(Row(2), (std::vector<std::string>{"", "", "", ""}));
    // The old free space stays until the console reports it again.
    EXPECT_EQ(listing.FreeSpace(), 100);
}

TEST_F(DirectoryListingTest, SecondRefreshQueuesAFullSetBehindTheFirst) {
    listing.ToolButton4Click();
    listing.ToolButton4Click();
    ASSERT_TRUE(rig.Poll());
    rig.Reply(cmReadDirectory, {1});
    EXPECT_EQ(rig.QueuedCommands(),
              (std::vector<std::uint8_t>{cmReadDirectory, cmReadEntry, cmReadFreeSpace}));
}

TEST_F(DirectoryListingTest, ReplyToAnotherCommandLeavesTheGridAlone) {
    listing.ToolButton4Click();
    rig.Reply(cmReadEntry, EntryPayload(0, ftProgram, 1, "a"));
    rig.Reply(cmReadFreeSpace, WordPayload(5));
    EXPECT_TRUE(observer.changes.empty());
    EXPECT_EQ(listing.FreeSpace(), 10000);
    EXPECT_EQ(rig.QueuedCommands(), (std::vector<std::uint8_t>{cmReadDirectory}));
}

TEST_F(DirectoryListingTest, HandlersCalledDirectlyIgnoreShortPayloads) {
    listing.HandleDirectoryReply({});
    const Bytes entry = EntryPayload(0, ftProgram, 9, "");
    listing.HandleEntryReply(std::span(entry).first(6));
    const Bytes free{0x12};
    listing.HandleFreeSpaceReply(free);
    EXPECT_TRUE(observer.resets.empty());
    EXPECT_TRUE(observer.changes.empty());
    EXPECT_TRUE(rig.link.Queue().empty());
    EXPECT_EQ(listing.FreeSpace(), 10000);
}

TEST(DirectoryGridTest, CurrentRowStaysInsideTheGrid) {
    DirectoryGrid grid;
    EXPECT_EQ(grid.CurrentRow(), 1);
    grid.ResetRows(10);
    grid.SetCurrentRow(8);
    grid.ResetRows(4);
    EXPECT_EQ(grid.CurrentRow(), 3);
    grid.SetCurrentRow(-1);
    EXPECT_EQ(grid.CurrentRow(), 0);
    grid.SetCurrentRow(99);
    EXPECT_EQ(grid.CurrentRow(), 3);
}

TEST(DirectoryGridTest, CellsOutsideTheGridAreEmptyAndNotWritten) {
    DirectoryGrid grid;
    grid.SetCell(2, 0, "x");
    grid.SetCell(1, 4, "x");
    grid.SetCell(-1, 0, "x");
    EXPECT_EQ(grid.Cell(2, 0), "");
    EXPECT_EQ(grid.Cell(1, 4), "");
    EXPECT_EQ(grid.Cell(-1, 0), "");
    EXPECT_EQ(grid.Cell(0, 0), "№№");
}

}  // namespace
}  // namespace vemkard
