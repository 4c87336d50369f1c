#include "files/Cp1251.h"

#include <cstddef>

#include "files/Cp1251Converter.h"

namespace vemkard {

namespace {

// The byte that CP1251 leaves undefined. Converters differ on it (Windows
// maps it to U+0098), so it is decided here, once for every platform.
constexpr char kUndefined = '\x98';

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0.
// Overlong forms, surrogates and values past U+10FFFF are not well formed;
// the second byte's range rules them out, as in the Unicode table of
// well-formed sequences.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    const auto second = static_cast<unsigned char>(text[1]);
    if (second < low || second > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
    // One sequence at a time: a converter may drop some characters without a
    // word (glibc drops the language tags U+E0000..U+E007F), and a dropped
    // character must still leave its '?' in the name.
    std::string output;
    output.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::string_view rest = utf8.substr(at);
        const std::size_t length = Utf8SequenceLength(rest);
        if (length == 1) {
            output.push_back(rest[0]);
        } else {
            const std::string mapped =
                length == 0 ? std::string() : SystemUtf8ToCp1251(rest.substr(0, length));
            output.push_back(mapped.size() == 1 && mapped[0] != kUndefined ? mapped[0] : '?');
        }
        at += length == 0 ? 1 : length;
    }
    return output;
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
    std::string output;
    output.reserve(cp1251.size() * 2);
    for (std::size_t at = 0; at <= cp1251.size();) {
        std::size_t end = cp1251.find(kUndefined, at);
        if (end == std::string_view::npos) end = cp1251.size();
        if (end > at) output += SystemCp1251ToUtf8(cp1251.substr(at, end - at));
        if (end < cp1251.size()) output.push_back('?');
        at = end + 1;
    }
    return output;
}

}  // namespace vemkard
