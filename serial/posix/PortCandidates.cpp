#include "serial/posix/PortCandidates.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>

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

// The "major:minor" a tty entry's `dev` attribute holds; empty when none.
std::string DeviceNumber(const std::filesystem::path& entry) {
    std::ifstream dev(entry / "dev");
    std::string number;
    dev >> number;
    return number;
}

// The kernel's consoles as "major:minor": the last field of each line of
// /proc/consoles, and the device of each name in console/active. Output to
// a console does not go through a descriptor, so no holder shows it busy.
std::set<std::string> KernelConsoles(const std::filesystem::path& sysClassTty,
                                     const std::filesystem::path& procRoot) {
    std::set<std::string> numbers;
    std::ifstream consoles(procRoot / "consoles");
    for (std::string line; std::getline(consoles, line);) {
        const std::size_t last = line.find_last_of(' ');
        if (last != std::string::npos && line.find(':', last) != std::string::npos)
            numbers.insert(line.substr(last + 1));
    }
    std::ifstream active(sysClassTty / "console" / "active");
    for (std::string name; active >> name;) {
        const std::string number = DeviceNumber(sysClassTty / name);
        if (!number.empty()) numbers.insert(number);
    }
    return numbers;
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

std::vector<std::string> ListSerialDevices(const std::string& sysClassTty,
                                           const std::string& procRoot) {
    namespace fs = std::filesystem;
    const std::set<std::string> consoles = KernelConsoles(sysClassTty, procRoot);
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysClassTty, error)) {
        std::error_code linkError;
        if (!fs::exists(entry.path() / "device", linkError)) continue;
        if (IsStub(entry.path())) continue;
        if (consoles.count(DeviceNumber(entry.path())) != 0) continue;
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    for (std::string& name : names) name = "/dev/" + name;
    return names;
}

}  // namespace vemkard
