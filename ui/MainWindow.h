// The main window's widgets: tool bar, directory grid, queue display and
// status line. What they do is MainForm's; this window draws it and hands
// it the events. It owns the serial component for the whole run.
#pragma once

#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QStatusBar>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <string_view>

#include "forms/FormInterfaces.h"
#include "forms/MainForm.h"
#include "forms/WindowPort.h"
#include "ui/ProgressBar.h"
#include "ui/QtServices.h"
#include "ui/StringGrid.h"

namespace vemkard {

class TForm2;

// A tool bar button whose down state only the program sets: it is kept as
// the checked state, which a disabled button keeps (QAbstractButton drops
// its pressed state on disable) and a click does not toggle.
class TToolButton : public QToolButton {
  public:
    using QToolButton::QToolButton;
    bool Down() const { return isChecked(); }
    void SetDown(bool down) {
        setCheckable(true);
        setChecked(down);
    }

  protected:
    void nextCheckState() override {}
};

class TForm1 : public QWidget, public IMainView, public IQueueView {
  public:
    explicit TForm1(std::unique_ptr<IWindowPort> port, QWidget* parent = nullptr);
    ~TForm1() override;

    // The settings dialog registers itself here; the settings button shows it.
    void SetForm2(TForm2* form2) { form2_ = form2; }

    MainForm& Form() { return form_; }
    IWindowPort& Comm321() { return *comm321_; }
    NoReplyTimer& Timer1() { return form_.Timer1(); }
    ConsoleSession& Session() { return form_.Session(); }
    TQtUserDialogs& Dialogs() { return dialogs_; }
    QString StatusText() const;
    // The tool bar item by its name ("ToolButton12", "ToolButton11", ...).
    QWidget* ToolItem(const char* name) const;
    TToolButton* Button(TToolId id) const {
        return static_cast<TToolButton*>(ToolItem(ToolItemName(id)));
    }

    // IMainView
    void SetTitle(std::string_view title) override;
    void SetDeviceButton(TToolId button, bool down, bool enabled) override;
    void PlaceGrid(const TRect& rect) override;
    void SetColumnWidth(int column, int width) override;
    bool ShowSettings() override;
    // IQueueView
    void ShowStatus(std::string_view text) override;
    void ShowProgressMaximum(int maximum) override;
    void ShowProgressPosition(int position) override;
    void ShowTimeLeft(std::string_view text) override;
    void ShowCounter(std::string_view text) override;

    QWidget* ToolBar1;
    TToolButton* ToolButton12;
    TToolButton* ToolButton13;
    TToolButton* ToolButton14;
    TToolButton* ToolButton1;
    TToolButton* ToolButton4;
    TToolButton* ToolButton10;
    TToolButton* ToolButton6;
    TToolButton* ToolButton8;
    TStringGrid* StringGrid1;
    QLabel* Label3;
    TProgressBar* ProgressBar1;
    QLabel* Label4;
    QStatusBar* StatusBar1;
    QList<QPixmap> ImageList1;

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    static const char* ToolItemName(TToolId id) { return vemkard::ToolItem(id).name; }
    void BuildToolBar();
    void BuildBottom();

    std::unique_ptr<IWindowPort> comm321_;
    TQtTimer timer1_;
    TQtTimer displayTimer_;
    TQtUserDialogs dialogs_;
    MainForm form_;
    TForm2* form2_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    bool shown_ = false;
};

// The widest text of the grid's size column, and the room it has there: the
// column is 51 pixels at the design size, the text starts 2 pixels in, and
// the grid line takes the last one.
inline constexpr std::string_view kWidestSizeText = "65535 б.";
inline constexpr int kSizeColumnTextRoom = 51 - 2 - 1;

// The window font: "MS Sans Serif" at 11 pixels, or a stand-in chosen by its
// metrics (see kSizeColumnTextRoom).
QFont WindowFont(bool bold = false);
// Puts the window's frame in the middle of its screen.
void CentreOnScreen(QWidget& window);
QColor Colour(TColour colour);
QRect Rect(const TRect& rect);

}  // namespace vemkard
