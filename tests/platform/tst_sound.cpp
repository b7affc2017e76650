// The alarm sound from clip to sound server: decoding, and playing on a PulseAudio of the test's own.
#include "platform/sound_output.h"
#include "platform/wave_sound.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <condition_variable>
#include <memory>
#include <thread>

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

// A PulseAudio of the test's own with two null sinks, "first" (the default) and "second", on a socket
// in a directory of its own, named to the code under test by PULSE_SERVER: the machine's sound server,
// if any, is never touched.
class PulseServer
{
public:
    PulseServer()
    {
        qputenv("PULSE_SERVER", "unix:" + dir_.filePath(u"native"_qs).toUtf8());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_qs, dir_.path());
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, QString());
        env.remove(u"DISPLAY"_qs);
        server_.setProcessEnvironment(env);
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start(u"pulseaudio"_qs, {u"--daemonize=no"_qs, u"-n"_qs, u"--exit-idle-time=-1"_qs, u"--disable-shm"_qs,
                                         u"-Lmodule-null-sink sink_name=first"_qs, u"-Lmodule-null-sink sink_name=second"_qs,
                                         u"-Lmodule-native-protocol-unix socket="_qs + dir_.filePath(u"native"_qs)});
        for (int i = 0; i < 200 && !Ctl(u"list short sinks"_qs).contains("second"); ++i)
            QTest::qWait(100);
    }
    ~PulseServer()
    {
        Signal(SIGCONT);
        server_.terminate();
        server_.waitForFinished(5000);
    }
    void Signal(int signal) const { ::kill(pid_t(server_.processId()), signal); }
    // pactl's output; a null array when it failed.
    static QByteArray Ctl(const QString &command)
    {
        QProcess ctl;
        ctl.start(u"pactl"_qs, QProcess::splitCommand(command));
        if (!ctl.waitForFinished(5000) || ctl.exitCode() != 0)
            return {};
        return ctl.readAllStandardOutput().append('\n');
    }

    // Plays the clip and says for how many seconds each sink's monitor recorded sound: from the first
    // sample to the last that is more than -18 dB.
    static QList<double> PlayAndRecord(SoundPlayer &player, const Pcm &clip)
    {
        QProcess recorders[2];
        for (int i = 0; i < 2; ++i)
            recorders[i].start(u"parec"_qs, {u"--latency-msec=10"_qs, u"--rate=11025"_qs, u"--format=u8"_qs, u"--channels=1"_qs,
                                             u"--raw"_qs, u"-d"_qs, i ? u"second.monitor"_qs : u"first.monitor"_qs});
        QTest::qWait(300);
        player.Play(clip);
        // Until its stream has come and gone again, and a little longer for the monitor.
        for (int i = 0, seen = 0; i < 100 && (seen == 0 || seen == i); ++i) {
            QTest::qWait(50);
            seen = Ctl(u"list short sink-inputs"_qs).trimmed().isEmpty() ? seen : i + 1;
        }
        QTest::qWait(300);
        QList<double> heard;
        for (QProcess &parec : recorders) {
            parec.terminate();
            parec.waitForFinished(3000);
            const QByteArray raw = parec.readAllStandardOutput();
            const auto loud = [](char v) { return qAbs(int(quint8(v)) - 128) > 16; };
            const auto first = std::find_if(raw.begin(), raw.end(), loud);
            const auto last = std::find_if(raw.rbegin(), raw.rend(), loud);
            heard.append(first == raw.end() ? 0.0 : double(raw.rend() - last - 1 - (first - raw.begin())) / 11025);
        }
        return heard;
    }

private:
    QTemporaryDir dir_;
    QProcess server_;
};

// A 0.9 s clip of two notes, like the alarm's.
Pcm Call()
{
    Pcm clip{{}, 11025, 1, 8};
    for (int i = 0; i < 9922; ++i)
        clip.bytes.push_back(std::uint8_t(128 + (((i / (i < 4961 ? 8 : 10)) % 2) ? 90 : -90)));
    return clip;
}

} // namespace

