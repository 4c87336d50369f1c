// Local files: reading them whole, and what their paths say. Every operation
// opens, reads and closes the file before it returns; nothing stays open.
// Paths are UTF-8 on every platform. The system's calls are in posix/ and
// win32/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vemkard {

// The characters that end a folder's name in a path: '/' on Linux, '\\' and
// '/' on Windows.
extern const std::string_view kPathSeparators;

// True when `path` names something other than a directory (what a user may
// pick as a file). Never throws.
bool FileExists(const std::string& path);
// True when `path` names a directory. Never throws.
bool IsDirectory(const std::string& path);

// `path` for the standard library's files and streams: read as UTF-8 on
// every platform, not in Windows' ANSI code page.
inline std::filesystem::path LocalPath(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// The full path of `path` as a file dialog gives it: from the root (Windows:
// the drive letter), without "." and "..", the platform's separators.
// Never throws; gives `path` itself when the system cannot tell.
std::string FullPath(const std::string& path);

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
    // The platform's calls. Each gives -1 (false) with errno set on failure.
    // Reads at most `size` bytes at the file position; 0 at the end.
    long long ReadSome(std::uint8_t* buffer, std::size_t size) const;
    // To the start, where the file has positions (a pipe has none).
    bool Rewind() const;

    std::string path_;
    int fd_ = -1;  // a C runtime descriptor on both platforms
};

// Opens, reads at most `limit` bytes from the start and closes. Throws EFOpenError.
inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::size_t limit) {
    return LocalFile(path).ReadAll(limit);
}

}  // namespace vemkard
