// The once-a-second tick through whole simulated days, late and early wakeups and a clock that jumps:
// no second handled twice, none skipped while the clock runs on, and an armed alarm that fires once.
#include "drive.h"
#include "helpers.h"

#include "alarm_window/frmitstime.h"
#include "clock/time_text.h"

#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

using namespace ostrel;

namespace {

const QDate Day(2026, 3, 10);

QDateTime At(const QDate &date, int h, int m, int s, int ms = 0)
{
    return QDateTime(date, QTime(h, m, s, ms));
}

} // namespace

class TestTicks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everySecondOfADay_data();
    void everySecondOfADay();
    void jumps_data();
    void jumps();
    void alarmThroughADay_data();
    void alarmThroughADay();
    void alarmAroundJumps_data();
    void alarmAroundJumps();
};

// Wakeups land off the armed time by a random amount in [early, late] ms: a loaded machine wakes late,
// a coarse timer may wake a few ms early, into the second before.
void TestTicks::everySecondOfADay_data()
{
    QTest::addColumn<int>("early");
    QTest::addColumn<int>("late");

    QTest::newRow("on time") << 0 << 0;
    QTest::newRow("up to 40 ms late") << 0 << 40;
    QTest::newRow("up to 990 ms late") << 0 << 990;
    QTest::newRow("early into the second before") << 30 << 0;
    QTest::newRow("either way") << 20 << 500;
}

void TestTicks::everySecondOfADay()
{
    QFETCH(int, early);
    QFETCH(int, late);
    platform::FakeClock clock(At(Day.addDays(-1), 23, 59, 59));
    platform::SetClockSource(&clock);
    platform::SecondTimer timer;
    QList<qint64> handled;
    connect(&timer, &platform::SecondTimer::timeout, &timer,
            [&] { handled << clock.Now().toSecsSinceEpoch(); });
    timer.Start();
    stress::Wakeups wakeups(&timer, clock);
    QRandomGenerator random(early * 1000 + late);

    const qint64 first = At(Day, 0, 0, 0).toSecsSinceEpoch();
    const qint64 last = At(Day, 23, 59, 59).toSecsSinceEpoch();
    int wakes = 0;
    while (handled.isEmpty() || handled.last() < last) {
        // Never earlier than the moment of arming: time does not run backward between wakeups here.
        const int off = qMax(int(random.bounded(-early, late + 1)), 1 - wakeups.ArmedMs());
        QVERIFY2(wakeups.Next(off), "the timer stopped re-arming");
        QVERIFY(++wakes < 50 * 86400); // a guard against a timer that re-arms without end
    }
    platform::SetClockSource(nullptr);

    // An early first wakeup still handles the second the clock was started in, the day before.
    const qsizetype from = handled.indexOf(first);
    QVERIFY(from == 0 || (from == 1 && handled.first() == first - 1));
    QCOMPARE(handled.size() - from, 86400);
    for (qsizetype i = 1; i < handled.size(); ++i)
        QVERIFY2(handled[i] == handled[i - 1] + 1, qPrintable(QDateTime::fromSecsSinceEpoch(handled[i]).toString()));
}

void TestTicks::jumps_data()
{
    QTest::addColumn<qint64>("jumpMs");       // clock change just before a wakeup (a stall is a late one)
    QTest::addColumn<qint64>("nextSecond");  // first second handled after it, from the last one before
    QTest::addColumn<int>("wakesToIt");

    QTest::newRow("set forward an hour") << 3600'000LL << 3601LL << 1;
    QTest::newRow("set back an hour") << -3600'000LL << -3599LL << 1;
    QTest::newRow("a 10 s stall") << 10'000LL << 11LL << 1;
    QTest::newRow("set back half a second") << -500LL << 1LL << 2;
    QTest::newRow("set back a whole day") << -86400'000LL << -86399LL << 1;
}

void TestTicks::jumps()
{
    QFETCH(qint64, jumpMs);
    QFETCH(qint64, nextSecond);
    QFETCH(int, wakesToIt);
    platform::FakeClock clock(At(Day, 12, 0, 0));
    platform::SetClockSource(&clock);
    platform::SecondTimer timer;
    QList<qint64> handled;
    connect(&timer, &platform::SecondTimer::timeout, &timer,
            [&] { handled << clock.Now().toSecsSinceEpoch(); });
    timer.Start();
    stress::Wakeups wakeups(&timer, clock);

    for (int i = 0; i < 100; ++i)
        QVERIFY(wakeups.Next());
    const qint64 before = handled.last();
    clock.Advance(jumpMs);
    for (int i = 0; i < wakesToIt; ++i)
        QVERIFY(wakeups.Next());
    QCOMPARE(handled.size(), 101);
    QCOMPARE(handled.last() - before, nextSecond);
    for (int i = 0; i < 100; ++i)
        QVERIFY(wakeups.Next());
    platform::SetClockSource(nullptr);

    QCOMPARE(handled.size(), 201);
    for (qsizetype i = 101; i < handled.size(); ++i)
        QCOMPARE(handled[i], handled[i - 1] + 1);
}

