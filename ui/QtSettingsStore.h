// The persisted settings in QSettings ("Tarvisk", "Vemkard"): on Linux
// ~/.config/Tarvisk/Vemkard.conf, whose INI format gives every value back
// as text.
#pragma once

#include <QString>
#include <optional>

#include "forms/FormInterfaces.h"

class QVariant;

namespace vemkard {

// "Device" as stored: an integer within 32 bits, or text that parses as one;
// anything else (a list, a fraction, words, a larger number) counts as absent.
std::optional<int> StoredInteger(const QVariant& value);
// "ComPort" as stored: text only; a list or any other type counts as absent.
std::optional<QString> StoredText(const QVariant& value);

class TQtSettingsStore : public ISettingsStore {
  public:
    std::optional<std::string> ReadString(std::string_view name) override;
    std::optional<int> ReadInteger(std::string_view name) override;
    void WriteString(std::string_view name, std::string_view value) override;
    void WriteInteger(std::string_view name, int value) override;
};

}  // namespace vemkard
