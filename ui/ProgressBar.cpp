#include "ui/ProgressBar.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QStyle>
#include <QStylePainter>
#include <algorithm>

namespace vemkard {
namespace {

// Fusion draws the end of the filled part over a few pixels either side of
// the end's position (rounded corners, shading lines, antialiasing).
constexpr int kEndMargin = 6;
// Glyphs may reach past their advance (antialiasing, overhangs).
constexpr int kTextMargin = 4;

}  // namespace

TProgressBar::TProgressBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TProgressBar::setRange(int minimum, int maximum) {
    maximum = std::max(minimum, maximum);
    if (minimum == minimum_ && maximum == maximum_) return;
    minimum_ = minimum;
    maximum_ = maximum;
    value_ = std::clamp(value_, minimum_, maximum_);
    update();
}

void TProgressBar::setValue(int value) {
    if (value == value_ || value < minimum_ || value > maximum_) return;
    const int from = value_;
    value_ = value;
    update(MovedStrip(from, value));
}

void TProgressBar::setFormat(const QString& text) {
    if (text == text_) return;
    if (!textVisible_) {
        text_ = text;
        return;
    }
    const QRect before = Layout().textArea;
    text_ = text;
    update(before | Layout().textArea);
}

void TProgressBar::setTextVisible(bool visible) {
    if (visible == textVisible_) return;
    textVisible_ = visible;
    update();
}

void TProgressBar::setAlignment(Qt::Alignment alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    update();
}

QSize TProgressBar::sizeHint() const {
    // QProgressBar's: seven chunks and four digits.
    const QStyleOptionProgressBar option = Option();
    const QFontMetrics metrics(font());
    const int chunk =
        std::max(9, style()->pixelMetric(QStyle::PM_ProgressBarChunkWidth, &option, this));
    const QSize size(chunk * 7 + metrics.horizontalAdvance(QLatin1Char('0')) * 4,
                     metrics.height() + 8);
    return style()->sizeFromContents(QStyle::CT_ProgressBar, &option, size, this);
}

void TProgressBar::paintEvent(QPaintEvent* event) {
    QStyleOptionProgressBar option = Option();
    // A strip clear of the text has no pixel of it: the style would only
    // lay the text out for nothing.
    if (option.textVisible && !event->rect().intersects(Layout().textArea))
        option.textVisible = false;
    // Drawn whole; the painter keeps to the region that needs it.
    QStylePainter painter(this);
    painter.drawControl(QStyle::CE_ProgressBar, option);
}

void TProgressBar::changeEvent(QEvent* event) {
    // A new style, font or direction lays the bar out anew.
    layout_.reset();
    QWidget::changeEvent(event);
}

QStyleOptionProgressBar TProgressBar::Option() const {
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.state |= QStyle::State_Horizontal;
    option.minimum = minimum_;
    option.maximum = maximum_;
    option.progress = value_;
    option.textAlignment = alignment_;
    option.textVisible = textVisible_;
    option.text = text_;
    return option;
}

const TProgressBar::TLayout& TProgressBar::Layout() const {
    if (layout_ && layout_->size == size() && layout_->text == text_ &&
        layout_->textVisible == textVisible_ && layout_->alignment == alignment_)
        return *layout_;
    TLayout& layout = layout_.emplace();
    layout.size = size();
    layout.text = text_;
    layout.textVisible = textVisible_;
    layout.alignment = alignment_;
    // Other styles may draw the whole bar from its value, for example the
    // text in another colour once the bar passes its middle.
    layout.local = style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0 &&
                   layoutDirection() == Qt::LeftToRight;
    const QStyleOptionProgressBar option = Option();
    layout.contents = style()->subElementRect(QStyle::SE_ProgressBarContents, &option, this);
    layout.label = style()->subElementRect(QStyle::SE_ProgressBarLabel, &option, this);
    if (!layout.local || !(alignment_ & Qt::AlignHCenter)) {
        layout.textArea = rect();
    } else if (!text_.isEmpty()) {
        const QRect text = QFontMetrics(font()).boundingRect(
            layout.label, Qt::AlignCenter | Qt::TextSingleLine, text_);
        layout.textArea = QRect(QPoint(text.left() - kTextMargin, 0),
                                QPoint(text.right() + kTextMargin, height() - 1));
    }
    return layout;
}

QRect TProgressBar::MovedStrip(int from, int to) const {
    const TLayout& layout = Layout();
    // An empty or a full bar is drawn differently along its whole length.
    if (!layout.local || from <= minimum_ || to <= minimum_ || from >= maximum_ ||
        to >= maximum_)
        return rect();
    const qint64 steps = std::max<qint64>(1, qint64(maximum_) - minimum_);
    int left = width();
    int right = 0;
    for (const QRect& area : {layout.contents, layout.label}) {
        for (const int value : {from, to}) {
            const int x = area.left() + int((qint64(value) - minimum_) * area.width() / steps);
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    return QRect(QPoint(left - kEndMargin, 0), QPoint(right + kEndMargin, height() - 1));
}

}  // namespace vemkard
