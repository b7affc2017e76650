#include "clock/alarm_due.h"
#include "clock/clock_value.h"
#include "clock/time_text.h"

#include <QTest>
#include <QTimeZone>

using namespace ostrel::clock;

namespace {

ClockValue Hms(int h, int m, int s)
{
    return FromHms(h, m, s);
}

// Moments on a clock of a named zone, so that the daylight-saving rows hold whatever TZ says.
const QTimeZone Berlin("Europe/Berlin");
const QDate May4(2026, 5, 4);
const QDate Spring(2026, 3, 29); // 02:00 CET becomes 03:00 CEST
const QDate Autumn(2026, 10, 25); // 03:00 CEST becomes 02:00 CET

QDateTime In(QDate day, int h, int m, int s, int ms = 0)
{
    return QDateTime(day, QTime(h, m, s, ms), Berlin);
}

// A moment given in UTC: a wall time of the repeated hour alone does not say which time round it is.
QDateTime Utc(QDate day, int h, int m, int s)
{
    return QDateTime(day, QTime(h, m, s), Qt::UTC).toTimeZone(Berlin);
}

} // namespace

class TestClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripsEverySecond_data();
    void roundTripsEverySecond();
    void everyLocale_data();
    void everyLocale();
    void parsesHoursAndMinutes_data();
    void parsesHoursAndMinutes();
    void elapsed_data();
    void elapsed();
    void pauseLength_data();
    void pauseLength();
    void fields_data();
    void fields();
    void twoDigits_data();
    void twoDigits();
    void nextSecond_data();
    void nextSecond();
    void alarmDue_data();
    void alarmDue();
};

void TestClock::roundTripsEverySecond_data()
{
    QTest::addColumn<QString>("locale");
    for (const char *name : {"C", "en_US", "en_GB", "de_DE", "fr_FR", "ja_JP", "ar_EG", "fa_IR", "hi_IN", "zh_CN", "ko_KR", "ru_RU"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestClock::roundTripsEverySecond()
{
    QFETCH(QString, locale);
    const QLocale l(locale);
    int failures = 0;
    QString first;
    for (int s = 0; s < SecondsPerDay; ++s) {
        const ClockValue v = Hms(s / 3600, s / 60 % 60, s % 60);
        const QString text = TimeText(v, l);
        const auto back = ParseTime(text, l);
        if (!back || DiffSeconds(v, *back) != 0) {
            if (failures++ == 0)
                first = text;
        }
    }
    QVERIFY2(failures == 0, qPrintable(QStringLiteral("%1 seconds fail to read back, first \"%2\"").arg(failures).arg(first)));
}

void TestClock::everyLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    for (const QLocale &l : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        // Some names stand for two scripts (ff_SN in Latin and in Adlam letters).
        const QString row = l.name() + u' ' + QLocale::scriptToCode(l.script());
        QTest::newRow(qPrintable(row)) << l;
    }
}

// Every hour at both ends of its minutes and seconds, morning and afternoon: what fails to read back
// in a locale is a whole field (its digits, its AM/PM words), so these times find it without trying
// every second.
void TestClock::everyLocale()
{
    QFETCH(QLocale, locale);
    QStringList failed;
    for (int h = 0; h < 24; ++h) {
        for (const auto &[m, s] : {std::pair{0, 0}, {5, 7}, {30, 59}, {59, 0}, {59, 59}}) {
            const ClockValue v = Hms(h, m, s);
            const QString text = TimeText(v, locale);
            const auto back = ParseTime(text, locale);
            if (!back || DiffSeconds(v, *back) != 0)
                failed << QStringLiteral("%1 -> \"%2\"").arg(ElapsedText(v), text);
        }
    }
    QVERIFY2(failed.isEmpty(), qPrintable(QStringLiteral("%1 times do not read back: %2")
                                              .arg(failed.size()).arg(failed.mid(0, 4).join(u", "))));

    const QString text = TimeText(Hms(21, 5, 7), locale);
    QVERIFY2(!text.contains(QLatin1String("UTC")) && !text.contains(QLatin1String("GMT")), qPrintable(text));
    QCOMPARE(text, text.trimmed());
    // Without its zone the text keeps no separator that stood before it, nor its brackets, whole or half.
    QVERIFY2(!text.endsWith(u',') && !text.startsWith(u','), qPrintable(text));
    for (const QChar bracket : QStringView(u"()[]\uff08\uff09"))
        QVERIFY2(!text.contains(bracket), qPrintable(text));
    // Seconds are part of every long time.
    QVERIFY2(text != TimeText(Hms(21, 5, 8), locale), qPrintable(text));
}

void TestClock::parsesHoursAndMinutes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("seconds");
    QTest::newRow("07:05") << u"07:05"_qs << true << 7 * 3600 + 5 * 60;
    QTest::newRow("7:05") << u"7:05"_qs << true << 7 * 3600 + 5 * 60;
    QTest::newRow("00:00 is midnight") << u"00:00"_qs << true << 0;
    QTest::newRow("23:59") << u"23:59"_qs << true << 23 * 3600 + 59 * 60;
    QTest::newRow("surrounding spaces") << u" 12:30 "_qs << true << 12 * 3600 + 30 * 60;
    QTest::newRow("hour 24") << u"24:00"_qs << false << 0;
    QTest::newRow("minute 60") << u"12:60"_qs << false << 0;
    QTest::newRow("one minute digit") << u"12:5"_qs << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("words") << u"noon"_qs << false << 0;
}

void TestClock::parsesHoursAndMinutes()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, seconds);
    for (const char *locale : {"C", "en_US", "de_DE", "ar_EG"}) {
        const auto parsed = ParseTime(text, QLocale(QLatin1String(locale)));
        QCOMPARE(parsed.has_value(), valid);
        if (valid) {
            QCOMPARE(DiffSeconds(0.0, *parsed), seconds);
            QVERIFY(*parsed >= 0.0 && *parsed < 1.0);
        }
    }
}

