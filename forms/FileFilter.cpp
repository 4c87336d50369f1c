#include "forms/FileFilter.h"

namespace vemkard {
namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        parts.push_back(text.substr(at, end - at));
        if (end == std::string_view::npos) return parts;
        at = end + 1;
    }
}

}  // namespace

std::vector<TFileFilter> ParseFileFilter(std::string_view filter) {
    const std::vector<std::string_view> parts = Split(filter, '|');
    std::vector<TFileFilter> filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        TFileFilter& added = filters.emplace_back(TFileFilter{std::string(parts[i]), {}});
        for (const std::string_view pattern : Split(parts[i + 1], ';'))
            if (!pattern.empty()) added.patterns.emplace_back(pattern);
    }
    return filters;
}

std::string_view DefaultSuffix(std::string_view defaultExtension) {
    while (defaultExtension.starts_with('*') || defaultExtension.starts_with('.'))
        defaultExtension.remove_prefix(1);
    return defaultExtension;
}

}  // namespace vemkard
