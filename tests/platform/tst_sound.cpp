// The alarm sound from clip to sink, with no sound server needed.
#include "platform/sound_output.h"
#include "platform/wave_sound.h"

#include <QAudioSink>
#include <QPointer>
#include <QTest>
#include <QtEndian>

using namespace ostrel::platform;

namespace {

QByteArray U32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray Chunk(const char *id, const QByteArray &body, bool pad = true)
{
    QByteArray c = QByteArray(id, 4) + U32(quint32(body.size())) + body;
    if (pad && body.size() % 2)
        c.append('\0');
    return c;
}

QByteArray Format(int bits, int channels = 1, int rate = 11025)
{
    QByteArray f(16, '\0');
    qToLittleEndian<quint16>(1, f.data());
    qToLittleEndian<quint16>(quint16(channels), f.data() + 2);
    qToLittleEndian<quint32>(quint32(rate), f.data() + 4);
    qToLittleEndian<quint32>(quint32(rate * channels * bits / 8), f.data() + 8);
    qToLittleEndian<quint16>(quint16(channels * bits / 8), f.data() + 12);
    qToLittleEndian<quint16>(quint16(bits), f.data() + 14);
    return Chunk("fmt ", f);
}

QByteArray Riff(const QByteArray &chunks)
{
    return "RIFF" + U32(quint32(chunks.size() + 4)) + "WAVE" + chunks;
}

const QByteArray Samples("\x10\x20\x30\x40\x50", 5);

} // namespace

Q_DECLARE_METATYPE(QAudio::State)

class TestSound : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data();
    void decode();
    void silentTail_data();
    void silentTail();
    void sinkFreedWhenItEnds_data();
    void sinkFreedWhenItEnds();
};

void TestSound::decode_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QByteArray>("samples");

    QTest::newRow("8-bit") << Riff(Format(8) + Chunk("data", Samples)) << true << 8 << Samples;
    QTest::newRow("16-bit") << Riff(Format(16) + Chunk("data", Samples.left(4))) << true << 16 << Samples.left(4);
    // An odd-sized chunk is followed by a pad byte; the next chunk starts after it.
    QTest::newRow("odd chunk before the data")
        << Riff(Format(8) + Chunk("LIST", "abc") + Chunk("data", Samples)) << true << 8 << Samples;
    QTest::newRow("data chunk past the end of the file")
        << Riff(Format(8) + Chunk("data", Samples)).chopped(2) << false << 0 << QByteArray();
    QTest::newRow("chunk size past the RIFF size")
        << Riff(Format(8) + QByteArray("data") + U32(1000) + Samples) << false << 0 << QByteArray();
    QTest::newRow("no fmt") << Riff(Chunk("data", Samples)) << false << 0 << QByteArray();
    QTest::newRow("no data") << Riff(Format(8)) << false << 0 << QByteArray();
    QTest::newRow("short fmt") << Riff(Chunk("fmt ", QByteArray(14, '\1')) + Chunk("data", Samples)) << false << 0
                               << QByteArray();
    QTest::newRow("not RIFF") << QByteArray("RIFX").append(Riff(Format(8)).mid(4)) << false << 0 << QByteArray();
    QTest::newRow("header only") << QByteArray("RIFF\4\0\0\0WAV", 11) << false << 0 << QByteArray();
}

void TestSound::decode()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, valid);
    QFETCH(int, bits);
    QFETCH(QByteArray, samples);
    // A copy of its own, so that a read past the clip is a read past the buffer for the sanitizer.
    const QByteArray exact(file.constData(), file.size());
    const auto wave = DecodeWave(exact);
    QCOMPARE(wave.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(wave->bitsPerSample, bits);
    QCOMPARE(wave->samples, samples);
}

void TestSound::silentTail_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("channels");
    QTest::addColumn<char>("silence");
    QTest::newRow("8-bit mono: unsigned, silence is 0x80") << 8 << 1 << '\x80';
    QTest::newRow("16-bit stereo: signed, silence is 0") << 16 << 2 << '\0';
}

// The clip is handed over whole, then a tail of silence a quarter of a second long: without it the
// sound server drops the last note, and a tail of the wrong level clicks.
void TestSound::silentTail()
{
    QFETCH(int, bits);
    QFETCH(int, channels);
    QFETCH(char, silence);
    Wave wave;
    wave.formatTag = 1;
    wave.channels = channels;
    wave.sampleRate = 8000;
    wave.bitsPerSample = bits;
    wave.samples = QByteArray(40, '\x11');
    const QByteArray pcm = PcmToPlay(wave);
    QVERIFY(pcm.startsWith(wave.samples));
    const QByteArray tail = pcm.mid(wave.samples.size());
    QCOMPARE(tail.size(), 8000 / 4 * channels * bits / 8);
    QCOMPARE(tail, QByteArray(tail.size(), silence));

    wave.bitsPerSample = 24; // nothing the output is asked to play
    QVERIFY(PcmToPlay(wave).isEmpty());
}

void TestSound::sinkFreedWhenItEnds_data()
{
    QTest::addColumn<QAudio::State>("state");
    QTest::addColumn<bool>("freed");
    QTest::newRow("idle: the clip has been handed over") << QAudio::IdleState << true;
    QTest::newRow("stopped: the stream failed") << QAudio::StoppedState << true;
    QTest::newRow("active") << QAudio::ActiveState << false;
    QTest::newRow("suspended") << QAudio::SuspendedState << false;
}

void TestSound::sinkFreedWhenItEnds()
{
    QFETCH(QAudio::State, state);
    QFETCH(bool, freed);
    QAudioFormat format;
    format.setSampleRate(11025);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::UInt8);
    QPointer<QAudioSink> sink = new QAudioSink(format);
    FreeWhenEnded(sink);
    Q_EMIT sink->stateChanged(state);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(sink.isNull(), freed);
    delete sink;
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
