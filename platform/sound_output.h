#pragma once

class QAudioSink;

namespace ostrel::platform {

// Frees the sink once it has ended, however it ended: idle when the clip has been handed to the
// sound server, stopped when the stream failed or the server went away.
void FreeWhenEnded(QAudioSink *sink);

} // namespace ostrel::platform
