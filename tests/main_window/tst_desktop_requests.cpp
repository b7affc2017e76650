// What the program asks of the desktop: while the alarm is on, not to suspend the idle machine (one
// request while it is armed, none at any other time), and at the alarm, a notification that lasts as
// long as the alarm window and a screen kept lit while the window waits, for a limited time. Against
// stand-ins for the desktop portal, the power manager, the notification service, GNOME's screen
// shield and KDE's power management on a session bus of the test's own, never the machine's.
#include "helpers.h"

#include "alarm_window/frmitstime.h"
#include "platform/screen_waker.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

using namespace ostrel;
using namespace std::chrono_literals;
using testing::Choose;

namespace {

// Rounds of lighting the screen, short enough for a test: four in all.
constexpr platform::WakeTimes Rounds{300ms, 1200ms};

bool IsWakeup(const QString &call)
{
    return call == u"kde.wakeup";
}

QStringList Without(QStringList calls, bool (*drop)(const QString &))
{
    calls.removeIf(drop);
    return calls;
}

} // namespace

class TestDesktopRequests : public QObject
{
    Q_OBJECT

    testing::Fixture f;
    QTemporaryDir dir_;
    QProcess bus_;
    QProcess standIn_;
    // What the stand-ins were asked, a line a call, as they print it; when each wakeup came.
    QStringList calls_;
    QList<qint64> wokeAt_;
    QElapsedTimer since_;

    void StartStandIn(const QString &portal, const QString &power, const QString &notifications,
                      const QString &shield, bool kde)
    {
        QStringList args;
        if (!portal.isEmpty())
            args << u"--portal"_qs << portal;
        if (!power.isEmpty())
            args << u"--power"_qs << power;
        if (!notifications.isEmpty())
            args << u"--notifications"_qs << notifications;
        if (!shield.isEmpty())
            args << u"--screensaver"_qs << shield;
        if (kde)
            args << u"--kde"_qs << u"ok"_qs;
        standIn_.start(QStringLiteral(OSTREL_DESKTOP_STANDIN), args);
        QVERIFY(standIn_.waitForStarted());
        QTRY_VERIFY(calls_.contains(u"ready"_qs));
        calls_.clear();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A session bus of the test's own that starts no service on demand: only the stand-ins serve.
        QVERIFY(dir_.isValid());
        QFile config(dir_.filePath(u"bus.conf"_qs));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("<busconfig><type>session</type><listen>unix:tmpdir=" + dir_.path().toUtf8()
                     + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                       "<allow receive_sender=\"*\"/><allow own=\"*\"/>"
                       "</policy></busconfig>");
        config.close();
        bus_.start(u"dbus-daemon"_qs, {u"--nofork"_qs, u"--print-address=1"_qs, u"--config-file="_qs + config.fileName()});
        QVERIFY2(bus_.waitForStarted() && bus_.waitForReadyRead(10000), "dbus-daemon did not start");
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.readLine().trimmed());
        connect(&standIn_, &QProcess::readyReadStandardOutput, this, [this] {
            while (standIn_.canReadLine()) {
                calls_ << QString::fromUtf8(standIn_.readLine()).trimmed();
                if (IsWakeup(calls_.last()))
                    wokeAt_ << since_.elapsed();
            }
        });
    }
    void cleanupTestCase()
    {
        bus_.kill();
        bus_.waitForFinished();
    }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(?!This plugin does not support )"_qs));
        calls_.clear();
        wokeAt_.clear();
        since_.start();
    }
    void cleanup()
    {
        f.Close();
        platform::SetScreenWakeTimes(nullptr);
        standIn_.kill();
        standIn_.waitForFinished();
    }

    void followsTheAlarm_data();
    void followsTheAlarm();
};

