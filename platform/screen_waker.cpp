#include "platform/screen_waker.h"

#include "platform/alarm_notification.h"
#include "platform/session_bus.h"
#include "platform/window_system.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <algorithm>

namespace ostrel::platform {

namespace {

// KDE's power management (Plasma 5.20 and later): wakeup() switches a screen that it or DPMS turned
// off back on, on X11 and Wayland alike.
const QString KdeService = QStringLiteral("org.kde.Solid.PowerManagement");
const QString KdePath = QStringLiteral("/org/kde/Solid/PowerManagement");
const QString KdeInterface = QStringLiteral("org.kde.Solid.PowerManagement");

// GNOME's screen shield, which covers a blanked or locked screen.
const QString ShieldService = QStringLiteral("org.gnome.ScreenSaver");
const QString ShieldPath = QStringLiteral("/org/gnome/ScreenSaver");
const QString ShieldInterface = QStringLiteral("org.gnome.ScreenSaver");

const WakeTimes *installed = &KeepLitTimes;

} // namespace

WakeTimes ScreenWakeTimes()
{
    return *installed;
}

void SetScreenWakeTimes(const WakeTimes *times)
{
    installed = times ? times : &KeepLitTimes;
}

ScreenWaker::ScreenWaker(AlarmNotification *notice, QObject *parent)
    : QObject(parent)
    , notice_(notice)
{
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (roundsLeft_ > 0)
            Round();
        else
            Stop();
    });
}

void ScreenWaker::Start()
{
    Stop();
    const WakeTimes times = ScreenWakeTimes();
    const quint64 ticket = ++ticket_;
    const auto interval = std::max(times.interval, std::chrono::milliseconds(1));
    roundsLeft_ = int(std::max<qint64>(1, times.limit / interval));
    timer_.start(interval);
    if (SessionHasBus()) {
        // Whether the shield is up, and word when it goes up or down; after the alarm window is shown.
        QMetaObject::invokeMethod(this, [this, ticket] { Subscribe(ticket); }, Qt::QueuedConnection);
    }
    Round();
}

void ScreenWaker::Stop()
{
    ++ticket_;
    timer_.stop();
    roundsLeft_ = 0;
    ListenToShield(false);
    shieldUp_ = shieldHeard_ = false;
}

void ScreenWaker::Round()
{
    --roundsLeft_;
    WakeScreen();
    if (!SessionHasBus())
        return;
    // From the event loop: at the first round the alarm window has yet to be shown.
    const quint64 ticket = ticket_;
    QMetaObject::invokeMethod(
        this,
        [this, ticket] {
            if (ticket != ticket_)
                return;
            WakeKde(ticket);
            if (shieldUp_)
                notice_->Renew();
        },
        Qt::QueuedConnection);
}

void ScreenWaker::Subscribe(quint64 ticket)
{
    if (ticket != ticket_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Listened for before the question goes out, so that no change between the two is missed.
    ListenToShield(true);
    QDBusMessage call = QDBusMessage::createMethodCall(ShieldService, ShieldPath, ShieldInterface,
                                                       QStringLiteral("GetActive"));
    call.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, AnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, ticket] {
        watcher->deleteLater();
        if (ticket == ticket_ && !shieldHeard_ && !watcher->isError())
            shieldUp_ = QDBusPendingReply<bool>(*watcher).value();
    });
}

void ScreenWaker::ShieldChanged(bool active)
{
    shieldHeard_ = true;
    shieldUp_ = active;
}

void ScreenWaker::WakeKde(quint64 ticket)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Asked only where the service runs: a call to a name nobody owns could start it.
    QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("/org/freedesktop/DBus"),
                                                      QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("NameHasOwner"));
    ask << KdeService;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask, AnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, ticket] {
        watcher->deleteLater();
        if (ticket != ticket_ || watcher->isError() || !QDBusPendingReply<bool>(*watcher).value())
            return;
        QDBusMessage wake = QDBusMessage::createMethodCall(KdeService, KdePath, KdeInterface, QStringLiteral("wakeup"));
        wake.setAutoStartService(false);
        QDBusConnection::sessionBus().send(wake);
    });
}

void ScreenWaker::ListenToShield(bool on)
{
    if (listening_ == on)
        return;
    listening_ = on;
    // From any sender: naming the service would have Qt ask the bus for its owner and wait.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const char *slot = SLOT(ShieldChanged(bool));
    if (on)
        bus.connect(QString(), ShieldPath, ShieldInterface, QStringLiteral("ActiveChanged"), this, slot);
    else
        bus.disconnect(QString(), ShieldPath, ShieldInterface, QStringLiteral("ActiveChanged"), this, slot);
}

} // namespace ostrel::platform
