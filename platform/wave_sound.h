#pragma once

#include <QByteArray>

#include <optional>

namespace ostrel::platform {

// The fields of a RIFF WAVE clip that playing it needs, and its sample bytes.
struct Wave
{
    int formatTag = 0;
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    QByteArray samples;
};

// Walks the clip's chunks; nothing for data that is not a well-formed WAVE clip.
std::optional<Wave> DecodeWave(const QByteArray &file);

// The bytes handed to the sound output for an 8- or 16-bit PCM clip: its samples and a short tail of
// silence. Empty for a clip of any other kind.
QByteArray PcmToPlay(const Wave &wave);

// Plays an 8- or 16-bit PCM clip once, in the background, through the sound server's default output of
// the moment, and returns at once: the server is reached from a thread of the sound output's own, so a
// server that is slow, hung or gone never holds up the caller. Without a sound server, or with a clip
// it cannot read, it does nothing and says nothing.
void PlayWave(const QByteArray &file);

// A clip that has not yet begun to play (the server has not answered) never will.
void CancelSound();

// Loads the sound output module now (tens of milliseconds), so that a later PlayWave does not wait for
// it; it stays loaded. The sound server is still first reached by the first PlayWave.
void PrepareSound();

} // namespace ostrel::platform
