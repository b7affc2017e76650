// The sound output, in a module of its own that the program loads when an alarm is set: Qt Multimedia
// and the sound server's libraries it brings with it (some twenty) would otherwise be loaded, and
// stay resident, from the moment the program starts.
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

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
    QObject::connect(sink, &QAudioSink::stateChanged, sink, [sink](QAudio::State state) {
        // Idle: the clip and its tail have been handed to the sound server.
        if (state == QAudio::IdleState) {
            sink->disconnect();
            sink->stop();
            sink->deleteLater();
        }
    });
    sink->start(buffer);
    if (sink->state() == QAudio::StoppedState) { // no server to take the stream
        sink->disconnect();
        sink->deleteLater();
    }
}
