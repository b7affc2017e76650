#include "platform/suspend_inhibitor.h"

#include "platform/session_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QWidget>

namespace ostrel::platform {

namespace {

// The desktop portal's Inhibit, and the Request object its answer names: closing that ends it.
const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalInhibit = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString PortalRequest = QStringLiteral("org.freedesktop.portal.Request");
// Suspend only: not Logout (1), User Switch (2) or Idle (8), which would keep the screen from locking.
constexpr uint InhibitSuspend = 4;

// The freedesktop power management inhibition: a cookie for each request.
const QString PowerService = QStringLiteral("org.freedesktop.PowerManagement");
const QString PowerPath = QStringLiteral("/org/freedesktop/PowerManagement/Inhibit");
const QString PowerInhibit = QStringLiteral("org.freedesktop.PowerManagement.Inhibit");

const QString ApplicationName = QStringLiteral("Ostrel!");

// The portal's name for the asking window: an X11 window by its id, else none.
QString PortalWindow(const QWidget *window)
{
    const WId id = window ? window->window()->internalWinId() : 0;
    if (id == 0 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return QString();
    return QStringLiteral("x11:") + QString::number(id, 16);
}

} // namespace

struct SuspendInhibitor::Request
{
    Service service;
    QString handle; // the portal's Request object
    uint cookie = 0; // the power manager's
};

struct SuspendInhibitor::PortalAsk
{
    QString reason;
    QString path; // the Request object whose Response is listened for
    bool refused = false;
    bool settled = false; // its Response 0 has come: the portal holds it
};

SuspendInhibitor::SuspendInhibitor(QWidget *window)
    : QObject(window)
{
}

SuspendInhibitor::~SuspendInhibitor()
{
    // A request still unanswered, or that the portal has yet to settle, is ended too: the desktop would
    // otherwise be left holding it for a program that has gone. The portal's word on it is waited for
    // briefly; the power manager's cookie comes only with its answer, which is waited for as briefly.
    exiting_ = true;
    if (held_ && !(held_->service == Service::Portal && portal_ && !portal_->settled))
        End(*held_, true);
    else if (portal_ && !portal_->refused)
        closing_.insert(portal_->path);
    AwaitAtExit(this, [this] { return !closing_.isEmpty(); });
    for (const QString &path : std::as_const(closing_))
        End({Service::Portal, path}, true); // no word in time: closed all the same
    if (powerAsk_ && AnsweredBeforeExit(*powerAsk_)) {
        const QDBusPendingReply<uint> cookie(*powerAsk_);
        if (cookie.isValid())
            End({Service::PowerManager, QString(), cookie.value()}, true);
    }
}

void SuspendInhibitor::Hold(const QString &reason)
{
    Release();
    const quint64 ticket = ++ticket_;
    if (!SessionHasBus())
        return;
    // Connecting to the bus takes a round trip: after the caller's own work has been painted.
    QMetaObject::invokeMethod(
        this, [this, ticket, reason] { Ask(Service::Portal, ticket, reason); }, Qt::QueuedConnection);
}

void SuspendInhibitor::Release()
{
    ++ticket_;
    if (portal_ && !portal_->settled && !portal_->refused) {
        // Answered or not, the portal has yet to say how its request went: closed once it has.
        closing_.insert(std::exchange(portal_, nullptr)->path);
        if (held_ && held_->service == Service::Portal)
            held_.reset();
    }
    ForgetPortal();
    if (held_)
        End(*std::exchange(held_, nullptr), false);
}

void SuspendInhibitor::Ask(Service service, quint64 ticket, const QString &reason)
{
    if (ticket != ticket_ || exiting_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call;
    std::shared_ptr<PortalAsk> asked;
    if (service == Service::Portal) {
        // The portal's answer names a Request that may still be refused by a Response signal, and that
        // signal can come before the answer itself. With a token of our own the Request's path is known
        // beforehand, so its Response is listened for before the call goes out.
        const QString token = QStringLiteral("ostrel") + QString::number(++tokens_);
        QString sender = bus.baseService().mid(1);
        sender.replace(u'.', u'_');
        asked = portal_ = std::make_shared<PortalAsk>(
            PortalAsk{reason, PortalPath + QStringLiteral("/request/") + sender + u'/' + token});
        Listen(asked->path, true);
        call = QDBusMessage::createMethodCall(PortalService, PortalPath, PortalInhibit, QStringLiteral("Inhibit"));
        call << PortalWindow(qobject_cast<QWidget *>(parent())) << InhibitSuspend
             << QVariantMap{{QStringLiteral("reason"), reason}, {QStringLiteral("handle_token"), token}};
    } else {
        call = QDBusMessage::createMethodCall(PowerService, PowerPath, PowerInhibit, QStringLiteral("Inhibit"));
        call << ApplicationName << reason;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, AnswerTimeoutMs), this);
    if (service == Service::PowerManager)
        powerAsk_ = watcher;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, service, ticket, reason, asked] {
        watcher->deleteLater();
        if (service == Service::PowerManager) {
            if (powerAsk_ == watcher)
                powerAsk_ = nullptr;
            if (!watcher->isError())
                Keep(ticket, {service, QString(), QDBusPendingReply<uint>(*watcher).value()});
            return;
        }
        if (asked->refused)
            return; // its Response came first, and the power manager has been asked already
        if (watcher->isError()) {
            // No portal, or one without an Inhibit of its own: the power manager, if there is one.
            if (asked == portal_)
                ForgetPortal();
            else if (closing_.remove(asked->path))
                Listen(asked->path, false);
            Ask(Service::PowerManager, ticket, reason);
            return;
        }
        const QString handle = QDBusPendingReply<QDBusObjectPath>(*watcher).value().path();
        // A portal older than handle tokens names a path of its own: listened for from now.
        if (asked == portal_ && handle != asked->path) {
            Listen(asked->path, false);
            asked->path = handle;
            Listen(handle, true);
        }
        Keep(ticket, {service, handle});
    });
}

