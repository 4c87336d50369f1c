#include "serial/OpenFailureReason.h"

#include "serial/OpenFailurePlatform.h"

namespace vemkard {

TOpenFailureFacts GatherOpenFailureFacts(const ECommsError& error, const std::string& port) {
    TOpenFailureFacts facts;
    facts.Port = port;
    facts.Failure = error.Failure();
    facts.SystemError = error.SystemError();
    if (error.RateKept() != 0) {
        facts.RateAsked = error.RateAsked();
        facts.RateKept = error.RateKept();
    }
    if (error.HolderPid() != 0) facts.Holder = TPortHolder{error.HolderPid(), error.HolderName()};
    AddSystemFacts(facts);
    return facts;
}

std::string DescribeOpenFailure(const TOpenFailureFacts& facts) {
    switch (facts.Failure) {
        case TOpenFailure::CannotOpen:
            break;
        case TOpenFailure::AlreadyOpen:
            return "Порт " + facts.Port + " уже открыт этой программой.";
        case TOpenFailure::NotCommPort:
            return facts.Port + " — не последовательный порт.";
        case TOpenFailure::BadSettings:
            if (facts.RateKept != 0)
                return "Порт " + facts.Port + " принял параметры линии, но не скорость " +
                       std::to_string(facts.RateAsked) + " бод: драйвер оставил " +
                       std::to_string(facts.RateKept) +
                       " бод. Адаптер не поддерживает скорость устройства.";
            return "Порт " + facts.Port +
                   " не принимает параметры линии: это не последовательный порт, или адаптер "
                   "не поддерживает скорость устройства.";
        case TOpenFailure::NoReadThread:
        case TOpenFailure::NoWriteThread:
            return "Системе не хватает ресурсов, чтобы запустить потоки порта; повторите позже.";
    }
    return CannotOpenReason(facts);
}

std::string OpenFailureReason(const ECommsError& error, const std::string& port) {
    return DescribeOpenFailure(GatherOpenFailureFacts(error, port));
}

}  // namespace vemkard
