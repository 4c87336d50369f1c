#include "serial/OpenFailureReason.h"

#include "Win32.h"

namespace vemkard {
namespace {

std::string CannotOpen(const TOpenFailureFacts& facts) {
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

}  // namespace

TOpenFailureFacts GatherOpenFailureFacts(const ECommsError& error, const std::string& port) {
    TOpenFailureFacts facts;
    facts.Port = port;
    facts.Failure = error.Failure();
    facts.SystemError = error.SystemError();
    return facts;
}

std::string DescribeOpenFailure(const TOpenFailureFacts& facts) {
    switch (facts.Failure) {
        case TOpenFailure::AlreadyOpen:
            return "Порт " + facts.Port + " уже открыт этой программой.";
        case TOpenFailure::NotCommPort:
            return facts.Port + " — не последовательный порт.";
        case TOpenFailure::BadSettings:
            return "Порт " + facts.Port +
                   " не принимает параметры линии: это не последовательный порт, или адаптер "
                   "не поддерживает скорость устройства.";
        case TOpenFailure::NoReadThread:
        case TOpenFailure::NoWriteThread:
            return "Системе не хватает ресурсов, чтобы запустить потоки порта; повторите позже.";
        case TOpenFailure::CannotOpen:
            break;
    }
    return CannotOpen(facts);
}

std::string OpenFailureReason(const ECommsError& error, const std::string& port) {
    return DescribeOpenFailure(GatherOpenFailureFacts(error, port));
}

}  // namespace vemkard
