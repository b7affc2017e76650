#pragma once
// A clock for tests: it shows the time it was set to, and moves only when told.

#include "platform/clock_source.h"

#include <QDateTime>

namespace ostrel::platform {

class FakeClock final : public ClockSource
{
public:
    explicit FakeClock(QDateTime start)
        : now_(std::move(start))
    {
    }
    QDateTime Now() const override { return now_; }
    void Set(const QDateTime &now) { now_ = now; }
    void SetTime(QTime time) { now_.setTime(time); }
    void Advance(qint64 ms) { now_ = now_.addMSecs(ms); }

private:
    QDateTime now_;
};

} // namespace ostrel::platform
