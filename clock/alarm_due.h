#pragma once

#include <QDateTime>
#include <QTime>

// When an alarm set for a time of day is due. Moments are date-times of the clock they were read
// from (local time in the program), so the wall clock's jumps at daylight-saving changes are its own.
namespace ostrel::clock {

enum class AlarmCheck {
    NotYet,  // the alarm's moment has not come since the last check
    Due,     // it came since the last check, at most LateLimitSecs ago: fire now
    TooLate, // it came longer ago than that: do not fire, wait for its next moment
};

inline constexpr int LateLimitSecs = 3600;

// The first moment after `after` at which the clock `after` was read from reaches the time of day
// `alarm`: the first of the two readings in an hour that is repeated, and the end of the jump when
// the clock skips over that time of day. Invalid if either argument is.
QDateTime NextAlarmMoment(const QDateTime &after, QTime alarm);

// Whether the alarm's first moment after `checked` (the moment the alarm was last looked at, or
// armed) lies in (checked, now], and if so how late `now` is for it. A clock set back gives an empty
// stretch: nothing fires early or twice.
AlarmCheck CheckAlarm(const QDateTime &checked, const QDateTime &now, QTime alarm);

} // namespace ostrel::clock
