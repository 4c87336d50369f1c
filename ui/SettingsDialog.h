// The settings dialog: the port name (its combo box is where the program
// keeps it while it runs), the port scan, and the two persisted settings.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/PortList.h"

class QSettings;
class QVariant;

namespace vemkard {

class TForm1;

inline constexpr std::string_view kSettingsOrganisation = "Tarvisk";
inline constexpr std::string_view kSettingsApplication = "Vemkard";
inline constexpr std::string_view kKeyComPort = "ComPort";
inline constexpr std::string_view kKeyDevice = "Device";

using TPortCandidates = std::function<std::vector<std::string>()>;
// What the list shows for a port: the path and what the system says of it.
using TPortDescriber = std::function<std::string(const std::string& path)>;

// "Device" as stored: an integer within 32 bits, or text that parses as one;
// anything else (a list, a fraction, words, a larger number) counts as absent.
std::optional<int> StoredInteger(const QVariant& value);
// "ComPort" as stored: text only; a list or any other type counts as absent.
std::optional<QString> StoredText(const QVariant& value);

class TForm2 : public QDialog {
  public:
    // Registers with `form1` and loads the stored settings, which select the
    // stored device on `form1`. `candidates` gives the names the scan tries,
    // `describe` the line the list shows for each.
    explicit TForm2(
        TForm1& form1, TPortCandidates candidates = [] { return ListSerialPorts(); },
        TPortDescriber describe = [](const std::string& path) { return DescribeSerialPort(path); });
    // Saves the settings while the main window still exists.
    ~TForm2() override;

    void LoadSettings();
    void SaveSettings();
    // The port scan: closes the port, then lists the candidates that would
    // open, probing each without changing it. The list names each port by
    // what the system says of it; picking one puts only its path in the field.
    void FormShow();
    void Button1Click();

    // The port name: the combo box's current text.
    std::string PortName() const;

    QLabel* Label1;
    QComboBox* ComboBox1;
    QPushButton* Button1;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    TForm1& form1_;
    TPortCandidates candidates_;
    TPortDescriber describe_;
};

}  // namespace vemkard
