// The settings dialog as a toolkit draws it, and where its settings persist.
#pragma once

#include <string_view>

#include "forms/Form1Design.h"

namespace vemkard {

inline constexpr std::string_view kForm2Title = "Настройки";
inline constexpr int kForm2Width = 207;
inline constexpr int kForm2Height = 125;
inline constexpr TColour kForm2Colour{215, 255, 215};
// Label1, bold.
inline constexpr std::string_view kLabel1Text = "COM-порт";
inline constexpr int kLabel1Left = 16, kLabel1Top = 11;
// ComboBox1: editable, first in the tab order; no completion rewrites its text.
inline constexpr TRect kComboBox1Rect{88, 8, 105, 21};
inline constexpr std::string_view kComboBox1Initial = "ComboBox1";
// Button1, bold: the default button (Enter presses it), modal result OK.
// There is no cancel button: Esc closes nothing, only the close box does.
inline constexpr TRect kButton1Rect{112, 96, 75, 25};
inline constexpr std::string_view kButton1Caption = "OK";

// The persisted settings: HKEY_CURRENT_USER\Software\Tarvisk\Vemkard, or
// the toolkit's per-user store under the same names.
inline constexpr std::string_view kSettingsOrganisation = "Tarvisk";
inline constexpr std::string_view kSettingsApplication = "Vemkard";
inline constexpr std::string_view kKeyComPort = "ComPort";  // string
inline constexpr std::string_view kKeyDevice = "Device";    // integer: the device's stored code

}  // namespace vemkard
