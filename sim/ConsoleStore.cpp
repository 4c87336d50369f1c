#include "sim/ConsoleStore.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "sim/WireWords.h"

namespace vemkard {
namespace {

// The fields of an upload header, when it is well formed.
struct ParsedHeader {
    std::uint16_t type;
    std::string name;
    std::uint16_t dataLength;
};

std::optional<ParsedHeader> ParseHeader(std::span<const std::uint8_t> header) {
    if (header.size() < 7) return std::nullopt;
    const std::size_t n = header[4];
    if (header.size() != n + 7) return std::nullopt;
    ParsedHeader parsed{ReadWord(header, 0),
                        std::string(header.begin() + 5, header.begin() + 5 + n),
                        ReadWord(header, 5 + n)};
    const auto total = static_cast<std::uint16_t>(parsed.dataLength + n + 7);
    if (ReadWord(header, 2) != total) return std::nullopt;
    return parsed;
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

bool IsEntryFileName(const std::string& name) {
    return name.size() == 7 && name.ends_with(".bin") &&
           std::all_of(name.begin(), name.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<std::uint8_t> MakeUploadHeader(std::uint16_t type, const std::string& name,
                                           std::uint16_t dataLength) {
    std::vector<std::uint8_t> header;
    PutWord(header, type);
    PutWord(header, static_cast<std::uint16_t>(dataLength + name.size() + 7));
    header.push_back(static_cast<std::uint8_t>(name.size()));
    header.insert(header.end(), name.begin(), name.end());
    PutWord(header, dataLength);
    return header;
}

ConsoleStore::ConsoleStore(std::size_t capacity)
    : capacity_(capacity), flash_(kImageSize, kErasedByte), eeprom_(kImageSize, kErasedByte) {}

std::size_t ConsoleStore::UsedBytes() const {
    std::size_t used = 0;
    for (const auto& file : files_) used += file.Bytes.size();
    return used;
}

std::uint16_t ConsoleStore::FreeSpace() const {
    const std::size_t used = UsedBytes();
    if (used >= capacity_) return 0;
    return static_cast<std::uint16_t>(std::min<std::size_t>(capacity_ - used, 0xFFFF));
}

bool ConsoleStore::CreateFile(std::span<const std::uint8_t> header) {
    const auto parsed = ParseHeader(header);
    if (!parsed || files_.size() >= kMaxFiles) return false;
    const std::size_t length = header.size() + parsed->dataLength;
    const std::size_t used = UsedBytes();
    if (used > capacity_ || length > capacity_ - used) return false;
    TConsoleFile file{parsed->type, parsed->name, parsed->dataLength, {}};
    file.Bytes.assign(header.begin(), header.end());
    file.Bytes.resize(length, 0);
    files_.push_back(std::move(file));
    openFile_ = static_cast<std::ptrdiff_t>(files_.size()) - 1;
    return true;
}

bool ConsoleStore::WriteBlock(std::uint16_t offset, std::span<const std::uint8_t> data) {
    if (openFile_ < 0) return false;
    auto& file = files_[static_cast<std::size_t>(openFile_)];
    // The header belongs to the console; a block may only fill the data.
    if (offset < file.HeaderLength() || offset + data.size() > file.Bytes.size()) return false;
    std::copy(data.begin(), data.end(), file.Bytes.begin() + offset);
    return true;
}

bool ConsoleStore::DeleteFile(std::size_t index) {
    if (index >= files_.size()) return false;
    files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(index));
    openFile_ = -1;
    return true;
}

void ConsoleStore::ClearAll() {
    files_.clear();
    openFile_ = -1;
}

bool ConsoleStore::InImage(std::uint16_t address, std::size_t length) {
    return address + length <= kImageSize;
}

bool ConsoleStore::WriteImage(std::vector<std::uint8_t>& image, std::uint16_t address,
                              std::span<const std::uint8_t> data) {
    if (!InImage(address, data.size())) return false;
    std::copy(data.begin(), data.end(), image.begin() + address);
    return true;
}

bool ConsoleStore::ImageHolds(const std::vector<std::uint8_t>& image, std::uint16_t address,
                              std::span<const std::uint8_t> data) {
    return InImage(address, data.size()) &&
           std::equal(data.begin(), data.end(), image.begin() + address);
}

bool ConsoleStore::AddFile(std::uint16_t type, const std::string& name,
                           std::span<const std::uint8_t> data) {
    if (name.size() > 255 || data.size() > 0xFFFF) return false;
    const auto header = MakeUploadHeader(type, name, static_cast<std::uint16_t>(data.size()));
    if (!CreateFile(header)) return false;
    auto& file = files_.back();
    std::copy(data.begin(), data.end(), file.Bytes.begin() + header.size());
    openFile_ = -1;
    return true;
}

void ConsoleStore::Save(const std::filesystem::path& dir) const {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) throw std::runtime_error("cannot create " + dir.string() + ": " + error.message());
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (IsEntryFileName(entry.path().filename().string())) std::filesystem::remove(entry);
    }
    for (std::size_t i = 0; i < files_.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%03zu.bin", i);
        WriteWholeFile(dir / name, files_[i].Bytes);
    }
    WriteWholeFile(dir / "flash.bin", flash_);
    WriteWholeFile(dir / "eeprom.bin", eeprom_);
}

void ConsoleStore::Load(const std::filesystem::path& dir) {
    if (!std::filesystem::is_directory(dir)) return;
    std::vector<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (IsEntryFileName(entry.path().filename().string())) entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end());
    if (entries.size() > kMaxFiles)
        throw std::runtime_error("more than 255 files in " + dir.string());

    std::vector<TConsoleFile> files;
    for (const auto& path : entries) {
        auto bytes = ReadWholeFile(path);
        const std::size_t n = bytes.size() > 4 ? bytes[4] : 0;
        const auto parsed = bytes.size() >= n + 7
                                ? ParseHeader(std::span<const std::uint8_t>(bytes).first(n + 7))
                                : std::nullopt;
        if (!parsed || bytes.size() != n + 7 + parsed->dataLength) {
            throw std::runtime_error("malformed console file " + path.string());
        }
        files.push_back({parsed->type, parsed->name, parsed->dataLength, std::move(bytes)});
    }
    auto loadImage = [&dir](const char* name, const std::vector<std::uint8_t>& current) {
        const auto path = dir / name;
        if (!std::filesystem::exists(path)) return current;
        auto bytes = ReadWholeFile(path);
        if (bytes.size() != kImageSize) throw std::runtime_error("wrong size: " + path.string());
        return bytes;
    };
    auto flash = loadImage("flash.bin", flash_);
    auto eeprom = loadImage("eeprom.bin", eeprom_);
    files_ = std::move(files);
    flash_ = std::move(flash);
    eeprom_ = std::move(eeprom);
    openFile_ = -1;
}

}  // namespace vemkard
