#pragma once

#include <QString>

#include <cstdint>

// A time of day as a number of days: the whole part counts days, the fraction is the time of day
// (0.0 is midnight, 0.5 is noon). Values read from the clock have whole part 0 and whole seconds;
// arithmetic may carry a value past 1.0 (a run that crossed midnight) or below 0.0.
namespace ostrel::clock {

using ClockValue = double;

inline constexpr std::int64_t SecondsPerDay = 86400;

ClockValue FromHms(int hours, int minutes, int seconds);

ClockValue AddHours(ClockValue value, double hours);
ClockValue AddSeconds(ClockValue value, std::int64_t seconds);

// Whole seconds from a to b (b minus a), signed.
std::int64_t DiffSeconds(ClockValue a, ClockValue b);

// The fields of the value's time of day; whole days are ignored. A negative value has no
// meaningful time of day and gives 0 for every field.
int HourOf(ClockValue value);
int MinuteOf(ClockValue value);
int SecondOf(ClockValue value);

// At least two digits, zero-padded: 7 gives "07".
QString TwoDigits(std::int64_t number);

// HH:MM:SS of the value's time of day. A negative value (only a clock set back during a run
// produces one) reads 00:00:00.
QString ElapsedText(ClockValue value);

// The stopwatch's one rule: an end before the start is taken to have crossed midnight once (equal
// values have not), then the paused seconds are taken off.
ClockValue Elapsed(ClockValue start, ClockValue end, std::int64_t pausedSeconds);

// The length of one pause by the same midnight rule, in whole seconds.
std::int64_t PauseLength(ClockValue pauseStarted, ClockValue resumed);

// How long a tick that woke msIntoSecond milliseconds past a wall-clock second waits for the next
// one, landing slackMs past it so that a timer firing a little early still falls inside that second.
int MsUntilNextSecond(int msIntoSecond, int slackMs = 5);

} // namespace ostrel::clock
