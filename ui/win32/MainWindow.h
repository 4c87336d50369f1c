// `TForm1`: the main window over the common controls: tool bar, grid,
// queue display and status line. What they do is MainForm's; this window
// draws it and hands it the events. It owns the serial component.
//
// Test hook: with VEMKARD_STATE=<path> in the environment the window writes
// what it shows to that file (UTF-8) after each change of the grid or the
// status line: the title, the status line, the counter and
// "position/maximum" of the bar on one line each, then one line per grid
// row, its cells separated by tabs.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "Services.h"
#include "StringGrid.h"
#include "Win32Ui.h"
#include "forms/MainForm.h"

namespace vemkard::win32 {

class TForm2;

class TForm1 : public IMainView, public IQueueView, public IGridView {
  public:
    TForm1();
    // The settings dialog has gone first; the port is closed here.
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The settings dialog registers itself here; the settings button shows it.
    void SetForm2(TForm2* form2) { form2_ = form2; }
    MainForm& Form() { return form_; }
    HWND Window() const { return window_; }
    // Centres the window and shows it; FormShow runs before it is drawn.
    void Show();

    // IQueueView
    void ShowStatus(std::string_view text) override;
    void ShowCounter(std::string_view text) override;
    // Drawn over the bar by its subclass.
    void ShowTimeLeft(std::string_view text) override;
    void ShowProgressMaximum(int maximum) override;
    void ShowProgressPosition(int position) override;
    // IMainView
    bool ShowSettings() override;
    void SetTitle(std::string_view title) override;
    // In the design's pixels: the grid scales them.
    void PlaceGrid(const TRect& rect) override;
    void SetColumnWidth(int column, int width) override;
    void SetDeviceButton(TToolId button, bool down, bool enabled) override;
    // IGridView: to the grid window.
    void RowsReset(int rowCount) override;
    void CellsChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) override;

    // The window procedure's (Dispatch).
    LRESULT Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK ToolBarProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK StatusProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK ProgressProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR id, DWORD_PTR data);
    void CreateControls();
    void LoadImages();
    // Sizes, places and sets the fonts of everything at the window's dpi.
    void Layout();
    void AddToolButtons();
    void AddHints();
    // Writes the test hook's file once the current change is drawn.
    void QueueState();
    void WriteState();

    TPort comm321_;
    TTimer timer1_{1};
    TTimer displayTimer_{2};
    TUserDialogs dialogs_;
    MainForm form_;
    TForm2* form2_ = nullptr;

    HWND window_ = nullptr;
    HWND toolBar1_ = nullptr;
    std::unique_ptr<TStringGrid> stringGrid1_;
    HWND label3_ = nullptr;
    HWND progressBar1_ = nullptr;
    HWND label4_ = nullptr;
    HWND statusBar1_ = nullptr;
    HWND hints_ = nullptr;
    HIMAGELIST imageList1_ = nullptr;
    HIMAGELIST greyed_ = nullptr;
    TFonts fonts_;
    HBRUSH background_ = nullptr;
    HBRUSH barBrush_ = nullptr;
    std::array<BYTE, kToolItems.size()> toolStates_{};
    std::wstring timeLeft_;
    std::wstring statePath_;
    bool stateQueued_ = false;
};

}  // namespace vemkard::win32
