#include "platform/wave_sound.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QtEndian>

#include <cstddef>

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

// What the sound output module (sound_output.cpp) offers. None of it waits for the sound server.
struct Output
{
    void (*play)(const unsigned char *bytes, std::size_t size, int sampleRate, int channels, int bitsPerSample) = nullptr;
    void (*cancel)() = nullptr;
    void (*stop)() = nullptr;
};

void StopOutput();

// The module, loaded on first use or by PrepareSound and kept loaded: its thread plays on after a
// call has returned. Looked for next to the program, as in the build tree, then where it is installed.
const Output &SoundOutput()
{
    static const Output output = [] {
        const QString bin = QCoreApplication::applicationDirPath();
        const QString dirs[] = {bin, bin + QStringLiteral("/" OSTREL_MODULE_FROM_BIN)};
        for (const QString &dir : dirs) {
            QLibrary module(dir + QStringLiteral("/ostrel-sound"));
            Output o;
            o.play = reinterpret_cast<decltype(o.play)>(module.resolve("ostrel_sound_play"));
            o.cancel = reinterpret_cast<decltype(o.cancel)>(module.resolve("ostrel_sound_cancel"));
            o.stop = reinterpret_cast<decltype(o.stop)>(module.resolve("ostrel_sound_stop"));
            if (o.play && o.cancel && o.stop) {
                // Its thread ends with the application, before the libraries are unloaded.
                qAddPostRoutine(StopOutput);
                return o;
            }
        }
        return Output();
    }();
    return output;
}

void StopOutput()
{
    SoundOutput().stop();
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
    if (const Output &output = SoundOutput(); output.play)
        output.play(reinterpret_cast<const unsigned char *>(pcm.constData()), std::size_t(pcm.size()), wave->sampleRate,
                    wave->channels, wave->bitsPerSample);
}

void CancelSound()
{
    if (const Output &output = SoundOutput(); output.cancel)
        output.cancel();
}

} // namespace ostrel::platform
