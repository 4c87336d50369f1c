// The main window against a recording port: what only Qt can show of the
// layout, the tool bar, the hints, the device buttons, the queue display and
// the grid's double click, and the top-level error handler.
#include <QHeaderView>
#include <QHelpEvent>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/Frame.h"
#include "tests/support/FakeWindowPort.h"
#include "tests/ui/FormsRig.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/ToolImages.h"

using namespace vemkard;
using vemkard::testing::FakeWindowPort;
using vemkard::testing::Journal;

namespace {

struct Rig {
    Rig() {
        auto owned = std::make_unique<FakeWindowPort>();
        port = owned.get();
        form = std::make_unique<TForm1>(std::move(owned));
    }
    FakeWindowPort* port;
    std::unique_ptr<TForm1> form;
};

// Shows the window, drops its start-up listing and fills the grid: one
// {number, name} per file row (an empty number: not read yet), then the
// free-space row.
void ShowListing(Rig& rig, std::initializer_list<std::pair<const char*, const char*>> files) {
    rig.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
    rig.form->Session().Link.ClearCommands();
    DirectoryGrid& grid = rig.form->Session().Grid;
    grid.ResetRows(static_cast<int>(files.size()) + 2);
    int row = 1;
    for (const auto& [number, name] : files) {
        grid.SetCell(row, 0, number);
        grid.SetCell(row++, 1, name);
    }
    grid.SetCell(row, 1, "Свободно - 100 байт");
}

// The console's side of a listing of `files` files as chunks reach the
// window: the first poll, then one chunk per reply, each but the last with
// the poll that fetches the next command.
std::vector<std::vector<std::uint8_t>> ListingChunks(int files) {
    const std::vector<std::uint8_t> poll = MakeFrame(cmPoll);
    std::vector<std::vector<std::uint8_t>> chunks{poll};
    const auto reply = [&chunks, &poll](std::uint8_t command, std::vector<std::uint8_t> payload) {
        std::vector<std::uint8_t> chunk = MakeFrame(command, payload);
        chunk.insert(chunk.end(), poll.begin(), poll.end());
        chunks.push_back(std::move(chunk));
    };
    reply(cmReadDirectory, {static_cast<std::uint8_t>(files)});
    for (int i = 0; i < files; ++i)
        reply(cmReadEntry, {static_cast<std::uint8_t>(i), 0, 1, 0, 100, 0, 2, 'f',
                            static_cast<std::uint8_t>('a' + i % 26)});
    reply(cmReadFreeSpace, {0, 16});
    chunks.back().resize(chunks.back().size() - poll.size());
    return chunks;
}

// A clock for the window's display that moves only when told.
struct StepClock : IClock {
    explicit StepClock(TForm1& form) { form.Form().Display().SetClock(*this); }
    TimePoint Now() const override { return now; }
    TimePoint now{std::chrono::hours(1)};
};

void Receive(Rig& rig, const std::vector<std::uint8_t>& chunk) {
    rig.port->receive(chunk.data(), static_cast<std::uint16_t>(chunk.size()));
}

// While it lives, answers every warning box that comes up with `answer`
// (keeping its text) and closes the settings dialog when it opens, so that
// an action that should not have gone on cannot hang the test.
class ModalResponder {
  public:
    ModalResponder(QMessageBox::StandardButton answer, QDialog& settings) {
        timer_.callOnTimeout([this, answer, &settings] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                questions.append(box->text());
                box->button(answer)->click();
            } else if (settings.isVisible()) {
                settingsShown = true;
                settings.close();
            }
        });
        timer_.start(5);
    }
    QStringList questions;
    bool settingsShown = false;

  private:
    QTimer timer_;
};

// Collects what `root` and every widget inside it paint, in root's
// coordinates, while it lives.
class PaintRecorder : public QObject {
  public:
    explicit PaintRecorder(QWidget* root) : root_(root) {
        root->installEventFilter(this);
        for (QWidget* child : root->findChildren<QWidget*>()) child->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* widget = static_cast<QWidget*>(watched);
            const QRegion region = static_cast<QPaintEvent*>(event)->region();
            painted += region.translated(widget->mapTo(root_, QPoint()));
            ++paints;
        }
        return false;
    }
    void Clear() {
        painted = {};
        paints = 0;
    }
    QRegion painted;
    int paints = 0;

  private:
    QWidget* root_;
};

