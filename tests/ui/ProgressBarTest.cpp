// The window's progress bar against QProgressBar: after every change the
// pixels on the screen are the same, although a move repaints only a strip.
#include <QApplication>
#include <QPaintEvent>
#include <QProgressBar>
#include <QScreen>
#include <QStyleFactory>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <memory>

#include "ui/ProgressBar.h"

using vemkard::TProgressBar;

namespace {

struct TStep {
    int maximum;
    int value;
    const char* text;  // nullptr: no text on the bar
};

// What the window shows: its backing store, not a fresh paint of the widget.
QImage Shown(QWidget& window, const QWidget& bar) {
    return window.screen()
        ->grabWindow(window.winId(), bar.x(), bar.y(), bar.width(), bar.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The rectangles that paint events asked of a widget.
class TPaintedAreas : public QObject {
  public:
    explicit TPaintedAreas(QWidget& widget) { widget.installEventFilter(this); }
    int Widest() const { return widest_; }
    void Clear() { widest_ = 0; }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            widest_ = std::max(widest_, static_cast<QPaintEvent*>(event)->rect().width());
        return false;
    }

  private:
    int widest_ = 0;
};

}  // namespace

class ProgressBarTest : public QObject {
    Q_OBJECT

  private slots:
    // Fusion, the style on Linux, draws a move of the bar where it moved;
    // the bar keeps whole repaints for styles it does not know.
    void looksLikeQProgressBarAfterEveryChange_data() {
        QTest::addColumn<QString>("style");
        QTest::newRow("fusion") << QStringLiteral("Fusion");
        QTest::newRow("windows") << QStringLiteral("Windows");
    }
    void looksLikeQProgressBarAfterEveryChange() {
        QFETCH(QString, style);
        const std::unique_ptr<QStyle> drawing(QStyleFactory::create(style));
        QVERIFY(drawing);
        QWidget window;
        window.resize(620, 80);
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, QColor(255, 213, 213));
        window.setPalette(palette);
        TProgressBar bar(&window);
        QProgressBar reference(&window);
        bar.setGeometry(10, 10, 577, 16);
        reference.setGeometry(10, 40, 577, 16);
        for (QWidget* widget : {static_cast<QWidget*>(&bar), static_cast<QWidget*>(&reference)}) {
            widget->setFont(QFont(QStringLiteral("Sans Serif"), 9));
            widget->setStyle(drawing.get());
        }
        bar.setAlignment(Qt::AlignCenter);
        reference.setAlignment(Qt::AlignCenter);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TPaintedAreas painted(bar);

        const TStep steps[] = {
            {4098, 0, nullptr},       {4098, 8, nullptr},       {4098, 16, nullptr},
            {4098, 1000, nullptr},    {4098, 1008, "осталось 1:23"},
            {4098, 1016, "осталось 1:22"}, {4098, 2049, "осталось 10:05"},
            {4098, 2050, "осталось 9:59"}, {4098, 3000, "осталось 9:59"},
            {4098, 10, "осталось 0:01"},   {4098, 4097, "осталось 0:01"},
            {4098, 4098, nullptr},    {257, 8, nullptr},        {257, 26, "осталось 0:06"},
            {257, 44, "осталось 0:05"},    {257, 256, ""},           {257, 0, nullptr},
        };
        for (const TStep& step : steps) {
            const QString text = step.text ? QString::fromUtf8(step.text) : QString();
            bar.setRange(0, step.maximum);
            bar.setValue(step.value);
            bar.setFormat(text);
            bar.setTextVisible(step.text != nullptr);
            reference.setRange(0, step.maximum);
            reference.setValue(step.value);
            reference.setFormat(text);
            reference.setTextVisible(step.text != nullptr);
            // Drawn whole: QProgressBar itself skips moves of a few pixels.
            reference.update();
            QCoreApplication::processEvents();
            QCOMPARE(Shown(window, bar), Shown(window, reference));
        }

        if (style != QStringLiteral("Fusion")) return;
        // Only the strip the bar moved over is drawn again, and the text.
        bar.setRange(0, 4098);
        bar.setValue(1000);
        QCoreApplication::processEvents();
        painted.Clear();
        bar.setValue(1008);
        bar.setValue(1016);
        QCoreApplication::processEvents();
        QVERIFY(painted.Widest() > 0);
        QVERIFY2(painted.Widest() < bar.width() / 20, qPrintable(QString::number(painted.Widest())));
        bar.setTextVisible(true);
        bar.setFormat(QStringLiteral("осталось 2:00"));
        QCoreApplication::processEvents();
        painted.Clear();
        bar.setFormat(QStringLiteral("осталось 1:59"));
        QCoreApplication::processEvents();
        QVERIFY2(painted.Widest() < bar.width() / 4, qPrintable(QString::number(painted.Widest())));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ProgressBarTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ProgressBarTest.moc"
