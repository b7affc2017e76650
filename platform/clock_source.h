#pragma once

#include "clock/clock_value.h"

#include <QDateTime>
#include <QString>

// Every reading of the time goes through the one clock source installed here: the system's local time
// in the program, a hand-set clock in tests.
namespace ostrel::platform {

class ClockSource
{
public:
    virtual ~ClockSource() = default;
    virtual QDateTime Now() const = 0;
};

// The source in use; the system clock unless a test installed another.
const ClockSource &Clock();
// Installs a source (nullptr: back to the system clock). The caller keeps ownership.
void SetClockSource(const ClockSource *source);

// The current time of day, whole seconds.
clock::ClockValue CurrentTime();
// Today's date in the locale's short format.
QString CurrentDateText();

} // namespace ostrel::platform
