#include "PortName.h"

#include <cctype>
#include <string_view>

namespace vemkard {
namespace {

// The number of "COMn" exactly, any case; 0 otherwise.
int PlainComNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6) return 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    }
    int number = 0;
    for (const char c : name.substr(3)) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        number = number * 10 + (c - '0');
    }
    return name[3] == '0' || number > 255 ? 0 : number;
}

}  // namespace

std::string DevicePath(const std::string& name) {
    return PlainComNumber(name) != 0 ? "\\\\.\\" + name : name;
}

int ComPortNumber(const std::string& name) {
    const std::string_view view(name);
    if (view.starts_with("\\\\.\\") || view.starts_with("//./"))
        return PlainComNumber(view.substr(4));
    return PlainComNumber(view);
}

}  // namespace vemkard
