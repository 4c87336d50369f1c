// An error that a handler does not catch reaches the toolkit's top-level
// handler, which shows it in an error box and lets the program go on.
#pragma once

#include <string>
#include <string_view>

namespace vemkard {

inline constexpr std::string_view kErrorBoxCaption = "Ошибка";
inline constexpr std::string_view kTextUnknownError = "Неизвестная ошибка";

// The error box's text for the exception being handled: its message, or
// kTextUnknownError for one that carries none. Call inside a catch block only.
std::string UncaughtErrorText();

}  // namespace vemkard
