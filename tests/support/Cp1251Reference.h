// An independent reading of the CP1251 code page for the tests: the
// published mapping of bytes 0x80..0xFF (0x98 is undefined), and conversions
// written from it and from the UTF-8 rules, without iconv.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vemkard::testing {

// Code points of bytes 0x80..0xFF; 0 marks the undefined byte 0x98.
inline constexpr std::array<char32_t, 128> kCp1251High{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0: А..
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  //
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  //
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // ..Я
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0: а..
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  //
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  //
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // ..я
};

inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// CP1251 bytes to UTF-8; the undefined byte becomes '?'.
inline std::string ReferenceCp1251ToUtf8(std::string_view bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            out.push_back(ch);
        } else if (const char32_t c = kCp1251High[byte - 0x80]; c == 0) {
            out.push_back('?');
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

// The well-formed UTF-8 sequence at `at` (shortest form, no surrogates, at
// most U+10FFFF): its length and code point, or length 0.
struct Utf8Sequence {
    std::size_t length = 0;
    char32_t codePoint = 0;
};

inline Utf8Sequence DecodeUtf8(std::string_view text, std::size_t at) {
    // By the value: a lead announces 2, 3 or 4 bytes, the continuation bytes
    // carry 6 bits each, and the value must need that many bytes, lie outside
    // the surrogates and not pass U+10FFFF.
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead >= 0xF8 || text.size() - at < length) return {};
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t c = lead & (0xFFu >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if (next >> 6 != 2) return {};
        c = c << 6 | (next & 0x3Fu);
    }
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return {};
    return {length, c};
}

// UTF-8 to CP1251: a character the code page lacks becomes one '?', and so
// does every byte that is not part of a well-formed sequence.
inline std::string ReferenceUtf8ToCp1251(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            out.push_back(text[at++]);
            continue;
        }
        const Utf8Sequence sequence = DecodeUtf8(text, at);
        if (sequence.length == 0) {
            out.push_back('?');
            ++at;
            continue;
        }
        char mapped = '?';
        for (std::size_t i = 0; i < kCp1251High.size(); ++i) {
            if (kCp1251High[i] != 0 && kCp1251High[i] == sequence.codePoint)
                mapped = static_cast<char>(0x80 + i);
        }
        out.push_back(mapped);
        at += sequence.length;
    }
    return out;
}

}  // namespace vemkard::testing
