// Draws and synthesises every picture and sound the program ships, so that none of
// them is an opaque binary: resources/ holds this program's output, and the tests
// check that running it again gives the same files (the same bytes, but for
// anti-aliased pixels, which another processor may round one step apart).
//
// Usage: ostrel_make_assets OUTPUT_DIR
//
// Only shapes are drawn (never text), and everything is computed, so the output
// depends on nothing but this file and the Qt/libpng/libjpeg build it runs on.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <variant>
#include <vector>

namespace {

constexpr QRgb Black = 0xff000000;
constexpr QRgb Red = 0xffff0000;
constexpr QRgb Silver = 0xffc0c0c0;
constexpr QRgb Grey = 0xff808080;
constexpr QRgb White = 0xffffffff;
constexpr QRgb NoColour = 0x00000000;

// The Windows 16-colour palette, in its usual order; the small icons are
// quantised to it so they look the same on any display depth.
constexpr std::array<QRgb, 16> Palette = {
    0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080, 0xff008080, 0xffc0c0c0,
    0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00, 0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff,
};

// The stopwatch is laid out on the 32 x 32 grid of the large Windows icon, so that
// icon needs no scaling and the SVG uses the numbers unchanged.
constexpr double Grid = 32.0;
constexpr QPointF CaseCentre{16.0, 18.0};

// A filled circle, a rounded box turned about the case centre, or a straight stroke:
// enough for the stopwatch, and each maps to one SVG element.
struct Disc {
    QPointF centre;
    double radius;
    QRgb fill;
    QRgb outline;
    double outlineWidth;
};
struct Block {
    QRectF rect;
    double corner;
    double turn; // degrees clockwise about CaseCentre
    QRgb fill;
    QRgb outline;
    double outlineWidth;
};
struct Bar {
    QPointF from;
    QPointF to;
    QRgb colour;
    double width;
    bool roundEnds;
};
using Shape = std::variant<Disc, Block, Bar>;

// Angles run clockwise from twelve o'clock, as on the dial.
Bar radial(double degrees, double inner, double outer, QRgb colour, double width, bool roundEnds)
{
    const double a = degrees * std::numbers::pi / 180.0;
    const QPointF dir(std::sin(a), -std::cos(a));
    return Bar{CaseCentre + dir * inner, CaseCentre + dir * outer, colour, width, roundEnds};
}

std::vector<Shape> stopwatch(bool coarse)
{
    std::vector<Shape> shapes;
    if (coarse) {
        // At 16 pixels a grid unit is half a pixel: outlines on the crown and buttons
        // would swallow them, thin strokes blur away and odd sizes smear across two
        // pixels. Even sizes and no outlines keep every part a solid, distinct patch.
        for (const double turn : {-45.0, 45.0})
            shapes.push_back(Block{{14.0, 1.0, 4.0, 4.0}, 0.0, turn, Grey, NoColour, 0.0});
        shapes.push_back(Block{{14.0, 2.0, 4.0, 4.0}, 0.0, 0.0, Grey, NoColour, 0.0});
        shapes.push_back(Block{{11.0, 0.0, 10.0, 2.0}, 0.0, 0.0, Grey, NoColour, 0.0});
        shapes.push_back(Disc{CaseCentre, 13.0, Grey, Black, 2.0});
        shapes.push_back(Disc{CaseCentre, 10.0, White, NoColour, 0.0});
        for (int i = 0; i < 4; ++i)
            shapes.push_back(radial(i * 90.0, 8.0, 10.0, Red, 4.0, false));
        shapes.push_back(radial(300.0, 0.0, 5.0, Black, 2.0, false));
        shapes.push_back(radial(60.0, 0.0, 8.0, Black, 2.0, false));
        return shapes;
    }

    // Buttons and crown first: the case covers their inner ends.
    for (const double turn : {-45.0, 45.0})
        shapes.push_back(Block{{14.2, 3.0, 3.6, 4.0}, 0.6, turn, Silver, Black, 1.0});
    shapes.push_back(Block{{14.5, 2.0, 3.0, 4.0}, 0.0, 0.0, Silver, Black, 1.0});
    shapes.push_back(Block{{11.5, 0.5, 9.0, 2.5}, 1.0, 0.0, Silver, Black, 1.0});
    shapes.push_back(Disc{CaseCentre, 13.0, Grey, Black, 1.0});
    shapes.push_back(Disc{CaseCentre, 10.5, White, NoColour, 0.0});
    for (int i = 0; i < 12; ++i) {
        const bool quarter = i % 3 == 0;
        shapes.push_back(radial(i * 30.0, quarter ? 7.0 : 8.0, 10.0, Red, quarter ? 1.6 : 1.0, false));
    }
    // Hands at ten past ten, the pose that shows both clearly.
    shapes.push_back(radial(300.0, 0.0, 5.5, Black, 1.8, true));
    shapes.push_back(radial(60.0, -2.0, 8.5, Black, 1.0, true));
    shapes.push_back(Disc{CaseCentre, 1.3, Black, NoColour, 0.0});
    return shapes;
}

QPen outlinePen(QRgb colour, double width)
{
    if (qAlpha(colour) == 0)
        return Qt::NoPen;
    return QPen(QColor::fromRgba(colour), width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

QBrush fillBrush(QRgb colour)
{
    return qAlpha(colour) == 0 ? QBrush(Qt::NoBrush) : QBrush(QColor::fromRgba(colour));
}

void paintShapes(QPainter &p, const std::vector<Shape> &shapes)
{
    for (const Shape &shape : shapes) {
        if (const auto *d = std::get_if<Disc>(&shape)) {
            p.setPen(outlinePen(d->outline, d->outlineWidth));
            p.setBrush(fillBrush(d->fill));
            p.drawEllipse(d->centre, d->radius, d->radius);
        } else if (const auto *b = std::get_if<Block>(&shape)) {
            p.save();
            p.translate(CaseCentre);
            p.rotate(b->turn);
            p.translate(-CaseCentre);
            p.setPen(outlinePen(b->outline, b->outlineWidth));
            p.setBrush(fillBrush(b->fill));
            p.drawRoundedRect(b->rect, b->corner, b->corner);
            p.restore();
        } else if (const auto *s = std::get_if<Bar>(&shape)) {
            p.setPen(QPen(QColor::fromRgba(s->colour), s->width, Qt::SolidLine,
                          s->roundEnds ? Qt::RoundCap : Qt::FlatCap));
            p.drawLine(s->from, s->to);
        }
    }
}

// Fixed density, so the files do not depend on the screen the tool happens to see.
void setDensity(QImage &image)
{
    image.setDotsPerMeterX(3780); // 96 dpi
    image.setDotsPerMeterY(3780);
}

QImage transparentImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    setDensity(image);
    return image;
}

QImage stopwatchImage(int size, bool smooth = true)
{
    QImage image = transparentImage(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, smooth);
    p.scale(size / Grid, size / Grid);
    paintShapes(p, stopwatch(size <= 16));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray num(double v)
{
    return QByteArray::number(v, 'g', 6);
}

QByteArray svgColour(QRgb c)
{
    return qAlpha(c) == 0 ? QByteArray("none") : QColor::fromRgb(c).name().toLatin1();
}

QByteArray stopwatchSvg()
{
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">\n"
                     "  <title>Ostrel!</title>\n";
    const auto paintAttrs = [](QRgb fill, QRgb outline, double width) {
        QByteArray a = " fill=\"" + svgColour(fill) + '"';
        if (qAlpha(outline) != 0)
            a += " stroke=\"" + svgColour(outline) + "\" stroke-width=\"" + num(width) + '"';
        return a;
    };
    for (const Shape &shape : stopwatch(false)) {
        if (const auto *d = std::get_if<Disc>(&shape)) {
            svg += "  <circle cx=\"" + num(d->centre.x()) + "\" cy=\"" + num(d->centre.y()) + "\" r=\""
                + num(d->radius) + '"' + paintAttrs(d->fill, d->outline, d->outlineWidth) + "/>\n";
        } else if (const auto *b = std::get_if<Block>(&shape)) {
            svg += "  <rect x=\"" + num(b->rect.x()) + "\" y=\"" + num(b->rect.y()) + "\" width=\""
                + num(b->rect.width()) + "\" height=\"" + num(b->rect.height()) + '"';
            if (b->corner > 0)
                svg += " rx=\"" + num(b->corner) + '"';
            if (b->turn != 0)
                svg += " transform=\"rotate(" + num(b->turn) + ' ' + num(CaseCentre.x()) + ' '
                    + num(CaseCentre.y()) + ")\"";
            svg += paintAttrs(b->fill, b->outline, b->outlineWidth) + "/>\n";
        } else if (const auto *s = std::get_if<Bar>(&shape)) {
            svg += "  <line x1=\"" + num(s->from.x()) + "\" y1=\"" + num(s->from.y()) + "\" x2=\""
                + num(s->to.x()) + "\" y2=\"" + num(s->to.y()) + "\" stroke=\"" + svgColour(s->colour)
                + "\" stroke-width=\"" + num(s->width) + '"';
            if (s->roundEnds)
                svg += " stroke-linecap=\"round\"";
            svg += "/>\n";
        }
    }
    svg += "</svg>\n";
    return svg;
}

void putU16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void putU32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

int nearestPaletteIndex(QRgb c)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < int(Palette.size()); ++i) {
        const int dr = qRed(c) - qRed(Palette[i]);
        const int dg = qGreen(c) - qGreen(Palette[i]);
        const int db = qBlue(c) - qBlue(Palette[i]);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

// One icon image as the ICO format stores it: a BITMAPINFOHEADER whose height
// counts both bitmaps, the palette, the 4-bit colour bitmap and the 1-bit mask,
// both bottom-up with rows padded to 32 bits.
QByteArray icoBitmap(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    const int colourStride = (w * 4 + 31) / 32 * 4;
    const int maskStride = (w + 31) / 32 * 4;
    QByteArray colour(colourStride * h, '\0');
    QByteArray mask(maskStride * h, '\0');
    for (int y = 0; y < h; ++y) {
        const int row = h - 1 - y;
        for (int x = 0; x < w; ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) < 128) {
                mask[row * maskStride + x / 8] = char(mask[row * maskStride + x / 8] | (0x80 >> (x % 8)));
                continue; // colour index 0 under a set mask bit: see-through
            }
            const int index = nearestPaletteIndex(px);
            char &pair = colour[row * colourStride + x / 2];
            pair = char(pair | (x % 2 == 0 ? index << 4 : index));
        }
    }

    QByteArray out;
    putU32(out, 40);
    putU32(out, quint32(w));
    putU32(out, quint32(2 * h));
    putU16(out, 1);  // planes
    putU16(out, 4);  // bits per pixel
    putU32(out, 0);  // BI_RGB
    putU32(out, quint32(colour.size() + mask.size()));
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 16); // colours used
    putU32(out, 0);
    for (const QRgb c : Palette) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append('\0');
    }
    return out + colour + mask;
}

