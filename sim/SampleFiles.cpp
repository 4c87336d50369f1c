#include "sim/SampleFiles.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <random>
#include <system_error>
#include <vector>

namespace vemkard {

std::string ToConsoleName(const std::string& utf8) {
    iconv_t converter = iconv_open("CP1251", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        throw std::system_error(errno, std::generic_category(), "iconv_open");
    }
    std::string in = utf8;
    std::string out(utf8.size(), '\0');  // CP1251 never takes more bytes than UTF-8
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const auto result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) {
        throw std::system_error(error, std::generic_category(), "iconv");
    }
    out.resize(out.size() - outLeft);
    return out;
}

int AddSampleFiles(ConsoleStore& store) {
    struct Sample {
        std::uint16_t type;
        const char* name;
        std::size_t size;
    };
    // Names as an upload writes them: the full path, padded to an odd length.
    static const Sample kSamples[] = {
        {0x4D52, "C:\\Пульт\\Ленина - Мира.m0", 560},
        {0x4D52, "C:\\Пульт\\Советская - Кирова.m1", 304},
        {1, "C:\\Пульт\\Годовой план 2027.h6s", 1200},
        {16, "C:\\Пульт\\Громкость.z0", 96},
        {0x8000, "C:\\Пульт\\Модуль связи.kts", 2048},
    };
    // Fixed contents, so that a saved store compares equal across runs.
    std::mt19937 random(2027);
    int added = 0;
    for (const auto& sample : kSamples) {
        std::string name = ToConsoleName(sample.name);
        if (name.size() % 2 == 0) name += ' ';
        std::vector<std::uint8_t> data(sample.size);
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
        if (store.AddFile(sample.type, name, data)) ++added;
    }
    return added;
}

}  // namespace vemkard
