#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/Cp1251.h"
#include "files/DirectoryGrid.h"
#include "files/DirectoryListing.h"
#include "files/FileErrors.h"
#include "files/FileUpload.h"
#include "tests/support/FakeLink.h"
#include "tests/support/FilesFixture.h"
#include "tests/support/TempFiles.h"

namespace vemkard {
namespace {

using testing::Bytes;
using testing::CountingBytes;
using testing::SentFrame;
using testing::WordAt;

// Runs the test inside a folder of its own, so that short relative paths
// name real files.
class InFolder {
  public:
    explicit InFolder(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(previous_); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

  private:
    std::filesystem::path previous_;
};

// The upload header taken apart from a cmCreateFile payload.
struct SentHeader {
    std::uint16_t type;
    std::uint16_t total;
    std::string name;
    std::uint16_t dataLength;
};

SentHeader ParseHeader(const Bytes& payload) {
    const std::size_t n = payload.at(4);
    EXPECT_EQ(payload.size(), n + 7);
    return {WordAt(payload, 0), WordAt(payload, 2),
            std::string(payload.begin() + 5, payload.begin() + 5 + static_cast<std::ptrdiff_t>(n)),
            WordAt(payload, 5 + n)};
}

class FileUploadTest : public testing::FilesFixture {
  protected:
    void SetFreeSpace(std::uint16_t free) {
        rig.link.AddCommand(cmReadFreeSpace, nullptr, 1);
        rig.Reply(cmReadFreeSpace,
                  {static_cast<std::uint8_t>(free & 0xFF), static_cast<std::uint8_t>(free >> 8)});
        ASSERT_EQ(listing.FreeSpace(), free);
    }

    // Every frame of the upload, as the console gets them, acknowledging
    // each and stopping at the refresh that follows.
    std::vector<SentFrame> Drain() {
        return rig.RunUntil(cmReadDirectory, [](const SentFrame&) { return Bytes{}; });
    }

    // The header and the data bytes of a drained upload, checking that the
    // blocks follow each other without gaps.
    static std::pair<SentHeader, Bytes> Reassemble(const std::vector<SentFrame>& sent) {
        EXPECT_FALSE(sent.empty());
        EXPECT_EQ(sent.front().command, cmCreateFile);
        const SentHeader header = ParseHeader(sent.front().payload);
        Bytes data;
        std::size_t offset = header.name.size() + 7;
        for (std::size_t i = 1; i < sent.size() && sent[i].command == cmWriteBlock; ++i) {
            const Bytes& block = sent[i].payload;
            EXPECT_EQ(WordAt(block, 0), offset);
            EXPECT_EQ(block.size(), std::size_t{block.at(2)} + 3);
            data.insert(data.end(), block.begin() + 3, block.end());
            offset += block[2];
        }
        return {header, data};
    }

    FileUpload upload{rig.link, listing, dialogs};
};

TEST_F(FileUploadTest, HundredByteYearPlanGoesOutAsHeaderAndFourBlocks) {
    const InFolder in(folder.Path());
    const Bytes content = CountingBytes(100);
    folder.Write("abcdefghi.h6s", content);  // a 13-byte path: odd, no space added
    SetFreeSpace(140);

    upload.UploadFile("abcdefghi.h6s");
    const std::vector<SentFrame> sent = Drain();

    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[0].command, cmCreateFile);
    Bytes header{0x01, 0x00, 120, 0x00, 13};
    for (const char c : std::string("abcdefghi.h6s"))
        header.push_back(static_cast<std::uint8_t>(c));
    header.insert(header.end(), {100, 0x00});
    EXPECT_EQ(sent[0].payload, header);