QByteArray stopwatchIco()
{
    const std::array<int, 2> sizes = {32, 16};
    std::vector<QByteArray> bitmaps;
    for (const int size : sizes)
        bitmaps.push_back(icoBitmap(stopwatchImage(size, size > 16)));

    QByteArray out;
    putU16(out, 0);
    putU16(out, 1); // icon, not cursor
    putU16(out, quint16(sizes.size()));
    quint32 offset = 6 + 16 * quint32(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        out.append(char(sizes[i]));
        out.append(char(sizes[i]));
        out.append(char(16)); // colour count
        out.append('\0');
        putU16(out, 1); // planes
        putU16(out, 4); // bits per pixel
        putU32(out, quint32(bitmaps[i].size()));
        putU32(out, offset);
        offset += quint32(bitmaps[i].size());
    }
    for (const QByteArray &b : bitmaps)
        out += b;
    return out;
}

// 0 at the ends, 1 in the middle: a raised-cosine attack and release so neither
// note starts or stops with a click.
double envelope(double t, double length)
{
    constexpr double Attack = 0.03;
    constexpr double Release = 0.12;
    if (t < 0 || t > length)
        return 0.0;
    double e = std::exp(-1.2 * t); // a call fades a little as it is held
    if (t < Attack)
        e *= 0.5 - 0.5 * std::cos(std::numbers::pi * t / Attack);
    if (t > length - Release)
        e *= 0.5 - 0.5 * std::cos(std::numbers::pi * (length - t) / Release);
    return e;
}

