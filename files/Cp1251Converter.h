// The system's converter behind Cp1251.h, one per platform: glibc iconv
// (posix/) and code page 1251 of MultiByteToWideChar and WideCharToMultiByte
// (win32/). Cp1251.cpp feeds it only what every converter agrees on.
#pragma once

#include <string>
#include <string_view>

namespace vemkard {

// One well-formed UTF-8 sequence of two to four bytes to CP1251: its one byte,
// or anything else (empty, several bytes) when the code page lacks it.
std::string SystemUtf8ToCp1251(std::string_view sequence);

// CP1251 bytes other than 0x98 to UTF-8.
std::string SystemCp1251ToUtf8(std::string_view cp1251);

}  // namespace vemkard
