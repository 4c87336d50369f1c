#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <optional>

#include "ui/Application.h"
#include "ui/SettingsDialog.h"
#include "ui/ToolImages.h"

namespace vemkard {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void Fill(QWidget* widget, TColour colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Colour(colour));
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
    for (const char* name : {kWindowFontName.data(), "DejaVu Sans Condensed",
                             "Liberation Sans Narrow", "Liberation Sans", "DejaVu Sans"}) {
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

QColor Colour(TColour colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

QRect Rect(const TRect& rect) {
    return QRect(rect.left, rect.top, rect.width, rect.height);
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
      dialogs_(this),
      form_(*comm321_, {*this, *this, timer1_, displayTimer_, dialogs_}) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(FromUtf8(form_.Title()));
    // A fixed dialog border with a close box only.
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(kForm1Width, kForm1Height);
    setFont(WindowFont());
    Fill(this, kWindowColour);
    // Controls without a hint of their own show the enclosing one's: Qt
    // passes an unanswered tool tip request on to the parent widget.
    setToolTip(FromUtf8(OwnHint("Form1")));

    ImageList1 = MakeImageList1();
    BuildToolBar();

    StringGrid1 = new TStringGrid(form_.Session().Grid, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setFont(WindowFont(true));
    StringGrid1->horizontalHeader()->setFont(WindowFont(true));
    StringGrid1->verticalHeader()->setFont(WindowFont(true));
    StringGrid1->setToolTip(FromUtf8(OwnHint("StringGrid1")));
    StringGrid1->setStyleSheet(
        QStringLiteral("QTableView { background-color: rgb(255,255,213); border: 1px solid black;"
                       " gridline-color: #808080; }"
                       "QHeaderView { background-color: rgb(255,255,213); }"
                       "QHeaderView::section, QLabel { background-color: rgb(255,213,213);"
                       " border: 0px; border-right: 1px solid #808080;"
                       " border-bottom: 1px solid #808080; padding-left: 2px; }"));
    StringGrid1->OnDblClick = [this](int row) {
        RunGuarded(TApplication::ErrorBox(), [this, row] { form_.StringGrid1DblClick(row); });
    };
    form_.Grid().SetView(&StringGrid1->Model());

    BuildBottom();
    comm321_->SetReceiveHandler([this](const void* buffer, std::uint16_t length) {
        form_.Comm321ReceiveData(buffer, length);
    });
}

TForm1::~TForm1() {
    // The dialog goes first and saves while the device buttons still exist.
    delete form2_;
    form_.FormDestroy();
    // The form's grid goes before the children would.
    form_.Grid().SetView(nullptr);
    delete StringGrid1;
    StringGrid1 = nullptr;
}

void TForm1::BuildToolBar() {
    auto* bar = new QFrame(this);
    ToolBar1 = bar;
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setFrameShape(QFrame::Panel);
    bar->setFrameShadow(QFrame::Raised);
    bar->setGeometry(Rect(kToolBar1Rect));
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
            connect(button, &QToolButton::clicked, this,
                    Guarded([this, id = item.id] { form_.ToolClick(id); }));
            widget = button;
        }
        widget->setObjectName(QString::fromLatin1(item.name));
        widget->setGeometry(item.left, kToolButtonTop, item.width, kToolButtonHeight);
    }
    ToolButton12 = Button(TToolId::ToolButton12);
    ToolButton13 = Button(TToolId::ToolButton13);
    ToolButton14 = Button(TToolId::ToolButton14);
    ToolButton1 = Button(TToolId::ToolButton1);
    ToolButton4 = Button(TToolId::ToolButton4);
    ToolButton10 = Button(TToolId::ToolButton10);
    ToolButton6 = Button(TToolId::ToolButton6);
    ToolButton8 = Button(TToolId::ToolButton8);
}

void TForm1::BuildBottom() {
    Label3 = new QLabel(FromUtf8(kLabel3Text), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(WindowFont(true));
    Label3->move(kLabel3Left, kLabel3Top);
    Label3->adjustSize();

    ProgressBar1 = new TProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(Rect(kProgressBar1Rect));
    ProgressBar1->setTextVisible(false);
    // The time left, when it shows, lies over the bar and takes none of it.
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setRange(0, form_.Display().ShownMaximum());
    ProgressBar1->setValue(0);

    Label4 = new QLabel(FromUtf8(kLabel4Initial), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(WindowFont(true));
    Label4->move(kLabel4Left, kLabel4Top);
    Label4->adjustSize();
    // The room up to the window's edge, once: a label that sized itself to
    // every new count repainted the window behind it each time.
    Label4->resize(kForm1Width - Label4->x(), Label4->height());

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(Rect(kStatusBar1Rect));
    StatusBar1->setStyleSheet(QStringLiteral("QStatusBar::item { border: 0px; }"));
    Fill(StatusBar1, kBarColour);
    statusPanel_ = new QLabel(StatusBar1);
    statusPanel_->setObjectName(QStringLiteral("StatusPanel"));
    statusPanel_->setFrameShape(QFrame::Panel);
    statusPanel_->setFrameShadow(QFrame::Sunken);
    StatusBar1->addWidget(statusPanel_, 1);
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
    form_.FormShow();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    form_.FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!form_.FormCloseQuery()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm1::SetTitle(std::string_view title) {
    setWindowTitle(FromUtf8(title));
}

void TForm1::SetDeviceButton(TToolId button, bool down, bool enabled) {
    TToolButton* widget = Button(button);
    widget->SetDown(down);
    widget->setEnabled(enabled);
}

void TForm1::PlaceGrid(const TRect& rect) {
    StringGrid1->setGeometry(Rect(rect));
}

void TForm1::SetColumnWidth(int column, int width) {
    StringGrid1->SetColWidth(column, width);
}

bool TForm1::ShowSettings() {
    return form2_ && form2_->exec() == QDialog::Accepted;
}

void TForm1::ShowStatus(std::string_view text) {
    statusPanel_->setText(FromUtf8(text));
}

void TForm1::ShowProgressMaximum(int maximum) {
    ProgressBar1->setRange(0, maximum);
}

void TForm1::ShowProgressPosition(int position) {
    ProgressBar1->setValue(position);
}

void TForm1::ShowTimeLeft(std::string_view text) {
    ProgressBar1->setFormat(FromUtf8(text));
    ProgressBar1->setTextVisible(!text.empty());
}

void TForm1::ShowCounter(std::string_view text) {
    Label4->setText(FromUtf8(text));
}

QString TForm1::StatusText() const {
    return statusPanel_->text();
}

}  // namespace vemkard
