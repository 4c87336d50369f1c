// The window's progress bar. The style draws it exactly as it draws a
// QProgressBar, but a move of the bar repaints only the strip it moved over,
// and a new text only where the texts lie: a whole bar costs the style many
// times what the rest of a display update does, and while a batch runs the
// bar moves several times a second.
#pragma once

#include <QString>
#include <QStyleOptionProgressBar>
#include <QWidget>
#include <optional>

namespace vemkard {

class TProgressBar : public QWidget {
  public:
    explicit TProgressBar(QWidget* parent = nullptr);

    // As QProgressBar's: a value outside the range is ignored, a new range
    // brings the value into it.
    void setRange(int minimum, int maximum);
    void setValue(int value);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int value() const { return value_; }

    // The text on the bar, shown as it is given (no "%p" placeholders).
    void setFormat(const QString& text);
    QString format() const { return text_; }
    QString text() const { return text_; }
    void setTextVisible(bool visible);
    bool isTextVisible() const { return textVisible_; }
    void setAlignment(Qt::Alignment alignment);
    Qt::Alignment alignment() const { return alignment_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // What the style lays out for the bar's size and text. The style measures
    // the text for it, which costs more than drawing a strip of the bar, so
    // it is kept until the size, the text or the style change.
    struct TLayout {
        QSize size;
        QString text;
        bool textVisible = false;
        Qt::Alignment alignment;
        // Whether the style is known to draw the bar short of its end, and
        // its text, the same whatever the value.
        bool local = false;
        QRect contents, label;
        QRect textArea;  // where the text lies; the whole bar if not known
    };

    QStyleOptionProgressBar Option() const;
    const TLayout& Layout() const;
    // The part of the bar that differs between `from` and `to`.
    QRect MovedStrip(int from, int to) const;

    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
    QString text_;
    bool textVisible_ = true;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    mutable std::optional<TLayout> layout_;
};

}  // namespace vemkard
