#include "clock/clock_value.h"

#include <cmath>
#include <cstdlib>

namespace ostrel::clock {

namespace {

// Seconds into the day of the value's time of day, rounded to the second; -1 for a negative value.
std::int64_t SecondOfDay(ClockValue value)
{
    if (value < 0.0)
        return -1;
    const double fraction = value - std::floor(value);
    return std::llround(fraction * SecondsPerDay) % SecondsPerDay;
}

} // namespace

ClockValue FromHms(int hours, int minutes, int seconds)
{
    return (hours * 3600.0 + minutes * 60.0 + seconds) / SecondsPerDay;
}

ClockValue AddHours(ClockValue value, double hours)
{
    return value + hours / 24.0;
}

ClockValue AddSeconds(ClockValue value, std::int64_t seconds)
{
    return value + static_cast<double>(seconds) / SecondsPerDay;
}

std::int64_t DiffSeconds(ClockValue a, ClockValue b)
{
    return std::llround((b - a) * SecondsPerDay);
}

int HourOf(ClockValue value)
{
    const auto s = SecondOfDay(value);
    return s < 0 ? 0 : static_cast<int>(s / 3600);
}

int MinuteOf(ClockValue value)
{
    const auto s = SecondOfDay(value);
    return s < 0 ? 0 : static_cast<int>(s / 60 % 60);
}

int SecondOf(ClockValue value)
{
    const auto s = SecondOfDay(value);
    return s < 0 ? 0 : static_cast<int>(s % 60);
}

QString TwoDigits(std::int64_t number)
{
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

QString ElapsedText(ClockValue value)
{
    return TwoDigits(HourOf(value)) + u':' + TwoDigits(MinuteOf(value)) + u':' + TwoDigits(SecondOf(value));
}

ClockValue Elapsed(ClockValue start, ClockValue end, std::int64_t pausedSeconds)
{
    if (end < start)
        end = AddHours(end, 24);
    return AddSeconds(end - start, -pausedSeconds);
}

std::int64_t PauseLength(ClockValue pauseStarted, ClockValue resumed)
{
    if (resumed < pauseStarted)
        resumed = AddHours(resumed, 24);
    return std::llabs(DiffSeconds(pauseStarted, resumed));
}

int MsUntilNextSecond(int msIntoSecond, int slackMs)
{
    const int into = ((msIntoSecond % 1000) + 1000) % 1000;
    return 1000 - into + slackMs;
}

} // namespace ostrel::clock
