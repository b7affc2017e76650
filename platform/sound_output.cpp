// The sound output, in a module of its own that the program loads when an alarm is set, so that the
// sound server's client library and the libraries it brings with it are not loaded, and do not stay
// resident, from the moment the program starts.
#include "platform/sound_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

namespace ostrel::platform {

// One clip on its way to the server: a connection of its own and, once that is ready, a stream.
struct SoundPlayer::Request
{
    Pcm pcm;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    std::size_t written = 0;
    bool started = false; // some of the clip has gone to the server
    bool ended = false;   // played, failed or refused: to be freed by the loop

    ~Request()
    {
        if (stream) {
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
    }

    static void Drained(pa_stream *, int, void *self) { static_cast<Request *>(self)->ended = true; }

    // The server asks for as much as fits its buffer: a clip of a second or two goes in one write.
    static void Write(pa_stream *stream, std::size_t wanted, void *self)
    {
        auto *r = static_cast<Request *>(self);
        const std::size_t n = std::min(wanted, r->pcm.bytes.size() - r->written);
        if (n > 0 && pa_stream_write(stream, r->pcm.bytes.data() + r->written, n, nullptr, 0, PA_SEEK_RELATIVE) == 0) {
            r->written += n;
            r->started = true;
        }
        if (r->written == r->pcm.bytes.size()) {
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            // Draining also starts a stream whose buffer never filled far enough to start on its own.
            if (pa_operation *o = pa_stream_drain(stream, Drained, r))
                pa_operation_unref(o);
            else
                r->ended = true;
        }
    }

    static void StreamState(pa_stream *stream, void *self)
    {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
            static_cast<Request *>(self)->ended = true;
    }

    void OpenStream()
    {
        pa_sample_spec format;
        format.format = pcm.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
        format.rate = std::uint32_t(pcm.sampleRate);
        format.channels = std::uint8_t(pcm.channels);
        pa_proplist *props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "alarm");
        stream = pa_sample_spec_valid(&format) ? pa_stream_new_with_proplist(context, "Alarm", &format, nullptr, props) : nullptr;
        pa_proplist_free(props);
        if (!stream) {
            ended = true;
            return;
        }
        pa_stream_set_state_callback(stream, StreamState, this);
        pa_stream_set_write_callback(stream, Write, this);
        // No device named: the server's default output now, and the server may move it later.
        if (pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr) < 0)
            ended = true;
    }

    static void ContextState(pa_context *context, void *self)
    {
        auto *r = static_cast<Request *>(self);
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (!r->stream)
                r->OpenStream();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            r->ended = true;
            break;
        default:
            break;
        }
    }

    // Connects to the server the environment names (PULSE_SERVER, the session's runtime directory),
    // without starting one.
    static std::unique_ptr<Request> Begin(pa_mainloop *loop, Pcm pcm)
    {
        auto r = std::make_unique<Request>();
        r->pcm = std::move(pcm);
        const std::size_t frame = std::size_t(std::max(1, r->pcm.channels * r->pcm.bitsPerSample / 8));
        r->pcm.bytes.resize(r->pcm.bytes.size() / frame * frame);
        pa_proplist *props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Ostrel!");
        pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "org.ostrel.Ostrel");
        pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "org.ostrel.Ostrel");
        r->context = pa_context_new_with_proplist(pa_mainloop_get_api(loop), "Ostrel!", props);
        pa_proplist_free(props);
        if (!r->context || r->pcm.bytes.empty()) {
            r->ended = true;
            return r;
        }
        pa_context_set_state_callback(r->context, ContextState, r.get());
        if (pa_context_connect(r->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            r->ended = true;
        return r;
    }
};

SoundPlayer::~SoundPlayer()
{
    Stop();
}

void SoundPlayer::Play(Pcm pcm)
{
    std::lock_guard lock(mutex_);
    if (quit_)
        return;
    if (!thread_.joinable()) {
        loop_ = pa_mainloop_new();
        if (!loop_)
            return;
        thread_ = std::thread(&SoundPlayer::Run, this, loop_);
    }
    toPlay_.push_back(std::move(pcm));
    cancel_ = false;
    pa_mainloop_wakeup(loop_);
}

void SoundPlayer::Cancel()
{
    std::lock_guard lock(mutex_);
    cancel_ = true;
    if (loop_)
        pa_mainloop_wakeup(loop_);
}

void SoundPlayer::Stop()
{
    std::unique_lock lock(mutex_);
    quit_ = true;
    if (!thread_.joinable())
        return;
    if (loop_)
        pa_mainloop_wakeup(loop_);
    if (ended_.wait_for(lock, std::chrono::seconds(1), [this] { return threadEnded_; })) {
        lock.unlock();
        thread_.join();
    } else {
        thread_.detach();
    }
}

void SoundPlayer::Run(pa_mainloop *loop)
{
    std::unique_ptr<Request> request;
    for (;;) {
        std::vector<Pcm> toPlay;
        bool cancel = false;
        {
            std::lock_guard lock(mutex_);
            if (quit_)
                break;
            toPlay.swap(toPlay_);
            cancel = std::exchange(cancel_, false);
        }
        // Only the newest clip counts; one still on its way for an earlier call is dropped.
        if (!toPlay.empty())
            request = Request::Begin(loop, std::move(toPlay.back()));
        if (request && (request->ended || (cancel && !request->started)))
            request.reset();
        // Waits in poll() for the server or for pa_mainloop_wakeup(); never anywhere else.
        if (pa_mainloop_iterate(loop, 1, nullptr) < 0)
            break;
    }
    request.reset();
    std::lock_guard lock(mutex_);
    loop_ = nullptr;
    pa_mainloop_free(loop);
    threadEnded_ = true;
    ended_.notify_all();
}

} // namespace ostrel::platform

namespace {

ostrel::platform::SoundPlayer &Player()
{
    // Never destroyed: the program stops it with ostrel_sound_stop() before it ends.
    static auto *player = new ostrel::platform::SoundPlayer;
    return *player;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void ostrel_sound_play(const unsigned char *bytes, std::size_t size,
                                                               int sampleRate, int channels, int bitsPerSample)
{
    ostrel::platform::Pcm pcm;
    pcm.bytes.assign(bytes, bytes + size);
    pcm.sampleRate = sampleRate;
    pcm.channels = channels;
    pcm.bitsPerSample = bitsPerSample;
    Player().Play(std::move(pcm));
}

__attribute__((visibility("default"))) void ostrel_sound_cancel()
{
    Player().Cancel();
}

__attribute__((visibility("default"))) void ostrel_sound_stop()
{
    Player().Stop();
}

} // extern "C"