// "Cu-coo": a high note, then one about a third lower and a little longer.
// Each sags slightly in pitch and carries weak overtones, which is what makes
// a plain tone sound like a bird rather than a telephone.
QByteArray cuckooWav()
{
    constexpr quint32 Rate = 11025;
    constexpr quint32 Samples = 10256;
    struct Note {
        double start;
        double length;
        double pitch;
    };
    constexpr std::array<Note, 2> Notes = {{{0.01, 0.32, 730.0}, {0.40, 0.35, 600.0}}};

    std::vector<double> wave(Samples, 0.0);
    for (const Note &note : Notes) {
        double phase = 0.0;
        const auto first = quint32(std::ceil(note.start * Rate));
        const auto last = std::min(Samples, quint32(std::floor((note.start + note.length) * Rate)) + 1);
        for (quint32 i = first; i < last; ++i) {
            const double t = i / double(Rate) - note.start;
            const double pitch = note.pitch * (1.0 - 0.03 * t / note.length);
            phase += 2.0 * std::numbers::pi * pitch / Rate;
            const double tone = std::sin(phase) + 0.18 * std::sin(2 * phase) + 0.06 * std::sin(3 * phase);
            wave[i] += envelope(t, note.length) * tone;
        }
    }

    const double peak = std::max(1e-9, std::abs(*std::max_element(wave.begin(), wave.end(), [](double a, double b) {
        return std::abs(a) < std::abs(b);
    })));
    QByteArray data(Samples, char(0x80));
    for (quint32 i = 0; i < Samples; ++i)
        data[i] = char(std::clamp<long>(128 + std::lround(wave[i] * 100.0 / peak), 0, 255));

    QByteArray out = "RIFF";
    putU32(out, 4 + (8 + 16) + (8 + 4) + (8 + Samples));
    out += "WAVEfmt ";
    putU32(out, 16);
    putU16(out, 1); // PCM
    putU16(out, 1); // mono
    putU32(out, Rate);
    putU32(out, Rate); // bytes per second
    putU16(out, 1);    // block align
    putU16(out, 8);    // bits per sample, unsigned
    out += "fact";
    putU32(out, 4);
    putU32(out, Samples);
    out += "data";
    putU32(out, Samples);
    return out + data;
}

