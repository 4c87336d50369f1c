// Shared by the fuzz targets: reading structured choices from the fuzzer's
// bytes, checks that stop the run with a message, exact-size heap copies and
// a scratch folder for local files.
#pragma once

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define FUZZ_CHECK(condition, ...)                                                               \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition); \
            std::fprintf(stderr, __VA_ARGS__);                                                   \
            std::fprintf(stderr, "\n");                                                          \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)

namespace vemkard::fuzz {

using Bytes = std::vector<std::uint8_t>;

// Reads the fuzzer's bytes front to back; past the end every read gives 0 or
// nothing, so any input decodes to some run.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    std::uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
    // Little-endian, as on the line.
    std::uint16_t Word() {
        const std::uint8_t low = Byte();
        return static_cast<std::uint16_t>(low | Byte() << 8);
    }
    // Up to `count` bytes, fewer when the input ends first.
    std::span<const std::uint8_t> Take(std::size_t count) {
        const std::size_t n = std::min(count, size_ - std::min(at_, size_));
        const std::span<const std::uint8_t> bytes(data_ + at_, n);
        at_ += n;
        return bytes;
    }
    std::span<const std::uint8_t> Rest() { return Take(size_); }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A heap block of exactly the bytes given, so that AddressSanitizer reports a
// read one byte past them.
class HeapCopy {
  public:
    explicit HeapCopy(std::span<const std::uint8_t> bytes)
        : size_(bytes.size()), bytes_(new std::uint8_t[bytes.size()]) {
        std::copy(bytes.begin(), bytes.end(), bytes_.get());
    }
    const std::uint8_t* Data() const { return bytes_.get(); }
    std::span<const std::uint8_t> Span() const { return {bytes_.get(), size_}; }

  private:
    std::size_t size_;
    std::unique_ptr<std::uint8_t[]> bytes_;
};

// A private folder under TMPDIR, removed when the process ends normally.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vemkard-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Writes `bytes` to `path` (absolute, or relative to the folder).
    std::string Write(const std::filesystem::path& path,
                      std::span<const std::uint8_t> bytes) const {
        const std::filesystem::path file = path_ / path;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        FUZZ_CHECK(out.good(), "cannot write %s", file.c_str());
        return file.string();
    }

  private:
    std::filesystem::path path_;
};

// The bytes of a frame as the line carries them, built here from the frame
// rules rather than by the program's own builder: prefix, L, code, payload,
// and 0xFF minus the 8-bit sum of everything before the checksum.
inline Bytes WireFrame(std::uint8_t command, std::span<const std::uint8_t> payload) {
    Bytes frame{0x5C, 0x59, 0x53, 0x57, static_cast<std::uint8_t>(payload.size() + 1), command};
    frame.insert(frame.end(), payload.begin(), payload.end());
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : frame) sum = static_cast<std::uint8_t>(sum + byte);
    frame.push_back(static_cast<std::uint8_t>(0xFF - sum));
    return frame;
}

inline void AppendWord(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

}  // namespace vemkard::fuzz
