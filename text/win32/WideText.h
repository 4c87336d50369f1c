// For the Windows folders of every layer: UTF-8 and UTF-16 with
// the system's converter.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vemkard::win32 {

// Between code page `codePage` and UTF-16. Bytes that are no text in that
// code page become U+FFFD.
std::wstring ToWide(std::string_view text, UINT codePage = CP_UTF8);
std::string ToUtf8(std::wstring_view text);

}  // namespace vemkard::win32