void TestDesktopRequests::followsTheAlarm_data()
{
    QTest::addColumn<QString>("portal"); // how the stand-in portal answers; empty: there is none
    QTest::addColumn<QString>("power"); // the same for the power manager
    QTest::addColumn<QString>("notifications"); // the same for the notification service
    QTest::addColumn<QString>("shield"); // GNOME's screen shield at the alarm, up or down; empty: none
    QTest::addColumn<bool>("kde"); // whether KDE's power management is there
    QTest::addColumn<bool>("bus"); // whether the program is told of the session bus
    QTest::addColumn<QString>("disarm");
    QTest::addColumn<QStringList>("calls"); // all but KDE's wakeups
    QTest::addColumn<int>("wakeups"); // how many of those

    const QString asked = u"reason=An alarm is set for 07:30 -> "_qs;
    // The portal's Request path as the program's own handle token makes it.
    const QString handle = u"/org/freedesktop/portal/desktop/request/SENDER/ostrel1"_qs;
    // Suspend (4) only; offscreen, the window has no X11 id to give.
    const QString portal = u"portal.Inhibit window= flags=4 "_qs + asked;
    // Held once the portal says so; closed after that.
    const QString settled = u"portal.Response "_qs + handle + u" 0"_qs;
    const QStringList heldByPortal{portal + handle, settled};
    const QString closed = u"portal.Close "_qs + handle;
    const QStringList byPortal = heldByPortal + QStringList{closed};
    const QStringList byPower{u"power.Inhibit application=Ostrel! "_qs + asked + u'1', u"power.UnInhibit 1"_qs};

    // The notification, as the stand-in prints it: every field and each hint with its D-Bus type.
    const QString notify = u"notify.Notify app=Ostrel! replaces=0 icon=org.ostrel.Ostrel summary=It's... Time! body=07:30"
                           " actions=default,Show hints=desktop-entry=org.ostrel.Ostrel(s),suppress-sound=true(b),urgency=2(y)"
                           " expire=0 -> "_qs;
    const QStringList noticed = heldByPortal + QStringList{notify + u'1', u"notify.CloseNotification 1"_qs, closed};
    const QString ok = u"ok"_qs;
    const QString none;

    QTest::newRow("portal, off by the button") << ok << ok << ok << none << false << true
        << u"button"_qs << byPortal << 0;
    QTest::newRow("portal, off by the hour list") << ok << ok << ok << none << false << true
        << u"hour"_qs << byPortal << 0;
    QTest::newRow("portal, off by the minute list") << ok << ok << none << none << false << true
        << u"minute"_qs << byPortal << 0;
    QTest::newRow("portal, the alarm answered") << ok << ok << ok << none << false << true
        << u"alarm"_qs << noticed << 0;
    QTest::newRow("portal, the program closed") << ok << ok << ok << none << false << true
        << u"close"_qs << byPortal << 0;
    QTest::newRow("portal answers after the alarm is off") << u"late"_qs << none << none << none << false << true
        << u"button"_qs << byPortal << 0;
    QTest::newRow("power manager answers after the alarm is off") << none << u"late"_qs << none << none << false
        << true << u"button"_qs << byPower << 0;
    QTest::newRow("power manager, the alarm answered") << none << ok << none << none << false << true
        << u"alarm"_qs << byPower << 0;
    QTest::newRow("power manager answers as the program closes") << none << u"late"_qs << none << none << false
        << true << u"close"_qs << byPower << 0;
    QTest::newRow("portal refuses, power manager") << u"error"_qs << ok << none << none << false << true << u"minute"_qs
                                                   << QStringList{portal + u"error"_qs} + byPower << 0;
    // A portal with no backend for the desktop answers, then refuses; a bus may deliver the two either way round.
    const QStringList refused = QStringList{portal + handle, u"portal.Response "_qs + handle + u" 2"_qs} + byPower;
    QTest::newRow("portal refuses after its answer") << u"refuses"_qs << ok << none << none << false << true
        << u"button"_qs << refused << 0;
    QTest::newRow("portal refuses before its answer") << u"refuses-first"_qs << ok << none << none << false << true
        << u"alarm"_qs << refused << 0;
    QTest::newRow("portal never answers") << u"silent"_qs << ok << none << none << false << true << u"button"_qs
                                          << QStringList{portal + u"no answer"_qs} << 0;
    // The notification clicked or dismissed while the alarm window is open: nothing left to withdraw.
    QTest::newRow("notification clicked") << ok << none << ok << none << false << true << u"alarm, click"_qs
        << heldByPortal + QStringList{notify + u'1', u"notify.ActionInvoked 7 default"_qs, u"notify.NotificationClosed 7 2"_qs,
                                      u"notify.ActionInvoked 1 default"_qs, u"notify.NotificationClosed 1 2"_qs, closed} << 0;
    QTest::newRow("notification dismissed") << ok << none << ok << none << false << true << u"alarm, dismiss"_qs
        << heldByPortal + QStringList{notify + u'1', u"notify.NotificationClosed 1 2"_qs, closed} << 0;
    // Shown only after the window has closed: withdrawn as it comes.
    QTest::newRow("notification answered after the window closed") << ok << none << u"late"_qs << none << false << true
        << u"alarm"_qs
        << heldByPortal + QStringList{notify + u'1', closed, u"notify.CloseNotification 1"_qs} << 0;
    QTest::newRow("only a notification service") << none << none << ok << none << false << true << u"alarm"_qs
        << QStringList{notify + u'1', u"notify.CloseNotification 1"_qs} << 0;
    QTest::newRow("no service") << none << none << none << none << false << true << u"alarm"_qs << QStringList() << 0;
    QTest::newRow("no session bus") << ok << ok << ok << u"up"_qs << true << false << u"alarm"_qs << QStringList() << 0;

    // The screen kept lit while the window waits: a round at the alarm and then one each interval, until
    // the window closes or the rounds are over. KDE's power management is asked each round; GNOME's lock
    // screen is sent the notification anew, one at a time, only while its shield is up.
    // The shield as asked at the alarm, and the notifications sent one after the other (with what
    // comes between the first and the second).
    const auto anew = [&](const QString &shieldAtAlarm, int sent, const QStringList &between = {}) {
        QStringList c = QStringList{u"screensaver.GetActive -> "_qs + shieldAtAlarm, notify + u'1'} + between;
        for (int id = 1; id < sent; ++id)
            c << u"notify.CloseNotification %1"_qs.arg(id) << notify + QString::number(id + 1);
        return c << u"notify.CloseNotification %1"_qs.arg(sent);
    };
    QTest::newRow("screen lit each round, to the limit") << none << none << ok << u"down"_qs << true << true
        << u"alarm, past the limit"_qs << anew(u"false"_qs, 1) << 4;
    QTest::newRow("screen lit each round until stopped with one queued") << none << none << none << none << true
        << true << u"alarm, stopped as a round is queued"_qs << QStringList() << 2;
    // The first notification answered only after the second round: renewed once it has been, never
    // sent while the one before may still be open.
    QTest::newRow("shield up: notified anew each round") << none << none << u"slow"_qs << u"up"_qs << false << true
        << u"alarm, past the limit"_qs << anew(u"true"_qs, 4) << 0;
    QTest::newRow("shield goes up while the window waits") << ok << none << ok << u"down"_qs << true << true
        << u"alarm, shield up, past the limit"_qs
        << heldByPortal + anew(u"false"_qs, 4, {u"screensaver.ActiveChanged true"_qs}) + QStringList{closed}
        << 4;
    // Ended before the portal held it: closed once it does, not before, when its backend might not yet
    // hold what the Close is to end; at the program's end it is waited for.
    QTest::newRow("portal holds it after the alarm is off") << u"slow"_qs << none << none << none << false << true
        << u"button"_qs << byPortal << 0;
    QTest::newRow("portal holds it after the program closed") << u"slow"_qs << none << none << none << false << true
        << u"close"_qs << byPortal << 0;
}