void TestClock::elapsed_data()
{
    QTest::addColumn<ClockValue>("start");
    QTest::addColumn<ClockValue>("end");
    QTest::addColumn<qint64>("paused");
    QTest::addColumn<QString>("text");
    QTest::newRow("across midnight") << Hms(23, 59, 50) << Hms(0, 0, 10) << qint64(0) << u"00:00:20"_qs;
    QTest::newRow("equal times, no midnight step") << Hms(10, 0, 0) << Hms(10, 0, 0) << qint64(0) << u"00:00:00"_qs;
    QTest::newRow("one second before the start is nearly a day")
        << Hms(10, 0, 0) << Hms(9, 59, 59) << qint64(0) << u"23:59:59"_qs;
    QTest::newRow("with a pause") << Hms(9, 59, 0) << Hms(10, 1, 0) << qint64(30) << u"00:01:30"_qs;
    QTest::newRow("two pauses") << Hms(8, 0, 0) << Hms(8, 1, 0) << qint64(10 + 20) << u"00:00:30"_qs;
    QTest::newRow("pause over 16-bit range") << Hms(0, 0, 0) << Hms(23, 0, 0) << qint64(40000)
                                             << u"11:53:20"_qs;
    QTest::newRow("more paused than elapsed") << Hms(10, 0, 0) << Hms(10, 0, 5) << qint64(60) << u"00:00:00"_qs;
    QTest::newRow("end past a day") << Hms(0, 0, 0) << 1.0 + Hms(1, 0, 0) << qint64(0) << u"01:00:00"_qs;
}

void TestClock::elapsed()
{
    QFETCH(ClockValue, start);
    QFETCH(ClockValue, end);
    QFETCH(qint64, paused);
    QFETCH(QString, text);
    QCOMPARE(ElapsedText(Elapsed(start, end, paused)), text);
}

