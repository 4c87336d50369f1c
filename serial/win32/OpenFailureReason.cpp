#include "Win32.h"
#include "serial/OpenFailurePlatform.h"

namespace vemkard {

// Windows keeps no group or holder of a port that a program could name.
void AddSystemFacts(TOpenFailureFacts&) {}

std::string CannotOpenReason(const TOpenFailureFacts& facts) {
    const auto error = static_cast<DWORD>(facts.SystemError);
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "Порта " + facts.Port + " нет: проверьте имя порта и что адаптер подключён.";
        // The port was opened for us alone, so another holder refuses us.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return "Порт " + facts.Port + " занят другой программой; закройте её и повторите.";
        case ERROR_SUCCESS:
            return "Порт " + facts.Port + " не открывается.";
        default: {
            const std::string system = win32::SystemMessage(error);
            return "Порт " + facts.Port + " не открывается" +
                   (system.empty() ? "" : ": " + system) + " (код " + std::to_string(error) + ").";
        }
    }
}

}  // namespace vemkard
