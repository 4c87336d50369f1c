// CP1251 through glibc's iconv.
#include <iconv.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "files/Cp1251Converter.h"

namespace vemkard {

namespace {

using Converter = std::unique_ptr<void, int (*)(iconv_t)>;

Converter OpenConverter(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::system_error(errno, std::generic_category(), "iconv_open");
    }
    return Converter(cd, iconv_close);
}

// Runs iconv over the whole input. Where the input cannot be converted, a '?'
// is written for one input byte.
std::string Convert(const Converter& cd, std::string_view input) {
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
        output.push_back('?');
        ++in;
        --inLeft;
    }
    return output;
}

}  // namespace

std::string SystemUtf8ToCp1251(std::string_view sequence) {
    // Opened once per thread: opening costs more than a name's conversion.
    thread_local const Converter cd = OpenConverter("CP1251", "UTF-8");
    return Convert(cd, sequence);
}

std::string SystemCp1251ToUtf8(std::string_view cp1251) {
    thread_local const Converter cd = OpenConverter("UTF-8", "CP1251");
    return Convert(cd, cp1251);
}

}  // namespace vemkard
