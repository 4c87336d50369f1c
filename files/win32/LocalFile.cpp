// Local files through the C runtime's wide-character calls, so that a path
// in any language opens whatever the system's ANSI code page.
#include "files/LocalFile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "files/FileErrors.h"
#include "text/win32/WideText.h"

namespace vemkard {

namespace {

// INVALID_FILE_ATTRIBUTES when nothing is there.
DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(win32::ToWide(path).c_str());
}

}  // namespace

const std::string_view kPathSeparators = "\\/";

bool FileExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FullPath(const std::string& path) {
    const std::wstring wide = win32::ToWide(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return win32::ToUtf8(full);
}

LocalFile::LocalFile(const std::string& path) : path_(path) {
    fd_ = ::_wopen(win32::ToWide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd_ < 0) throw EFOpenError(path_, errno);
}

LocalFile::~LocalFile() {
    ::_close(fd_);
}

std::uint64_t LocalFile::Size() const {
    struct _stat64 info {};
    if (::_fstat64(fd_, &info) != 0) throw EFOpenError(path_, errno);
    return static_cast<std::uint64_t>(info.st_size);
}

long long LocalFile::ReadSome(std::uint8_t* buffer, std::size_t size) const {
    return ::_read(fd_, buffer, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

bool LocalFile::Rewind() const {
    return ::_lseeki64(fd_, 0, SEEK_SET) >= 0;
}

}  // namespace vemkard
