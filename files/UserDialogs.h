// The modal dialogs that the file and firmware operations need from the
// window toolkit. The main window implements this with its own dialogs; tests
// answer with plain fakes. Called on the user-interface thread only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vemkard {

class IUserDialogs {
  public:
    virtual ~IUserDialogs() = default;

    // An open-file dialog. `filter` lists pairs "description|patterns",
    // separated by '|' ("Все файлы|*.*|..."; patterns within one pair are
    // separated by ';'). `filterIndex` preselects a pair, counted from 1.
    // `defaultExtension` (may be empty) is added to a typed name that has
    // none. The dialog does not insist on an existing file. Returns the full
    // path (UTF-8), or nothing when the user cancels.
    virtual std::optional<std::string> OpenFile(std::string_view filter, int filterIndex,
                                                std::string_view defaultExtension) = 0;

    // A modal warning box (warning icon, caption "Warning") with `text` and the
    // buttons Yes (default) and No (cancel). True only for Yes; No, Esc and
    // closing the box give false.
    virtual bool ConfirmWarning(std::string_view text) = 0;
};

}  // namespace vemkard
