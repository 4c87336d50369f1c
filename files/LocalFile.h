// Reading local files whole. Every operation opens, reads and closes the file
// before it returns; nothing stays open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vemkard {

// True when `path` names something other than a directory (what a user may
// pick as a file). Never throws.
bool FileExists(const std::string& path);

// An open local file, read-only. Closed when destroyed.
class LocalFile {
  public:
    // Throws EFOpenError when the file cannot be opened.
    explicit LocalFile(const std::string& path);
    ~LocalFile();
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // Size in bytes. Throws EFOpenError when the system cannot tell it.
    std::uint64_t Size() const;
    // The bytes from the start of the file, at most `limit` of them, so that a
    // device such as /dev/zero cannot fill the memory. Throws EFOpenError on a
    // read error (for example a directory, which opens but cannot be read).
    std::vector<std::uint8_t> ReadAll(std::size_t limit) const;

  private:
    std::string path_;
    int fd_ = -1;
};

// Opens, reads at most `limit` bytes from the start and closes. Throws EFOpenError.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::size_t limit);

}  // namespace vemkard