void TestClock::pauseLength_data()
{
    QTest::addColumn<ClockValue>("from");
    QTest::addColumn<ClockValue>("to");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("thirty seconds") << Hms(10, 0, 0) << Hms(10, 0, 30) << qint64(30);
    QTest::newRow("across midnight") << Hms(23, 59, 50) << Hms(0, 0, 20) << qint64(30);
    QTest::newRow("none") << Hms(12, 0, 0) << Hms(12, 0, 0) << qint64(0);
    QTest::newRow("longer than 9 h 6 min 7 s") << Hms(1, 0, 0) << Hms(11, 0, 0) << qint64(36000);
    QTest::newRow("longest the rule allows") << Hms(12, 0, 0) << Hms(11, 59, 59) << qint64(86399);
}

void TestClock::pauseLength()
{
    QFETCH(ClockValue, from);
    QFETCH(ClockValue, to);
    QFETCH(qint64, seconds);
    QCOMPARE(PauseLength(from, to), seconds);
}

void TestClock::fields_data()
{
    QTest::addColumn<ClockValue>("value");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::newRow("midnight") << 0.0 << 0 << 0 << 0;
    QTest::newRow("noon") << 0.5 << 12 << 0 << 0;
    QTest::newRow("last second") << Hms(23, 59, 59) << 23 << 59 << 59;
    QTest::newRow("a day and an hour") << 1.0 + Hms(1, 0, 0) << 1 << 0 << 0;
    QTest::newRow("a day and a half") << 1.5 << 12 << 0 << 0;
    QTest::newRow("hours added past a day") << AddHours(Hms(23, 30, 0), 24) << 23 << 30 << 0;
    QTest::newRow("a hair under midnight rounds up") << 1.0 - 1e-9 << 0 << 0 << 0;
    QTest::newRow("seconds added") << AddSeconds(Hms(9, 59, 59), 1) << 10 << 0 << 0;
    QTest::newRow("negative") << AddSeconds(0.0, -1) << 0 << 0 << 0;
}

void TestClock::fields()
{
    QFETCH(ClockValue, value);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QCOMPARE(HourOf(value), hour);
    QCOMPARE(MinuteOf(value), minute);
    QCOMPARE(SecondOf(value), second);
}

void TestClock::twoDigits_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << u"00"_qs;
    QTest::newRow("7") << qint64(7) << u"07"_qs;
    QTest::newRow("59") << qint64(59) << u"59"_qs;
    QTest::newRow("three digits") << qint64(123) << u"123"_qs;
}

void TestClock::twoDigits()
{
    QFETCH(qint64, number);
    QFETCH(QString, text);
    QCOMPARE(TwoDigits(number), text);
}

void TestClock::nextSecond_data()
{
    QTest::addColumn<int>("msIntoSecond");
    QTest::addColumn<int>("wait");
    QTest::newRow("on the second") << 0 << 1005;
    QTest::newRow("1 ms past") << 1 << 1004;
    QTest::newRow("half way") << 500 << 505;
    QTest::newRow("last ms") << 999 << 6;
    // A jump of the clock gives a reading like any other; the wait follows it, not the old phase.
    QTest::newRow("after a jump, a second past") << 1000 + 250 << 755;
    QTest::newRow("reading before the epoch second") << -1 << 6;
}

void TestClock::nextSecond()
{
    QFETCH(int, msIntoSecond);
    QFETCH(int, wait);
    QCOMPARE(MsUntilNextSecond(msIntoSecond), wait);
    // Wherever it wakes, the next wakeup lands just past a whole second, never inside the current one.
    QCOMPARE((msIntoSecond % 1000 + 1000 + MsUntilNextSecond(msIntoSecond)) % 1000, 5);
}

Q_DECLARE_METATYPE(AlarmCheck)