    const std::size_t offsets[] = {20, 52, 84, 116};
    const std::size_t counts[] = {32, 32, 32, 4};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const SentFrame& block = sent[1 + i];
        EXPECT_EQ(block.command, cmWriteBlock);
        EXPECT_EQ(WordAt(block.payload, 0), offsets[i]);
        EXPECT_EQ(block.payload.at(2), counts[i]);
        const auto from = content.begin() + static_cast<std::ptrdiff_t>(offsets[i] - 20);
        EXPECT_EQ(Bytes(block.payload.begin() + 3, block.payload.end()),
                  Bytes(from, from + static_cast<std::ptrdiff_t>(counts[i])));
    }
    // The console's reply to cmCreateFile queued the refresh behind the blocks.
    EXPECT_EQ(sent[5].command, cmReadDirectory);
}

TEST_F(FileUploadTest, SizeCheckLetsEqualPassAndRefusesOneByteMore) {
    const InFolder in(folder.Path());
    folder.Write("abcdefghi.h6s", CountingBytes(100));
    SetFreeSpace(139);
    upload.UploadFile("abcdefghi.h6s");
    EXPECT_EQ(rig.view.status, "Файл слишком большой");
    EXPECT_TRUE(rig.link.Queue().empty());

    SetFreeSpace(140);
    upload.UploadFile("abcdefghi.h6s");
    EXPECT_EQ(rig.link.QueueLength(), 5);
}

TEST_F(FileUploadTest, FreeSpaceIsTenThousandUntilTheConsoleReports) {
    const std::string fits = folder.Write("fits.kts", CountingBytes(9000));
    const std::size_t header = UploadName(fits).size() + 7;
    const std::string tooLarge = folder.Write("huge.kts", CountingBytes(10000 - 20 - header + 1));
    ASSERT_EQ(UploadName(tooLarge).size() + 7, header);

    upload.UploadFile(tooLarge);
    EXPECT_EQ(rig.view.status, "Файл слишком большой");
    EXPECT_TRUE(rig.link.Queue().empty());
    upload.UploadFile(fits);
    EXPECT_FALSE(rig.link.Queue().empty());
}

TEST_F(FileUploadTest, FileOf64KiBOrMoreNeverFits) {
    SetFreeSpace(65535);
    upload.UploadFile(folder.Write("huge.kts", CountingBytes(65536)));
    EXPECT_EQ(rig.view.status, "Файл слишком большой");
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FileUploadTest, DeviceWithoutEndIsRefusedAsTooLarge) {
    SetFreeSpace(65535);
    upload.UploadFile("/dev/zero");
    EXPECT_EQ(rig.view.status, "Файл слишком большой");
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FileUploadTest, EmptyFileSendsOnlyTheHeader) {
    const std::string path = folder.Write("empty.z0", {});
    upload.UploadFile(path);
    const std::vector<SentFrame> sent = Drain();
    ASSERT_EQ(sent.size(), 2u);
    const SentHeader header = ParseHeader(sent[0].payload);
    EXPECT_EQ(header.type, ftVolumePlan);
    EXPECT_EQ(header.dataLength, 0);
    EXPECT_EQ(header.total, header.name.size() + 7);
    EXPECT_EQ(sent[1].command, cmReadDirectory);
}

TEST_F(FileUploadTest, WholeFileOfAnyOtherTypeIsSentAsType0) {
    const Bytes content = CountingBytes(1500);
    const std::string path = folder.Write("notes.txt", content);
    upload.UploadFile(path);
    const auto [header, data] = Reassemble(Drain());
    EXPECT_EQ(header.type, 0);
    EXPECT_EQ(header.name, Utf8ToCp1251(path) + (path.size() % 2 == 0 ? " " : ""));
    EXPECT_EQ(header.dataLength, 1500);
    EXPECT_EQ(header.total, 1500 + header.name.size() + 7);
    EXPECT_EQ(data, content);
}

struct KindCase {
    const char* path;
    std::uint16_t type;
    bool organisation;
};

class UploadKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(UploadKindTest, ExtensionChoosesTypeWithoutRegardToCase) {
    const TUploadKind kind = UploadKindOf(GetParam().path);
    EXPECT_EQ(kind.FileType, GetParam().type);
    EXPECT_EQ(kind.Organisation, GetParam().organisation);
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, UploadKindTest,
    ::testing::Values(
        KindCase{"/a/b.kts", ftProgram, false}, KindCase{"/a/b.KTS", ftProgram, false},
        KindCase{"/a/b.Kts", ftProgram, false}, KindCase{"/a/b.m0", ftIntersection, true},
        KindCase{"/a/b.M0", ftIntersection, true}, KindCase{"/a/b.m1", ftIntersection, true},
        KindCase{"/a/b.h6s", ftYearPlan, false}, KindCase{"/a/b.H6S", ftYearPlan, false},
        KindCase{"/a/b.z0", ftVolumePlan, false}, KindCase{"/a/b.tar.z0", ftVolumePlan, false},
        KindCase{"/a/b.z0.txt", 0, false}, KindCase{"/a/b.m01", 0, false},
        KindCase{"/a/b.m", 0, false}, KindCase{"/a/b", 0, false}, KindCase{"/a.kts/b", 0, false},
        KindCase{"/a/.h6s", ftYearPlan, false}, KindCase{"/a/План.Z0", ftVolumePlan, false}));

struct NameCase {
    const char* label;
    std::string path;
    std::string name;
};

class UploadNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(UploadNameTest, LengthRulesCountConsoleBytes) {
    EXPECT_EQ(UploadName(GetParam().path), GetParam().name);
}

std::string PathOf(std::size_t length, const std::string& fileName) {
    const std::string folder = "/" + std::string(length - fileName.size() - 2, 'd') + "/";
    return folder + fileName;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, UploadNameTest,
    ::testing::Values(
        NameCase{"Odd13StaysAsItIs", "/tmp/abc.h6s0", "/tmp/abc.h6s0"},
        NameCase{"Even12GetsASpace", "/tmp/ab.h6s0", "/tmp/ab.h6s0 "},
        NameCase{"Exactly200StaysWholeWithASpace", PathOf(200, "n.m0"), PathOf(200, "n.m0") + " "},
        NameCase{"Of201BecomesTheNamePart", PathOf(201, "name.m0"), "name.m0"},
        NameCase{"EvenNamePartGetsASpace", PathOf(250, "nam.m0"), "nam.m0 "},
        NameCase{"Of300KeepsOnlyTheNamePart", PathOf(300, "x.kts"), "x.kts"},
        NameCase{"CyrillicCountsOneBytePerLetter",
                 "/tmp/" +
                     [] {
                         std::string s;
                         for (int i = 0; i < 121; ++i) s += "Ж";
                         return s;
                     }() +
                     ".z0",
                 "/tmp/" + std::string(121, '\xC6') + ".z0"},
        NameCase{"LetterMissingFromCp1251IsQuestionMark", "/tmp/\xE4\xB8\xAD.z0", "/tmp/?.z0"},
        NameCase{"Empty", "", " "}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(FileUploadTest, PathOfExactly200BytesGoesOutWhole) {
    const std::string prefix = folder.Path().string() + "/";
    const std::string path = prefix + std::string(200 - prefix.size() - 3, 'p') + ".z0";
    ASSERT_EQ(path.size(), 200u);
    folder.Write(std::filesystem::path(path).filename().string(), CountingBytes(3));
    upload.UploadFile(path);
    const SentHeader header = ParseHeader(Drain().at(0).payload);
    EXPECT_EQ(header.name, path + " ");
    EXPECT_EQ(header.total, 201 + 7 + 3);
}

TEST_F(FileUploadTest, PathOf201BytesGoesOutAsItsNamePart) {
    const std::string prefix = folder.Path().string() + "/";
    const std::string fileName = std::string(201 - prefix.size() - 3, 'q') + ".z0";
    const std::string path = folder.Write(fileName, CountingBytes(3));
    ASSERT_EQ(path.size(), 201u);
    upload.UploadFile(path);
    const SentHeader header = ParseHeader(Drain().at(0).payload);
    EXPECT_EQ(header.name, fileName + (fileName.size() % 2 == 0 ? " " : ""));
}

TEST_F(FileUploadTest, CyrillicPathIsMeasuredInConsoleBytes) {
    std::string fileName;
    for (int i = 0; i < 110; ++i) fileName += "Ж";  // 220 bytes of UTF-8, 110 on the console
    fileName += ".z0";
    const std::string path = folder.Write(fileName, CountingBytes(3));
    ASSERT_GT(path.size(), 200u);
    upload.UploadFile(path);
    const SentHeader header = ParseHeader(Drain().at(0).payload);
    const std::string bytes = Utf8ToCp1251(path);
    ASSERT_LE(bytes.size(), 200u);
    EXPECT_EQ(header.name, bytes + (bytes.size() % 2 == 0 ? " " : ""));
}

TEST_F(FileUploadTest, NamePartLongerThan241BytesIsRefused) {
    struct Case {
        std::size_t nameLength;
        bool accepted;
    };
    for (const Case c : {Case{240, true}, Case{241, true}, Case{242, false}, Case{250, false}}) {
        SCOPED_TRACE(c.nameLength);
        const std::string path = folder.Write(std::string(c.nameLength - 4, 'n') + ".kts", {7});
        ASSERT_GT(path.size(), 200u);
        rig.view.status.clear();
        upload.UploadFile(path);
        if (c.accepted) {
            ASSERT_EQ(rig.link.QueueLength(), 2);
            EXPECT_EQ(rig.link.Queue().front().Length, 241 + 8);
            EXPECT_TRUE(rig.view.status.empty());
        } else {
            EXPECT_TRUE(rig.link.Queue().empty());
            EXPECT_EQ(rig.view.status, "Слишком длинное имя файла");
        }
        rig.link.ClearCommands();
    }
}

// An intersection organisation: the word A at 1029 and the word B at 1024 + A
// (A raised to a multiple of 16); the other bytes count up.
Bytes Organisation(std::size_t size, std::uint16_t a, std::size_t raisedA, std::uint16_t b) {
    Bytes file = CountingBytes(size);
    file.at(1029) = static_cast<std::uint8_t>(a & 0xFF);
    file.at(1030) = static_cast<std::uint8_t>(a >> 8);
    file.at(1024 + raisedA) = static_cast<std::uint8_t>(b & 0xFF);
    file.at(1025 + raisedA) = static_cast<std::uint8_t>(b >> 8);
    return file;
}

struct OrganisationCase {
    const char* label;
    std::size_t fileSize;
    std::uint16_t a;
    std::size_t raisedA;
    std::uint16_t b;
    std::size_t count;
};

class ExtractOrganisationTest : public ::testing::TestWithParam<OrganisationCase> {};

TEST_P(ExtractOrganisationTest, TakesCountBytesFrom1024AsARing) {
    const OrganisationCase& c = GetParam();
    const Bytes file = Organisation(c.fileSize, c.a, c.raisedA, c.b);
    Bytes image = CountingBytes(7);
    ASSERT_TRUE(ExtractOrganisation(file, image));
    ASSERT_EQ(image.size(), c.count);
    for (std::size_t i = 0; i < c.count; ++i) {
        ASSERT_EQ(image[i], file[(1024 + i) % file.size()]) << "image byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractOrganisationTest,
    ::testing::Values(OrganisationCase{"RaisedAPlusB", 4096, 0x0123, 0x0130, 0x0100, 560},
                      OrganisationCase{"MultipleOf16StaysAsItIs", 4096, 0x0130, 0x0130, 0x0100,
                                       560},
                      OrganisationCase{"BAllOnesTakesTwoBytes", 4096, 0x0123, 0x0130, 0xFFFF, 306},
                      OrganisationCase{"SumPast2048TakesTwoBytes", 4096, 0x0123, 0x0130, 1745, 306},
                      OrganisationCase{"SumOfExactly2048Passes", 4096, 0x0123, 0x0130, 1744, 2048},
                      OrganisationCase{"AZero", 2048, 0, 0, 0x0040, 0x40},
                      OrganisationCase{"RingOf1500Bytes", 1500, 0x0123, 0x0130, 0x0100, 560},
                      OrganisationCase{"RingWrapsTwice", 1042, 0x0001, 0x0010, 2032, 2048}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ExtractOrganisationDamageTest, WordsPastTheEndAreRefused) {
    struct Case {
        std::size_t size;
        std::uint16_t a;
    };
    // 1029 needs 1031 bytes; B at 1024 + 0x130 needs 1330.
    for (const Case c : {Case{0, 0}, Case{500, 0}, Case{1030, 0}, Case{1031, 0x0123},
                         Case{1329, 0x0123}, Case{1329, 0x0130}, Case{2048, 0xFFF1}}) {
        SCOPED_TRACE(::testing::Message() << c.size << " bytes, A " << c.a);
        Bytes file = CountingBytes(c.size);
        if (c.size >= 1031) {
            file[1029] = static_cast<std::uint8_t>(c.a & 0xFF);
            file[1030] = static_cast<std::uint8_t>(c.a >> 8);
        }
        Bytes image{1, 2, 3};
        EXPECT_FALSE(ExtractOrganisation(file, image));
        EXPECT_EQ(image, (Bytes{1, 2, 3}));
    }
}

TEST_F(FileUploadTest, IntersectionOrganisationUploadsItsComputedPart) {
    const Bytes file = Organisation(1500, 0x0123, 0x0130, 0x0100);
    const std::string path = folder.Write("cross.M1", file);
    SetFreeSpace(65535);
    upload.UploadFile(path);
    const auto [header, data] = Reassemble(Drain());
    EXPECT_EQ(header.type, ftIntersection);
    EXPECT_EQ(header.dataLength, 560);
    EXPECT_EQ(header.total, 560 + header.name.size() + 7);
    Bytes expected(file.begin() + 1024, file.end());
    expected.insert(expected.end(), file.begin(), file.begin() + 84);
    EXPECT_EQ(data, expected);
}

TEST_F(FileUploadTest, DamagedOrganisationIsRefusedOnTheStatusLine) {
    const std::string path = folder.Write("short.m0", CountingBytes(1100));
    upload.UploadFile(path);
    EXPECT_EQ(rig.view.status, "Файл организации повреждён");
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FileUploadTest, AddFileButtonOffersTheUploadFilters) {
    upload.ToolButton8Click();
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.openRequests[0].filter,
              "Зашифрованные модули|*.kts|Организация перекрестка МРК-8|*.m0|"
              "Органзация перекрестка МРК-8 (ведомый)|*.m1|План таймера \"ЛИСТРАН\"|*.h6s|"
              "План громкости ЗВН-5|*.z0|Известные типы|*.kts;*.m0;*.m1;*.h6s;*.z0|Все файлы|*.*");
    EXPECT_EQ(dialogs.openRequests[0].filterIndex, 6);
    EXPECT_EQ(dialogs.openRequests[0].defaultExtension, "");
}

TEST_F(FileUploadTest, AddFileButtonDoesNothingWhenCancelledOrNoSuchFile) {
    upload.ToolButton8Click();
    dialogs.chosenFile = (folder.Path() / "missing.kts").string();
    upload.ToolButton8Click();
    dialogs.chosenFile = folder.Path().string();
    upload.ToolButton8Click();
    EXPECT_EQ(rig.serial.opens, 0);
    EXPECT_TRUE(rig.link.Queue().empty());
    EXPECT_TRUE(rig.view.status.empty());
}

TEST_F(FileUploadTest, AddFileButtonOpensTheLinkAndQueuesTheUpload) {
    dialogs.chosenFile = folder.Write("plan.h6s", CountingBytes(40));
    upload.ToolButton8Click();
    EXPECT_TRUE(rig.serial.open);
    EXPECT_EQ(rig.QueuedCommands(),
              (std::vector<std::uint8_t>{cmCreateFile, cmWriteBlock, cmWriteBlock}));
    EXPECT_EQ(rig.view.counter, "3");
}

TEST_F(FileUploadTest, AddFileButtonClosesTheLinkAfterARefusal) {
    struct Case {
        std::string name;
        Bytes contents;
        const char* status;
    };
    const Case cases[] = {
        {"huge.kts", CountingBytes(10000), "Файл слишком большой"},
        {"short.m0", CountingBytes(1100), "Файл организации повреждён"},
        {std::string(246, 'n') + ".kts", {7}, "Слишком длинное имя файла"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        dialogs.chosenFile = folder.Write(c.name, c.contents);
        upload.ToolButton8Click();
        EXPECT_EQ(rig.view.status, c.status);
        EXPECT_TRUE(rig.link.Queue().empty());
        EXPECT_FALSE(rig.serial.open);
        EXPECT_FALSE(rig.timer.enabled);

        // Behind other work the refusal leaves that work and its link alone.
        rig.link.ActivateComm();
        listing.RefreshDirectory();
        upload.ToolButton8Click();
        EXPECT_EQ(rig.view.status, c.status);
        EXPECT_EQ(rig.QueuedCommands(), (std::vector<std::uint8_t>{cmReadDirectory}));
        EXPECT_TRUE(rig.serial.open);
        EXPECT_TRUE(rig.timer.enabled);
        rig.link.ClearCommands();
    }
}

TEST_F(FileUploadTest, UnopenableFileRaisesCannotOpenWithTheSystemReason) {
    // A socket exists in the folder but cannot be opened as a file.
    const std::string path = (folder.Path() / "console.kts").string();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    dialogs.chosenFile = path;
    try {
        upload.ToolButton8Click();
        ADD_FAILURE() << "no error raised";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open file \"" + path + "\". " + std::strerror(ENXIO));
    }
    ::close(fd);
    EXPECT_FALSE(rig.serial.open) << "the link it opened is closed again";
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FileUploadTest, UnreadableFileRaisesCannotOpen) {
    const std::string path = folder.Path().string();
    try {
        upload.UploadFile(path);
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open file \"" + path + "\". " + std::strerror(EISDIR));
    }
    EXPECT_TRUE(rig.link.Queue().empty());
}

TEST_F(FileUploadTest, UploadRunsThroughToTheNewListing) {
    const std::string path = folder.Write("vol.z0", CountingBytes(70));
    dialogs.chosenFile = path;
    upload.ToolButton8Click();
    const std::string shown = path + (path.size() % 2 == 0 ? " " : "");
    std::vector<std::uint8_t> commands;
    rig.RunConsole([&](const SentFrame& frame) -> std::optional<Bytes> {
        commands.push_back(frame.command);
        if (frame.command == cmReadDirectory) return Bytes{1};
        if (frame.command == cmReadEntry) {
            const auto n = static_cast<std::uint8_t>(shown.size());
            Bytes entry{0, 0, ftVolumePlan, 0, static_cast<std::uint8_t>(70 + 7 + n), 0, n};
            for (const char c : shown) entry.push_back(static_cast<std::uint8_t>(c));
            return entry;
        }
        if (frame.command == cmReadFreeSpace) return Bytes{0x00, 0x10};
        return Bytes{};
    });
    EXPECT_EQ(commands,
              (std::vector<std::uint8_t>{cmCreateFile, cmWriteBlock, cmWriteBlock, cmWriteBlock,
                                         cmReadDirectory, cmReadEntry, cmReadFreeSpace}));
    EXPECT_EQ(grid.Cell(1, 1), shown);
    EXPECT_EQ(grid.Cell(1, 2), "План громкости ЗВН-5");
    EXPECT_EQ(grid.Cell(2, 1), "Свободно - 4096 байт");
    EXPECT_EQ(rig.view.status, "Операция успешно завершена.");
}

}  // namespace
}  // namespace vemkard
