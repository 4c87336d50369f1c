// `TForm1`'s behaviour without a toolkit: it owns the console session (the
// protocol core with the listing, upload, removal and firmware handlers),
// the no-reply timer and the queue display, and decides what each control
// does. A toolkit's window draws it (IMainView, IQueueView) and hands it
// its events:
//
//   start-up    the window, then the settings dialog (SettingsForm, which
//               loads the stored settings); then the window is shown:
//               FormShow once, before it is first drawn.
//   resize      FormResize.
//   tool bar    ToolClick with the item's id; the grid's double click,
//               once GridDoubleClick says it counts, StringGrid1DblClick.
//   received    Comm321ReceiveData; the toolkit timers call their OnTimer.
//   closing     FormCloseQuery; false keeps the window open.
//   shut-down   the settings dialog goes first (it saves the settings while
//               the device buttons still exist), then FormDestroy.
//
// An exception that a handler lets escape goes to the toolkit's top-level
// handler (UncaughtError.h). User-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "forms/Form1Design.h"
#include "forms/FormInterfaces.h"
#include "forms/GridDisplay.h"
#include "forms/NoReplyTimer.h"
#include "forms/QueueDisplay.h"
#include "forms/WindowPort.h"
#include "link/ConsoleSession.h"

namespace vemkard {

class SettingsForm;

// The toolkit's side of the main window.
struct TForm1Toolkit {
    IMainView& view;
    IQueueView& queueView;
    ITimer& timer1;        // under the no-reply timer
    ITimer& displayTimer;  // paces the queue display
    IUserDialogs& dialogs;
};

class MainForm {
  public:
    MainForm(IWindowPort& port, TForm1Toolkit toolkit);
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    // The settings dialog registers itself here; it gives the port name.
    void SetSettings(SettingsForm* settings) { settings_ = settings; }

    // --- handlers ------------------------------------------------------------
    // Lays out, then opens the link and queues a listing; a failure of
    // either ends that step silently (the status line already says it).
    void FormShow();
    void FormResize();
    // What a click on a tool bar button starts.
    void ToolClick(TToolId button);
    // Device selection; `sender` is ToolButton12, 13 or 14, down or not.
    // Asks first while a firmware run is queued. Re-opens an open port at
    // the new speed; a failed open throws to the top-level handler.
    void ToolButton12Click(TToolId sender);
    // The settings dialog; "Измененные настройки сохранены" after OK.
    void ToolButton1Click();
    void ToolButton4Click();
    // Deletes the file of grid row `row` (made the current row first).
    void StringGrid1DblClick(int row);
    void Comm321ReceiveData(const void* buffer, std::uint16_t length);
    // Whether the window may close: asks first while a firmware run is queued.
    bool FormCloseQuery();
    // Stops the timer and closes an open port: the serial component must
    // not go while its threads run.
    void FormDestroy();

    // --- state ---------------------------------------------------------------
    // Whether a device button is down, as the view shows it.
    bool Down(TToolId button) const;
    const std::string& Title() const { return title_; }
    std::string PortName() const;

    IWindowPort& Comm321() { return port_; }
    NoReplyTimer& Timer1() { return timer1_; }
    QueueDisplay& Display() { return display_; }
    // The grid's view registers here.
    GridDisplay& Grid() { return grid_; }
    ConsoleSession& Session() { return session_; }

  private:
    IWindowPort& port_;
    IMainView& view_;
    SteadyClock clock_;
    QueueDisplay display_;
    NoReplyTimer timer1_;
    ThreadSleeper sleeper_;
    ConsoleSession session_;
    GridDisplay grid_{session_.Grid, display_};
    SettingsForm* settings_ = nullptr;
    // Which device button is down; the one down is the one disabled.
    std::array<bool, kDevices.size()> down_{};
    std::string title_{kTitleInitial};
};

}  // namespace vemkard
