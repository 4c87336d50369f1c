#include "files/LocalFile.h"

#include <algorithm>
#include <cerrno>

#include "files/FileErrors.h"

namespace vemkard {

std::vector<std::uint8_t> LocalFile::ReadAll(std::size_t limit) const {
    std::vector<std::uint8_t> bytes;
    if (!Rewind()) throw EFOpenError(path_, errno);
    std::uint8_t chunk[16384];
    while (bytes.size() < limit) {
        const long long got = ReadSome(chunk, std::min(sizeof chunk, limit - bytes.size()));
        if (got == 0) break;
        if (got < 0) throw EFOpenError(path_, errno);
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

}  // namespace vemkard
