#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <cstdint>
#include <optional>

#include "ui/Application.h"
#include "ui/SettingsDialog.h"
#include "ui/ToolImages.h"

namespace vemkard {
namespace {

const QColor kWindowColour(255, 255, 213);
const QColor kBarColour(213, 213, 255);
const QColor kFixedCellColour(255, 213, 213);

constexpr int kToolBarHeight = 28;
constexpr int kButtonTop = 2;
constexpr int kButtonHeight = 22;
constexpr int kStatusBarHeight = 19;
// Column widths in per cent of the grid's outer width; they add up to 99.
constexpr std::array<int, kGridColumns> kColumnPercent{4, 50, 38, 7};

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void Fill(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

namespace {

// The window's font at the original's size, regular.
QFont FontOf(const QString& family, int stretch = 100) {
    QFont font;
    font.setFamilies({family});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kWindowFontPixels);
    font.setStretch(stretch);
    return font;
}

int SizeTextWidth(QFont font) {
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(FromUtf8(kWidestSizeText));
}

// "MS Sans Serif" where it is installed; otherwise the first stand-in that is
// as narrow: the original fits the widest size into the grid's size column,
// so a stand-in must too. Where none is, the first one there, condensed.
QFont ChooseWindowFont() {
    const QStringList families = QFontDatabase::families();
    std::optional<QFont> first;
    for (const char* name : {"MS Sans Serif", "DejaVu Sans Condensed", "Liberation Sans Narrow",
                             "Liberation Sans", "DejaVu Sans"}) {
        const QString family = QString::fromLatin1(name);
        if (!families.contains(family, Qt::CaseInsensitive)) continue;
        const QFont font = FontOf(family);
        if (SizeTextWidth(font) <= kSizeColumnTextRoom) return font;
        if (!first) first = font;
    }
    const QFont font = first.value_or(FontOf(QFont().defaultFamily()));
    const int stretch = 100 * kSizeColumnTextRoom / SizeTextWidth(font);
    return FontOf(font.families().value(0), std::max(stretch, 50));
}

}  // namespace

QFont WindowFont(bool bold) {
    static const QFont chosen = ChooseWindowFont();
    QFont font = chosen;
    font.setBold(bold);
    return font;
}

void CentreOnScreen(QWidget& window) {
    const QScreen* display = window.screen();
    if (!display) return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(display->geometry().center());
    window.move(frame.topLeft());
}

TForm1::TForm1(std::unique_ptr<IWindowPort> port, QWidget* parent)
    : QWidget(parent),
      comm321_(std::move(port)),
      timer1_([this] { session_.Link.Timer1Timer(); }),
      dialogs_(this),
      session_(comm321_->Link(), *this, timer1_, sleeper_, dialogs_,
               [this] { return PortName(); }) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(FromUtf8(kTitleInitial));
    // A fixed dialog border with a close box only.
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(kForm1Width, kForm1Height);
    setFont(WindowFont());
    Fill(this, kWindowColour);
    // Controls without a hint of their own show this one: Qt passes an
    // unanswered tool tip request on to the parent widget.
    setToolTip(FromUtf8(kHintForm1));

    ImageList1 = MakeImageList1();
    BuildToolBar();

