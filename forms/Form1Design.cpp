#include "forms/Form1Design.h"

namespace vemkard {
namespace {

struct TEnclosure {
    std::string_view control;
    std::string_view parent;
};
// Controls other than the tool bar's items, which ToolBar1 encloses.
constexpr std::array<TEnclosure, 6> kEnclosures{{
    {"ToolBar1", "Form1"},
    {"StringGrid1", "Form1"},
    {"Label3", "Form1"},
    {"ProgressBar1", "Form1"},
    {"Label4", "Form1"},
    {"StatusBar1", "Form1"},
}};

std::string_view Parent(std::string_view control) {
    for (const TToolItem& item : kToolItems)
        if (control == item.name) return "ToolBar1";
    for (const TEnclosure& enclosure : kEnclosures)
        if (control == enclosure.control) return enclosure.parent;
    return {};
}

}  // namespace

std::string_view ImageSubject(int index) {
    if (index < 0 || index >= kImageCount) return {};
    return kImageSubjects[static_cast<std::size_t>(index < 16 ? index / 2 : index - 8)];
}

std::string DeviceTitle(TToolId button) {
    return ToolItem(button).hint + std::string(kTitleSuffix);
}

std::string_view OwnHint(std::string_view control) {
    if (control == "Form1") return kHintForm1;
    if (control == "StringGrid1") return kHintGrid;
    for (const TToolItem& item : kToolItems)
        if (control == item.name) return item.hint;
    return {};
}

std::string_view ShownHint(std::string_view control) {
    for (std::string_view at = control; !at.empty(); at = Parent(at))
        if (const std::string_view hint = OwnHint(at); !hint.empty()) return hint;
    return kHintForm1;
}

TRect GridRect(int clientWidth) {
    const int top = kToolBar1Rect.Bottom() + 1;
    return {0, top, clientWidth, kProgressBar1Rect.top - 1 - top};
}

int ColumnWidth(int gridWidth, int column) {
    return gridWidth * kColumnPercent[static_cast<std::size_t>(column)] / 100;
}

}  // namespace vemkard
