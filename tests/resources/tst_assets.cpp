// The program and the desktop read these files through strict, old formats: a
// header field off by one and the sound will not play or the icon falls back to
// a blank one. These checks read the embedded copies, the ones that ship.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString committedAsset(const QString &name)
{
    return QDir(QStringLiteral(OSTREL_ASSET_DIR)).filePath(name);
}

QByteArray le16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

quint16 u16le(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 u32le(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }
quint16 u16be(const QByteArray &b, qsizetype at) { return qFromBigEndian<quint16>(b.constData() + at); }

constexpr int WavHeaderBytes = 56;
constexpr int SampleRate = 11025;

// Strongest frequency of a stretch of 8-bit samples, by a Goertzel scan over the
// range a bird call can fall in.
double dominantFrequency(const QByteArray &samples)
{
    double best = 0.0;
    double bestPower = -1.0;
    for (double f = 300.0; f <= 1500.0; f += 5.0) {
        const double k = 2.0 * std::cos(2.0 * std::numbers::pi * f / SampleRate);
        double s1 = 0.0;
        double s2 = 0.0;
        for (const char c : samples) {
            const double s0 = (quint8(c) - 128.0) + k * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}

struct JpegSegment {
    quint8 marker;
    QByteArray payload;
};

// Segments from the first one after SOI up to and including the start of scan.
QList<JpegSegment> jpegHeaderSegments(const QByteArray &jpeg)
{
    QList<JpegSegment> segments;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xff) {
        const quint8 marker = quint8(jpeg[at + 1]);
        const quint16 length = u16be(jpeg, at + 2);
        segments.append({marker, jpeg.mid(at + 4, length - 2)});
        if (marker == 0xda)
            break;
        at += 2 + length;
    }
    return segments;
}

bool hasPureRed(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (qAlpha(c) == 255 && qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80)
                return true;
        }
    return false;
}

// How far apart two pictures of one size are: the largest difference in any channel of any pixel,
// and where. A pixel is taken at the nearer of its stored and its premultiplied value, because
// drawing rounds in premultiplied values and saving rounds again out of them; either step may land
// one apart on another processor, and at low alpha one step in premultiplied is many stored.
struct PixelDifference {
    int largest = 0;
    QPoint at;
    QRgb fresh = 0;
    QRgb committed = 0;
};

int channelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qAlpha(a) - qAlpha(b)), std::abs(qRed(a) - qRed(b)),
                     std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

PixelDifference pixelDifference(const QImage &fresh, const QImage &committed)
{
    const QImage a = fresh.convertToFormat(QImage::Format_ARGB32);
    const QImage b = committed.convertToFormat(QImage::Format_ARGB32);
    const QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    PixelDifference worst;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const int d = std::min(channelDifference(a.pixel(x, y), b.pixel(x, y)),
                                   channelDifference(pa.pixel(x, y), pb.pixel(x, y)));
            if (d > worst.largest)
                worst = {d, QPoint(x, y), a.pixel(x, y), b.pixel(x, y)};
        }
    return worst;
}

QList<QImage> decodedIcoImages(const QByteArray &ico)
{
    QBuffer buffer;
    buffer.setData(ico);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QList<QImage> images;
    for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i)
        images.append(reader.read().convertToFormat(QImage::Format_ARGB32));
    return images;
}

// The ICO with its colour and mask bitmaps blanked: the directory, the bitmap headers and the
// palettes, which must match byte for byte.
QByteArray icoWithoutPixels(QByteArray ico)
{
    constexpr int HeaderAndPalette = 40 + 16 * 4;
    const int count = ico.size() >= 6 ? u16le(ico, 4) : 0;
    for (int i = 0; i < count && 6 + 16 * (i + 1) <= ico.size(); ++i) {
        const quint32 bytes = u32le(ico, 6 + 16 * i + 8);
        const quint32 at = u32le(ico, 6 + 16 * i + 12);
        if (bytes > HeaderAndPalette && qsizetype(at) + bytes <= ico.size())
            std::fill(ico.begin() + at + HeaderAndPalette, ico.begin() + at + bytes, '\0');
    }
    return ico;
}

const QStringList GeneratedFiles = {
    QStringLiteral("cuckoo.wav"),     QStringLiteral("logo.jpg"),       QStringLiteral("loudspeaker.png"),
    QStringLiteral("ostrel.ico"),     QStringLiteral("ostrel.svg"),     QStringLiteral("ostrel-16.png"),
    QStringLiteral("ostrel-32.png"),  QStringLiteral("ostrel-48.png"),  QStringLiteral("ostrel-64.png"),
    QStringLiteral("ostrel-128.png"), QStringLiteral("ostrel-256.png"), QStringLiteral("down-arrow.png"),
};

} // namespace

