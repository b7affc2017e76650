#include "platform/clock_source.h"

#include "clock/time_text.h"

namespace ostrel::platform {

namespace {

class SystemClock final : public ClockSource
{
public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

const SystemClock systemClock;
const ClockSource *installed = &systemClock;

} // namespace

const ClockSource &Clock()
{
    return *installed;
}

void SetClockSource(const ClockSource *source)
{
    installed = source ? source : &systemClock;
}

clock::ClockValue CurrentTime()
{
    return clock::FromQTime(Clock().Now().time());
}

QString CurrentDateText()
{
    return clock::DateText(Clock().Now().date());
}

} // namespace ostrel::platform