QImage loudspeakerImage()
{
    QImage image = transparentImage(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(QColor(0x60, 0x60, 0x70));
    p.drawRect(QRectF(3.5, 11.5, 6, 9));
    p.setBrush(QColor(0xa0, 0xa8, 0xb8));
    p.drawPolygon(QPolygonF({{9.5, 11.5}, {17.5, 4.5}, {17.5, 27.5}, {9.5, 20.5}}));

    p.setPen(QPen(QColor(0x10, 0x60, 0xd0), 2.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (const double r : {4.0, 8.0, 12.0}) {
        // Qt counts arc angles in 1/16 degree, anticlockwise from three o'clock.
        const QRectF box(17.5 - r, 16.0 - r, 2 * r, 2 * r);
        p.drawArc(box, -40 * 16, 80 * 16);
    }
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The drop-down arrow of the alarm's hour and minute lists, in their dark grey text colour.
QImage dropDownArrowImage()
{
    QImage image = transparentImage(7, 4);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(64, 64, 64));
    p.drawPolygon(QPolygonF({{0, 0}, {7, 0}, {3.5, 4}}));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The About window's picture: a clock face struck by a yellow lightning bolt,
// on flat dark grey, which JPEG keeps clean at a small size.
QImage logoImage()
{
    QImage image(95, 81, QImage::Format_RGB32);
    image.fill(QColor(64, 64, 64));
    setDensity(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QPointF centre(42.0, 41.0);
    p.setPen(QPen(QColor(0x30, 0x70, 0xd0), 4.0));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 32.0, 32.0);
    for (int i = 0; i < 12; ++i) {
        const double a = i * std::numbers::pi / 6.0;
        const QPointF dir(std::sin(a), -std::cos(a));
        p.setPen(QPen(QColor(0xe0, 0x20, 0x20), i % 3 == 0 ? 3.0 : 2.0));
        p.drawLine(centre + dir * (i % 3 == 0 ? 21.0 : 24.0), centre + dir * 28.0);
    }
    p.setPen(QPen(Qt::black, 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(-10.0, -10.0));
    p.setPen(QPen(Qt::black, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(16.0, -12.0));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe0, 0x20, 0x20));
    p.drawEllipse(centre, 3.0, 3.0);

    p.setPen(QPen(QColor(0x80, 0x50, 0x00), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xff, 0xd8, 0x10));
    p.drawPolygon(QPolygonF({{76, 4}, {58, 40}, {70, 40}, {60, 77}, {90, 32}, {77, 32}, {89, 4}}));
    p.end();
    return image;
}

constexpr qsizetype LogoBytes = 3341;
constexpr char LogoComment[] = "Ostrel! logo";

// Encodes at the best quality that leaves room for the comment, then pads the file
// to exactly LogoBytes with that comment, so the shipped file's size does not
// move when the encoder changes.
std::optional<QByteArray> logoJpeg()
{
    const QImage image = logoImage();
    const qsizetype room = LogoBytes - 4 - qsizetype(sizeof LogoComment - 1);
    QByteArray jpeg;
    for (int quality = 100; quality > 0; --quality) {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QImageWriter writer(&buffer, "jpg");
        writer.setQuality(quality);
        writer.setOptimizedWrite(false);
        writer.setProgressiveScanWrite(false);
        if (!writer.write(image))
            return std::nullopt;
        buffer.close();
        if (jpeg.size() <= room)
            break;
    }
    if (jpeg.size() > room)
        return std::nullopt;

    // SOI, then APP0 "JFIF" whose big-endian length counts itself but not its marker.
    if (jpeg.size() < 20 || quint8(jpeg[2]) != 0xff || quint8(jpeg[3]) != 0xe0 || jpeg.mid(6, 5) != QByteArray("JFIF", 5))
        return std::nullopt;
    const qsizetype afterApp0 = 4 + qFromBigEndian<quint16>(jpeg.constData() + 4);

    const qsizetype segment = LogoBytes - jpeg.size();
    QByteArray comment("\xff\xfe", 2);
    char length[2];
    qToBigEndian(quint16(segment - 2), length);
    comment.append(length, 2);
    comment += LogoComment;
    comment += QByteArray(segment - comment.size(), ' ');
    jpeg.insert(afterApp0, comment);

    const QImage check = QImage::fromData(jpeg, "JPG");
    if (jpeg.size() != LogoBytes || check.size() != image.size())
        return std::nullopt;
    return jpeg;
}

std::optional<QByteArray> png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        return std::nullopt;
    return bytes;
}

bool writeFile(const QDir &dir, const QString &name, const std::optional<QByteArray> &bytes)
{
    const QString path = dir.filePath(name);
    if (!bytes) {
        std::fprintf(stderr, "ostrel_make_assets: could not encode %s\n", qPrintable(name));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(*bytes) != bytes->size()) {
        std::fprintf(stderr, "ostrel_make_assets: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    std::printf("%s: %lld bytes\n", qPrintable(path), static_cast<long long>(bytes->size()));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Painting on a QImage needs no window system, so this runs on build machines without a display.
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: ostrel_make_assets OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "ostrel_make_assets: cannot create %s\n", qPrintable(args.at(1)));
        return 1;
    }

    bool ok = writeFile(out, QStringLiteral("ostrel.ico"), stopwatchIco());
    for (const int size : {16, 32, 48, 64, 128, 256})
        ok = writeFile(out, QStringLiteral("ostrel-%1.png").arg(size), png(stopwatchImage(size))) && ok;
    ok = writeFile(out, QStringLiteral("ostrel.svg"), stopwatchSvg()) && ok;
    ok = writeFile(out, QStringLiteral("cuckoo.wav"), cuckooWav()) && ok;
    ok = writeFile(out, QStringLiteral("loudspeaker.png"), png(loudspeakerImage())) && ok;
    ok = writeFile(out, QStringLiteral("down-arrow.png"), png(dropDownArrowImage())) && ok;
    ok = writeFile(out, QStringLiteral("logo.jpg"), logoJpeg()) && ok;
    return ok ? 0 : 1;
}
