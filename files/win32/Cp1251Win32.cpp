// CP1251 through the system's code page 1251.
#include "files/Cp1251Converter.h"
#include "text/win32/WideText.h"

namespace vemkard {

namespace {

constexpr UINT kCp1251 = 1251;

}  // namespace

std::string SystemUtf8ToCp1251(std::string_view sequence) {
    const std::wstring wide = win32::ToWide(sequence);
    // No best fit: a character the code page lacks is no look-alike letter.
    char bytes[8];
    BOOL defaulted = FALSE;
    const int size = WideCharToMultiByte(kCp1251, WC_NO_BEST_FIT_CHARS, wide.data(),
                                         static_cast<int>(wide.size()), bytes, sizeof bytes,
                                         nullptr, &defaulted);
    if (size <= 0 || defaulted) return {};
    return std::string(bytes, static_cast<std::size_t>(size));
}

std::string SystemCp1251ToUtf8(std::string_view cp1251) {
    return win32::ToUtf8(win32::ToWide(cp1251, kCp1251));
}

}  // namespace vemkard