// Counts the events of one type that reach `watched` while it lives.
class EventCounter : public QObject {
  public:
    EventCounter(QObject* watched, QEvent::Type type) : type_(type) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) ++count;
        return false;
    }
    int count = 0;

  private:
    QEvent::Type type_;
};

// An object whose every event handler fails.
class FailingObject : public QObject {
  public:
    bool event(QEvent*) override { throw std::runtime_error("Ошибка в обработчике"); }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        reported_.clear();
        TApplication::SetErrorReporter([this](const QString& text) { reported_.append(text); });
    }
    void cleanup() { TApplication::SetErrorReporter({}); }

    void startsWithInitialTitleAndAnEmptyQueue() {
        Rig rig;
        QCOMPARE(rig.form->windowTitle(), QStringLiteral("ВМ-4. Менеджер файлов"));
        QCOMPARE(rig.form->size(), QSize(735, 496));
        QCOMPARE(rig.form->minimumSize(), rig.form->maximumSize());
        QCOMPARE(rig.form->Label4->text(), QStringLiteral("0"));
        QCOMPARE(rig.form->Label3->text(), QStringLiteral("Очередь команд:"));
        QCOMPARE(rig.form->Timer1().Interval(), 20000);
        QVERIFY(!rig.form->Timer1().Enabled());
    }

    void layoutPlacesGridBetweenToolBarAndProgressBar() {
        Rig rig;
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        QCOMPARE(rig.form->ToolBar1->geometry(), QRect(0, 0, 735, 28));
        QCOMPARE(rig.form->StringGrid1->geometry(), QRect(0, 29, 735, 434));
        const int widths[] = {29, 367, 279, 51};
        for (int i = 0; i < 4; ++i) QCOMPARE(rig.form->StringGrid1->ColWidth(i), widths[i]);
        QCOMPARE(rig.form->StringGrid1->model()->headerData(2, Qt::Horizontal),
                 QVariant(QStringLiteral("Тип файла")));
        QCOMPARE(rig.form->StringGrid1->verticalHeader()->defaultSectionSize(), 17);
        QCOMPARE(rig.form->ProgressBar1->geometry(), QRect(120, 464, 577, 16));
        QCOMPARE(rig.form->Label3->pos(), QPoint(8, 464));
        QCOMPARE(rig.form->Label4->pos(), QPoint(704, 464));
        QCOMPARE(rig.form->StatusBar1->geometry(), QRect(0, 477, 735, 19));
    }

    void gridSelectsOneCellAndDoesNotEdit() {
        Rig rig;
        TStringGrid* grid = rig.form->StringGrid1;
        QCOMPARE(grid->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectItems);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);
        QCOMPARE(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    }

    void toolItemsSitAtTheirLefts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("button");
        const struct {
            const char* name;
            int left, width;
            bool button;
        } items[] = {
            {"ToolButton11", 0, 8, false},   {"ToolButton12", 8, 23, true},
            {"ToolButton13", 31, 23, true},  {"ToolButton14", 54, 23, true},
            {"ToolButton2", 77, 51, false},  {"ToolButton1", 128, 23, true},
            {"ToolButton3", 151, 50, false}, {"ToolButton4", 201, 23, true},
            {"ToolButton5", 224, 57, false}, {"ToolButton10", 281, 23, true},
            {"ToolButton9", 304, 8, false},  {"ToolButton6", 312, 23, true},
            {"ToolButton7", 335, 9, false},  {"ToolButton8", 344, 23, true},
        };
        for (const auto& item : items)
            QTest::newRow(item.name)
                << QString::fromLatin1(item.name) << item.left << item.width << item.button;
    }
    void toolItemsSitAtTheirLefts() {
        QFETCH(QString, name);
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(bool, button);
        Rig rig;
        QWidget* item = rig.form->ToolItem(name.toLatin1().constData());
        QVERIFY(item);
        QCOMPARE(item->x(), left);
        QCOMPARE(item->width(), width);
        auto* tool = qobject_cast<QToolButton*>(item);
        QCOMPARE(tool != nullptr, button);
        if (tool) {
            QCOMPARE(tool->height(), 22);
            QVERIFY(!tool->icon().isNull());
            QCOMPARE(tool->iconSize(), QSize(16, 16));
        }
    }

    void imageListHoldsGreyedCopies() {
        const QList<QPixmap> images = MakeImageList1();
        QCOMPARE(images.size(), 18);
        for (int i = 0; i < images.size(); ++i) {
            QCOMPARE(images[i].size(), QSize(16, 16));
            const QImage image = images[i].toImage().convertToFormat(QImage::Format_ARGB32);
            bool grey = true;
            bool drawn = false;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QRgb pixel = image.pixel(x, y);
                    if (qAlpha(pixel) == 0) continue;
                    drawn = true;
                    grey = grey && qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel);
                }
            QVERIFY2(drawn, qPrintable(QStringLiteral("image %1 is empty").arg(i)));
            const bool copy = i < 16 && i % 2 == 1;
            QVERIFY2(grey == copy, qPrintable(QStringLiteral("image %1").arg(i)));
            if (copy) QCOMPARE(image.size(), images[i - 1].size());
        }
    }

    void hintsFollowTheEnclosingControl_data() {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("hint");
        const QString form = QStringLiteral("Записать основную программу");
        QTest::newRow("console") << "ToolButton12" << QStringLiteral("Пульт ВМ-4");
        QTest::newRow("timer 19200") << "ToolButton13" << QStringLiteral("Хронос-6 (19200)");
        QTest::newRow("timer 9600") << "ToolButton14" << QStringLiteral("Хронос-6 (9600)");
        QTest::newRow("settings") << "ToolButton1" << QStringLiteral("Настройки");
        QTest::newRow("refresh") << "ToolButton4" << QStringLiteral("Обновить информацию");
        QTest::newRow("clear") << "ToolButton6" << QStringLiteral("Очистить пульт");
        QTest::newRow("add file") << "ToolButton8" << QStringLiteral("Добавить файл");
        QTest::newRow("firmware") << "ToolButton10" << form;
        QTest::newRow("separator") << "ToolButton5" << form;
        QTest::newRow("tool bar") << "ToolBar1" << form;
        QTest::newRow("grid cell") << "grid" << QStringLiteral("Удаление-двойной клик");
        QTest::newRow("queue label") << "Label3" << form;
        QTest::newRow("counter") << "Label4" << form;
        QTest::newRow("progress bar") << "ProgressBar1" << form;
        QTest::newRow("status bar") << "StatusBar1" << form;
    }
    void hintsFollowTheEnclosingControl() {
        QFETCH(QString, widget);
        QFETCH(QString, hint);
        Rig rig;
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        QWidget* target = widget == QStringLiteral("grid") ? rig.form->StringGrid1->viewport()
                          : widget == QStringLiteral("ToolBar1")
                              ? rig.form->ToolBar1
                              : rig.form->findChild<QWidget*>(widget);
        QVERIFY(target);
        QToolTip::hideText();
        const QPoint at(target->width() / 2, target->height() / 2);
        QHelpEvent help(QEvent::ToolTip, at, target->mapToGlobal(at));
        QCoreApplication::sendEvent(target, &help);
        QTRY_COMPARE_WITH_TIMEOUT(QToolTip::text(), hint, 5000);
        QToolTip::hideText();
    }

    void clickOnAnEnabledDeviceButtonSelectsIt() {
        Rig rig;
        rig.form->show();
        QTest::mouseClick(rig.form->ToolButton13, Qt::LeftButton);
        QVERIFY(rig.form->ToolButton13->Down());
        QCOMPARE(rig.port->baudRate, 19200u);
        // The pressed button is disabled: a click on it does nothing at all.
        rig.form->setWindowTitle(QStringLiteral("x"));
        QTest::mouseClick(rig.form->ToolButton13, Qt::LeftButton);
        QCOMPARE(rig.form->windowTitle(), QStringLiteral("x"));
    }

    void failedReopenReachesTheTopLevelHandler() {
        Rig rig;
        rig.form->show();
        rig.port->port.open = true;
        rig.port->port.failOpen = true;
        rig.port->port.failMessage = "Невозможно открыть порт!";
        QTest::mouseClick(rig.form->ToolButton13, Qt::LeftButton);
        QCOMPARE(reported_, QStringList{QStringLiteral("Невозможно открыть порт!")});
        QVERIFY(!rig.port->port.open);
        QVERIFY(rig.form->ToolButton13->Down());
        QCOMPARE(rig.port->baudRate, 19200u);
        QCOMPARE(rig.form->windowTitle(), QStringLiteral("Хронос-6 (19200). Менеджер файлов."));
    }

    void silenceEndsTheBatchThroughTimer1() {
        Rig rig;
        rig.form->show();
        rig.form->Timer1().SetInterval(1);
        rig.form->Timer1().Enable();
        QTRY_COMPARE_WITH_TIMEOUT(rig.form->StatusText(),
                                  QStringLiteral("Нет связи с устройством!"), 10000);
        QCOMPARE(rig.form->Session().Link.QueueLength(), 0);
        QVERIFY(!rig.port->port.open);
    }

    // Replies 25 ms apart: the bottom of the window and the grid's rows are
    // drawn again at most every kQueueDisplayIntervalMs, what a quiet spell
    // holds back comes on its own, and the end of the batch shows at once.
    void queueDisplayIsPacedWhileRepliesComeIn() {
        Rig rig;
        StepClock clock(*rig.form);
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        const QRect bottom(0, rig.form->ProgressBar1->y(), kForm1Width, kForm1Height);
        PaintRecorder recorder(rig.form.get());
        const auto chunks = ListingChunks(40);
        const auto step = std::chrono::milliseconds(25);
        const QRect rows = rig.form->StringGrid1->geometry();
        int updates = 0;
        int gridUpdates = 0;
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            recorder.Clear();
            clock.now += step;
            Receive(rig, chunks[i]);
            if (i + 1 == chunks.size()) break;
            QApplication::processEvents();
            if (recorder.painted.intersects(bottom)) ++updates;
            if (i > 1 && recorder.painted.intersects(rows)) ++gridUpdates;
            if (i == chunks.size() / 2) {
                clock.now += std::chrono::milliseconds(kQueueDisplayIntervalMs);
                const QString left = QString::number(rig.form->Session().Link.QueueLength());
                QTRY_COMPARE_WITH_TIMEOUT(rig.form->Label4->text(), left, 5000);
                QTRY_VERIFY_WITH_TIMEOUT(recorder.painted.intersects(rows), 5000);
            }
        }
        const int spanMs = static_cast<int>(chunks.size()) * 25 + kQueueDisplayIntervalMs;
        for (const int count : {updates, gridUpdates})
            QVERIFY2(count <= spanMs / kQueueDisplayIntervalMs + 2,
                     qPrintable(QString::number(count)));
        QCOMPARE(rig.form->Label4->text(), QStringLiteral("0"));
        QCOMPARE(rig.form->ProgressBar1->value(), 0);
        QCOMPARE(rig.form->StatusText(), QStringLiteral("Операция успешно завершена."));
    }

    // A new status text is drawn in the panel's place: no layout pass of
    // the status bar, which measures every text again.
    void statusTextNeedsNoLayoutPass() {
        Rig rig;
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        QApplication::processEvents();
        EventCounter layouts(rig.form->StatusBar1, QEvent::LayoutRequest);
        for (const char* text : {"Идет программирование по адресу 20h",
                                 "Идет программирование по адресу 1FE0h", "Порт открыт"}) {
            rig.form->Form().Display().SetStatus(text);
            QApplication::processEvents();
            QCOMPARE(rig.form->StatusText(), QString::fromUtf8(text));
        }
        QCOMPARE(layouts.count, 0);
    }

    // The time left, from the pace so far, lies on the bar while a batch of
    // more than a few commands runs, and goes with the batch.
    void timeLeftShowsOnTheBarDuringALongBatch_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("shown");
        // The batch is queued at the show and its first poll comes at once;
        // after the directory and one entry, 3 s each, 30 entries and the
        // free space are left.
        QTest::newRow("30 files") << 30 << QStringLiteral("осталось 1:30");
        QTest::newRow("3 files") << 3 << QString();
    }
    void timeLeftShowsOnTheBarDuringALongBatch() {
        QFETCH(int, files);
        QFETCH(QString, shown);
        Rig rig;
        StepClock clock(*rig.form);
        rig.form->show();
        const auto chunks = ListingChunks(files);
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            if (i > 0) clock.now += std::chrono::seconds(3);
            Receive(rig, chunks[i]);
            if (i != 2) continue;
            QCOMPARE(rig.form->ProgressBar1->isTextVisible(), !shown.isEmpty());
            if (!shown.isEmpty()) QCOMPARE(rig.form->ProgressBar1->text(), shown);
            QCOMPARE(rig.form->StatusText(), QStringLiteral("Порт открыт"));
        }
        QCOMPARE(rig.form->Label4->text(), QStringLiteral("0"));
        QVERIFY(!rig.form->ProgressBar1->isTextVisible());
    }

    void sizeColumnShowsTheWidestSizeWhole() {
        Rig rig;
        ShowListing(rig, {{"1", "big.h6s"}});
        rig.form->Session().Grid.SetCell(1, 3, std::string(kWidestSizeText));
        TStringGrid& grid = *rig.form->StringGrid1;
        const QRect cell =
            grid.visualRect(grid.model()->index(0, 3)).translated(grid.viewport()->pos());
        const QImage shot = grid.grab().toImage();
        // The ink of the cell's text, as far as it differs from the cell.
        const QRgb background = shot.pixel(cell.left() + 1, cell.top() + 1);
        int first = cell.right() + 1;
        int last = -1;
        for (int x = cell.left(); x <= cell.right(); ++x)
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                if (qGray(shot.pixel(x, y)) < qGray(background) - 96) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        // The whole text's ink, 2 pixels in; a cut or "…" ends it sooner.
        const QRect ink = QFontMetrics(grid.font())
                              .tightBoundingRect(QString::fromUtf8(kWidestSizeText.data(),
                                                                   kWidestSizeText.size()));
        QVERIFY2(last >= 0, "no text in the cell");
        QVERIFY(std::abs(first - (cell.left() + 2 + ink.left())) <= 1);
        QVERIFY(std::abs(last - (cell.left() + 2 + ink.right())) <= 1);
        QVERIFY(last < cell.right() + 1);
    }

    // Writing a listed row repaints that row and its number, nothing else:
    // a row out of sight paints nothing, so a reply costs the same at any
    // file count.
    void gridRowWriteRepaintsOnlyItsRow_data() {
        QTest::addColumn<int>("row");
        QTest::newRow("row in sight") << 3;
        QTest::newRow("row out of sight") << 200;
    }
    void gridRowWriteRepaintsOnlyItsRow() {
        QFETCH(int, row);
        Rig rig;
        ShowListing(rig, {});
        DirectoryGrid& grid = rig.form->Session().Grid;
        grid.ResetRows(255 + 2);
        TStringGrid* view = rig.form->StringGrid1;
        QApplication::processEvents();
        PaintRecorder recorder(view);
        // Writes a row as a listing does, and lets the view do all it has
        // been made to do, some of it on timers.
        const auto write = [&grid, &recorder](int at) {
            grid.SetCell(at, 0, std::to_string(at));
            grid.SetCell(at, 1, "файл.m0");
            grid.SetCell(at, 2, "Организация перекрестка МРК-8");
            grid.SetCell(at, 3, "1234 б.");
            for (int passes = 0, before = -1; before != recorder.paints && passes < 20; ++passes) {
                before = recorder.paints;
                QTest::qWait(10);
            }
        };
        write(row - 1);
        recorder.Clear();
        write(row);

        QCOMPARE(view->model()->headerData(row - 1, Qt::Vertical).toString(), QString::number(row));
        const QRect cell = view->visualRect(view->model()->index(row - 1, 1));
        const QRect band(0, view->viewport()->mapTo(view, cell.topLeft()).y(), view->width(),
                         cell.height() + 1);
        if (!view->viewport()->rect().intersects(cell)) {
            QCOMPARE(recorder.paints, 0);
            return;
        }
        QVERIFY(band.contains(recorder.painted.boundingRect()));
        // The number, in the row header, and the cells were drawn again.
        QHeaderView* numbers = view->verticalHeader();
        QVERIFY(recorder.painted.intersects(QRect(numbers->mapTo(view, QPoint(0, 0)).x(),
                                                  band.top(), numbers->width(), cell.height())));
        QVERIFY(recorder.painted.intersects(band.adjusted(numbers->width() + 2, 0, 0, 0)));
    }

    void gridShowsRowsAndDoubleClickDeletesTheCurrentFile() {
        Rig rig;
        ShowListing(rig, {{"1", "первый.m0"}, {"2", "второй.z0"}});
        DirectoryGrid& grid = rig.form->Session().Grid;
        TStringGrid* view = rig.form->StringGrid1;
        QCOMPARE(view->model()->rowCount(), 3);
        QCOMPARE(view->model()->index(1, 1).data(), QVariant(QStringLiteral("второй.z0")));
        QCOMPARE(view->model()->headerData(1, Qt::Vertical), QVariant(QStringLiteral("2")));

        const QRect cell = view->visualRect(view->model()->index(1, 2));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(grid.CurrentRow(), 2);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        const auto& queue = rig.form->Session().Link.Queue();
        QVERIFY(!queue.empty());
        QCOMPARE(queue.front().Command, cmDeleteFile);
        QCOMPARE(queue.front().Payload[0], 1);  // entry index of row 2
    }

    // Rows 1 and 2 are read (row 2 without a name), row 3 not yet, row 4
    // is the free space; row 1 is current before the double click.
    void gridDoubleClickDeletesOnlyAListedFile_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("row");  // grid row, for the body and the number column
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("deleted");  // entry index, -1: nothing
        QTest::newRow("listed file") << "body" << 2 << int(Qt::LeftButton) << 1;
        QTest::newRow("title row") << "titles" << 0 << int(Qt::LeftButton) << -1;
        QTest::newRow("title of the numbers") << "corner" << 0 << int(Qt::LeftButton) << -1;
        QTest::newRow("number column") << "numbers" << 2 << int(Qt::LeftButton) << -1;
        QTest::newRow("blank area") << "blank" << 0 << int(Qt::LeftButton) << -1;
        QTest::newRow("row not read") << "body" << 3 << int(Qt::LeftButton) << -1;
        QTest::newRow("free-space row") << "body" << 4 << int(Qt::LeftButton) << -1;
    }
    void gridDoubleClickDeletesOnlyAListedFile() {
        QFETCH(QString, where);
        QFETCH(int, row);
        QFETCH(int, button);
        QFETCH(int, deleted);
        Rig rig;
        ShowListing(rig, {{"1", "первый.m0"}, {"2", ""}, {"", ""}});
        DirectoryGrid& grid = rig.form->Session().Grid;
        TStringGrid* view = rig.form->StringGrid1;
        view->setCurrentIndex(view->model()->index(0, 1));
        QCOMPARE(grid.CurrentRow(), 1);
        rig.port->journal->clear();

        QWidget* target = view->viewport();
        QPoint point;
        QHeaderView* numbers = view->verticalHeader();
        if (where == "body") {
            point = view->visualRect(view->model()->index(row - 1, 1)).center();
        } else if (where == "titles") {
            target = view->horizontalHeader()->viewport();
            point = QPoint(view->horizontalHeader()->sectionViewportPosition(1) + 20, 8);
        } else if (where == "corner") {
            target = view;
            point = QPoint(view->frameWidth() + 5, view->frameWidth() + 5);
            QVERIFY(view->childAt(point) != nullptr);  // the title label lies there
        } else if (where == "numbers") {
            target = numbers->viewport();
            point = QPoint(numbers->width() / 2, numbers->sectionViewportPosition(row - 1) + 8);
        } else {
            point = QPoint(100, view->viewport()->height() - 5);
        }
        // Through the window, as the platform delivers a real double click
        // to whatever widget lies under the point.
        QTest::mouseDClick(rig.form->windowHandle(), static_cast<Qt::MouseButton>(button), {},
                           target->mapTo(rig.form.get(), point));

        const auto& queue = rig.form->Session().Link.Queue();
        if (deleted < 0) {
            QVERIFY(queue.empty());
            QVERIFY(rig.port->journal->empty());  // the link was not even opened
            return;
        }
        QCOMPARE(grid.CurrentRow(), deleted + 1);
        QVERIFY(!queue.empty());
        QCOMPARE(queue.front().Command, cmDeleteFile);
        QCOMPARE(queue.front().Payload[0], deleted);
        QVERIFY(reported_.isEmpty());
    }

    // While a firmware run is queued, closing the window asks first, through
    // the real box; other batches are not asked about.
    void firmwareRunIsNotCutOffUnasked_data() {
        QTest::addColumn<bool>("run");  // else only a refresh is queued
        QTest::addColumn<int>("answer");
        QTest::newRow("run, No") << true << int(QMessageBox::No);
        QTest::newRow("run, Yes") << true << int(QMessageBox::Yes);
        QTest::newRow("no run") << false << int(QMessageBox::No);
    }
    void firmwareRunIsNotCutOffUnasked() {
        QFETCH(bool, run);
        QFETCH(int, answer);
        testing::FormsRig<FakeWindowPort> rig;
        TForm1& form = *rig.form1;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        ConsoleLink& link = form.Session().Link;
        link.ClearCommands();  // the start-up listing
        link.ActivateComm();
        const std::array<std::uint8_t, 35> block{};
        if (run) {
            link.AddCommand(cmProgramFlash, block.data(), 36);
            link.AddCommand(cmVerifyFlash, block.data(), 36);
        }
        form.Session().Listing.RefreshDirectory();
        const std::size_t queued = link.Queue().size();
        form.Form().Display().SetStatus("было");

        ModalResponder responder(static_cast<QMessageBox::StandardButton>(answer), *rig.form2);
        form.close();

        const bool abandoned = run && answer == QMessageBox::Yes;
        QCOMPARE(responder.questions,
                 run ? QStringList{QStringLiteral(
                           "Идет запись основной программы!\n\rПрервать операцию?")}
                     : QStringList{});
        QCOMPARE(link.Queue().size(), abandoned ? std::size_t{0} : queued);
        QCOMPARE(form.StatusText(), abandoned ? QStringLiteral("Запись основной программы прервана")
                                              : QStringLiteral("было"));
        QCOMPARE(rig.port->port.open, !abandoned);
        QCOMPARE(form.isVisible(), run && !abandoned);
        QVERIFY(reported_.isEmpty());
    }

    void destructionClosesAnOpenPort() {
        std::shared_ptr<Journal> journal;
        {
            Rig rig;
            journal = rig.port->journal;
            rig.port->port.open = true;
            journal->clear();
        }
        QCOMPARE(*journal, Journal{"close"});
    }

    void topLevelHandlerShowsTheMessageAndGoesOn() {
        FailingObject failing;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&failing, &event);
        QCOMPARE(reported_, QStringList{QStringLiteral("Ошибка в обработчике")});
        // The event loop still runs.
        bool ran = false;
        QTimer::singleShot(0, [&ran] { ran = true; });
        QTRY_VERIFY_WITH_TIMEOUT(ran, 5000);
    }

    void guardedSignalHandlerReportsItsError() {
        QTimer timer;
        timer.setSingleShot(true);
        int calls = 0;
        QObject::connect(&timer, &QTimer::timeout, &timer, Guarded([&calls] {
            ++calls;
            throw std::runtime_error("Файл не найден");
        }));
        timer.start(0);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
        QCOMPARE(reported_, QStringList{QStringLiteral("Файл не найден")});
    }

    void nameFiltersAreQtFilters() {
        QCOMPARE(NameFilters("Известные типы|*.kts;*.m0|Все файлы|*.*"),
                 (QStringList{QStringLiteral("Известные типы (*.kts *.m0)"),
                              QStringLiteral("Все файлы (*.*)")}));
    }

    void warningBoxAsksWithYesAsDefault_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("no") << int(QMessageBox::No) << false;
        QTest::newRow("enter") << -1 << true;
        QTest::newRow("escape") << -2 << false;
    }
    void warningBoxAsksWithYesAsDefault() {
        QFETCH(int, answer);
        QFETCH(bool, confirmed);
        Rig rig;
        QString caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            caption = box->windowTitle();
            icon = box->icon();
            if (answer == -1)
                QTest::keyClick(box, Qt::Key_Return);
            else if (answer == -2)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(static_cast<QMessageBox::StandardButton>(answer))->click();
        });
        QCOMPARE(rig.form->Dialogs().ConfirmWarning("Подтвердите операцию"), confirmed);
        QCOMPARE(caption, QStringLiteral("Warning"));
        QCOMPARE(icon, QMessageBox::Warning);
    }

    void clearButtonAsksBeforeClearing_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void clearButtonAsksBeforeClearing() {
        QFETCH(bool, yes);
        Rig rig;
        rig.form->show();
        rig.form->Session().Link.ClearCommands();  // the start-up listing
        QString text;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(
                qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr, 5000);
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            text = box->text();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QTest::mouseClick(rig.form->ToolButton6, Qt::LeftButton);
        QVERIFY(text.startsWith(QStringLiteral("Вы собираетесь удалить все файлы")));
        const auto& queue = rig.form->Session().Link.Queue();
        QCOMPARE(queue.size(), yes ? std::size_t{1} : std::size_t{0});
        if (yes) QCOMPARE(queue.front().Command, cmClearAll);
        QCOMPARE(rig.port->port.open, yes);
    }

  private:
    QStringList reported_;
};

int main(int argc, char** argv) {
    // Settings go to a directory of this run, never the user's own.
    QTemporaryDir config;
    if (!config.isValid()) return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    TApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
