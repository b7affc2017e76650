// While the alarm is on, the program asks the desktop not to suspend the idle machine: one request
// while it is armed, none at any other time. Against stand-ins for the desktop portal and the power
// manager on a session bus of the test's own, never the machine's.
#include "helpers.h"

#include "alarm_window/frmitstime.h"

#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

using namespace ostrel;
using testing::Choose;

class TestSuspendRequest : public QObject
{
    Q_OBJECT

    testing::Fixture f;
    QTemporaryDir dir_;
    QProcess bus_;
    QProcess standIn_;
    // What the stand-ins were asked, a line a call, as they print it.
    QStringList calls_;

    void StartStandIn(const QString &portal, const QString &power)
    {
        QStringList args;
        if (!portal.isEmpty())
            args << u"--portal"_qs << portal;
        if (!power.isEmpty())
            args << u"--power"_qs << power;
        standIn_.start(QStringLiteral(OSTREL_POWER_STANDIN), args);
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
            while (standIn_.canReadLine())
                calls_ << QString::fromUtf8(standIn_.readLine()).trimmed();
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
    }
    void cleanup()
    {
        f.Close();
        standIn_.kill();
        standIn_.waitForFinished();
    }

    void followsTheAlarm_data();
    void followsTheAlarm();
};

void TestSuspendRequest::followsTheAlarm_data()
{
    QTest::addColumn<QString>("portal"); // how the stand-in portal answers; empty: there is none
    QTest::addColumn<QString>("power"); // the same for the power manager
    QTest::addColumn<bool>("bus"); // whether the program is told of the session bus
    QTest::addColumn<QString>("disarm");
    QTest::addColumn<QStringList>("calls");

    const QString asked = u"reason=An alarm is set for 07:30 -> "_qs;
    // The portal's Request path as the program's own handle token makes it.
    const QString handle = u"/org/freedesktop/portal/desktop/request/SENDER/ostrel1"_qs;
    // Suspend (4) only; offscreen, the window has no X11 id to give.
    const QString portal = u"portal.Inhibit window= flags=4 "_qs + asked;
    const QStringList byPortal{portal + handle, u"portal.Close "_qs + handle};
    const QStringList byPower{u"power.Inhibit application=Ostrel! "_qs + asked + u'1', u"power.UnInhibit 1"_qs};

    QTest::newRow("portal, off by the button") << u"ok"_qs << u"ok"_qs << true << u"button"_qs << byPortal;
    QTest::newRow("portal, off by the hour list") << u"ok"_qs << u"ok"_qs << true << u"hour"_qs << byPortal;
    QTest::newRow("portal, off by the minute list") << u"ok"_qs << u"ok"_qs << true << u"minute"_qs << byPortal;
    QTest::newRow("portal, the alarm answered") << u"ok"_qs << u"ok"_qs << true << u"alarm"_qs << byPortal;
    QTest::newRow("portal, the program closed") << u"ok"_qs << u"ok"_qs << true << u"close"_qs << byPortal;
    QTest::newRow("portal answers after the alarm is off") << u"late"_qs << QString() << true << u"button"_qs << byPortal;
    QTest::newRow("power manager, off by the button") << QString() << u"ok"_qs << true << u"button"_qs << byPower;
    QTest::newRow("power manager, the alarm answered") << QString() << u"ok"_qs << true << u"alarm"_qs << byPower;
    QTest::newRow("power manager, the program closed") << QString() << u"ok"_qs << true << u"close"_qs << byPower;
    QTest::newRow("portal refuses, power manager") << u"error"_qs << u"ok"_qs << true << u"minute"_qs
                                                   << QStringList{portal + u"error"_qs} + byPower;
    // A portal with no backend for the desktop answers, then refuses; a bus may deliver the two either way round.
    const QStringList refused = QStringList{portal + handle, u"portal.Response "_qs + handle + u" 2"_qs} + byPower;
    QTest::newRow("portal refuses after its answer") << u"refuses"_qs << u"ok"_qs << true << u"button"_qs << refused;
    QTest::newRow("portal refuses before its answer") << u"refuses-first"_qs << u"ok"_qs << true << u"alarm"_qs << refused;
    QTest::newRow("portal never answers") << u"silent"_qs << u"ok"_qs << true << u"button"_qs
                                          << QStringList{portal + u"no answer"_qs};
    QTest::newRow("no service") << QString() << QString() << true << u"button"_qs << QStringList();
    QTest::newRow("no session bus") << u"ok"_qs << u"ok"_qs << false << u"button"_qs << QStringList();
}

void TestSuspendRequest::followsTheAlarm()
{
    QFETCH(QString, portal);
    QFETCH(QString, power);
    QFETCH(bool, bus);
    QFETCH(QString, disarm);
    QFETCH(QStringList, calls);

    if (!portal.isEmpty() || !power.isEmpty())
        StartStandIn(portal, power);
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
    whileArmed.removeIf([](const QString &call) { return call.startsWith(u"portal.Close"_qs) || call.startsWith(u"power.UnInhibit"_qs); });
    QTRY_COMPARE(calls_, whileArmed);

    if (disarm == u"button") {
        f.window->cmdAlarm->click();
    } else if (disarm == u"hour") {
        Choose(f.window->cmbHour, u"08"_qs);
    } else if (disarm == u"minute") {
        Choose(f.window->cmbMinute, u"31"_qs);
    } else if (disarm == u"alarm") {
        f.At(7, 30, 0);
        QStringList whileOpen;
        const auto answered = testing::WhenModalOpens([&](QWidget *modal) {
            QVERIFY(qobject_cast<frmItsTime *>(modal));
            QTest::qWait(100);
            whileOpen = calls_;
        });
        f.window->Timer1_Timer();
        QVERIFY(*answered);
        // Held while the alarm window waits for the user.
        QCOMPARE(whileOpen, whileArmed);
    } else if (disarm == u"close") {
        f.Close();
    }
    QCOMPARE(f.window ? f.window->cmdAlarm->text() : u"Alarm Is Off"_qs, u"Alarm Is Off"_qs);
    QTRY_COMPARE(calls_, calls);
    // Nothing more: no second request, nothing left to end.
    QTest::qWait(500);
    QCOMPARE(calls_, calls);
}

QTEST_MAIN(TestSuspendRequest)
#include "tst_suspend_request.moc"
