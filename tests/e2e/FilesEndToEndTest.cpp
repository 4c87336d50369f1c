// Directory listing, upload, delete and clear, from the program's handlers
// over TComm32 and a pseudo-terminal to the simulated console and back.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "protocol/ConsoleLink.h"
#include "sim/SampleFiles.h"
#include "tests/e2e/ConsoleBench.h"
#include "tests/support/TempFiles.h"

namespace vemkard::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string TypeText(std::uint16_t type) {
    switch (type) {
        case 1:
            return "Годовой план Хронос-6 \"ЛИСТРАН\"";
        case 16:
            return "План громкости ЗВН-5";
        case 0x4D52:
            return "Организация перекрестка МРК-8";
        case 0x8000:
            return "Программа";
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "Неизвестный тип %Xh", type);
            return text;
        }
    }
}

std::string FreeText(int free) {
    return "Свободно - " + std::to_string(free) + " байт";
}

// One file as the grid should show it: name in UTF-8, type code, data length.
struct ListedFile {
    std::string name;
    std::uint16_t type;
    std::size_t size;
};

// The grid and the program's free space agree with the console's directory.
void ExpectGridShows(ConsoleBench& bench, const std::vector<ListedFile>& files) {
    const auto& grid = bench.session.Grid;
    ASSERT_EQ(grid.RowCount(), static_cast<int>(files.size()) + 2);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        EXPECT_EQ(grid.Cell(row, 0), std::to_string(row)) << "row " << row;
        EXPECT_EQ(grid.Cell(row, 1), files[i].name) << "row " << row;
        EXPECT_EQ(grid.Cell(row, 2), TypeText(files[i].type)) << "row " << row;
        EXPECT_EQ(grid.Cell(row, 3), std::to_string(files[i].size) + " б.") << "row " << row;
    }
    const int free = bench.Console().FreeSpace();
    EXPECT_EQ(grid.Cell(grid.RowCount() - 1, 1), FreeText(free));
    EXPECT_EQ(bench.session.Listing.FreeSpace(), free);
}

// Files with Cyrillic names, stored on the console before the program starts.
std::vector<ListedFile> SomeFiles(int count) {
    static const std::uint16_t kTypes[] = {1, 16, 0x4D52, 0x8000, 0, 0xABCD};
    std::vector<ListedFile> files;
    for (int i = 0; i < count; ++i) {
        std::string name = "Файл №" + std::to_string(i) + ".dat";
        files.push_back({name, kTypes[i % 6], static_cast<std::size_t>(i % 40)});
    }
    return files;
}

void Store(ConsoleStore& store, const std::vector<ListedFile>& files) {
    for (const auto& file : files) {
        ASSERT_TRUE(store.AddFile(file.type, ToConsoleName(file.name), Bytes(file.size, 0x55)));
    }
}

class Listing : public ::testing::TestWithParam<int> {};

TEST_P(Listing, GridAndFreeSpaceMatchTheConsole) {
    const auto files = SomeFiles(GetParam());
    ConsoleBench bench({.fill = [&](ConsoleStore& store) { Store(store, files); }});
    bench.session.Listing.ToolButton4Click();
    ASSERT_TRUE(bench.RunUntilIdle());
    EXPECT_EQ(bench.view.Status(), kTextOperationDone);
    ExpectGridShows(bench, files);
    EXPECT_EQ(bench.view.counter, "0");
}

INSTANTIATE_TEST_SUITE_P(Files, Listing, ::testing::Values(0, 3, 255));

struct UploadCase {
    const char* fileName;
    std::uint16_t type;
    bool organisation;  // only the computed part of the file is sent
};

class Upload : public ::testing::TestWithParam<UploadCase> {};

// The part of an intersection organisation that goes to the console: a ring
// read from offset 1024 of A (rounded up to 16) + B bytes, or A + 2 when B is
// unset or too large.
Bytes OrganisationPart(const Bytes& file) {
    const auto word = [&file](std::size_t at) { return file[at] | (file[at + 1] << 8); };
    std::size_t a = static_cast<std::size_t>(word(1029));
    if (a % 16 != 0) a = (a & ~std::size_t{15}) + 16;
    const std::size_t b = static_cast<std::size_t>(word(1024 + a));
    const std::size_t count = (b == 0xFFFF || a + b > 2048) ? a + 2 : a + b;
    Bytes part;
    for (std::size_t i = 0; i < count; ++i) part.push_back(file[(1024 + i) % file.size()]);
    return part;
}

