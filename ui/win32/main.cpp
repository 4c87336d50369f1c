// vemkard.exe: the main window, then the settings dialog, which loads the
// stored port name and device; the dialog goes first at exit and saves them.
#include "MainWindow.h"
#include "SettingsDialog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace vemkard::win32;
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    TForm1 form1;
    // No desktop to draw on (a service, Wine without a display).
    if (!form1.Window()) return 1;
    int status = 0;
    {
        TForm2 form2(form1);
        form1.Show();
        MSG message;
        // The serial component's messages come this way too.
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        status = static_cast<int>(message.wParam);
    }
    return status;
}
