// A private temporary folder for test files, removed with everything in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace vemkard::testing {

class TempFolder {
  public:
    TempFolder() {
        // A name nobody has: create_directory is false when it exists (and
        // throws when it cannot make the folder).
        std::random_device random;
        do path_ = std::filesystem::temp_directory_path() / ("vemkard-" + std::to_string(random()));
        while (!std::filesystem::create_directory(path_));
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Writes `bytes` to `name` (sub-folders are made) and gives the full path.
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::filesystem::path file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) ADD_FAILURE() << "cannot write " << file;
        return file.string();
    }

  private:
    std::filesystem::path path_;
};

// Bytes 0, 1, 2, ... wrapping at 251 (a prime, so blocks never repeat in step
// with 32-byte boundaries).
inline std::vector<std::uint8_t> CountingBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    return bytes;
}

}  // namespace vemkard::testing
