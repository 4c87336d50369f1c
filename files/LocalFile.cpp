#include "files/LocalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "files/FileErrors.h"

namespace vemkard {

bool FileExists(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

LocalFile::LocalFile(const std::string& path) : path_(path) {
    // O_NONBLOCK: a FIFO picked by mistake must not hang the user interface.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw EFOpenError(path_, errno);
}

LocalFile::~LocalFile() {
    ::close(fd_);
}

std::uint64_t LocalFile::Size() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) throw EFOpenError(path_, errno);
    return static_cast<std::uint64_t>(info.st_size);
}

std::vector<std::uint8_t> LocalFile::ReadAll(std::size_t limit) const {
    std::vector<std::uint8_t> bytes;
    if (::lseek(fd_, 0, SEEK_SET) < 0 && errno != ESPIPE) throw EFOpenError(path_, errno);
    std::uint8_t chunk[16384];
    while (bytes.size() < limit) {
        const ssize_t got = ::read(fd_, chunk, std::min(sizeof chunk, limit - bytes.size()));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw EFOpenError(path_, errno);
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::size_t limit) {
    return LocalFile(path).ReadAll(limit);
}

}  // namespace vemkard
