// A seeded random stream of user events against the real windows, with the window's rules checked
// after every one. A failure names its seed: OSTREL_MONKEY_SEED=<seed> replays the same stream, and
// OSTREL_MONKEY_EVENTS sets its length.
#include "drive.h"
#include "helpers.h"

#include "about_window/frmabout.h"
#include "alarm_window/frmitstime.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <deque>
#include <optional>

using namespace ostrel;

namespace {

enum class Watch { Idle, Running, Paused };

int VisibleWindowsOf(const QMetaObject &type)
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += w->isVisible() && w->metaObject()->inherits(&type);
    return n;
}

} // namespace

class TestMonkey : public QObject
{
    Q_OBJECT

    testing::Fixture f;
    QRandomGenerator random;
    std::optional<stress::Wakeups> wakeups;
    std::optional<stress::ModalAnswerer> answerer;

    // What the window should show, kept from the events alone.
    Watch watch = Watch::Idle;
    int hour = -1;
    int minute = -1;
    std::optional<int> armed; // second of the day
    bool onTop = false;
    int alarmsExpected = 0;
    int aboutsExpected = 0;
    int messagesExpected = 0;
    int alarmsSeen = 0;
    int aboutsSeen = 0;
    int messagesSeen = 0;
    qint64 lastTicked = -1;
    qint64 checkedMs = -1; // the moment the alarm was last looked at: the last tick, or the arming
    bool firedNow = false;

    std::deque<QString> recent;
    QString insideFailure;

    void Note(const QString &event)
    {
        recent.push_back(event);
        if (recent.size() > 12)
            recent.pop_front();
    }

    void AlarmFired()
    {
        firedNow = true;
        ++alarmsExpected;
        armed.reset();
        hour = minute = -1;
        onTop = false;
    }