void TestDesktopRequests::followsTheAlarm()
{
    QFETCH(QString, portal);
    QFETCH(QString, power);
    QFETCH(QString, notifications);
    QFETCH(QString, shield);
    QFETCH(bool, kde);
    QFETCH(bool, bus);
    QFETCH(QString, disarm);
    QFETCH(QStringList, calls);
    QFETCH(int, wakeups);

    if (!portal.isEmpty() || !power.isEmpty() || !notifications.isEmpty() || !shield.isEmpty() || kde)
        StartStandIn(portal, power, notifications, shield, kde);
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const std::optional<QByteArray> runtime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")
        ? std::optional(qgetenv("XDG_RUNTIME_DIR")) : std::nullopt;
    const auto restore = qScopeGuard([address, runtime] {
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        runtime ? qputenv("XDG_RUNTIME_DIR", *runtime) : qunsetenv("XDG_RUNTIME_DIR");
    });
    if (!bus) {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", dir_.path().toUtf8()); // a runtime directory with no bus in it
    }
    platform::SetScreenWakeTimes(&Rounds);

    f.Open();
    QTest::qWait(100);
    QCOMPARE(calls_, QStringList()); // nothing before the alarm is set

    f.At(7, 0, 0);
    Choose(f.window->cmbHour, u"07"_qs);
    Choose(f.window->cmbMinute, u"30"_qs);
    QCOMPARE(calls_, QStringList());
    f.window->cmdAlarm->click();
    // Set at once, whatever the desktop does with the request.
    QCOMPARE(f.window->cmdAlarm->text(), u"Alarm Is On"_qs);
    QVERIFY(!QApplication::activeModalWidget());
    // The request went out (and, where the portal refused, went on to the power manager); it is
    // held, and nothing is ended, until the alarm goes off.
    QStringList whileArmed = calls;
    whileArmed.removeIf([slow = portal == u"slow"](const QString &call) {
        return call.startsWith(u"portal.Close"_qs) || call.startsWith(u"power.UnInhibit"_qs)
            || call.startsWith(u"notify."_qs) || call.startsWith(u"screensaver."_qs)
            || (slow && call.startsWith(u"portal.Response"_qs));
    });
    QTRY_COMPARE(calls_, whileArmed);
    // While the window is open: all but the ending of the requests and the notification's withdrawal.
    QStringList whileOpen = calls;
    whileOpen.removeIf([](const QString &call) {
        return call.startsWith(u"portal.Close"_qs) || call.startsWith(u"power.UnInhibit"_qs);
    });
    for (qsizetype i = whileOpen.size() - 1; i >= 0; --i) {
        if (whileOpen.at(i).startsWith(u"notify.CloseNotification"_qs)) {
            whileOpen.remove(i);
            break;
        }
    }

    if (disarm == u"button") {
        f.window->cmdAlarm->click();
    } else if (disarm == u"hour") {
        Choose(f.window->cmbHour, u"08"_qs);
    } else if (disarm == u"minute") {
        Choose(f.window->cmbMinute, u"31"_qs);
    } else if (disarm.startsWith(u"alarm"_qs)) {
        f.At(7, 30, 0);
        QStringList seen;
        bool activated = false;
        bool stayed = false;
        const auto answered = testing::WhenModalOpens([&](QWidget *modal) {
            QVERIFY(qobject_cast<frmItsTime *>(modal));
            QElapsedTimer open;
            open.start();
            if (disarm == u"alarm, click") {
                // Another window has the keyboard when the user clicks the notification.
                QWidget elsewhere(modal, Qt::Window);
                elsewhere.show();
                elsewhere.activateWindow();
                QTRY_COMPARE(QApplication::activeWindow(), &elsewhere);
                QTRY_VERIFY(!calls_.isEmpty() && calls_.last().startsWith(u"notify.Notify"_qs));
                // Another program's notification clicked first: not the alarm's.
                standIn_.write("click 7\n");
                QTRY_VERIFY(calls_.last().startsWith(u"notify.NotificationClosed 7"_qs));
                QTest::qWait(100);
                QCOMPARE(QApplication::activeWindow(), &elsewhere);
                standIn_.write("click 1\n");
                QTRY_COMPARE(QApplication::activeWindow(), modal);
                activated = true;
            } else if (disarm == u"alarm, dismiss") {
                QTRY_VERIFY(!calls_.isEmpty() && calls_.last().startsWith(u"notify.Notify"_qs));
                standIn_.write("dismiss 1\n");
                QTRY_VERIFY(!calls_.isEmpty() && calls_.last().startsWith(u"notify.NotificationClosed"_qs));
                QTest::qWait(100);
                stayed = modal->isVisible() && QApplication::activeModalWidget() == modal;
            } else if (disarm == u"alarm, shield up, past the limit") {
                // The screen locks while the window waits, before the second round.
                QTRY_VERIFY(calls_.indexOf(QRegularExpression(u"notify.Notify .*"_qs)) >= 0);
                standIn_.write("shield up\n");
            } else if (disarm == u"alarm, stopped as a round is queued") {
                // Stopped as the third round is queued, before it has run: it never runs.
                auto *waker = f.window->findChild<platform::ScreenWaker *>();
                QObject hook;
                int rounds = 1;
                connect(waker->findChild<QTimer *>(), &QTimer::timeout, &hook, [&] {
                    if (++rounds == 3)
                        waker->Stop();
                });
                QTRY_COMPARE(rounds, 3);
            }
            if (disarm.endsWith(u"past the limit"_qs)) {
                // Two rounds' time after the last: none came, and the window still waits.
                const auto limit = std::chrono::milliseconds(Rounds.limit + Rounds.interval);
                QTRY_VERIFY_WITH_TIMEOUT(open.elapsed() > limit.count(), int(2 * limit.count()));
                QVERIFY(modal->isVisible());
            }
            QTest::qWait(100);
            seen = calls_;
        });
        f.window->Timer1_Timer();
        QVERIFY(*answered);
        // Held while the alarm window waits for the user, and the desktop told of the alarm.
        QCOMPARE(Without(seen, IsWakeup), whileOpen);
        QCOMPARE(activated, disarm == u"alarm, click");
        QCOMPARE(stayed, disarm == u"alarm, dismiss");
    } else if (disarm == u"close") {
        f.Close();
    }
    QCOMPARE(f.window ? f.window->cmdAlarm->text() : u"Alarm Is Off"_qs, u"Alarm Is Off"_qs);
    QTRY_COMPARE(Without(calls_, IsWakeup), calls);
    QCOMPARE(calls_.count(u"kde.wakeup"_qs), wakeups);
    // Each round an interval after the one before.
    for (qsizetype i = 1; i < wokeAt_.size(); ++i)
        QVERIFY2(qAbs(wokeAt_.at(i) - wokeAt_.at(i - 1) - Rounds.interval.count()) < Rounds.interval.count() / 2,
                 qPrintable(u"%1 ms between rounds"_qs.arg(wokeAt_.at(i) - wokeAt_.at(i - 1))));
    // Nothing more, for longer than a round: no second request, nothing left to end, the screen left alone.
    const QStringList ended = calls_;
    QTest::qWait(int(Rounds.interval.count()) * 3 / 2);
    QCOMPARE(calls_, ended);
}

QTEST_MAIN(TestDesktopRequests)
#include "tst_desktop_requests.moc"