    StringGrid1 = new TStringGrid(session_.Grid, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setFont(WindowFont(true));
    StringGrid1->horizontalHeader()->setFont(WindowFont(true));
    StringGrid1->verticalHeader()->setFont(WindowFont(true));
    StringGrid1->setToolTip(FromUtf8(kHintGrid));
    StringGrid1->setStyleSheet(
        QStringLiteral("QTableView { background-color: rgb(255,255,213); border: 1px solid black;"
                       " gridline-color: #808080; }"
                       "QHeaderView { background-color: rgb(255,255,213); }"
                       "QHeaderView::section, QLabel { background-color: rgb(255,213,213);"
                       " border: 0px; border-right: 1px solid #808080;"
                       " border-bottom: 1px solid #808080; padding-left: 2px; }"));
    StringGrid1->OnDblClick = Guarded([this] { session_.Removal.StringGrid1DblClick(); });
    // The rows a listing fills are drawn with the rest of the display.
    StringGrid1->Model().HoldChanges = [this] { return receiving_ > 0; };
    StringGrid1->Model().OnHeld = [this] { displayPending_ = true; };

    BuildBottom();
    wanted_.maximum = ProgressBar1->maximum();
    displayTimer_.setSingleShot(true);
    connect(&displayTimer_, &QTimer::timeout, this, [this] { ShowQueueDisplayPaced(); });
    comm321_->SetReceiveHandler([this](const void* buffer, std::uint16_t length) {
        // Every reply changes the display; shown reply by reply, they cost
        // more than the transfer itself.
        struct TReceiving {
            int& depth;
            explicit TReceiving(int& d) : depth(d) { ++depth; }
            ~TReceiving() { --depth; }
        };
        {
            const TReceiving receiving(receiving_);
            session_.Link.Comm321ReceiveData(buffer, length);
        }
        if (receiving_ == 0 && displayPending_) ShowQueueDisplayPaced();
    });
}

TForm1::~TForm1() {
    // The dialog goes first and saves while the device buttons still exist.
    delete form2_;
    timer1_.Disable();
    // The port's threads post to this window; stop them while it still exists.
    if (comm321_->Link().PortOpen()) comm321_->Link().ClosePort();
    // The grid's model observes the session's grid, which goes before the
    // children would.
    delete StringGrid1;
    StringGrid1 = nullptr;
}

void TForm1::BuildToolBar() {
    auto* bar = new QFrame(this);
    ToolBar1 = bar;
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setFrameShape(QFrame::Panel);
    bar->setFrameShadow(QFrame::Raised);
    bar->setGeometry(0, 0, kForm1Width, kToolBarHeight);
    Fill(bar, kBarColour);

    for (const TToolItem& item : kToolItems) {
        QWidget* widget = nullptr;
        if (item.image < 0) {
            widget = new QWidget(bar);
        } else {
            auto* button = new TToolButton(bar);
            button->setIcon(QIcon(ImageList1.value(item.image)));
            button->setIconSize(QSize(kImageSize, kImageSize));
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);
            button->setFocusPolicy(Qt::NoFocus);
            if (*item.hint != '\0') button->setToolTip(QString::fromUtf8(item.hint));
            widget = button;
        }
        widget->setObjectName(QString::fromLatin1(item.name));
        widget->setGeometry(item.left, kButtonTop, item.width, kButtonHeight);
    }
    auto button = [this](const char* name) { return static_cast<TToolButton*>(ToolItem(name)); };
    ToolButton12 = button("ToolButton12");
    ToolButton13 = button("ToolButton13");
    ToolButton14 = button("ToolButton14");
    ToolButton1 = button("ToolButton1");
    ToolButton4 = button("ToolButton4");
    ToolButton10 = button("ToolButton10");
    ToolButton6 = button("ToolButton6");
    ToolButton8 = button("ToolButton8");