class TestSound : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data();
    void decode();
    void silentTail_data();
    void silentTail();
    void playsOnTheDefaultOfTheMoment_data();
    void playsOnTheDefaultOfTheMoment();
    void neverWaitsForTheServer_data();
    void neverWaitsForTheServer();
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

void TestSound::playsOnTheDefaultOfTheMoment_data()
{
    QTest::addColumn<QString>("between");
    QTest::newRow("the default changed") << u"set-default-sink second"_qs;
    QTest::newRow("the device played on has gone") << u"unload-module"_qs;
    QTest::newRow("the server was restarted") << QString();
}

// Two alarms in one run: the second plays where the user listens by then.
void TestSound::playsOnTheDefaultOfTheMoment()
{
    QFETCH(QString, between);
    auto server = std::make_unique<PulseServer>();
    SoundPlayer player;
    QList<double> heard = server->PlayAndRecord(player, Call());
    QVERIFY2(heard[0] > 0.6 && heard[0] < 1.25 && heard[1] == 0, qPrintable(u"heard %1 s on first, %2 s on second"_qs.arg(heard[0]).arg(heard[1])));
    if (between.isEmpty()) {
        server.reset();
        server = std::make_unique<PulseServer>();
        between = u"set-default-sink second"_qs;
    }
    if (between.startsWith(u"unload"))
        between += QRegularExpression(u"^(\\d+)\tmodule-null-sink\tsink_name=first"_qs, QRegularExpression::MultilineOption)
                       .match(QString::fromLatin1(server->Ctl(u"list short modules"_qs))).captured(1).prepend(u' ');
    QVERIFY(!server->Ctl(between).isNull());
    heard = server->PlayAndRecord(player, Call());
    QVERIFY2(heard[1] > 0.6 && heard[1] < 1.25 && heard[0] == 0, qPrintable(u"heard %1 s on first, %2 s on second"_qs.arg(heard[0]).arg(heard[1])));
}

void TestSound::neverWaitsForTheServer_data()
{
    QTest::addColumn<QString>("then");
    QTest::addColumn<bool>("heard");
    QTest::newRow("slow: plays once it answers") << "resume" << true;
    QTest::newRow("the window closed before it answered") << "cancel" << false;
    QTest::newRow("the program ends while it hangs") << "stop" << false;
    QTest::newRow("no server at all") << "none" << false;
}

// A server that has stopped answering (it keeps its socket) holds up no call, and a clip it has not
// yet taken when the window closes never plays.
void TestSound::neverWaitsForTheServer()
{
    QFETCH(QString, then);
    QFETCH(bool, heard);
    PulseServer server;
    if (then == u"none")
        qputenv("PULSE_SERVER", "unix:/nonexistent/native");
    SoundPlayer player;
    server.Signal(SIGSTOP);
    // A call that does wait for the server is let go after 2 s, to fail here rather than hang.
    std::jthread watchdog([&server](std::stop_token stop) {
        std::mutex m;
        std::unique_lock lock(m);
        if (!std::condition_variable_any().wait_for(lock, stop, std::chrono::seconds(2), [] { return false; }) && !stop.stop_requested())
            server.Signal(SIGCONT);
    });
    QElapsedTimer t;
    t.start();
    player.Play(Call());
    qint64 took = t.elapsed();
    QTest::qWait(500);
    t.restart();
    if (then == u"cancel")
        player.Cancel();
    if (then == u"stop")
        player.Stop();
    took += t.elapsed();
    QVERIFY2(took < 500, qPrintable(u"the calls took %1 ms"_qs.arg(took)));
    server.Signal(SIGCONT);
    const auto clients = [&server] { return server.Ctl(u"list clients"_qs).count("\"Ostrel!\""); };
    if (heard) {
        QTRY_VERIFY_WITH_TIMEOUT(clients() > 0, 3000);
    } else {
        QTest::qWait(1500);
        QCOMPARE(clients(), 0);
    }
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