void TestTicks::alarmThroughADay_data()
{
    QTest::addColumn<QString>("hour");
    QTest::addColumn<QString>("minute");

    QTest::newRow("midnight") << u"00"_qs << u"00"_qs;
    QTest::newRow("07:30") << u"07"_qs << u"30"_qs;
    QTest::newRow("noon") << u"12"_qs << u"00"_qs;
    QTest::newRow("23:59") << u"23"_qs << u"59"_qs;
}

void TestTicks::alarmThroughADay()
{
    QFETCH(QString, hour);
    QFETCH(QString, minute);
    testing::Fixture f;
    f.clock.Set(At(Day.addDays(-1), 23, 59, 59));
    f.Open();
    QList<QDateTime> fired;
    stress::ModalAnswerer answerer([&](QWidget *w) {
        if (qobject_cast<frmItsTime *>(w))
            fired << f.clock.Now();
    });
    testing::Choose(f.window->cmbHour, hour);
    testing::Choose(f.window->cmbMinute, minute);
    f.window->cmdAlarm->click();
    QVERIFY(f.window->AlarmTime);
    int ticks = 0;
    connect(f.window->Timer1, &platform::SecondTimer::timeout, f.window.get(), [&] { ++ticks; });

    stress::Wakeups wakeups(f.window->Timer1, f.clock);
    const QDateTime end = At(Day.addDays(1), 0, 0, 0);
    while (f.clock.Now() < end)
        QVERIFY2(wakeups.Next(), "the clock stopped ticking");
    const QString lastShown = f.window->lblTime->text();
    f.Close();

    QCOMPARE(ticks, 86401); // the day and the second it ends on
    QCOMPARE(lastShown, clock::FormatLongTime(clock::FromHms(0, 0, 0)));
    QCOMPARE(fired.size(), 1);
    QCOMPARE(fired.first().date(), Day);
    QCOMPARE(fired.first().time().toString(u"HH:mm:ss"), hour + u':' + minute + u":00");
}

// Scripts of "run N" (wakeups in order), "jump S" (the clock set by S seconds) and "rearm" (the same
// alarm chosen and switched on again), from 07:29:30 with the alarm at 07:30; the times it fired.
void TestTicks::alarmAroundJumps_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("fired");

    const QString due = u"07:30:00"_qs;
    QTest::newRow("reached in order") << QStringList{u"run 90"_qs} << QStringList{due};
    QTest::newRow("set back over it, not re-armed")
        << QStringList{u"run 90"_qs, u"jump -3600"_qs, u"run 3700"_qs} << QStringList{due};
    QTest::newRow("set back over it, re-armed")
        << QStringList{u"run 90"_qs, u"jump -3600"_qs, u"rearm"_qs, u"run 3700"_qs} << QStringList{due, due};
    QTest::newRow("re-armed, not set back") << QStringList{u"run 90"_qs, u"rearm"_qs, u"run 3600"_qs} << QStringList{due};
    QTest::newRow("set forward onto its second") << QStringList{u"run 5"_qs, u"jump 24"_qs, u"run 5"_qs} << QStringList{due};
    // Past its second: it comes at the first tick after the jump, unless that is over an hour late.
    QTest::newRow("set forward past its second")
        << QStringList{u"run 5"_qs, u"jump 3500"_qs, u"run 90"_qs} << QStringList{u"08:27:56"_qs};
    QTest::newRow("set forward over an hour past it")
        << QStringList{u"run 5"_qs, u"jump 3700"_qs, u"run 90"_qs} << QStringList{};
    QTest::newRow("a 10 s stall across it") << QStringList{u"run 25"_qs, u"jump 10"_qs, u"run 5"_qs}
                                           << QStringList{u"07:30:06"_qs};
    QTest::newRow("set back just before it, re-armed")
        << QStringList{u"run 40"_qs, u"jump -15"_qs, u"rearm"_qs, u"run 10"_qs} << QStringList{due, due};
}

void TestTicks::alarmAroundJumps()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, fired);
    testing::Fixture f;
    f.clock.Set(At(Day, 7, 29, 30));
    f.Open();
    QStringList firedAt;
    stress::ModalAnswerer answerer([&](QWidget *w) {
        if (qobject_cast<frmItsTime *>(w))
            firedAt << f.clock.Now().time().toString(u"HH:mm:ss");
    });
    const auto arm = [&] {
        testing::Choose(f.window->cmbHour, u"07"_qs);
        testing::Choose(f.window->cmbMinute, u"30"_qs);
        f.window->cmdAlarm->click();
    };
    arm();
    stress::Wakeups wakeups(f.window->Timer1, f.clock);
    for (const QString &step : script) {
        const QStringList words = step.split(u' ');
        if (words.first() == u"run") {
            for (int i = words.at(1).toInt(); i > 0; --i)
                QVERIFY(wakeups.Next());
        } else if (words.first() == u"jump") {
            f.clock.Advance(words.at(1).toLongLong() * 1000);
        } else {
            arm();
            QVERIFY(f.window->AlarmTime);
        }
    }
    f.Close();

    QCOMPARE(firedAt, fired);
}

QTEST_MAIN(TestTicks)
#include "tst_ticks.moc"
