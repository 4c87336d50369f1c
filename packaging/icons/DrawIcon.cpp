// Draws the application icon into a hicolor tree: <dir>/NxN/apps/vemkard.png
// for each size and <dir>/scalable/apps/vemkard.svg. The picture is the tool
// bar's console badge. It is kept as a list of flat shapes, so that the PNGs
// and the SVG come from one drawing and the SVG needs no font.
//   vemkard-draw-icon <hicolor dir>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// Below this the picture is laid out on whole pixels; above it, drawn on a
// 64-unit grid and scaled.
constexpr int kLargeFrom = 32;
constexpr double kGrid = 64;

const QColor kBadge(30, 90, 170);  // the tool bar's console badge
const QColor kShell(215, 215, 215);
const QColor kShellEdge(70, 70, 80);

struct Shape {
    QPainterPath path;
    QColor fill;
    QColor stroke;  // no stroke when invalid
    double width = 0;
};

using Drawing = std::vector<Shape>;

QPainterPath RoundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// The letters as outlines, centred on `centre` to the nearest whole unit, which
// keeps their stems sharp at the small sizes.
QPainterPath Letters(const QString& text, double pixelSize, QPointF centre) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(pixelSize));
    font.setBold(true);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF box = path.boundingRect();
    const QPointF shift = centre - box.center();
    path.translate(std::round(shift.x()), std::round(shift.y()));
    return path;
}

// Sizes below kLargeFrom: the badge alone, its frame on pixel centres.
Drawing SmallIcon(int size) {
    const double height = std::round(size * 11.0 / 16.0);
    const double top = std::floor((size - height) / 2);
    const QRectF body(0.5, top + 0.5, size - 1, height - 1);
    return {
        {RoundedRect(body, size / 8.0), kBadge, kBadge.darker(160), 1},
        {Letters(QStringLiteral("ВМ"), size / 2.0, body.center()), Qt::white, {}, 0},
    };
}

// The badge as the console's front with its serial socket below the letters.
Drawing LargeIcon() {
    Drawing drawing = {
        {RoundedRect(QRectF(3, 7, 58, 50), 7), kBadge, kBadge.darker(160), 2},
        {Letters(QStringLiteral("ВМ"), 26, QPointF(32, 23)), Qt::white, {}, 0},
    };
    QPainterPath shell;
    shell.addPolygon(
        QPolygonF({QPointF(16, 37), QPointF(48, 37), QPointF(44.5, 51), QPointF(19.5, 51)}));
    shell.closeSubpath();
    drawing.push_back({shell, kShell, kShellEdge, 2});
    QPainterPath pins;
    for (int i = 0; i < 5; ++i) pins.addEllipse(QPointF(22 + 5 * i, 41.5), 1.7, 1.7);
    for (int i = 0; i < 4; ++i) pins.addEllipse(QPointF(24.5 + 5 * i, 46.5), 1.7, 1.7);
    drawing.push_back({pins, kShellEdge, {}, 0});
    return drawing;
}

QImage Paint(const Drawing& drawing, int size, double scale) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    for (const Shape& shape : drawing) {
        p.setPen(shape.stroke.isValid() ? QPen(shape.stroke, shape.width) : QPen(Qt::NoPen));
        p.setBrush(shape.fill);
        p.drawPath(shape.path);
    }
    return image;
}

QString Number(double value) {
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith('0')) text.chop(1);
    if (text.endsWith('.')) text.chop(1);
    return text == QStringLiteral("-0") ? QStringLiteral("0") : text;
}

QString PathData(const QPainterPath& path) {
    QStringList parts;
    QPointF start;
    auto point = [](const QPainterPath::Element& e) { return Number(e.x) + ' ' + Number(e.y); };
    auto closeIfBack = [&](int last) {
        if (last >= 0 && QPointF(path.elementAt(last)) == start) parts << QStringLiteral("Z");
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            closeIfBack(i - 1);
            start = e;
            parts << 'M' + point(e);
        } else if (e.isLineTo()) {
            parts << 'L' + point(e);
        } else if (e.isCurveTo()) {
            parts << 'C' + point(e) + ' ' + point(path.elementAt(i + 1)) + ' ' +
                         point(path.elementAt(i + 2));
            i += 2;
        }
    }
    closeIfBack(path.elementCount() - 1);
    return parts.join(' ');
}

QString Svg(const Drawing& drawing) {
    QString svg;
    QTextStream out(&svg);
    const QString grid = Number(kGrid);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << grid << "\" height=\"" << grid
        << "\" viewBox=\"0 0 " << grid << ' ' << grid << "\">\n";
    for (const Shape& shape : drawing) {
        out << "<path d=\"" << PathData(shape.path) << "\" fill=\"" << shape.fill.name() << '"';
        if (shape.path.fillRule() == Qt::OddEvenFill) out << " fill-rule=\"evenodd\"";
        if (shape.stroke.isValid()) {
            out << " stroke=\"" << shape.stroke.name() << "\" stroke-width=\""
                << Number(shape.width) << '"';
        }
        out << "/>\n";
    }
    out << "</svg>\n";
    return svg;
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vemkard-draw-icon <hicolor dir>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const Drawing large = LargeIcon();
    for (int size : kSizes) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QImage image =
            size < kLargeFrom ? Paint(SmallIcon(size), size, 1) : Paint(large, size, size / kGrid);
        if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/vemkard.png"), "PNG")) {
            std::fprintf(stderr, "vemkard-draw-icon: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    const QString svg = root + QStringLiteral("/scalable/apps/vemkard.svg");
    if (!Write(svg, Svg(large).toUtf8())) {
        std::fprintf(stderr, "vemkard-draw-icon: cannot write %s\n", qPrintable(svg));
        return 1;
    }
    return 0;
}
