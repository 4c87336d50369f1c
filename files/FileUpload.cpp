#include "files/FileUpload.h"

#include <algorithm>
#include <array>

#include "files/Cp1251.h"
#include "files/LocalFile.h"
#include "protocol/LinkAction.h"

namespace vemkard {

namespace {

constexpr std::size_t kNameCut = 255;
constexpr std::size_t kLongPath = 200;
constexpr std::size_t kOrganisationStart = 1024;
// The word A, the length of the first part; B follows that part at 1024 + A.
constexpr std::size_t kOrganisationFirstPart = 1029;
constexpr std::size_t kOrganisationLimit = 2048;
// Far more than any upload that fits the console's 16-bit free space, and
// more than an organisation's part can reach from offset 1024; a longer file
// (or a device without end) is read this far and then refused as too large.
constexpr std::size_t kUploadReadLimit = std::size_t{1} << 20;

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// The little-endian word at `offset`, or nothing when it lies past the end.
std::optional<std::size_t> WordAt(std::span<const std::uint8_t> file, std::size_t offset) {
    if (offset + 2 > file.size()) return std::nullopt;
    return std::size_t{file[offset]} | std::size_t{file[offset + 1]} << 8;
}

std::string_view NamePart(std::string_view path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<std::uint8_t> TBlockDescription::Serialise() const {
    std::vector<std::uint8_t> out;
    out.reserve(HeaderLength());
    PutWord(out, FileType);
    PutWord(out, TotalLength);
    out.push_back(static_cast<std::uint8_t>(Name.size()));
    out.insert(out.end(), Name.begin(), Name.end());
    PutWord(out, DataLength);
    return out;
}

TUploadKind UploadKindOf(std::string_view path) {
    const std::string_view name = NamePart(path);
    const std::size_t dot = name.rfind('.');
    std::string extension(dot == std::string_view::npos ? std::string_view{} : name.substr(dot));
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    if (extension == ".KTS") return {ftProgram, false};
    if (extension == ".M0" || extension == ".M1") return {ftIntersection, true};
    if (extension == ".H6S") return {ftYearPlan, false};
    if (extension == ".Z0") return {ftVolumePlan, false};
    return {};
}

std::string UploadName(std::string_view path) {
    // The length rules count the bytes the console will store.
    const std::string bytes = Utf8ToCp1251(path);
    std::string name = bytes.substr(0, kNameCut);
    if (name.size() > kLongPath) name = std::string(NamePart(bytes).substr(0, kNameCut));
    if (name.size() % 2 == 0) name.push_back(' ');
    return name;
}

bool ExtractOrganisation(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& image) {
    const auto length = WordAt(file, kOrganisationFirstPart);
    if (!length) return false;
    std::size_t a = *length;
    if (a % 16 != 0) a = (a & ~std::size_t{0xF}) + 16;
    const auto tail = WordAt(file, kOrganisationStart + a);
    if (!tail) return false;
    const std::size_t b = *tail;
    const std::size_t count = (b == 0xFFFF || a + b > kOrganisationLimit) ? a + 2 : a + b;

    // Both words were found, so the file reaches past 1024: the ring start exists.
    image.clear();
    image.reserve(count);
    std::size_t position = kOrganisationStart;
    for (std::size_t i = 0; i < count; ++i) {
        image.push_back(file[position]);
        position = position + 1 == file.size() ? 0 : position + 1;
    }
    return true;
}

FileUpload::FileUpload(ConsoleLink& link, const DirectoryListing& listing, IUserDialogs& dialogs)
    : link_(link), listing_(listing), dialogs_(dialogs) {}

void FileUpload::ToolButton8Click() {
    const std::optional<std::string> path =
        dialogs_.OpenFile(kUploadFilter, kUploadFilterIndex, "");
    if (!path || !FileExists(*path)) return;
    const TLinkAction action(link_);
    UploadFile(*path);
}

void FileUpload::UploadFile(const std::string& path) {
    const std::vector<std::uint8_t> file = ReadWholeFile(path, kUploadReadLimit);

    const TUploadKind kind = UploadKindOf(path);
    std::vector<std::uint8_t> organisation;
    if (kind.Organisation && !ExtractOrganisation(file, organisation)) {
        link_.View().SetStatus(kTextOrganisationDamaged);
        return;
    }
    const std::span<const std::uint8_t> data =
        kind.Organisation ? std::span<const std::uint8_t>(organisation) : file;

    TBlockDescription header;
    header.Name = UploadName(path);
    if (header.Name.size() > kMaxUploadNameLength) {
        link_.View().SetStatus(kTextNameTooLong);
        return;
    }
    header.FileType = kind.FileType;
    header.TotalLength = static_cast<std::uint16_t>(data.size() + header.HeaderLength());
    header.DataLength = static_cast<std::uint16_t>(data.size());

    // True lengths: data of 64 KiB or more never fits a 16-bit free space.
    const auto needed = static_cast<std::int64_t>(header.HeaderLength() + data.size());
    if (needed + kUploadReserve > listing_.FreeSpace()) {
        link_.View().SetStatus(kTextFileTooLarge);
        return;
    }

    const std::vector<std::uint8_t> headerBytes = header.Serialise();
    link_.AddCommand(cmCreateFile, headerBytes.data(), static_cast<int>(headerBytes.size() + 1));

    auto offset = static_cast<std::uint16_t>(header.HeaderLength());
    std::array<std::uint8_t, 3 + kUploadBlockSize> block{};
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t count = std::min(kUploadBlockSize, data.size() - done);
        block[0] = static_cast<std::uint8_t>(offset & 0xFF);
        block[1] = static_cast<std::uint8_t>(offset >> 8);
        block[2] = static_cast<std::uint8_t>(count);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), count, block.begin() + 3);
        link_.AddCommand(cmWriteBlock, block.data(), static_cast<int>(count + 4));
        offset = static_cast<std::uint16_t>(offset + count);
        done += count;
    }
}

}  // namespace vemkard
