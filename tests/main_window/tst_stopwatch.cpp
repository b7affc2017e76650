// The stopwatch through whole runs, with the clock set by hand.
#include "clock/time_text.h"
#include "main_window/frmostrel.h"
#include "fake_clock.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace ostrel;

namespace {

const QDate Day1(2026, 3, 10);

QColor TextColour(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

class TestStopwatch : public QObject
{
    Q_OBJECT

private:
    // Sets the clock to "hh:mm:ss", or "+hh:mm:ss" for that time on the following day.
    void At(const QString &when)
    {
        const bool nextDay = when.startsWith(u'+');
        const QTime time = QTime::fromString(nextDay ? when.mid(1) : when, QStringLiteral("HH:mm:ss"));
        QVERIFY2(time.isValid(), qPrintable(when));
        clock_.Set(QDateTime(nextDay ? Day1.addDays(1) : Day1, time));
    }

    // Runs "start 09:00:00", "pause 10:00:00", "resume ...", "finish ..." in order; "shows 00:01:00"
    // checks the total on show at that point.
    void Run(const QStringList &steps)
    {
        for (const QString &step : steps) {
            const QStringList parts = step.split(u' ');
            if (parts.at(0) == u"shows") {
                QCOMPARE(window_->lblTotal->text(), parts.at(1));
                continue;
            }
            At(parts.at(1));
            const QString action = parts.at(0);
            QPushButton *button = action == u"start" ? window_->cmdStart
                                  : action == u"finish" ? window_->cmdFinish
                                                        : window_->cmdPause;
            QVERIFY2(button->isEnabled(), qPrintable(step));
            button->click();
        }
    }

    platform::FakeClock clock_{QDateTime(Day1, QTime(8, 0))};
    std::unique_ptr<frmOstrel> window_;

private Q_SLOTS:
    void initTestCase()
    {
        // A run in another locale proves nothing if that locale quietly fell back to C.
        if (qEnvironmentVariableIsSet("OSTREL_TEST_LOCALE"))
            QCOMPARE(QLocale().name(), qEnvironmentVariable("OSTREL_TEST_LOCALE"));
    }
    void init()
    {
        platform::SetClockSource(&clock_);
        window_ = std::make_unique<frmOstrel>();
        window_->show();
    }
    void cleanup()
    {
        window_.reset();
        platform::SetClockSource(nullptr);
    }

    void startsIdle();
    void runs_data();
    void runs();
    void buttonStatesThroughARun();
    void nothingChangesWhilePaused();
    void totalColourFollowsTheLastPauseOrResume();
    void headingAppearsOnlyAfterAPause();
    void startClearsTheLastRun();
    void unreadableStartShowsNoTotal();
};

void TestStopwatch::startsIdle()
{
    QVERIFY(window_->cmdStart->isEnabled());
    QVERIFY(!window_->cmdFinish->isEnabled());
    QVERIFY(!window_->cmdPause->isEnabled());
    QCOMPARE(window_->cmdPause->text(), u"Pause"_qs);
    QVERIFY(!window_->lblHowLong->isVisible());
    for (const QLabel *box : {window_->lblStart, window_->lblFinish, window_->lblTotal, window_->lblTime, window_->lblDate})
        QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
    QCOMPARE(window_->PausedSeconds, 0);
}

void TestStopwatch::runs_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("total");

    QTest::newRow("no time at all") << QStringList{u"start 09:00:00"_qs, u"finish 09:00:00"_qs} << u"00:00:00"_qs;
    QTest::newRow("across midnight")
        << QStringList{u"start 23:59:58"_qs, u"finish +00:00:03"_qs} << u"00:00:05"_qs;
    QTest::newRow("one pause")
        << QStringList{u"start 09:59:00"_qs, u"pause 10:00:00"_qs, u"resume 10:00:30"_qs, u"finish 10:01:00"_qs}
        << u"00:01:30"_qs;
    QTest::newRow("pause across midnight")
        << QStringList{u"start 23:59:00"_qs, u"pause 23:59:50"_qs, u"resume +00:00:20"_qs, u"finish +00:01:00"_qs}
        << u"00:01:30"_qs;
    QTest::newRow("two pauses")
        << QStringList{u"start 08:00:00"_qs, u"pause 08:00:10"_qs, u"resume 08:00:20"_qs,
                       u"pause 08:00:30"_qs, u"shows 00:00:20"_qs, u"resume 08:00:50"_qs, u"finish 08:01:00"_qs}
        << u"00:00:30"_qs;
    QTest::newRow("longer than a day shows less whole days")
        << QStringList{u"start 10:00:00"_qs, u"finish +11:00:05"_qs} << u"01:00:05"_qs;
    QTest::newRow("a pause longer than 32767 s")
        << QStringList{u"start 00:00:00"_qs, u"pause 01:00:00"_qs, u"resume 11:00:00"_qs, u"finish 12:00:00"_qs}
        << u"02:00:00"_qs;
    QTest::newRow("pauses summing past 32767 s")
        << QStringList{u"start 00:00:00"_qs, u"pause 00:00:01"_qs, u"resume 06:00:01"_qs,
                       u"pause 06:00:02"_qs, u"resume 12:00:02"_qs, u"finish 12:30:00"_qs}
        << u"00:30:00"_qs;
    QTest::newRow("clock set back during the run")
        << QStringList{u"start 10:00:00"_qs, u"pause 10:00:10"_qs, u"resume 10:05:10"_qs, u"finish 10:00:20"_qs}
        << u"00:00:00"_qs;
}

void TestStopwatch::runs()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, total);
    Run(steps);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(window_->lblTotal->text(), total);
    QCOMPARE(window_->lblHowLong->text(), u"Total Time Elapsed"_qs);
    QCOMPARE(window_->PausedSeconds, 0);
    // Start and finish are on show as time text that reads back to the clock's times.
    const auto start = clock::ParseTime(window_->lblStart->text());
    const auto finish = clock::ParseTime(window_->lblFinish->text());
    QVERIFY(start && finish);
    QCOMPARE(clock::TimeText(*finish), window_->lblFinish->text());
    QCOMPARE(clock::DiffSeconds(*finish, clock::FromQTime(clock_.Now().time())), 0);
}

