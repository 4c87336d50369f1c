#include "ui/PortCandidates.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace vemkard {
namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The length of the digit run at `at`, and its value with leading zeros dropped.
std::string_view DigitRun(std::string_view text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && IsDigit(text[end])) ++end;
    std::string_view run = text.substr(at, end - at);
    while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
    return run;
}

std::size_t RunLength(std::string_view text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && IsDigit(text[end])) ++end;
    return end - at;
}

bool IsStub(const std::filesystem::path& entry) {
    std::ifstream type(entry / "type");
    int value = -1;
    return type >> value && value == 0;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::string_view x = DigitRun(a, i);
            const std::string_view y = DigitRun(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            i += RunLength(a, i);
            j += RunLength(b, j);
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> ListSerialDevices(const std::string& sysClassTty) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysClassTty, error)) {
        std::error_code linkError;
        if (!fs::exists(entry.path() / "device", linkError)) continue;
        if (IsStub(entry.path())) continue;
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    for (std::string& name : names) name = "/dev/" + name;
    return names;
}

}  // namespace vemkard
