// The settings dialog's widgets: a label, the editable combo box that holds
// the port name, and OK. What it does is SettingsForm's.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <string>
#include <string_view>

#include "forms/SettingsForm.h"
#include "serial/PortList.h"
#include "ui/QtSettingsStore.h"

namespace vemkard {

class TForm1;

class TForm2 : public QDialog, public ISettingsView {
  public:
    // Registers with `form1` and loads the stored settings, which select the
    // stored device on `form1`. `candidates` gives the names the scan tries,
    // `describe` the line the list shows for each.
    explicit TForm2(
        TForm1& form1, TPortCandidates candidates = [] { return ListSerialPorts(); },
        TPortDescriber describe = [](const std::string& path) { return DescribeSerialPort(path); });
    // Saves the settings while the main window still exists.
    ~TForm2() override;

    SettingsForm& Form() { return form_; }
    // The port scan, and a list wide enough for the descriptions.
    void FormShow();
    void Button1Click() { form_.Button1Click(); }
    std::string PortName() const { return form_.PortName(); }

    // ISettingsView: the combo box.
    std::string PortText() const override;
    void SetPortText(std::string_view text) override;
    void ClearPorts() override;
    void AddPort(std::string_view description, std::string_view path) override;

    QLabel* Label1;
    QComboBox* ComboBox1;
    QPushButton* Button1;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    TForm1& form1_;
    TQtSettingsStore store_;
    SettingsForm form_;
};

}  // namespace vemkard