class TestAssets : public QObject
{
    Q_OBJECT

private slots:
    void wavHeader_data();
    void wavHeader();
    void wavSamples();
    void wavCallFallsInPitch();
    void jpegMarkers_data();
    void jpegMarkers();
    void jpegFrame();
    void icoImages_data();
    void icoImages();
    void loudspeaker();
    void themeIcons_data();
    void themeIcons();
    void themeSvg();
    void generatorWritesTheCommittedFiles_data();
    void generatorWritesTheCommittedFiles();
    void generatorWritesNothingElse();

private:
    bool generate();

    std::unique_ptr<QTemporaryDir> m_generated;
    QString m_generatorError;
};

void TestAssets::wavHeader_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("RIFF tag") << 0 << QByteArray("RIFF");
    QTest::newRow("RIFF size") << 4 << le32(10304);
    QTest::newRow("WAVE tag") << 8 << QByteArray("WAVE");
    QTest::newRow("fmt tag") << 12 << QByteArray("fmt ");
    QTest::newRow("fmt size") << 16 << le32(16);
    QTest::newRow("format PCM") << 20 << le16(1);
    QTest::newRow("channels") << 22 << le16(1);
    QTest::newRow("sample rate") << 24 << le32(SampleRate);
    QTest::newRow("byte rate") << 28 << le32(SampleRate);
    QTest::newRow("block align") << 32 << le16(1);
    QTest::newRow("bits per sample") << 34 << le16(8);
    QTest::newRow("fact tag") << 36 << QByteArray("fact");
    QTest::newRow("fact size") << 40 << le32(4);
    QTest::newRow("sample count") << 44 << le32(10256);
    QTest::newRow("data tag") << 48 << QByteArray("data");
    QTest::newRow("data size") << 52 << le32(10256);
}

void TestAssets::wavHeader()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);
    const QByteArray wav = readFile(QStringLiteral(":/cuckoo.wav"));
    QCOMPARE(wav.size(), 10312);
    QCOMPARE(wav.mid(offset, expected.size()), expected);
}

void TestAssets::wavSamples()
{
    const QByteArray samples = readFile(QStringLiteral(":/cuckoo.wav")).mid(WavHeaderBytes);
    QCOMPARE(samples.size(), 10256);

    // Starting and stopping away from the midpoint makes the speaker click.
    QCOMPARE(quint8(samples.front()), quint8(0x80));
    const QByteArray tail = samples.right(SampleRate / 20);
    QCOMPARE(tail, QByteArray(tail.size(), char(0x80)));

    // Loud enough to hear over a room, but never clipped flat at the rails.
    int low = 255;
    int high = 0;
    for (const char c : samples) {
        low = std::min(low, int(quint8(c)));
        high = std::max(high, int(quint8(c)));
    }
    QVERIFY2(high - 128 >= 64 && 128 - low >= 64, qPrintable(QStringLiteral("range %1..%2").arg(low).arg(high)));
    QVERIFY(low > 0 && high < 255);
}

void TestAssets::wavCallFallsInPitch()
{
    const QByteArray samples = readFile(QStringLiteral(":/cuckoo.wav")).mid(WavHeaderBytes);
    const qsizetype third = samples.size() / 3;
    const double first = dominantFrequency(samples.left(third));
    const double last = dominantFrequency(samples.right(third));
    const QByteArray found = QStringLiteral("%1 Hz then %2 Hz").arg(first).arg(last).toLatin1();

    QVERIFY2(first >= 450 && first <= 1000 && last >= 400 && last <= 900, found.constData());
    // A cuckoo drops by a minor to a major third (ratio 1.19 to 1.26).
    QVERIFY2(first / last > 1.12 && first / last < 1.35, found.constData());
}

void TestAssets::jpegMarkers_data()
{
    QTest::addColumn<int>("marker");
    QTest::addColumn<bool>("present");

    QTest::newRow("baseline frame") << 0xc0 << true;
    QTest::newRow("huffman tables") << 0xc4 << true;
    QTest::newRow("quantisation tables") << 0xdb << true;
    QTest::newRow("extended frame") << 0xc1 << false;
    QTest::newRow("progressive frame") << 0xc2 << false;
    QTest::newRow("lossless frame") << 0xc3 << false;
    QTest::newRow("arithmetic frame") << 0xc9 << false;
}

void TestAssets::jpegMarkers()
{
    QFETCH(int, marker);
    QFETCH(bool, present);
    const QList<JpegSegment> segments = jpegHeaderSegments(readFile(QStringLiteral(":/logo.jpg")));
    QVERIFY(!segments.isEmpty());
    QCOMPARE(segments.back().marker, quint8(0xda));
    const bool found = std::any_of(segments.begin(), segments.end(),
                                   [marker](const JpegSegment &s) { return s.marker == marker; });
    QCOMPARE(found, present);
}

