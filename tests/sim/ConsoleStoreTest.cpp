#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/ConsoleStore.h"
#include "sim/SampleFiles.h"

namespace vemkard {
namespace {

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t first = 1) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

TEST(UploadHeader, LaysOutTypeTotalNameAndDataLength) {
    // A 13-byte name and 100 data bytes: header of 20 bytes, total 120.
    const auto header = MakeUploadHeader(1, "C:\\plan12.h6s", 100);
    const std::vector<std::uint8_t> expected = {1,   0,   120, 0,   13,  'C', ':', '\\', 'p', 'l',
                                                'a', 'n', '1', '2', '.', 'h', '6', 's',  100, 0};
    EXPECT_EQ(header, expected);
}

TEST(ConsoleStore, CreateFileKeepsHeaderThenZeroedData) {
    ConsoleStore store(1000);
    const auto header = MakeUploadHeader(0x4D52, "abc", 10);
    ASSERT_TRUE(store.CreateFile(header));
    ASSERT_EQ(store.Files().size(), 1u);
    const auto& file = store.Files()[0];
    EXPECT_EQ(file.Type, 0x4D52);
    EXPECT_EQ(file.Name, "abc");
    EXPECT_EQ(file.DataLength, 10);
    EXPECT_EQ(file.HeaderLength(), 10u);
    EXPECT_EQ(std::vector<std::uint8_t>(file.Header().begin(), file.Header().end()), header);
    EXPECT_EQ(std::vector<std::uint8_t>(file.Data().begin(), file.Data().end()),
              std::vector<std::uint8_t>(10, 0));
    EXPECT_EQ(store.UsedBytes(), 20u);
    EXPECT_EQ(store.FreeSpace(), 980);
}

TEST(ConsoleStore, RefusesMalformedHeaders) {
    auto wrongTotal = MakeUploadHeader(1, "abc", 10);
    wrongTotal[2] ^= 1;
    auto longerThanName = MakeUploadHeader(1, "abc", 10);
    longerThanName.push_back(0);
    auto shorterThanName = MakeUploadHeader(1, "abc", 10);
    shorterThanName.pop_back();
    const std::vector<std::vector<std::uint8_t>> cases = {
        {}, {1, 0, 7, 0, 0, 0}, wrongTotal, longerThanName, shorterThanName};
    for (const auto& header : cases) {
        ConsoleStore store(1000);
        EXPECT_FALSE(store.CreateFile(header)) << "header of " << header.size() << " bytes";
        EXPECT_TRUE(store.Files().empty());
    }
}

TEST(ConsoleStore, CreateFileNeedsRoomForHeaderAndData) {
    // Header of 10 bytes + 30 data bytes = 40.
    ConsoleStore exact(40);
    EXPECT_TRUE(exact.CreateFile(MakeUploadHeader(1, "abc", 30)));
    EXPECT_EQ(exact.FreeSpace(), 0);
    ConsoleStore oneShort(39);
    EXPECT_FALSE(oneShort.CreateFile(MakeUploadHeader(1, "abc", 30)));
    EXPECT_EQ(oneShort.FreeSpace(), 39);
}

TEST(ConsoleStore, DirectoryHoldsAtMost255Files) {
    ConsoleStore store(100000);
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(store.AddFile(0, "x", {})) << i;
    EXPECT_FALSE(store.AddFile(0, "x", {}));
    EXPECT_FALSE(store.CreateFile(MakeUploadHeader(0, "x", 0)));
    EXPECT_EQ(store.Files().size(), 255u);
}

TEST(ConsoleStore, FreeSpaceIsClampedToSixteenBits) {
    struct Case {
        std::size_t capacity;
        std::size_t dataLength;  // one file with a 1-byte name: header 8 bytes
        std::uint16_t free;
    };
    const Case cases[] = {
        {100000, 0, 65535}, {65535 + 8, 0, 65535}, {65534 + 8, 0, 65534},
        {1000, 92, 900},    {100, 92, 0},
    };
    for (const auto& c : cases) {
        ConsoleStore store(c.capacity);
        ASSERT_TRUE(store.AddFile(5, "n", Bytes(c.dataLength)));
        EXPECT_EQ(store.FreeSpace(), c.free) << c.capacity << " " << c.dataLength;
    }
    ConsoleStore overFull(50);
    overFull.AddFile(5, "n", Bytes(40));
    overFull.SetCapacity(10);
    EXPECT_EQ(overFull.FreeSpace(), 0);
}

TEST(ConsoleStore, WriteBlockFillsOnlyTheDataOfTheFileCreatedLast) {
    ConsoleStore store(1000);
    ASSERT_TRUE(store.CreateFile(MakeUploadHeader(1, "abc", 8)));  // header 10, total 18
    const auto header = store.Files()[0].Bytes;
    struct Case {
        std::uint16_t offset;
        std::size_t count;
        bool accepted;
    };
    const Case cases[] = {
        {10, 4, true},  {14, 4, true},     {17, 1, true},  // inside the data
        {9, 2, false},                                     // would overwrite the header
        {0, 1, false},  {15, 4, false},                    // past the end
        {18, 1, false}, {65535, 1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(store.WriteBlock(c.offset, Bytes(c.count, 0xA0)), c.accepted)
            << "offset " << c.offset << " count " << c.count;
    }
    const auto& bytes = store.Files()[0].Bytes;
    EXPECT_TRUE(std::equal(header.begin(), header.begin() + 10, bytes.begin()));
    const std::vector<std::uint8_t> data(bytes.begin() + 10, bytes.end());
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0xA0, 0xA1, 0xA2, 0xA3, 0xA0, 0xA1, 0xA2, 0xA0}));
}