void TestStopwatch::buttonStatesThroughARun()
{
    struct State { bool start, pause, finish; const char *pauseCaption; };
    const auto expect = [this](State s, const char *when) {
        QVERIFY2(window_->cmdStart->isEnabled() == s.start, when);
        QVERIFY2(window_->cmdPause->isEnabled() == s.pause, when);
        QVERIFY2(window_->cmdFinish->isEnabled() == s.finish, when);
        QVERIFY2(window_->cmdPause->text() == QLatin1String(s.pauseCaption), when);
    };
    const State idle{true, false, false, "Pause"};
    const State running{false, true, true, "Pause"};
    const State paused{false, true, false, "PAUSED!"};

    expect(idle, "at start-up");
    Run({u"start 09:00:00"_qs});
    expect(running, "after Start");
    Run({u"pause 09:00:05"_qs});
    expect(paused, "after Pause");
    window_->cmdFinish->click(); // disabled: a paused run cannot be finished
    expect(paused, "after clicking the disabled Finish");
    Run({u"resume 09:00:10"_qs});
    expect(running, "after resuming");
    Run({u"finish 09:00:20"_qs});
    expect(idle, "after Finish");
    QCOMPARE(window_->lblTotal->text(), u"00:00:15"_qs);
}

void TestStopwatch::nothingChangesWhilePaused()
{
    Run({u"start 09:59:00"_qs, u"pause 10:00:00"_qs});
    QCOMPARE(window_->lblTotal->text(), u"00:01:00"_qs);
    QCOMPARE(TextColour(window_->lblTotal), QColor(255, 0, 0));
    QCOMPARE(window_->lblHowLong->text(), u"Current Time Elapsed"_qs);
    for (const char *later : {"10:00:01", "10:05:00", "+09:00:00"}) {
        At(QLatin1String(later));
        window_->Timer1_Timer();
        QCOMPARE(window_->lblTotal->text(), u"00:01:00"_qs);
        QVERIFY(!window_->cmdFinish->isEnabled());
    }
}

void TestStopwatch::totalColourFollowsTheLastPauseOrResume()
{
    const QColor red(255, 0, 0), black(0, 0, 0);
    Run({u"start 09:00:00"_qs, u"finish 09:00:01"_qs});
    QCOMPARE(TextColour(window_->lblTotal), red); // no resume since start-up
    Run({u"start 09:00:02"_qs, u"pause 09:00:03"_qs});
    QCOMPARE(TextColour(window_->lblTotal), red);
    Run({u"resume 09:00:04"_qs});
    QCOMPARE(TextColour(window_->lblTotal), black);
    QVERIFY(window_->lblTotal->text().isEmpty());
    Run({u"finish 09:00:05"_qs});
    QCOMPARE(TextColour(window_->lblTotal), black);
    Run({u"start 09:00:06"_qs, u"finish 09:00:07"_qs});
    QCOMPARE(TextColour(window_->lblTotal), black); // left from the run before
    // The box keeps its green and its border whatever the text colour.
    QCOMPARE(window_->lblTotal->palette().color(QPalette::Window), QColor(0, 255, 0));
}

void TestStopwatch::headingAppearsOnlyAfterAPause()
{
    Run({u"start 09:00:00"_qs, u"finish 09:00:01"_qs});
    QVERIFY(!window_->lblHowLong->isVisible());
    Run({u"start 09:00:02"_qs, u"pause 09:00:03"_qs});
    QVERIFY(window_->lblHowLong->isVisible());
    Run({u"resume 09:00:04"_qs});
    QVERIFY(window_->lblHowLong->isVisible());
    QVERIFY(window_->lblHowLong->text().isEmpty());
    Run({u"finish 09:00:05"_qs, u"start 09:00:06"_qs, u"finish 09:00:07"_qs});
    QVERIFY(window_->lblHowLong->isVisible());
    QCOMPARE(window_->lblHowLong->text(), u"Total Time Elapsed"_qs);
}

void TestStopwatch::startClearsTheLastRun()
{
    Run({u"start 09:00:00"_qs, u"pause 09:00:01"_qs, u"resume 09:00:02"_qs, u"finish 09:00:03"_qs});
    Run({u"start 09:10:00"_qs});
    QVERIFY(window_->lblFinish->text().isEmpty());
    QVERIFY(window_->lblTotal->text().isEmpty());
    QVERIFY(window_->lblHowLong->text().isEmpty());
    QCOMPARE(window_->lblStart->text(), clock::TimeText(clock::FromHms(9, 10, 0)));
}

void TestStopwatch::unreadableStartShowsNoTotal()
{
    Run({u"start 09:00:00"_qs});
    window_->lblStart->setText(u"nine"_qs);
    Run({u"pause 09:00:05"_qs});
    QVERIFY2(window_->lblTotal->text().isEmpty(), qPrintable(window_->lblTotal->text()));
    Run({u"resume 09:00:06"_qs, u"finish 09:00:07"_qs});
    QVERIFY2(window_->lblTotal->text().isEmpty(), qPrintable(window_->lblTotal->text()));
}

QTEST_MAIN(TestStopwatch)
#include "tst_stopwatch.moc"
