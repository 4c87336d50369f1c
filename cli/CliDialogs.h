// The window's dialogs, answered from the command line: the open-file
// dialog gives the file the command names, the warning box asks on the
// terminal (or takes --yes).
//
// Thread rules: the owner thread only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "files/UserDialogs.h"

namespace vemkard {

class TInterrupt;

// True for a yes: "да", "д", "y", "yes" in any case; anything else is no.
bool IsYes(std::string_view answer);

class TCliDialogs : public IUserDialogs {
  public:
    // `yes`: every warning box is answered Yes without asking.
    TCliDialogs(bool yes, const TInterrupt& interrupt) : yes_(yes), interrupt_(interrupt) {}

    // The file that the next open dialog gives.
    void SetFile(std::string path) { file_ = std::move(path); }

    std::optional<std::string> OpenFile(std::string_view filter, int filterIndex,
                                        std::string_view defaultExtension) override;
    // Asks on standard error and reads the answer from standard input, which
    // the caller has made sure is a terminal unless --yes was given. A signal
    // while waiting counts as no.
    bool ConfirmWarning(std::string_view text) override;

  private:
    bool yes_;
    const TInterrupt& interrupt_;
    std::optional<std::string> file_;
};

}  // namespace vemkard
