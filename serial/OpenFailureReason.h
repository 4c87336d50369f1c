// Why a port could not be opened, as one Russian sentence that tells the user
// what to do: shown after "Невозможно открыть порт!" by every front end.
// No Qt; any thread.
#pragma once

#include <optional>
#include <string>

#include "serial/Comm32.h"

namespace vemkard {

// The process that holds a busy port.
struct TPortHolder {
    int Pid = 0;
    std::string Name;  // the command name, as /proc gives it
};

// What is known about one failed open.
struct TOpenFailureFacts {
    std::string Port;  // the path that was opened
    TOpenFailure Failure = TOpenFailure::CannotOpen;
    int SystemError = 0;  // errno of the failed call, 0 when none
    // The device's group as the system names it; empty when unknown.
    std::string Group;
    // The user is listed in that group but this login does not have it yet.
    bool GroupNeedsNewLogin = false;
    std::optional<TPortHolder> Holder;
    // A rate the driver did not keep: asked for and kept instead; 0 when none.
    std::uint32_t RateAsked = 0;
    std::uint32_t RateKept = 0;
};

// The facts of `error` for the port `port`: its group from the device node.
TOpenFailureFacts GatherOpenFailureFacts(const ECommsError& error, const std::string& port);

// The sentence for `facts`, ending with a full stop.
std::string DescribeOpenFailure(const TOpenFailureFacts& facts);

// Both in one.
std::string OpenFailureReason(const ECommsError& error, const std::string& port);

}  // namespace vemkard
