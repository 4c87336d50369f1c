#include "files/FileErrors.h"

#include <cstring>

namespace vemkard {

EFOpenError::EFOpenError(const std::string& fileName, int error)
    : std::runtime_error("Cannot open file \"" + fileName + "\". " + std::strerror(error)),
      fileName_(fileName),
      error_(error) {}

}  // namespace vemkard
