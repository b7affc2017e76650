#include "platform/alarm_notification.h"

#include "platform/session_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace ostrel::platform {

namespace {

// The freedesktop Desktop Notifications service.
const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");

const QString ApplicationName = QStringLiteral("Ostrel!");
const QString IconName = QStringLiteral("org.ostrel.Ostrel");
const QString Summary = QStringLiteral("It's... Time!");
const QString DefaultAction = QStringLiteral("default");
// Critical: the notification stays until dealt with, and shows over full-screen programs.
constexpr uchar UrgencyCritical = 2;
// Never expires by itself.
constexpr int NoExpiry = 0;

} // namespace

AlarmNotification::AlarmNotification(QObject *parent)
    : QObject(parent)
{
}

AlarmNotification::~AlarmNotification()
{
    if (shown_)
        Close(*shown_, true);
}

void AlarmNotification::Show(const QString &alarmTime)
{
    Withdraw();
    const quint64 ticket = ++ticket_;
    if (!SessionHasBus())
        return;
    alarmTime_ = alarmTime;
    QMetaObject::invokeMethod(
        this, [this, ticket, alarmTime] { Notify(ticket, alarmTime); }, Qt::QueuedConnection);
}

void AlarmNotification::Withdraw()
{
    ++ticket_;
    alarmTime_.clear();
    renewWanted_ = false;
    if (shown_)
        Close(*std::exchange(shown_, std::nullopt), false);
}

void AlarmNotification::Renew()
{
    if (alarmTime_.isEmpty())
        return;
    if (awaiting_) {
        renewWanted_ = true;
        return;
    }
    // Withdrawn first: the desktop takes the two calls in the order they were sent.
    if (shown_)
        Close(*std::exchange(shown_, std::nullopt), false);
    Notify(++ticket_, alarmTime_);
}

void AlarmNotification::Notify(quint64 ticket, const QString &alarmTime)
{
    if (ticket != ticket_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!listening_) {
        // From any sender: naming the service would have Qt ask the bus for its owner and wait. Only
        // our own notification's id counts.
        bus.connect(QString(), Path, Interface, QStringLiteral("ActionInvoked"), this,
                    SLOT(ActionInvoked(uint, QString)));
        bus.connect(QString(), Path, Interface, QStringLiteral("NotificationClosed"), this,
                    SLOT(NotificationClosed(uint, uint)));
        listening_ = true;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    // The desktop files it under the program's own entry; the program plays its own sound. Not
    // transient: a transient notification never reaches the lock screen or the message list.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), IconName},
                            {QStringLiteral("urgency"), QVariant::fromValue(UrgencyCritical)},
                            {QStringLiteral("suppress-sound"), true}};
    call << ApplicationName << uint(0) << IconName << Summary << alarmTime
         << QStringList{DefaultAction, QStringLiteral("Show")} << hints << NoExpiry;
    awaiting_ = ticket;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, AnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, ticket] {
        watcher->deleteLater();
        if (awaiting_ == ticket)
            awaiting_ = 0;
        if (watcher->isError()) {
            if (ticket == ticket_)
                renewWanted_ = false;
            return;
        }
        const uint id = QDBusPendingReply<uint>(*watcher).value();
        if (ticket != ticket_) {
            Close(id, false); // withdrawn before the desktop answered
            return;
        }
        shown_ = id;
        if (std::exchange(renewWanted_, false))
            Renew();
    });
}

void AlarmNotification::ActionInvoked(uint id, const QString &action)
{
    if (shown_ == id && action == DefaultAction)
        Q_EMIT Clicked();
}

void AlarmNotification::NotificationClosed(uint id, uint)
{
    // Dismissed, or gone with its click: nothing left to withdraw.
    if (shown_ == id)
        shown_.reset();
}

void AlarmNotification::Close(uint id, bool atExit)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("CloseNotification"));
    call << id;
    SendEnd(call, atExit);
}

} // namespace ostrel::platform