    for (TToolButton* device : {ToolButton12, ToolButton13, ToolButton14})
        connect(device, &QToolButton::clicked, this,
                Guarded([this, device] { ToolButton12Click(device); }));
    connect(ToolButton1, &QToolButton::clicked, this, Guarded([this] { ToolButton1Click(); }));
    connect(ToolButton4, &QToolButton::clicked, this, Guarded([this] { ToolButton4Click(); }));
    connect(ToolButton10, &QToolButton::clicked, this,
            Guarded([this] { session_.Firmware.ToolButton10Click(); }));
    connect(ToolButton6, &QToolButton::clicked, this,
            Guarded([this] { session_.Removal.ToolButton6Click(); }));
    connect(ToolButton8, &QToolButton::clicked, this,
            Guarded([this] { session_.Upload.ToolButton8Click(); }));
}

void TForm1::BuildBottom() {
    Label3 = new QLabel(QStringLiteral("Очередь команд:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(WindowFont(true));
    Label3->move(8, 464);
    Label3->adjustSize();

    ProgressBar1 = new TProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(120, 464, 577, 16);
    ProgressBar1->setTextVisible(false);
    // The time left, when it shows, lies over the bar and takes none of it.
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    Label4 = new QLabel(QStringLiteral("0"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(WindowFont(true));
    Label4->move(704, 464);
    Label4->adjustSize();
    // The room up to the window's edge, once: a label that sized itself to
    // every new count repainted the window behind it each time.
    Label4->resize(kForm1Width - Label4->x(), Label4->height());

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, kForm1Height - kStatusBarHeight, kForm1Width, kStatusBarHeight);
    StatusBar1->setStyleSheet(QStringLiteral("QStatusBar::item { border: 0px; }"));
    Fill(StatusBar1, kBarColour);
    statusPanel_ = new QLabel(StatusBar1);
    statusPanel_->setObjectName(QStringLiteral("StatusPanel"));
    statusPanel_->setFrameShape(QFrame::Panel);
    statusPanel_->setFrameShadow(QFrame::Sunken);
    StatusBar1->addWidget(statusPanel_, 1);
}

std::string TForm1::PortName() const {
    return form2_ ? form2_->PortName() : std::string();
}

QWidget* TForm1::ToolItem(const char* name) const {
    return ToolBar1->findChild<QWidget*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous() || shown_) return;
    shown_ = true;
    // The status line's panel keeps the place its bar gave it: at a fixed
    // size a new text needs no layout pass of the bar.
    statusPanel_->setFixedSize(statusPanel_->size());
    CentreOnScreen(*this);
    FormShow();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!session_.Firmware.ConfirmAbandonRun()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm1::FormShow() {
    FormResize();
    // Start-up failures are already on the status line; nothing else to say.
    try {
        session_.Link.ActivateComm();
        session_.Listing.RefreshDirectory();
    } catch (...) {
    }
}

void TForm1::FormResize() {
    const int top = ToolBar1->y() + ToolBar1->height() + 1;
    const int bottom = ProgressBar1->y() - 1;
    StringGrid1->setGeometry(0, top, width(), bottom - top);
    for (int i = 0; i < kGridColumns; ++i) {
        StringGrid1->SetColWidth(i, StringGrid1->width() * kColumnPercent[i] / 100);
        session_.Grid.SetCell(0, i, std::string(kGridTitles[i]));
    }
}

void TForm1::ToolButton12Click(TToolButton* sender) {
    // Another speed would cut a firmware run off halfway.
    if (!session_.Firmware.ConfirmAbandonRun()) return;
    struct TDevice {
        TToolButton* button;
        std::uint32_t baudRate;
    };
    const std::array<TDevice, 3> devices{
        {{ToolButton12, 1000000}, {ToolButton13, 19200}, {ToolButton14, 9600}}};
    for (const TDevice& device : devices) {
        if (device.button != sender || sender->Down()) continue;
        for (const TDevice& other : devices) {
            other.button->SetDown(other.button == sender);
            other.button->setEnabled(other.button != sender);
        }
        comm321_->SetBaudRate(device.baudRate);
    }
    setWindowTitle(sender->toolTip() + FromUtf8(kTitleSuffix));
    // Re-open at the new speed; a failed open goes to the top-level handler.
    ISerialLink& port = comm321_->Link();
    if (port.PortOpen()) {
        port.ClosePort();
        port.OpenPort();
    }
}

void TForm1::ToolButton1Click() {
    // The dialog closes the port, which would cut a firmware run off.
    if (!session_.Firmware.ConfirmAbandonRun()) return;
    if (form2_ && form2_->exec() == QDialog::Accepted) SetStatus(kTextSettingsSaved);
}

void TForm1::ToolButton4Click() {
    session_.Listing.ToolButton4Click();
}

void TForm1::SetStatus(std::string_view text) {
    wanted_.status = FromUtf8(text);
    QueueDisplayChanged();
}

void TForm1::SetProgressMaximum(int maximum) {
    // A range of 0..0 would make the style draw a busy indicator; an empty
    // queue shows an empty bar instead.
    wanted_.maximum = std::max(maximum, 1);
    QueueDisplayChanged();
}

void TForm1::SetProgressPosition(int position) {
    wanted_.position = std::clamp(position, 0, wanted_.maximum);
    QueueDisplayChanged();
}

void TForm1::SetQueueCounter(std::string_view text) {
    wanted_.counter = FromUtf8(text);
    // The link shows its counter once the queue has changed: the pace reads
    // the length from the queue, not back from the text.
    pace_.QueueLength(session_.Link.QueueLength(), clock_());
    QueueDisplayChanged();
}

void TForm1::QueueDisplayChanged() {
    if (receiving_ > 0)
        displayPending_ = true;
    else
        ShowQueueDisplay();
}

void TForm1::ShowQueueDisplayPaced() {
    if (!displayPending_) return;
    const auto since = clock_() - lastShown_;
    const auto interval = std::chrono::milliseconds(kQueueDisplayIntervalMs);
    if (!pace_.Running() || since >= interval) {
        ShowQueueDisplay();
        return;
    }
    if (displayTimer_.isActive()) return;
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(interval - since).count();
    displayTimer_.start(static_cast<int>(std::max<std::int64_t>(rest, 1)));
}

void TForm1::ShowQueueDisplay() {
    displayPending_ = false;
    displayTimer_.stop();
    lastShown_ = clock_();
    // Only what differs from what is shown goes to the widgets.
    if (statusPanel_->text() != wanted_.status) statusPanel_->setText(wanted_.status);
    if (ProgressBar1->maximum() != wanted_.maximum) ProgressBar1->setRange(0, wanted_.maximum);
    if (ProgressBar1->value() != wanted_.position) ProgressBar1->setValue(wanted_.position);
    const QString left = QString::fromStdString(pace_.TimeLeftText());
    if (left.isEmpty() != !ProgressBar1->isTextVisible() || ProgressBar1->format() != left) {
        ProgressBar1->setFormat(left);
        ProgressBar1->setTextVisible(!left.isEmpty());
    }
    if (Label4->text() != wanted_.counter) Label4->setText(wanted_.counter);
    if (StringGrid1) StringGrid1->Model().ShowHeldChanges();
}

QString TForm1::StatusText() const {
    return statusPanel_->text();
}

}  // namespace vemkard