void TestClock::alarmDue_data()
{
    QTest::addColumn<QDateTime>("checked");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QTime>("alarm");
    QTest::addColumn<AlarmCheck>("outcome");
    const QTime at0730(7, 30), at0230(2, 30);
    const auto Due = AlarmCheck::Due, NotYet = AlarmCheck::NotYet, TooLate = AlarmCheck::TooLate;
    QTest::newRow("the second before") << In(May4, 7, 29, 58, 5) << In(May4, 7, 29, 59, 5) << at0730 << NotYet;
    QTest::newRow("its second") << In(May4, 7, 29, 59, 5) << In(May4, 7, 30, 0, 5) << at0730 << Due;
    QTest::newRow("its very millisecond") << In(May4, 7, 29, 59) << In(May4, 7, 30, 0) << at0730 << Due;
    QTest::newRow("the tick after it") << In(May4, 7, 30, 0, 5) << In(May4, 7, 30, 1, 5) << at0730 << NotYet;
    QTest::newRow("stalled across it") << In(May4, 7, 29, 58) << In(May4, 7, 30, 3) << at0730 << Due;
    QTest::newRow("an hour late") << In(May4, 7, 29, 58) << In(May4, 8, 30, 0) << at0730 << Due;
    QTest::newRow("more than an hour late") << In(May4, 7, 29, 58) << In(May4, 8, 30, 1) << at0730 << TooLate;
    QTest::newRow("after that, the next day's") << In(May4, 8, 30, 1) << In(May4.addDays(1), 7, 30, 0) << at0730 << Due;
    QTest::newRow("set forward a day over it") << In(May4, 7, 0, 0) << In(May4.addDays(1), 7, 0, 0) << at0730 << TooLate;
    QTest::newRow("set back before it") << In(May4, 7, 31, 0) << In(May4, 7, 29, 0) << at0730 << NotYet;
    QTest::newRow("set back onto it") << In(May4, 7, 30, 30) << In(May4, 7, 30, 0) << at0730 << NotYet;
    QTest::newRow("armed after its second") << In(May4, 7, 30, 5) << In(May4, 7, 30, 6) << at0730 << NotYet;
    QTest::newRow("armed after it, next day") << In(May4, 7, 30, 5) << In(May4.addDays(1), 7, 30, 0) << at0730 << Due;
    QTest::newRow("midnight") << In(May4, 23, 59, 58) << In(May4.addDays(1), 0, 0, 3) << QTime(0, 0) << Due;
    QTest::newRow("skipped hour, at the jump") << In(Spring, 1, 59, 59) << In(Spring, 3, 0, 0) << at0230 << Due;
    QTest::newRow("skipped hour, before the jump") << In(Spring, 1, 59, 58) << In(Spring, 1, 59, 59) << at0230 << NotYet;
    // Lateness counts from the jump: 45 minutes, though the wall clock says 75.
    QTest::newRow("skipped hour, 45 min after the jump") << In(Spring, 1, 59, 59) << In(Spring, 3, 45, 0) << at0230 << Due;
    // 02:29:59 and 02:30:00 summer time, the first time round.
    QTest::newRow("repeated hour, first time round") << Utc(Autumn, 0, 29, 59) << Utc(Autumn, 0, 30, 0) << at0230 << Due;
    // From 01:59:59 summer time to 02:59:59 winter time: the first 02:30 was 90 minutes ago.
    QTest::newRow("repeated hour, stalled through both")
        << Utc(Autumn.addDays(-1), 23, 59, 59) << Utc(Autumn, 1, 59, 59) << at0230 << TooLate;
}

void TestClock::alarmDue()
{
    QFETCH(QDateTime, checked);
    QFETCH(QDateTime, now);
    QFETCH(QTime, alarm);
    QFETCH(AlarmCheck, outcome);
    QCOMPARE(CheckAlarm(checked, now, alarm), outcome);
}

QTEST_APPLESS_MAIN(TestClock)
#include "tst_clock.moc"
