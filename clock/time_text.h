#pragma once

#include "clock/clock_value.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

#include <optional>

// The text forms of clock values in the user's locale. Time text is read back as well as shown (the
// stopwatch keeps its start and finish only as label text), so TimeText and ParseTime must round-trip
// every second of the day.
namespace ostrel::clock {

// The locale and format that time text is written and read in: the locale's long time format where
// it reads back, else the nearest that does (the AM/PM words as written, a 24-hour clock, Latin
// digits, and last HH:mm:ss).
struct TimeFormat
{
    QLocale locale;
    QString format;
};
TimeFormat TimeFormatFor(const QLocale &locale = QLocale());

ClockValue FromQTime(QTime time);
QTime ToQTime(ClockValue value);

QString TimeText(ClockValue value, const QLocale &locale = QLocale());
// The value in the named format "Long Time"; for a time of day the same text as TimeText.
QString FormatLongTime(ClockValue value, const QLocale &locale = QLocale());

// Reads time text of the locale, or the forms H:MM and HH:MM (seconds 0). No value for anything else.
std::optional<ClockValue> ParseTime(const QString &text, const QLocale &locale = QLocale());

QString DateText(QDate date, const QLocale &locale = QLocale());

} // namespace ostrel::clock
