#include "files/LocalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "files/FileErrors.h"

namespace vemkard {

const std::string_view kPathSeparators = "/";

bool FileExists(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

std::string FullPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
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

long long LocalFile::ReadSome(std::uint8_t* buffer, std::size_t size) const {
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

bool LocalFile::Rewind() const {
    return ::lseek(fd_, 0, SEEK_SET) >= 0 || errno == ESPIPE;
}

}  // namespace vemkard
