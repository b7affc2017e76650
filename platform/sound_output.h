#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct pa_mainloop;

namespace ostrel::platform {

// A clip of PCM samples as the sound server takes them: 8-bit unsigned or 16-bit signed little-endian.
struct Pcm
{
    std::vector<std::uint8_t> bytes;
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
};

// Plays clips through the sound server (PulseAudio, or PipeWire's PulseAudio service) from a thread of
// its own, so that no caller ever waits for the server: one that is slow to answer, hung or gone
// costs the caller nothing. Each clip gets a connection and a stream of its own, on no named device,
// so that it plays on the server's default output of that moment, after the default has changed, a
// device has gone or the server has been restarted. The thread starts with the first clip.
class SoundPlayer
{
public:
    SoundPlayer() = default;
    ~SoundPlayer(); // Stop()
    SoundPlayer(const SoundPlayer &) = delete;
    SoundPlayer &operator=(const SoundPlayer &) = delete;

    // Plays the clip once, as soon as the server takes it; a clip still waiting for the server is
    // dropped for it.
    void Play(Pcm pcm);
    // A clip that has not begun to play by now never will: the reason for it has passed. One that
    // is playing plays to its end.
    void Cancel();
    // Ends the thread and every connection, waiting for it at most about a second: the thread only
    // ever waits in poll(), which this interrupts, so it never takes longer unless the machine is
    // stalled, and then it is left to end with the process.
    void Stop();

private:
    struct Request;
    void Run(pa_mainloop *loop);

    std::mutex mutex_;
    std::condition_variable ended_;
    std::thread thread_;
    pa_mainloop *loop_ = nullptr; // only pa_mainloop_wakeup() is called on it from outside the thread
    bool threadEnded_ = false;
    // What the thread is to do next, taken by it under the mutex.
    std::vector<Pcm> toPlay_;
    bool cancel_ = false;
    bool quit_ = false;
};

} // namespace ostrel::platform
