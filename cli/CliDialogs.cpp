#include "cli/CliDialogs.h"

#include <algorithm>
#include <iostream>
#include <utility>

#include "cli/Interrupt.h"
#include "cli/Terminal.h"

namespace vemkard {

bool IsYes(std::string_view answer) {
    while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\r'))
        answer.remove_suffix(1);
    while (!answer.empty() && answer.front() == ' ') answer.remove_prefix(1);
    static constexpr std::string_view kYes[] = {"да", "Да", "ДА",  "д",   "Д",
                                                "y",  "Y",  "yes", "Yes", "YES"};
    return std::find(std::begin(kYes), std::end(kYes), answer) != std::end(kYes);
}

std::optional<std::string> TCliDialogs::OpenFile(std::string_view, int, std::string_view) {
    return std::exchange(file_, std::nullopt);
}

bool TCliDialogs::ConfirmWarning(std::string_view text) {
    if (yes_) return true;
    // The window's box puts a line feed and a carriage return between its
    // sentences; a terminal wants the line feed alone.
    std::string question(text);
    question.erase(std::remove(question.begin(), question.end(), '\r'), question.end());
    std::cerr << question << " [да/нет] " << std::flush;
    const std::string answer = ReadTerminalLine(interrupt_);
    if (interrupt_.Requested()) std::cerr << "\n";
    return !interrupt_.Requested() && IsYes(answer);
}

}  // namespace vemkard