TEST(ConsoleStore, WriteBlockAfterDeleteOrClearIsRefused) {
    ConsoleStore store(1000);
    ASSERT_TRUE(store.CreateFile(MakeUploadHeader(1, "abc", 8)));
    ASSERT_TRUE(store.CreateFile(MakeUploadHeader(1, "def", 8)));
    ASSERT_TRUE(store.DeleteFile(0));
    EXPECT_FALSE(store.WriteBlock(10, Bytes(4)));
    ASSERT_TRUE(store.CreateFile(MakeUploadHeader(1, "ghi", 8)));
    store.ClearAll();
    EXPECT_FALSE(store.WriteBlock(10, Bytes(4)));
    EXPECT_TRUE(store.Files().empty());
}

TEST(ConsoleStore, DeleteShiftsLaterFilesDown) {
    ConsoleStore store(1000);
    for (const char* name : {"a", "b", "c", "d"}) ASSERT_TRUE(store.AddFile(0, name, Bytes(3)));
    EXPECT_FALSE(store.DeleteFile(4));
    ASSERT_TRUE(store.DeleteFile(1));
    ASSERT_EQ(store.Files().size(), 3u);
    EXPECT_EQ(store.Files()[0].Name, "a");
    EXPECT_EQ(store.Files()[1].Name, "c");
    EXPECT_EQ(store.Files()[2].Name, "d");
    EXPECT_EQ(store.FreeSpace(), 1000 - 3 * 11);
}

TEST(ConsoleStore, FlashAndEepromAreSeparateImages) {
    ConsoleStore store;
    const auto block = Bytes(32, 0x40);
    EXPECT_EQ(store.Flash()[0x20], ConsoleStore::kErasedByte);
    EXPECT_FALSE(store.VerifyFlash(0x20, block));
    ASSERT_TRUE(store.ProgramFlash(0x20, block));
    EXPECT_TRUE(store.VerifyFlash(0x20, block));
    EXPECT_FALSE(store.VerifyFlash(0x40, block));
    EXPECT_FALSE(store.VerifyEeprom(0x20, block));
    ASSERT_TRUE(store.ProgramEeprom(0xFFE0, block));  // the last block fits exactly
    EXPECT_TRUE(store.VerifyEeprom(0xFFE0, block));
    EXPECT_FALSE(store.ProgramFlash(0xFFE1, block));  // would run past 64 KiB
    EXPECT_EQ(store.Flash()[0xFFFF], ConsoleStore::kErasedByte);
}

class StoreDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vemkard-store-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(StoreDirectory, SaveThenLoadGivesTheSameStore) {
    ConsoleStore saved(5000);
    ASSERT_EQ(AddSampleFiles(saved), 5);
    ASSERT_TRUE(saved.AddFile(0x1234, "", {}));
    ASSERT_TRUE(saved.ProgramFlash(64, Bytes(32)));
    ASSERT_TRUE(saved.ProgramEeprom(0, Bytes(32, 7)));
    saved.Save(dir_);

    ConsoleStore loaded(5000);
    loaded.Load(dir_);
    ASSERT_EQ(loaded.Files().size(), saved.Files().size());
    for (std::size_t i = 0; i < saved.Files().size(); ++i) {
        EXPECT_EQ(loaded.Files()[i].Type, saved.Files()[i].Type) << i;
        EXPECT_EQ(loaded.Files()[i].Name, saved.Files()[i].Name) << i;
        EXPECT_EQ(loaded.Files()[i].DataLength, saved.Files()[i].DataLength) << i;
        EXPECT_EQ(loaded.Files()[i].Bytes, saved.Files()[i].Bytes) << i;
    }
    EXPECT_EQ(loaded.Flash(), saved.Flash());
    EXPECT_EQ(loaded.Eeprom(), saved.Eeprom());
}

TEST_F(StoreDirectory, SavingFewerFilesRemovesTheStaleOnes) {
    ConsoleStore store(5000);
    AddSampleFiles(store);
    store.Save(dir_);
    store.DeleteFile(0);
    store.DeleteFile(0);
    store.Save(dir_);
    ConsoleStore loaded(5000);
    loaded.Load(dir_);
    EXPECT_EQ(loaded.Files().size(), 3u);
}

TEST_F(StoreDirectory, MissingDirectoryLoadsNothingAndMalformedFileThrows) {
    ConsoleStore store(5000);
    AddSampleFiles(store);
    store.Load(dir_);
    EXPECT_EQ(store.Files().size(), 5u);

    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "000.bin", std::ios::binary) << "short";
    EXPECT_THROW(store.Load(dir_), std::runtime_error);
    EXPECT_EQ(store.Files().size(), 5u);  // unchanged by the failed load
}

TEST(SampleFiles, NamesAreCp1251WithOddLengthAndTypesOfEachKind) {
    ConsoleStore store;
    ASSERT_EQ(AddSampleFiles(store), 5);
    std::vector<std::uint16_t> types;
    for (const auto& file : store.Files()) {
        EXPECT_EQ(file.Name.size() % 2, 1u) << file.Name;
        EXPECT_EQ(file.Bytes.size(), file.HeaderLength() + file.DataLength);
        types.push_back(file.Type);
    }
    EXPECT_EQ(types, (std::vector<std::uint16_t>{0x4D52, 0x4D52, 1, 16, 0x8000}));
    // "Пульт" in CP1251.
    EXPECT_NE(store.Files()[0].Name.find("\xCF\xF3\xEB\xFC\xF2"), std::string::npos);
    EXPECT_EQ(ToConsoleName("Пульт"), "\xCF\xF3\xEB\xFC\xF2");
}

}  // namespace
}  // namespace vemkard
