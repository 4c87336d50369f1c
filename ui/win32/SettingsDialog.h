// `TForm2`: the settings dialog's window, made hidden at start-up and shown
// modally. An editable combo box holds the port name exactly as typed or
// picked; OK (Enter) saves. What it does is SettingsForm's.
#pragma once

#include <string>
#include <vector>

#include "Services.h"
#include "Win32Ui.h"
#include "forms/SettingsForm.h"

namespace vemkard::win32 {

class TForm1;

class TForm2 : public ISettingsView {
  public:
    // Registers with `form1` and loads the stored settings.
    explicit TForm2(TForm1& form1);
    // Saves the settings while the main window still exists.
    ~TForm2() override;
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    // The scan, then the dialog until OK (true) or the close box (false).
    bool ShowModal();
    // Saves the settings, as at the dialog's destruction.
    void FormDestroy();

    std::string PortText() const override;
    void SetPortText(std::string_view text) override;
    void ClearPorts() override;
    void AddPort(std::string_view description, std::string_view path) override;

    // The window procedure's (Dispatch).
    LRESULT Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    void Layout();

    TForm1& form1_;
    HWND window_ = nullptr;
    HWND label1_ = nullptr;
    HWND comboBox1_ = nullptr;
    HWND button1_ = nullptr;
    TFonts fonts_;
    HBRUSH background_ = nullptr;
    std::vector<std::wstring> paths_;  // of the list's entries
    bool modal_ = false;
    bool accepted_ = false;
    TRegistryStore store_;
    SettingsForm form_;
};

}  // namespace vemkard::win32
