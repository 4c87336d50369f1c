#include "files/Cp1251.h"

#include <iconv.h>

#include <cerrno>
#include <memory>
#include <system_error>

namespace vemkard {

namespace {

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

using Converter = std::unique_ptr<void, int (*)(iconv_t)>;

Converter OpenConverter(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::system_error(errno, std::generic_category(), "iconv_open");
    }
    return Converter(cd, iconv_close);
}

// Runs iconv over the whole input. Where the input cannot be converted, a '?'
// is written and `skip` tells how many input bytes it stands for.
template <typename Skip>
std::string Convert(const Converter& cd, std::string_view input, Skip skip) {
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);  // a fresh shift state
    std::string output;
    // CP1251 to UTF-8 takes at most 3 output bytes per input byte.
    char buffer[256];
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd.get(), &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: an unconvertible character or a broken sequence.
        const std::size_t skipped = skip(std::string_view(in, inLeft));
        output.push_back('?');
        in += skipped;
        inLeft -= skipped;
    }
    return output;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
    // One sequence at a time: glibc drops some characters without a word
    // (the language tags U+E0000..U+E007F), and a dropped character must
    // still leave its '?' in the name.
    // Opened once per thread: opening costs more than a name's conversion.
    thread_local const Converter cd = OpenConverter("CP1251", "UTF-8");
    std::string output;
    output.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::string_view rest = utf8.substr(at);
        const std::size_t length = Utf8SequenceLength(rest);
        if (length == 1) {
            output.push_back(rest[0]);
        } else {
            const std::string mapped = length == 0
                                           ? std::string()
                                           : Convert(cd, rest.substr(0, length),
                                                     [](std::string_view r) { return r.size(); });
            output.push_back(mapped.size() == 1 ? mapped[0] : '?');
        }
        at += length == 0 ? 1 : length;
    }
    return output;
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
    thread_local const Converter cd = OpenConverter("UTF-8", "CP1251");
    return Convert(cd, cp1251, [](std::string_view) { return std::size_t{1}; });
}

}  // namespace vemkard
