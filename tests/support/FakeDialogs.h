// Scripted answers for the modal dialogs, with a record of what was asked.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/UserDialogs.h"

namespace vemkard::testing {

class FakeDialogs : public IUserDialogs {
  public:
    struct OpenRequest {
        std::string filter;
        int filterIndex = 0;
        std::string defaultExtension;
    };

    std::optional<std::string> OpenFile(std::string_view filter, int filterIndex,
                                        std::string_view defaultExtension) override {
        openRequests.push_back({std::string(filter), filterIndex, std::string(defaultExtension)});
        return chosenFile;
    }
    bool ConfirmWarning(std::string_view text) override {
        warnings.emplace_back(text);
        return confirm;
    }

    // Answers: the file every open dialog returns (nothing: cancelled), and
    // the button every warning box gets.
    std::optional<std::string> chosenFile;
    bool confirm = true;

    std::vector<OpenRequest> openRequests;
    std::vector<std::string> warnings;
};

}  // namespace vemkard::testing
