#include "ui/ToolImages.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace vemkard {
namespace {

using Drawing = std::function<void(QPainter&)>;

QImage Draw(const Drawing& drawing) {
    QImage image(kImageSize, kImageSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawing(p);
    return image;
}

// The greyed copy: luminance only, lighter, keeping the shape's alpha.
QImage Greyed(const QImage& source) {
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return image;
}

void Tools(QPainter& p) {
    // Screwdriver.
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawLine(QPointF(3, 13), QPointF(9, 7));
    p.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 6), QPointF(13, 3));
    // Wrench.
    p.setPen(QPen(QColor(90, 90, 110), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(12, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 90, 110));
    p.drawEllipse(QPointF(4, 4), 3, 3);
    p.setBrush(Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawRect(QRectF(2, 2, 2, 2));
}

void Document(QPainter& p) {
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10.5, 1.5);
    page.lineTo(13.5, 4.5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
    p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
    // Lines of text.
    p.setPen(QPen(QColor(70, 110, 200), 1));
    for (double y : {7.5, 9.5, 11.5}) p.drawLine(QPointF(5, y), QPointF(12, y));
}

void Folder(QPainter& p) {
    p.setPen(QPen(QColor(120, 90, 20), 1));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(QRectF(1.5, 4.5, 12, 9));
    p.drawRect(QRectF(1.5, 3.5, 5, 2));
    p.setBrush(QColor(255, 225, 120));
    p.drawPolygon(
        QPolygonF({QPointF(4, 7.5), QPointF(15, 7.5), QPointF(13, 13.5), QPointF(1.5, 13.5)}));
}

void Diskette(QPainter& p) {
    p.setPen(QPen(QColor(20, 20, 60), 1));
    p.setBrush(QColor(50, 60, 150));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(3.5, 9.5, 9, 5));
}

void AddFile(QPainter& p) {
    Document(p);
    p.setPen(QPen(QColor(0, 130, 0), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(1, 9), QPointF(9, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 130, 0));
    p.drawPolygon(QPolygonF({QPointF(12, 9), QPointF(7.5, 5), QPointF(7.5, 13)}));
}

void Brush(QPainter& p) {
    p.setPen(QPen(QColor(140, 80, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13, 2), QPointF(8, 8));
    p.setPen(QPen(QColor(80, 80, 80), 1));
    p.setBrush(QColor(170, 170, 170));
    p.drawPolygon(
        QPolygonF({QPointF(6, 7), QPointF(9.5, 10.5), QPointF(8, 12), QPointF(4.5, 8.5)}));
    p.setBrush(QColor(230, 190, 60));
    p.drawPolygon(QPolygonF(
        {QPointF(4.5, 8.5), QPointF(8, 12), QPointF(4, 15), QPointF(1, 15), QPointF(1, 12)}));
}

void Refresh(QPainter& p) {
    p.setPen(QPen(QColor(0, 100, 180), 2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 100, 180));
    p.drawPolygon(QPolygonF({QPointF(8.5, 0.5), QPointF(13, 3.5), QPointF(8.5, 6.5)}));
}

void Device(QPainter& p) {
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(70, 70, 80));
    p.drawRect(QRectF(3.5, 3.5, 9, 9));
    p.setPen(QPen(QColor(160, 160, 160), 1));
    for (int i = 0; i < 3; ++i) {
        const double at = 5.5 + 2.5 * i;
        p.drawLine(QPointF(at, 1), QPointF(at, 3));
        p.drawLine(QPointF(at, 13), QPointF(at, 15));
        p.drawLine(QPointF(1, at), QPointF(3, at));
        p.drawLine(QPointF(13, at), QPointF(15, at));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 220, 80));
    p.drawEllipse(QPointF(8, 8), 1.5, 1.5);
}

Drawing Badge(QColor colour, const QString& text) {
    return [colour, text](QPainter& p) {
        p.setPen(QPen(colour.darker(160), 1));
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(0.5, 2.5, 15, 11), 2, 2);
        QFont font(QStringLiteral("DejaVu Sans Condensed"));
        font.setPixelSize(8);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 2, 16, 12), Qt::AlignCenter, text);
    };
}

}  // namespace

QList<QPixmap> MakeImageList1() {
    const Drawing pairs[] = {Tools, Folder, Diskette, Document, AddFile, Brush, Refresh, Device};
    QList<QPixmap> images;
    for (const Drawing& drawing : pairs) {
        const QImage image = Draw(drawing);
        images.append(QPixmap::fromImage(image));
        images.append(QPixmap::fromImage(Greyed(image)));
    }
    images.append(QPixmap::fromImage(Draw(Badge(QColor(30, 90, 170), QStringLiteral("ВМ")))));
    images.append(QPixmap::fromImage(Draw(Badge(QColor(170, 60, 30), QStringLiteral("Х6")))));
    return images;
}

}  // namespace vemkard
