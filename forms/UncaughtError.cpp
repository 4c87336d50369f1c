#include "forms/UncaughtError.h"

#include <exception>

namespace vemkard {

std::string UncaughtErrorText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return std::string(kTextUnknownError);
    }
}

}  // namespace vemkard
