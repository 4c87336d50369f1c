// An error that a handler does not catch is shown in an error box, and the
// program goes on. A toolkit runs every handler it calls into the forms
// through RunGuarded (and keeps a last guard of its own, where it has one,
// for what escapes elsewhere).
#pragma once

#include <string>
#include <string_view>

namespace vemkard {

inline constexpr std::string_view kErrorBoxCaption = "Ошибка";
inline constexpr std::string_view kTextUnknownError = "Неизвестная ошибка";

// The toolkit's error box: modal, caption kErrorBoxCaption, the text, OK.
class IErrorBox {
  public:
    virtual ~IErrorBox() = default;
    virtual void ShowError(std::string_view text) = 0;
};

// The error box's text for the exception being handled: its message, or
// kTextUnknownError for one that carries none. Call inside a catch block only.
std::string UncaughtErrorText();

// Runs `handler`; what it lets escape is shown in `box`.
template <typename F>
void RunGuarded(IErrorBox& box, F&& handler) {
    try {
        handler();
    } catch (...) {
        box.ShowError(UncaughtErrorText());
    }
}

}  // namespace vemkard