void SuspendInhibitor::PortalResponse(uint response, const QVariantMap &, const QDBusMessage &message)
{
    // Response 0 is a request the desktop holds; any other is one it never held, which is not to be
    // closed. A request ended before this word is closed now; otherwise only the present request's
    // word counts.
    const QString path = message.path();
    if (closing_.remove(path)) {
        Listen(path, false);
        if (response == 0)
            End({Service::Portal, path}, exiting_);
        return;
    }
    if (!portal_ || path != portal_->path)
        return;
    if (response == 0) {
        portal_->settled = true;
        return;
    }
    const std::shared_ptr<PortalAsk> refused = portal_;
    refused->refused = true;
    ForgetPortal();
    held_.reset(); // the refused request, if its answer came first
    Ask(Service::PowerManager, ticket_, refused->reason);
}

void SuspendInhibitor::Listen(const QString &path, bool on)
{
    // Any sender: naming the portal's well-known name would have Qt ask the bus for its owner and wait.
    // The path holds our own connection's name, so nobody else's signal matches it.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const char *slot = SLOT(PortalResponse(uint, QVariantMap, QDBusMessage));
    if (on)
        bus.connect(QString(), path, PortalRequest, QStringLiteral("Response"), this, slot);
    else
        bus.disconnect(QString(), path, PortalRequest, QStringLiteral("Response"), this, slot);
}

void SuspendInhibitor::ForgetPortal()
{
    if (portal_)
        Listen(std::exchange(portal_, nullptr)->path, false);
}

void SuspendInhibitor::Keep(quint64 ticket, const Request &request)
{
    if (ticket == ticket_)
        held_ = std::make_unique<Request>(request);
    else if (request.service != Service::Portal || !closing_.contains(request.handle))
        End(request, false); // released before the desktop answered
}

void SuspendInhibitor::End(const Request &request, bool atExit)
{
    QDBusMessage call;
    if (request.service == Service::Portal) {
        call = QDBusMessage::createMethodCall(PortalService, request.handle, PortalRequest, QStringLiteral("Close"));
    } else {
        call = QDBusMessage::createMethodCall(PowerService, PowerPath, PowerInhibit, QStringLiteral("UnInhibit"));
        call << request.cookie;
    }
    SendEnd(call, atExit);
}

} // namespace ostrel::platform
