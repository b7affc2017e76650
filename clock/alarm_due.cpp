#include "clock/alarm_due.h"

#include <QList>
#include <QTimeZone>

#include <algorithm>

namespace ostrel::clock {

namespace {

int OffsetAt(const QTimeZone &zone, qint64 secsSinceEpoch)
{
    return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(secsSinceEpoch, Qt::UTC));
}

// The moments (seconds since the epoch), earliest first, at which the zone's wall clock reads `time`
// on `day`: one as a rule, two in a repeated hour, and in a skipped stretch only the moment of the jump.
QList<qint64> Readings(const QTimeZone &zone, QDate day, QTime time)
{
    const qint64 wall = QDateTime(day, time, Qt::UTC).toSecsSinceEpoch();
    // The offsets in force a day either way are the ones this wall time can be read under.
    const int before = OffsetAt(zone, wall - 86400);
    const int after = OffsetAt(zone, wall + 86400);
    QList<qint64> found;
    for (const int offset : {before, after}) {
        const qint64 moment = wall - offset;
        if (OffsetAt(zone, moment) == offset && !found.contains(moment))
            found << moment;
    }
    if (found.isEmpty() && after > before) {
        // Skipped: under the old offset the time comes after the jump, under the new one before it.
        const auto jump = zone.nextTransition(QDateTime::fromSecsSinceEpoch(wall - after, Qt::UTC));
        if (jump.atUtc.isValid())
            found << jump.atUtc.toSecsSinceEpoch();
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

QDateTime NextAlarmMoment(const QDateTime &after, QTime alarm)
{
    if (!after.isValid() || !alarm.isValid())
        return {};
    const QTimeZone zone = after.timeZone();
    const qint64 from = after.toMSecsSinceEpoch();
    // From the day before (a clock set back over midnight reads yesterday's times again).
    for (int day = -1; day <= 2; ++day) {
        for (const qint64 moment : Readings(zone, after.date().addDays(day), alarm)) {
            if (moment * 1000 > from)
                return after.addMSecs(moment * 1000 - from);
        }
    }
    return {};
}

AlarmCheck CheckAlarm(const QDateTime &checked, const QDateTime &now, QTime alarm)
{
    if (!now.isValid() || now <= checked)
        return AlarmCheck::NotYet;
    const QDateTime moment = NextAlarmMoment(checked, alarm);
    if (!moment.isValid() || moment > now)
        return AlarmCheck::NotYet;
    return moment.msecsTo(now) <= qint64(LateLimitSecs) * 1000 ? AlarmCheck::Due : AlarmCheck::TooLate;
}

} // namespace ostrel::clock