TEST_P(Upload, ConsoleStoresHeaderAndDataByteForByteAndTheGridListsIt) {
    const auto& c = GetParam();
    TempFolder folder;
    Bytes contents = CountingBytes(c.organisation ? 1500 : 301);
    if (c.organisation) {
        contents[1029] = 0x23;  // A = 0x0123, rounded up to 0x130
        contents[1030] = 0x01;
        contents[1024 + 0x130] = 0x00;  // B = 0x0100
        contents[1024 + 0x131] = 0x01;
    }
    const std::string path = folder.Write(c.fileName, contents);
    const Bytes data = c.organisation ? OrganisationPart(contents) : contents;

    ConsoleBench bench({.fill = [](ConsoleStore& store) { AddSampleFiles(store); }});
    const auto before = bench.Console().Files().size();
    bench.dialogs.chosenFile = path;
    bench.session.Upload.ToolButton8Click();
    ASSERT_TRUE(bench.RunUntilIdle());
    EXPECT_EQ(bench.view.Status(), kTextOperationDone);

    // The full path, padded with a space to an odd length.
    std::string name = ToConsoleName(path);
    const bool padded = name.size() % 2 == 0;
    if (padded) name += ' ';
    Bytes expected = MakeUploadHeader(c.type, name, static_cast<std::uint16_t>(data.size()));
    expected.insert(expected.end(), data.begin(), data.end());
    const auto console = bench.Console();
    ASSERT_EQ(console.Files().size(), before + 1);
    EXPECT_EQ(console.Files().back().Bytes, expected);

    std::vector<ListedFile> listed;
    for (std::size_t i = 0; i < before; ++i) {
        const auto& grid = bench.session.Grid;
        listed.push_back({grid.Cell(static_cast<int>(i) + 1, 1), console.Files()[i].Type,
                          console.Files()[i].DataLength});
    }
    listed.push_back({padded ? path + " " : path, c.type, data.size()});
    ExpectGridShows(bench, listed);
}

INSTANTIATE_TEST_SUITE_P(EachExtension, Upload,
                         ::testing::Values(UploadCase{"Модуль связи.kts", 0x8000, false},
                                           UploadCase{"Ленина - Мира.M0", 0x4D52, true},
                                           UploadCase{"ведомый.m1", 0x4D52, true},
                                           UploadCase{"План.h6s", 1, false},
                                           UploadCase{"громкость.Z0", 16, false},
                                           UploadCase{"notes.txt", 0, false},
                                           UploadCase{"README", 0, false}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Removal, DeletingTheSecondFileLeavesTheOthersAndListsThemAfresh) {
    const auto files = SomeFiles(4);
    ConsoleBench bench({.fill = [&](ConsoleStore& store) { Store(store, files); }});
    bench.session.Listing.ToolButton4Click();
    ASSERT_TRUE(bench.RunUntilIdle());

    bench.session.Grid.SetCurrentRow(2);
    bench.session.Removal.StringGrid1DblClick();
    ASSERT_TRUE(bench.RunUntilIdle());
    EXPECT_EQ(bench.view.Status(), kTextOperationDone);
    const auto console = bench.Console();
    ASSERT_EQ(console.Files().size(), 3u);
    EXPECT_EQ(console.Files()[1].Name, ToConsoleName(files[2].name));
    ExpectGridShows(bench, {files[0], files[2], files[3]});
}

TEST(Removal, ClearingEmptiesTheConsoleAndListsItAfresh) {
    ConsoleBench bench(
        {.capacity = 30000, .fill = [](ConsoleStore& store) { AddSampleFiles(store); }});
    bench.session.Listing.ToolButton4Click();
    ASSERT_TRUE(bench.RunUntilIdle());
    ASSERT_EQ(bench.session.Grid.RowCount(), 7);

    bench.dialogs.confirm = true;
    bench.session.Removal.ToolButton6Click();
    ASSERT_TRUE(bench.RunUntilIdle());
    EXPECT_EQ(bench.view.Status(), kTextOperationDone);
    EXPECT_TRUE(bench.Console().Files().empty());
    ExpectGridShows(bench, {});
    EXPECT_EQ(bench.session.Listing.FreeSpace(), 30000);
}

}  // namespace
}  // namespace vemkard::testing