void TestAssets::jpegFrame()
{
    const QByteArray jpeg = readFile(QStringLiteral(":/logo.jpg"));
    QCOMPARE(jpeg.size(), 3341);
    QCOMPARE(jpeg.left(2), QByteArray("\xff\xd8"));
    QCOMPARE(jpeg.right(2), QByteArray("\xff\xd9"));

    const QList<JpegSegment> segments = jpegHeaderSegments(jpeg);
    QVERIFY(segments.size() > 2);
    QCOMPARE(segments.front().marker, quint8(0xe0));
    QCOMPARE(segments.front().payload.left(5), QByteArray("JFIF", 5));

    const auto frame = std::find_if(segments.begin(), segments.end(),
                                    [](const JpegSegment &s) { return s.marker == 0xc0; });
    QVERIFY(frame != segments.end());
    QCOMPARE(quint8(frame->payload[0]), quint8(8)); // bits per sample
    QCOMPARE(u16be(frame->payload, 1), quint16(81));
    QCOMPARE(u16be(frame->payload, 3), quint16(95));
    QCOMPARE(quint8(frame->payload[5]), quint8(3)); // Y, Cb, Cr

    const QImage image = QImage::fromData(jpeg, "JPG");
    QCOMPARE(image.size(), QSize(95, 81));
    QVERIFY(!image.allGray());
}

void TestAssets::icoImages_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("size");

    QTest::newRow("large") << 0 << 32;
    QTest::newRow("small") << 1 << 16;
}

void TestAssets::icoImages()
{
    QFETCH(int, index);
    QFETCH(int, size);
    const QByteArray ico = readFile(QStringLiteral(":/ostrel.ico"));
    QVERIFY(ico.size() >= 6 + 2 * 16);
    QCOMPARE(u16le(ico, 0), quint16(0));
    QCOMPARE(u16le(ico, 2), quint16(1));
    QCOMPARE(u16le(ico, 4), quint16(2));

    const qsizetype entry = 6 + 16 * index;
    QCOMPARE(quint8(ico[entry]), quint8(size));
    QCOMPARE(quint8(ico[entry + 1]), quint8(size));
    QCOMPARE(quint8(ico[entry + 2]), quint8(16)); // colours
    QCOMPARE(u16le(ico, entry + 4), quint16(1));  // planes
    QCOMPARE(u16le(ico, entry + 6), quint16(4));  // bits per pixel
    const quint32 bytes = u32le(ico, entry + 8);
    const quint32 at = u32le(ico, entry + 12);
    const quint32 colourBytes = (size * 4 + 31) / 32 * 4 * size;
    const quint32 maskBytes = (size + 31) / 32 * 4 * size;
    QCOMPARE(bytes, 40 + 16 * 4 + colourBytes + maskBytes);
    QVERIFY(qsizetype(at) + bytes <= ico.size());

    QCOMPARE(u32le(ico, at), quint32(40));
    QCOMPARE(u32le(ico, at + 4), quint32(size));
    QCOMPARE(u32le(ico, at + 8), quint32(2 * size)); // colour bitmap and mask
    QCOMPARE(u16le(ico, at + 12), quint16(1));
    QCOMPARE(u16le(ico, at + 14), quint16(4));
    QCOMPARE(u32le(ico, at + 16), quint32(0)); // uncompressed
    QCOMPARE(u32le(ico, at + 32), quint32(16));

    QBuffer buffer;
    buffer.setData(ico);
    QImageReader reader(&buffer, "ico");
    QCOMPARE(reader.imageCount(), 2);
    QVERIFY(reader.jumpToImage(index));
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(size, size));
    // Corners lie outside the round case; the dial below the centre is plain white.
    QCOMPARE(qAlpha(image.pixel(0, size - 1)), 0);
    QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
    QCOMPARE(image.pixel(size / 2, size * 3 / 4), qRgb(255, 255, 255));
    QVERIFY(hasPureRed(image));
}

void TestAssets::loudspeaker()
{
    const QImage image(QStringLiteral(":/loudspeaker.png"));
    QCOMPARE(image.size(), QSize(32, 32));
    QVERIFY(!image.allGray());
    const QRgb corner = image.pixel(0, 0);
    QVERIFY(qAlpha(corner) == 0 || qGray(corner) > 200);
}

void TestAssets::themeIcons_data()
{
    QTest::addColumn<int>("size");
    for (const int size : {16, 32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void TestAssets::themeIcons()
{
    QFETCH(int, size);
    const QImage image(committedAsset(QStringLiteral("ostrel-%1.png").arg(size)));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, size - 1)), 0);
    QVERIFY(hasPureRed(image));
}

