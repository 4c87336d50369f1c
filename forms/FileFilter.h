// The open-file dialogs' filter lists and default extensions as the file
// and firmware handlers give them, taken apart for a toolkit's dialog.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vemkard {

struct TFileFilter {
    std::string description;
    std::vector<std::string> patterns;  // "*.m0", "*.*"
    bool operator==(const TFileFilter&) const = default;
};

// "description|patterns|..." with patterns separated by ';'. A trailing
// description without patterns is dropped, and so are empty patterns.
std::vector<TFileFilter> ParseFileFilter(std::string_view filter);

// The extension to add to a typed name that has none, without the "*." or
// "." it may be given with: "*.mts" gives "mts".
std::string_view DefaultSuffix(std::string_view defaultExtension);

}  // namespace vemkard
