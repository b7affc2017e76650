#include "platform/second_timer.h"

#include "clock/clock_value.h"
#include "platform/clock_source.h"

namespace ostrel::platform {

SecondTimer::SecondTimer(QObject *parent)
    : QObject(parent)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SecondTimer::Wake);
}

void SecondTimer::Start()
{
    timer_.start(clock::MsUntilNextSecond(Clock().Now().time().msec()));
}

void SecondTimer::Wake()
{
    const QDateTime now = Clock().Now();
    timer_.start(clock::MsUntilNextSecond(now.time().msec()));
    const qint64 second = now.toSecsSinceEpoch();
    if (second == lastSecond_)
        return;
    lastSecond_ = second;
    Q_EMIT timeout();
}

} // namespace ostrel::platform
