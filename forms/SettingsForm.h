// `TForm2`'s behaviour without a toolkit: the port name (the dialog's combo
// box is where the program keeps it while it runs), the port scan, and the
// two persisted settings. A toolkit's dialog draws it (ISettingsView) and
// calls LoadSettings at the end of its construction, FormShow before each
// showing, Button1Click on OK (Enter presses it) and FormDestroy first when
// it goes, while the main window still exists.
//
// User-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "forms/Form2Design.h"
#include "forms/FormInterfaces.h"
#include "forms/MainForm.h"

namespace vemkard {

// The names the port scan tries.
using TPortCandidates = std::function<std::vector<std::string>()>;
// What the list shows for a port: the path and what the system says of it.
using TPortDescriber = std::function<std::string(const std::string& path)>;

// Where the system names its ports by number (Windows): the names the scan
// tries, "//./COM1" ... "//./COM255", in that order.
std::vector<std::string> NumberedPortNames();

class SettingsForm {
  public:
    // Registers with `form1`, which takes the port name from here.
    SettingsForm(MainForm& form1, ISettingsView& view, ISettingsStore& store,
                 TPortCandidates candidates, TPortDescriber describe);
    ~SettingsForm();
    SettingsForm(const SettingsForm&) = delete;
    SettingsForm& operator=(const SettingsForm&) = delete;

    // "ComPort" into the field; a stored "Device" 0 or 1 selects its device
    // on `form1` as a click would. Anything else stored changes nothing.
    void LoadSettings();
    // "ComPort" always, also empty; "Device" only while a device with a
    // stored code is selected, so the 9600 button keeps the stored one.
    void SaveSettings();
    // The port scan: closes the port (and stops if it stays open), then
    // lists the candidates that would open, probing each without changing
    // it. The field's text stays as it was.
    void FormShow();
    void Button1Click() { SaveSettings(); }
    void FormDestroy() { SaveSettings(); }

    std::string PortName() const { return view_.PortText(); }

  private:
    MainForm& form1_;
    ISettingsView& view_;
    ISettingsStore& store_;
    TPortCandidates candidates_;
    TPortDescriber describe_;
};

}  // namespace vemkard
