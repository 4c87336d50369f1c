// Saves the tool bar's images, drawn by MakeImageList1(), as one strip for
// the Windows window's resources: a 32-bit bitmap with straight alpha, the
// images left to right in the image list's order.
//   vemkard-draw-toolbar <out.bmp>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtEndian>
#include <cstdio>

#include "ui/ToolImages.h"

namespace {

template <typename T>
void Put(QByteArray& bytes, T value) {
    const T little = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char*>(&little), sizeof little);
}

// A BITMAPFILEHEADER and a BITMAPINFOHEADER (BI_RGB, 32 bits, bottom-up):
// ARGB32's bytes in memory are the B, G, R, A that the format wants.
QByteArray Bmp(const QImage& image) {
    const quint32 offset = 14 + 40;
    const quint32 size = static_cast<quint32>(image.width() * image.height() * 4);
    QByteArray bytes;
    bytes.append("BM");
    Put<quint32>(bytes, offset + size);
    Put<quint32>(bytes, 0);
    Put<quint32>(bytes, offset);
    Put<quint32>(bytes, 40);
    Put<qint32>(bytes, image.width());
    Put<qint32>(bytes, image.height());
    Put<quint16>(bytes, 1);
    Put<quint16>(bytes, 32);
    Put<quint32>(bytes, 0);  // BI_RGB
    Put<quint32>(bytes, size);
    Put<qint32>(bytes, 3780);  // 96 dpi
    Put<qint32>(bytes, 3780);
    Put<quint32>(bytes, 0);
    Put<quint32>(bytes, 0);
    for (int y = image.height() - 1; y >= 0; --y)
        bytes.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 4);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vemkard-draw-toolbar <out.bmp>\n");
        return 2;
    }
    const QList<QPixmap> images = vemkard::MakeImageList1();
    QImage strip(vemkard::kImageSize * static_cast<int>(images.size()), vemkard::kImageSize,
                 QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int i = 0; i < images.size(); ++i)
        painter.drawPixmap(i * vemkard::kImageSize, 0, images[i]);
    painter.end();
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(Bmp(strip.convertToFormat(QImage::Format_ARGB32))) < 0) {
        std::fprintf(stderr, "vemkard-draw-toolbar: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
