#include "platform/wave_sound.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QtEndian>

namespace ostrel::platform {

namespace {

quint32 U32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

quint16 U16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}

// Sound servers drop the tail of a stream that ends as soon as its last byte is written; a short run
// of silence after the clip lets its last note play out.
constexpr int TailMs = 250;

using PlayPcm = void (*)(const QByteArray &pcm, int sampleRate, int channels, int bitsPerSample);

// The sound output module (sound_output.cpp), loaded on first use or by PrepareSound and kept loaded: its sinks outlive
// the call. Looked for next to the program, as in the build tree, then where it is installed.
PlayPcm SoundOutput()
{
    static const PlayPcm play = [] {
        const QString bin = QCoreApplication::applicationDirPath();
        const QString dirs[] = {bin, bin + QStringLiteral("/" OSTREL_MODULE_FROM_BIN)};
        for (const QString &dir : dirs) {
            QLibrary module(dir + QStringLiteral("/ostrel-sound"));
            if (const auto f = reinterpret_cast<PlayPcm>(module.resolve("ostrel_play_pcm")))
                return f;
        }
        return PlayPcm(nullptr);
    }();
    return play;
}

} // namespace

std::optional<Wave> DecodeWave(const QByteArray &file)
{
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return std::nullopt;
    const qsizetype end = qMin<qsizetype>(file.size(), qsizetype(U32(file.constData() + 4)) + 8);
    Wave wave;
    bool haveFormat = false;
    bool haveData = false;
    for (qsizetype at = 12; at + 8 <= end;) {
        const char *chunk = file.constData() + at;
        const QByteArray id(chunk, 4);
        const qsizetype size = U32(chunk + 4);
        if (size > end - at - 8)
            return std::nullopt;
        const char *body = chunk + 8;
        if (id == "fmt " && size >= 16) {
            wave.formatTag = U16(body);
            wave.channels = U16(body + 2);
            wave.sampleRate = int(U32(body + 4));
            wave.bitsPerSample = U16(body + 14);
            haveFormat = true;
        } else if (id == "data") {
            wave.samples = QByteArray(body, size);
            haveData = true;
        }
        at += 8 + size + (size & 1);
    }
    if (!haveFormat || !haveData)
        return std::nullopt;
    return wave;
}

QByteArray PcmToPlay(const Wave &wave)
{
    if (wave.formatTag != 1 || wave.channels < 1 || wave.sampleRate <= 0
        || (wave.bitsPerSample != 8 && wave.bitsPerSample != 16))
        return {};
    // Silence is the middle of the range: 0x80 for unsigned 8-bit samples, 0 for signed 16-bit ones.
    const int frameBytes = wave.channels * wave.bitsPerSample / 8;
    QByteArray pcm = wave.samples;
    pcm.append(qsizetype(wave.sampleRate) * TailMs / 1000 * frameBytes, wave.bitsPerSample == 8 ? '\x80' : '\0');
    return pcm;
}

void PrepareSound()
{
    SoundOutput();
}

void PlayWave(const QByteArray &file)
{
    const auto wave = DecodeWave(file);
    if (!wave)
        return;
    const QByteArray pcm = PcmToPlay(*wave);
    if (pcm.isEmpty())
        return;
    const auto play = SoundOutput();
    if (!play)
        return;
    play(pcm, wave->sampleRate, wave->channels, wave->bitsPerSample);
}

} // namespace ostrel::platform
