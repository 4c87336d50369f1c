// A few files such as a console in service holds, so that the program has
// something to list when the simulator starts empty.
#pragma once

#include <string>

#include "sim/ConsoleStore.h"

namespace vemkard {

// UTF-8 text to the console's CP1251 bytes (iconv). Throws std::system_error
// when the text cannot be converted. The simulator stands in for the console,
// so it keeps its own conversion and word layout rather than the program's:
// the end-to-end tests use them as an independent check of what is sent.
std::string ToConsoleName(const std::string& utf8);

// Adds the sample files behind those already stored, as far as they fit.
// Returns how many were added.
int AddSampleFiles(ConsoleStore& store);

}  // namespace vemkard
