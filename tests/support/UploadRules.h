// An independent reading of the upload rules, for the tests that check what
// an upload sends: the type from the extension, the name from the path, and
// the data (the whole file, or the part of an intersection organisation).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/Cp1251Reference.h"

namespace vemkard::testing {

namespace upload_rules {

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t Word(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

inline void AppendWord(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline std::string_view AfterLastSlash(std::string_view text) {
    const std::size_t slash = text.rfind('/');
    return slash == std::string_view::npos ? text : text.substr(slash + 1);
}

// What the upload rules select for `path` holding `file`.
struct ExpectedUpload {
    std::uint16_t type = 0;
    std::string name;
    std::optional<Bytes> data;  // nothing: a damaged organisation

    // The upload header, then the data: the file as the console stores it.
    Bytes ConsoleFile() const {
        const std::size_t n = name.size();
        Bytes file;
        file.reserve(n + 7 + data->size());
        AppendWord(file, type);
        AppendWord(file, static_cast<std::uint16_t>(data->size() + n + 7));
        file.push_back(static_cast<std::uint8_t>(n));
        file.insert(file.end(), name.begin(), name.end());
        AppendWord(file, static_cast<std::uint16_t>(data->size()));
        file.insert(file.end(), data->begin(), data->end());
        return file;
    }
};

inline ExpectedUpload ReadUploadRules(const std::string& path, const Bytes& file) {
    ExpectedUpload expected;
    const std::string_view namePart = AfterLastSlash(path);
    const std::size_t dot = namePart.rfind('.');
    std::string extension(dot == std::string_view::npos ? "" : namePart.substr(dot));
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    const bool organisation = extension == ".M0" || extension == ".M1";
    if (extension == ".KTS") expected.type = 0x8000;
    if (organisation) expected.type = 0x4D52;
    if (extension == ".H6S") expected.type = 1;
    if (extension == ".Z0") expected.type = 16;

    const std::string bytes = ReferenceUtf8ToCp1251(path);
    expected.name = bytes.substr(0, 255);
    if (expected.name.size() > 200)
        expected.name = std::string(AfterLastSlash(bytes).substr(0, 255));
    if (expected.name.size() % 2 == 0) expected.name += ' ';

    if (!organisation) {
        expected.data = file;
        return expected;
    }
    // A: the word at 1029, raised to a multiple of 16; B: the word at 1024 + A.
    if (file.size() < 1031) return expected;
    std::size_t a = Word(file, 1029);
    if (a % 16 != 0) a = a / 16 * 16 + 16;
    if (file.size() < 1024 + a + 2) return expected;
    const std::size_t b = Word(file, 1024 + a);
    const std::size_t count = (b == 0xFFFF || a + b > 2048) ? a + 2 : a + b;
    Bytes data;
    for (std::size_t i = 0, at = 1024; i < count; ++i, at = (at + 1) % file.size())
        data.push_back(file[at]);
    expected.data = data;
    return expected;
}

}  // namespace upload_rules

using upload_rules::ExpectedUpload;
using upload_rules::ReadUploadRules;

}  // namespace vemkard::testing
