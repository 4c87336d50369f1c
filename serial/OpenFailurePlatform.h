// Private to serial/: what each platform adds to the reasons of a failed open.
#pragma once

#include <string>

#include "serial/OpenFailureReason.h"

namespace vemkard {

// Adds what the system knows of the port beyond the error (its group on Linux).
void AddSystemFacts(TOpenFailureFacts& facts);

// The sentence for a port that did not open at all, from the system's error.
std::string CannotOpenReason(const TOpenFailureFacts& facts);

}  // namespace vemkard
