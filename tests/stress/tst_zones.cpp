// The clock, the alarm and the stopwatch across the daylight-saving changes of 2026 in the zone named
// by TZ (one run per zone): local time jumps, the seconds since the epoch do not.
#include "drive.h"
#include "helpers.h"

#include "alarm_window/frmitstime.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimeZone>

using namespace ostrel;

namespace {

struct Change
{
    const char *zone;
    bool forward;           // spring forward (an hour or half an hour skipped), else fall back (repeated)
    const char *lastBefore; // the clock's last second before the change and its first after
    const char *firstAfter;
    const char *alarm;      // an alarm time inside the skipped or repeated stretch
    // When it fires. A skipped alarm time is passed over as the clock jumps, so the alarm comes at
    // the jump, the first moment the clock reads later than it; a repeated one comes the first time.
    const char *firesAt;
    // A stopwatch run from a minute before the change to a minute after it: the stopwatch counts from
    // the local times of day it shows, so the total is the wall-clock difference, not the two minutes
    // that passed, and a run whose finish reads earlier than its start counts as crossing midnight.
    const char *total;
};

const Change Changes[] = {
    {"Europe/Berlin", true, "01:59:59", "03:00:00", "02:30", "03:00:00", "01:02:00"},
    {"Europe/Berlin", false, "02:59:59", "02:00:00", "02:30", "02:30:00", "23:02:00"},
    {"America/New_York", true, "01:59:59", "03:00:00", "02:30", "03:00:00", "01:02:00"},
    {"America/New_York", false, "01:59:59", "01:00:00", "01:30", "01:30:00", "23:02:00"},
    {"Australia/Lord_Howe", true, "01:59:59", "02:30:00", "02:15", "02:30:00", "00:32:00"},
    {"Australia/Lord_Howe", false, "01:59:59", "01:30:00", "01:45", "01:45:00", "23:32:00"},
};

QString Zone()
{
    return qEnvironmentVariable("TZ");
}

// The moment of the zone's 2026 change in the given direction.
QDateTime ChangeAt(bool forward)
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const auto year = zone.transitions(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC),
                                       QDateTime(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC));
    for (const QTimeZone::OffsetData &t : year) {
        const int before = zone.offsetFromUtc(t.atUtc.addSecs(-1));
        if ((t.offsetFromUtc > before) == forward)
            return t.atUtc;
    }
    return {};
}

QString Text(const char *s)
{
    return QString::fromLatin1(s);
}

} // namespace

class TestZones : public QObject
{
    Q_OBJECT

    void addRows()
    {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QString>("lastBefore");
        QTest::addColumn<QString>("firstAfter");
        QTest::addColumn<QString>("alarm");
        QTest::addColumn<QString>("firesAt");
        QTest::addColumn<QString>("total");
        for (const Change &c : Changes) {
            if (Zone() == QLatin1String(c.zone))
                QTest::newRow(c.forward ? "spring forward" : "fall back")
                    << c.forward << Text(c.lastBefore) << Text(c.firstAfter) << Text(c.alarm) << Text(c.firesAt)
                    << Text(c.total);
        }
    }

    // A main window on a fake clock set to `offsetSecs` from the change.
    void Open(testing::Fixture &f, bool forward, int offsetSecs)
    {
        f.clock.Set(ChangeAt(forward).toLocalTime().addSecs(offsetSecs));
        f.Open();
    }

private Q_SLOTS:
    void initTestCase();
    void clockAcrossTheChange_data() { addRows(); }
    void clockAcrossTheChange();
    void alarmAcrossTheChange_data() { addRows(); }
    void alarmAcrossTheChange();
    void stopwatchAcrossTheChange_data() { addRows(); }
    void stopwatchAcrossTheChange();
};

void TestZones::initTestCase()
{
    bool known = false;
    for (const Change &c : Changes)
        known = known || Zone() == QLatin1String(c.zone);
    QVERIFY2(known, qPrintable(u"run with TZ set to a zone of the table, not '" + Zone() + u'\''));
    QVERIFY2(QTimeZone::systemTimeZone().hasDaylightTime(), "the zone's rules are not installed (tzdata)");
    QVERIFY(ChangeAt(true).isValid());
    QVERIFY(ChangeAt(false).isValid());
}

void TestZones::clockAcrossTheChange()
{
    QFETCH(bool, forward);
    QFETCH(QString, lastBefore);
    QFETCH(QString, firstAfter);
    testing::Fixture f;
    Open(f, forward, -2 * 3600);
    const qint64 change = ChangeAt(forward).toSecsSinceEpoch();
    QList<qint64> handled;
    QString shownBefore, shownAt;
    connect(f.window->Timer1, &platform::SecondTimer::timeout, f.window.get(), [&] {
        const qint64 now = f.clock.Now().toSecsSinceEpoch();
        handled << now;
        if (now == change - 1)
            shownBefore = f.window->lblTime->text();
        if (now == change)
            shownAt = f.window->lblTime->text();
    });
    stress::Wakeups wakeups(f.window->Timer1, f.clock);
    while (handled.isEmpty() || handled.last() < change + 2 * 3600)
        QVERIFY2(wakeups.Next(), "the clock stopped ticking");
    f.Close();

    QCOMPARE(handled.size(), 4 * 3600);
    for (qsizetype i = 1; i < handled.size(); ++i)
        QCOMPARE(handled[i], handled[i - 1] + 1);
    QCOMPARE(shownBefore, lastBefore);
    QCOMPARE(shownAt, firstAfter);
}

void TestZones::alarmAcrossTheChange()
{
    QFETCH(bool, forward);
    QFETCH(QString, alarm);
    QFETCH(QString, firesAt);
    testing::Fixture f;
    Open(f, forward, -3600);
    const qint64 change = ChangeAt(forward).toSecsSinceEpoch();
    QList<QDateTime> fired;
    stress::ModalAnswerer answerer([&](QWidget *w) {
        if (qobject_cast<frmItsTime *>(w))
            fired << f.clock.Now();
    });
    testing::Choose(f.window->cmbHour, alarm.left(2));
    testing::Choose(f.window->cmbMinute, alarm.right(2));
    f.window->cmdAlarm->click();
    QVERIFY(f.window->AlarmTime);
    int ticks = 0;
    connect(f.window->Timer1, &platform::SecondTimer::timeout, f.window.get(), [&] { ++ticks; });
    stress::Wakeups wakeups(f.window->Timer1, f.clock);
    while (f.clock.Now().toSecsSinceEpoch() < change + 2 * 3600)
        QVERIFY2(wakeups.Next(), "the clock stopped ticking");
    const bool stillArmed = f.window->AlarmTime.has_value();
    f.Close();

    QCOMPARE(ticks, 3 * 3600);
    QCOMPARE(fired.size(), 1);
    QVERIFY(!stillArmed);
    QCOMPARE(fired.first().time().toString(u"HH:mm:ss"), firesAt);
    if (forward)
        QCOMPARE(fired.first().toSecsSinceEpoch(), change);
    else
        QVERIFY2(fired.first().toSecsSinceEpoch() < change, "fired at the repeat, not the first time round");
}

void TestZones::stopwatchAcrossTheChange()
{
    QFETCH(bool, forward);
    QFETCH(QString, total);
    testing::Fixture f;
    Open(f, forward, -60);
    f.window->cmdStart->click();
    f.clock.Advance(120'000);
    f.window->cmdFinish->click();
    const QString shown = f.window->lblTotal->text();
    f.Close();
    QCOMPARE(shown, total);
}

QTEST_MAIN(TestZones)
#include "tst_zones.moc"
