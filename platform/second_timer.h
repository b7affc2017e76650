#pragma once

#include <QObject>
#include <QTimer>

namespace ostrel::platform {

// A once-a-second timer that keeps its phase on the wall clock: it wakes a few milliseconds after
// each whole second of the clock source, re-armed at every wakeup from the time read then, so it
// neither drifts nor skips a second, and a clock that jumps is followed from the next wakeup on.
// timeout() comes once per wall-clock second; a wakeup still inside a second already handled only
// re-arms. The timer re-arms before emitting, so it keeps ticking while a slot runs a modal dialog.
class SecondTimer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SecondTimer)

public:
    explicit SecondTimer(QObject *parent = nullptr);

    void Start();

Q_SIGNALS:
    void timeout();

private:
    void Wake();

    // A child of this object, so that a test can reach it and deliver wakeups at simulated times.
    QTimer timer_{this};
    qint64 lastSecond_ = -1;
};

} // namespace ostrel::platform
