#include "forms/SettingsForm.h"

namespace vemkard {

std::vector<std::string> NumberedPortNames() {
    std::vector<std::string> names;
    for (int n = 1; n <= 255; ++n) names.push_back("//./COM" + std::to_string(n));
    return names;
}

SettingsForm::SettingsForm(MainForm& form1, ISettingsView& view, ISettingsStore& store,
                           TPortCandidates candidates, TPortDescriber describe)
    : form1_(form1),
      view_(view),
      store_(store),
      candidates_(std::move(candidates)),
      describe_(std::move(describe)) {
    form1_.SetSettings(this);
}

SettingsForm::~SettingsForm() {
    form1_.SetSettings(nullptr);
}

void SettingsForm::LoadSettings() {
    if (const auto port = store_.ReadString(kKeyComPort)) view_.SetPortText(*port);
    const std::optional<int> code = store_.ReadInteger(kKeyDevice);
    if (!code) return;
    for (const TDevice& device : kDevices)
        if (device.storedCode >= 0 && device.storedCode == *code)
            form1_.ToolButton12Click(device.button);
}

void SettingsForm::SaveSettings() {
    store_.WriteString(kKeyComPort, view_.PortText());
    for (const TDevice& device : kDevices)
        if (device.storedCode >= 0 && form1_.Down(device.button))
            store_.WriteInteger(kKeyDevice, device.storedCode);
}

void SettingsForm::FormShow() {
    ISerialLink& port = form1_.Comm321().Link();
    if (port.PortOpen()) port.ClosePort();
    if (port.PortOpen()) return;
    const std::string text = view_.PortText();
    view_.ClearPorts();
    for (const std::string& name : candidates_()) {
        // A probe, not an open: the ports that other programs use and the
        // ones that are merely tried keep their settings and lines.
        try {
            form1_.Comm321().ProbePort(name);
            view_.AddPort(describe_(name), name);
        } catch (...) {
            // Missing, busy or refusing the line settings: not listed.
        }
        view_.SetPortText(text);
    }
    view_.SetPortText(text);
}

}  // namespace vemkard