    // A wakeup at the clock's present time. It ticks only in a second not yet handled, and the alarm
    // fires on a tick when its moment came since it was last looked at, an hour ago at most. The clock
    // runs in UTC here, so its moment is the next multiple of a day from the armed second.
    void Tick()
    {
        const QDateTime now = f.clock.Now();
        const qint64 second = now.toSecsSinceEpoch();
        if (second != lastTicked) {
            const qint64 nowMs = now.toMSecsSinceEpoch();
            constexpr qint64 DayMs = 86400'000;
            if (armed) {
                const qint64 ahead = ((*armed * 1000 - checkedMs) % DayMs + DayMs) % DayMs;
                const qint64 moment = checkedMs + (ahead == 0 ? DayMs : ahead);
                if (moment <= nowMs && nowMs - moment <= 3600'000)
                    AlarmFired();
            }
            checkedMs = nowMs;
        }
        lastTicked = second;
        wakeups->Deliver();
    }

    // The clock set on to the armed alarm's next second (5 ms into it).
    void ToAlarm()
    {
        QDateTime due(f.clock.Now().date(), QTime::fromMSecsSinceStartOfDay(*armed * 1000 + 5), Qt::UTC);
        if (due < f.clock.Now())
            due = due.addDays(1);
        f.clock.Set(due);
    }

    QString Broken() const;
    void Inside(QWidget *modal);
    void Step(int event);

private Q_SLOTS:
    void randomUse();
};

QString TestMonkey::Broken() const
{
    const frmOstrel &w = *f.window;
    const bool start = w.cmdStart->isEnabled();
    const bool pause = w.cmdPause->isEnabled();
    const bool finish = w.cmdFinish->isEnabled();
    const QString caption = w.cmdPause->text();
    const bool idle = start && !pause && !finish && caption == u"Pause";
    const bool running = !start && pause && finish && caption == u"Pause";
    const bool paused = !start && pause && !finish && caption == u"PAUSED!";
    if (!idle && !running && !paused)
        return QStringLiteral("buttons in no state: start %1 pause %2 '%3' finish %4")
            .arg(start).arg(pause).arg(caption).arg(finish);
    if ((watch == Watch::Idle && !idle) || (watch == Watch::Running && !running) || (watch == Watch::Paused && !paused))
        return QStringLiteral("stopwatch in the wrong state (expected %1)").arg(int(watch));
    if (firedNow && w.AlarmTime)
        return u"an armed alarm whose moment passed less than an hour ago has not fired"_qs;
    if ((w.cmdAlarm->text() == u"Alarm Is Off") != !w.AlarmTime)
        return u"alarm caption '" + w.cmdAlarm->text() + u"' against the alarm time";
    const std::optional<int> armedSecond =
        w.AlarmTime ? std::optional<int>(clock::DiffSeconds(0, *w.AlarmTime)) : std::nullopt;
    if (armedSecond != armed)
        return QStringLiteral("alarm armed at %1, expected %2").arg(armedSecond.value_or(-1)).arg(armed.value_or(-1));
    if (w.cmbHour->count() != 24 || w.cmbMinute->count() != 60)
        return QStringLiteral("lists of %1 and %2 items").arg(w.cmbHour->count()).arg(w.cmbMinute->count());
    if (w.cmbHour->currentIndex() != hour || w.cmbMinute->currentIndex() != minute)
        return QStringLiteral("lists show %1:%2, expected %3:%4")
            .arg(w.cmbHour->currentIndex()).arg(w.cmbMinute->currentIndex()).arg(hour).arg(minute);
    const bool mark = w.mnuWindowAlwaysOnTop->isChecked();
    const bool hint = w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    const bool native = w.windowHandle() && w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
    if (mark != onTop || hint != mark || native != mark)
        return QStringLiteral("on top: mark %1, hint %2, native %3, expected %4").arg(mark).arg(hint).arg(native).arg(onTop);
    if (VisibleWindowsOf(frmItsTime::staticMetaObject) > 1 || VisibleWindowsOf(frmAbout::staticMetaObject) > 1)
        return QStringLiteral("two alarm or About windows at once");
    return {};
}

// Runs inside the event loop of each modal window, before it is closed.
void TestMonkey::Inside(QWidget *modal)
{
    if (!insideFailure.isEmpty())
        return;
    if (VisibleWindowsOf(frmItsTime::staticMetaObject) > 1 || VisibleWindowsOf(frmAbout::staticMetaObject) > 1) {
        insideFailure = QStringLiteral("two alarm or About windows at once");
        return;
    }
    if (qobject_cast<frmItsTime *>(modal)) {
        ++alarmsSeen;
        if (VisibleWindowsOf(frmAbout::staticMetaObject) != 0)
            insideFailure = QStringLiteral("About still open under the alarm");
        // The clock goes on under the alarm window, in the alarm's own second too.
        if (random.bounded(2)) {
            wakeups->Deliver();
            f.window->Timer1_Timer();
        }
    } else if (qobject_cast<frmAbout *>(modal)) {
        ++aboutsSeen;
        // The alarm comes due while About is open: it takes About's place.
        if (armed && random.bounded(3) == 0) {
            ToAlarm();
            Note(QStringLiteral("  alarm due under About"));
            Tick();
        }
    } else if (qobject_cast<QMessageBox *>(modal)) {
        ++messagesSeen;
    }
}

void TestMonkey::Step(int event)
{
    frmOstrel &w = *f.window;
    const auto click = [](QPushButton *b) { QTest::mouseClick(b, Qt::LeftButton); };
    switch (event) {
    case 0:
        Note(QStringLiteral("Start"));
        if (watch == Watch::Idle)
            watch = Watch::Running;
        click(w.cmdStart);
        break;
    case 1:
        Note(QStringLiteral("Pause"));
        if (watch != Watch::Idle)
            watch = watch == Watch::Running ? Watch::Paused : Watch::Running;
        click(w.cmdPause);
        break;
    case 2:
        Note(QStringLiteral("Finish"));
        if (watch == Watch::Running)
            watch = Watch::Idle;
        click(w.cmdFinish);
        break;
    case 3:
        hour = int(random.bounded(24));
        Note(QStringLiteral("hour %1").arg(hour));
        armed.reset();
        testing::Choose(w.cmbHour, clock::TwoDigits(hour));
        break;
    case 4:
        minute = int(random.bounded(60));
        Note(QStringLiteral("minute %1").arg(minute));
        armed.reset();
        testing::Choose(w.cmbMinute, clock::TwoDigits(minute));
        break;
    case 5:
        Note(QStringLiteral("alarm button"));
        if (armed)
            armed.reset();
        else if (hour >= 0 && minute >= 0) {
            armed = hour * 3600 + minute * 60;
            checkedMs = f.clock.Now().toMSecsSinceEpoch();
        }
        else
            ++messagesExpected;
        click(w.cmdAlarm);
        break;
    case 6:
        Note(QStringLiteral("Always On Top"));
        onTop = !onTop;
        w.mnuWindowAlwaysOnTop->trigger();
        break;
    case 7: {
        Note(QStringLiteral("About"));
        ++aboutsExpected;
        // Off while About is up; once About has gone it is as it was, even if an alarm came between.
        const bool was = onTop;
        w.mnuAbout->trigger();
        onTop = was;
        break;
    }
    case 8: {
        // Mostly the clock running on, sometimes a stall or the clock set either way.
        const int kind = int(random.bounded(20));
        const qint64 ms = kind < 16  ? random.bounded(1, 2500)
                          : kind < 18 ? random.bounded(1, 3 * 3600'000)
                                      : -qint64(random.bounded(1, 3600'000));
        Note(QStringLiteral("clock %1 ms").arg(ms));
        f.clock.Advance(ms);
        Tick();
        break;
    }
    case 9:
        if (!armed)
            return Step(8);
        Note(QStringLiteral("alarm due"));
        ToAlarm();
        Tick();
        break;
    }
}

void TestMonkey::randomUse()
{
    bool seedGiven = false;
    const quint32 seed = quint32(qEnvironmentVariableIntValue("OSTREL_MONKEY_SEED", &seedGiven));
    random.seed(seedGiven ? seed : QRandomGenerator::system()->generate());
    const quint32 used = seedGiven ? seed : random.generate();
    random.seed(used);
    bool lengthGiven = false;
    const int events = qEnvironmentVariableIntValue("OSTREL_MONKEY_EVENTS", &lengthGiven);
    const int total = lengthGiven && events > 0 ? events : 100'000;
    qInfo("monkey seed %u, %d events (replay: OSTREL_MONKEY_SEED=%u)", used, total, used);

    // In UTC, so that the model's days are all 24 hours long whatever TZ says.
    f.clock.Set(QDateTime(testing::Day, QTime(7, 0), Qt::UTC));
    f.Open();
    wakeups.emplace(f.window->Timer1, f.clock);
    answerer.emplace([this](QWidget *modal) { Inside(modal); });

    // Weights of the events of Step, in its order.
    const int weights[] = {120, 120, 120, 110, 110, 100, 60, 8, 230, 22};
    int sum = 0;
    for (int wgt : weights)
        sum += wgt;

    for (int i = 0; i < total; ++i) {
        int pick = int(random.bounded(sum));
        int event = 0;
        while (pick >= weights[event])
            pick -= weights[event++];
        firedNow = false;
        Step(event);
        if (i % 64 == 0)
            QCoreApplication::processEvents();

        QString broken = insideFailure.isEmpty() ? Broken() : insideFailure;
        if (broken.isEmpty() && (alarmsSeen != alarmsExpected || aboutsSeen != aboutsExpected
                                 || messagesSeen != messagesExpected))
            broken = QStringLiteral("windows shown: alarm %1/%2, About %3/%4, message %5/%6")
                         .arg(alarmsSeen).arg(alarmsExpected).arg(aboutsSeen).arg(aboutsExpected)
                         .arg(messagesSeen).arg(messagesExpected);
        if (broken.isEmpty() && QApplication::activeModalWidget())
            broken = QStringLiteral("a modal window is still open");
        if (!broken.isEmpty()) {
            QStringList last(recent.begin(), recent.end());
            QFAIL(qPrintable(QStringLiteral("seed %1, event %2: %3\n  last events: %4")
                                 .arg(used).arg(i).arg(broken, last.join(u", "))));
        }
    }
    qInfo("alarms %d, About %d, messages %d", alarmsSeen, aboutsSeen, messagesSeen);
    answerer.reset();
    wakeups.reset();
    f.Close();
}

QTEST_MAIN(TestMonkey)
#include "tst_monkey.moc"
