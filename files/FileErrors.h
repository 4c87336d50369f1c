// Errors of the local file layer. They are not caught by the operations that
// read files: they reach the program's top-level handler, which shows what().
#pragma once

#include <stdexcept>
#include <string>

namespace vemkard {

// A local file could not be opened or read. what() is
// `Cannot open file "<full name>". <system reason>`.
class EFOpenError : public std::runtime_error {
  public:
    // `error` is the errno value; its strerror text is the reason.
    EFOpenError(const std::string& fileName, int error);

    const std::string& FileName() const { return fileName_; }
    int Error() const { return error_; }

  private:
    std::string fileName_;
    int error_;
};

}  // namespace vemkard
