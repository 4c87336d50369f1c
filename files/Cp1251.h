// Text conversion between the program (UTF-8) and the console, which keeps
// file names as Windows-1251 bytes.
#pragma once

#include <string>
#include <string_view>

namespace vemkard {

// UTF-8 text to CP1251 bytes. A character that CP1251 lacks, and every byte
// that is not part of a valid UTF-8 sequence, becomes one '?'.
// Throws std::system_error only when the converter itself is unavailable.
std::string Utf8ToCp1251(std::string_view utf8);

// CP1251 bytes to UTF-8 text. The one byte that CP1251 leaves undefined
// (0x98) becomes '?'. Throws like Utf8ToCp1251.
std::string Cp1251ToUtf8(std::string_view cp1251);

}  // namespace vemkard
