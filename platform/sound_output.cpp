// The sound output, in a module of its own that the program loads when an alarm is set: Qt Multimedia
// and the sound server's libraries it brings with it (some twenty) would otherwise be loaded, and
// stay resident, from the moment the program starts.
#include "platform/sound_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

namespace {

void Free(QAudioSink *sink)
{
    sink->disconnect();
    sink->stop();
    sink->deleteLater();
}

} // namespace

void ostrel::platform::FreeWhenEnded(QAudioSink *sink)
{
    QObject::connect(sink, &QAudioSink::stateChanged, sink, [sink](QAudio::State state) {
        if (state == QAudio::IdleState || state == QAudio::StoppedState)
            Free(sink);
    });
}

extern "C" Q_DECL_EXPORT void ostrel_play_pcm(const QByteArray &pcm, int sampleRate, int channels, int bitsPerSample)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(bitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);

    auto *sink = new QAudioSink(device, format);
    auto *buffer = new QBuffer(sink);
    buffer->setData(pcm);
    buffer->open(QIODevice::ReadOnly);
    ostrel::platform::FreeWhenEnded(sink);
    sink->start(buffer);
    // A stream that could not start at all (no server to take it) may end without a change of state.
    if (sink->state() == QAudio::StoppedState)
        Free(sink);
}