void TestAssets::themeSvg()
{
    const QByteArray svg = readFile(committedAsset(QStringLiteral("ostrel.svg")));
    QXmlStreamReader xml(svg);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), QStringLiteral("svg"));
    QCOMPARE(xml.attributes().value(QStringLiteral("viewBox")), QStringLiteral("0 0 32 32"));
    while (!xml.atEnd())
        xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));

    if (!QImageReader::supportedImageFormats().contains("svg"))
        QSKIP("no SVG image plugin to render it with");
    QBuffer buffer;
    buffer.setData(svg);
    QImageReader reader(&buffer, "svg");
    reader.setScaledSize(QSize(64, 64));
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(64, 64));
    QCOMPARE(qAlpha(image.pixel(0, 63)), 0);
    QCOMPARE(image.pixel(32, 48), qRgb(255, 255, 255));
    QVERIFY(hasPureRed(image));
}

// Runs the generator once, on first use, so a broken build of it fails only the
// tests that need it.
bool TestAssets::generate()
{
    if (!m_generated) {
        m_generated = std::make_unique<QTemporaryDir>();
        QProcess tool;
        tool.start(QStringLiteral(OSTREL_MAKE_ASSETS), {m_generated->path()});
        if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
            m_generatorError = QStringLiteral("ostrel_make_assets failed: ") + tool.errorString() + u' '
                + QString::fromLocal8Bit(tool.readAllStandardError());
    }
    return m_generatorError.isEmpty();
}

void TestAssets::generatorWritesTheCommittedFiles_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : GeneratedFiles)
        QTest::newRow(qPrintable(name)) << name;
}

void TestAssets::generatorWritesTheCommittedFiles()
{
    QFETCH(QString, name);
    QVERIFY2(generate(), qPrintable(m_generatorError));
    const QDir dir(m_generated->path());
    const QByteArray fresh = readFile(dir.filePath(name));
    const QByteArray committed = readFile(committedAsset(name));
    QVERIFY(!fresh.isEmpty());
    const char *outOfDate = "resources/ is out of date: rerun ostrel_make_assets into it";

    if (name.endsWith(QLatin1String(".png"))) {
        // Anti-aliased drawing and the step out of premultiplied alpha may round one apart on
        // another processor or Qt build; a changed drawing moves pixels much further than that.
        const QImage a = QImage::fromData(fresh, "PNG");
        const QImage b = QImage::fromData(committed, "PNG");
        QVERIFY(!a.isNull() && !b.isNull());
        QCOMPARE(a.size(), b.size());
        QCOMPARE(a.hasAlphaChannel(), b.hasAlphaChannel());
        const PixelDifference d = pixelDifference(a, b);
        QVERIFY2(d.largest <= 1,
                 qPrintable(QStringLiteral("%1: largest difference %2 at (%3, %4): generated #%5, committed #%6")
                                .arg(QLatin1String(outOfDate)).arg(d.largest).arg(d.at.x()).arg(d.at.y())
                                .arg(d.fresh, 8, 16, QLatin1Char('0')).arg(d.committed, 8, 16, QLatin1Char('0'))));
    } else if (name.endsWith(QLatin1String(".ico"))) {
        QVERIFY2(icoWithoutPixels(fresh) == icoWithoutPixels(committed), outOfDate);
        // Its pixels are the anti-aliased drawing cut to sixteen colours and a mask: a pixel that
        // sits on a cut may fall to the other side, a few at most; a changed drawing moves many.
        const QList<QImage> a = decodedIcoImages(fresh);
        const QList<QImage> b = decodedIcoImages(committed);
        QCOMPARE(a.size(), b.size());
        for (qsizetype i = 0; i < a.size(); ++i) {
            QCOMPARE(a[i].size(), b[i].size());
            int differing = 0;
            for (int y = 0; y < a[i].height(); ++y)
                for (int x = 0; x < a[i].width(); ++x)
                    differing += a[i].pixel(x, y) != b[i].pixel(x, y);
            const int allowed = std::max(1, a[i].width() * a[i].height() / 100);
            QVERIFY2(differing <= allowed,
                     qPrintable(QStringLiteral("%1: %2 of the %3x%3 image's pixels differ")
                                    .arg(QLatin1String(outOfDate)).arg(differing).arg(a[i].width())));
        }
    } else {
        QVERIFY2(fresh == committed, outOfDate);
    }
}

void TestAssets::generatorWritesNothingElse()
{
    QVERIFY2(generate(), qPrintable(m_generatorError));
    const QDir dir(m_generated->path());
    QStringList expected = GeneratedFiles;
    expected.sort();
    QCOMPARE(dir.entryList(QDir::Files, QDir::Name), expected);
}

QTEST_MAIN(TestAssets)
#include "tst_assets.moc"
