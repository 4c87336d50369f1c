// The main window: tool bar, directory grid, queue display and status line.
// It owns the serial component, the no-reply timer and the console session
// (protocol core, listing, upload, removal, firmware) for the whole run.
#pragma once

#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/ConsoleSession.h"
#include "protocol/LinkInterfaces.h"
#include "ui/BatchPace.h"
#include "ui/ProgressBar.h"
#include "ui/QtServices.h"
#include "ui/StringGrid.h"
#include "ui/WindowPort.h"

namespace vemkard {

class TForm2;

inline constexpr int kForm1Width = 735;
inline constexpr int kForm1Height = 496;
inline constexpr std::string_view kTitleInitial = "ВМ-4. Менеджер файлов";
inline constexpr std::string_view kTitleSuffix = ". Менеджер файлов.";
inline constexpr std::string_view kHintForm1 = "Записать основную программу";
inline constexpr std::string_view kHintGrid = "Удаление-двойной клик";
inline constexpr std::string_view kTextSettingsSaved = "Измененные настройки сохранены";
// While replies come in, the status line and the queue display change at
// most this often; the end of a batch shows at once.
inline constexpr int kQueueDisplayIntervalMs = 200;

// One item of the tool bar, in order from the left.
struct TToolItem {
    const char* name;
    int left;
    int width;
    const char* hint;  // empty: none of its own
    int image;         // -1: a separator
};
inline constexpr std::array<TToolItem, 14> kToolItems{{
    {"ToolButton11", 0, 8, "", -1},
    {"ToolButton12", 8, 23, "Пульт ВМ-4", 16},
    {"ToolButton13", 31, 23, "Хронос-6 (19200)", 17},
    {"ToolButton14", 54, 23, "Хронос-6 (9600)", 17},
    {"ToolButton2", 77, 51, "", -1},
    {"ToolButton1", 128, 23, "Настройки", 0},
    {"ToolButton3", 151, 50, "", -1},
    {"ToolButton4", 201, 23, "Обновить информацию", 12},
    {"ToolButton5", 224, 57, "", -1},
    {"ToolButton10", 281, 23, "", 14},
    {"ToolButton9", 304, 8, "", -1},
    {"ToolButton6", 312, 23, "Очистить пульт", 10},
    {"ToolButton7", 335, 9, "", -1},
    {"ToolButton8", 344, 23, "Добавить файл", 8},
}};

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

class TForm1 : public QWidget, public ILinkView {
  public:
    explicit TForm1(std::unique_ptr<IWindowPort> port, QWidget* parent = nullptr);
    // Closes an open port first: the component must not go while its threads run.
    ~TForm1() override;

    // The settings dialog registers itself here; it gives the port name.
    void SetForm2(TForm2* form2) { form2_ = form2; }

    // --- handlers -----------------------------------------------------------
    void FormShow();
    void FormResize();
    // Device selection; `sender` is ToolButton12, 13 or 14.
    void ToolButton12Click(TToolButton* sender);
    void ToolButton1Click();
    void ToolButton4Click();

    // --- ILinkView: status line and queue display ----------------------------
    // Shown at once, except while a received chunk is handled: then what it
    // changed is shown when it is done, paced to kQueueDisplayIntervalMs
    // while the batch goes on. The grid's changed cells go with it.
    void SetStatus(std::string_view text) override;
    void SetProgressMaximum(int maximum) override;
    void SetProgressPosition(int position) override;
    void SetQueueCounter(std::string_view text) override;

    using Clock = TBatchPace::Clock;
    // The clock that paces the display and measures the batch; for tests.
    void SetClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }

    // --- parts, for the settings dialog and tests -----------------------------
    IWindowPort& Comm321() { return *comm321_; }
    TQtReplyTimer& Timer1() { return timer1_; }
    ConsoleSession& Session() { return session_; }
    TQtUserDialogs& Dialogs() { return dialogs_; }
    QString StatusText() const;
    // The tool bar item by its name ("ToolButton12", "ToolButton11", ...).
    QWidget* ToolItem(const char* name) const;

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
    // Asks first while a firmware run is queued; No keeps the window open.
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildToolBar();
    void BuildBottom();
    std::string PortName() const;
    void QueueDisplayChanged();
    // Shows what is held back now, or arms the display timer for it.
    void ShowQueueDisplayPaced();
    void ShowQueueDisplay();

    std::unique_ptr<IWindowPort> comm321_;
    TQtReplyTimer timer1_;
    ThreadSleeper sleeper_;
    TQtUserDialogs dialogs_;
    ConsoleSession session_;
    TForm2* form2_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    bool shown_ = false;

    // What the status line and the queue display are to show.
    struct TQueueDisplay {
        QString status;
        int maximum = 0;
        int position = 0;
        QString counter = QStringLiteral("0");
    };
    TQueueDisplay wanted_;
    TBatchPace pace_;
    std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };
    Clock::time_point lastShown_{};
    QTimer displayTimer_;
    // Nonzero while a received chunk is handled.
    int receiving_ = 0;
    bool displayPending_ = false;
};

inline constexpr int kWindowFontPixels = 11;
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

}  // namespace vemkard
