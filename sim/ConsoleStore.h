// The console's memory as the simulator keeps it: a file store with a fixed
// capacity, a flash image and an EEPROM image.
//
// A stored file is its upload header (the cmCreateFile payload) followed by
// its data, so a cmWriteBlock offset counts from the first header byte. The
// directory shows the header's type and name and, as size, the data length:
// the number a user knows from the file on disk.
//
// Thread rules: none of its own; the simulator guards it with its lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vemkard {

struct TConsoleFile {
    std::uint16_t Type = 0;
    std::string Name;  // CP1251 bytes as the header carries them
    std::uint16_t DataLength = 0;
    std::vector<std::uint8_t> Bytes;  // header, then data

    std::size_t HeaderLength() const { return Name.size() + 7; }
    std::span<const std::uint8_t> Header() const { return {Bytes.data(), HeaderLength()}; }
    std::span<const std::uint8_t> Data() const {
        return std::span<const std::uint8_t>(Bytes).subspan(HeaderLength());
    }
};

// Builds the upload header: type, total length, name length, name, data length.
std::vector<std::uint8_t> MakeUploadHeader(std::uint16_t type, const std::string& name,
                                           std::uint16_t dataLength);

class ConsoleStore {
  public:
    static constexpr std::size_t kDefaultCapacity = 32768;
    // The directory count travels in one byte.
    static constexpr std::size_t kMaxFiles = 255;
    static constexpr std::size_t kImageSize = 65536;
    static constexpr std::uint8_t kErasedByte = 0xFF;

    explicit ConsoleStore(std::size_t capacity = kDefaultCapacity);

    std::size_t Capacity() const { return capacity_; }
    void SetCapacity(std::size_t capacity) { capacity_ = capacity; }
    // Sum of the stored lengths (header + data) of all files.
    std::size_t UsedBytes() const;
    // Capacity minus used bytes, 0 when over-full, at most 65535 (a 16-bit field).
    std::uint16_t FreeSpace() const;

    const std::vector<TConsoleFile>& Files() const { return files_; }

    // Creates a file from an upload header and makes it the one that blocks
    // are written to; the data starts zeroed. Returns false and changes nothing
    // when the header is malformed (too short, total length not header + data),
    // the directory is full or the file does not fit the free space.
    bool CreateFile(std::span<const std::uint8_t> header);
    // Writes `data` at `offset` (from the first header byte) into the file
    // created last. Returns false and writes nothing when no file is open or
    // the block does not lie inside that file's data.
    bool WriteBlock(std::uint16_t offset, std::span<const std::uint8_t> data);
    // Removes the file at `index`; later files move down. False when out of range.
    bool DeleteFile(std::size_t index);
    void ClearAll();

    // Writes a block into an image; false when it would run past its end.
    bool ProgramFlash(std::uint16_t address, std::span<const std::uint8_t> data) {
        return WriteImage(flash_, address, data);
    }
    // True when the image holds `data` at `address`.
    bool VerifyFlash(std::uint16_t address, std::span<const std::uint8_t> data) const {
        return ImageHolds(flash_, address, data);
    }
    bool ProgramEeprom(std::uint16_t address, std::span<const std::uint8_t> data) {
        return WriteImage(eeprom_, address, data);
    }
    bool VerifyEeprom(std::uint16_t address, std::span<const std::uint8_t> data) const {
        return ImageHolds(eeprom_, address, data);
    }
    const std::vector<std::uint8_t>& Flash() const { return flash_; }
    const std::vector<std::uint8_t>& Eeprom() const { return eeprom_; }

    // Adds an already written file (samples, loading). False as CreateFile.
    bool AddFile(std::uint16_t type, const std::string& name, std::span<const std::uint8_t> data);

    // Saves into `dir` (created when missing): one file per entry, NNN.bin with
    // header and data, plus flash.bin and eeprom.bin. Stale NNN.bin files are
    // removed. Throws std::runtime_error with the failing path.
    void Save(const std::filesystem::path& dir) const;
    // Replaces the files and images with those saved in `dir`; a missing
    // directory loads nothing. Throws std::runtime_error on a malformed file.
    void Load(const std::filesystem::path& dir);

  private:
    static bool InImage(std::uint16_t address, std::size_t length);
    static bool WriteImage(std::vector<std::uint8_t>& image, std::uint16_t address,
                           std::span<const std::uint8_t> data);
    static bool ImageHolds(const std::vector<std::uint8_t>& image, std::uint16_t address,
                           std::span<const std::uint8_t> data);

    std::size_t capacity_;
    std::vector<TConsoleFile> files_;
    // Index of the file that cmWriteBlock writes to; none after delete/clear.
    std::ptrdiff_t openFile_ = -1;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> eeprom_;
};

}  // namespace vemkard
