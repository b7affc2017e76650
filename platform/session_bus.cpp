#include "platform/session_bus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QString>
#include <QThread>
#include <QtGlobal>

namespace ostrel::platform {

namespace {

// At exit, how long an ending call may hold up the program's end.
constexpr int ExitTimeoutMs = 500;

} // namespace

bool SessionHasBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

void SendEnd(const QDBusMessage &call, bool atExit)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (atExit)
        bus.call(call, QDBus::Block, ExitTimeoutMs);
    else
        bus.asyncCall(call);
}

bool AnsweredBeforeExit(const QDBusPendingCall &call)
{
    // The answer is taken in by the bus's own thread, so it arrives without this one's event loop.
    const QDeadlineTimer deadline(ExitTimeoutMs);
    while (!call.isFinished() && !deadline.hasExpired())
        QThread::msleep(2);
    return call.isFinished();
}

void AwaitAtExit(QObject *receiver, const std::function<bool()> &waiting)
{
    // A signal is handed over as an event posted to its receiver.
    const QDeadlineTimer deadline(ExitTimeoutMs);
    while (waiting() && !deadline.hasExpired()) {
        QCoreApplication::sendPostedEvents(receiver, QEvent::MetaCall);
        if (waiting())
            QThread::msleep(2);
    }
}

} // namespace ostrel::platform
