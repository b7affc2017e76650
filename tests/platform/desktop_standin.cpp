// Stands in for the desktop's services on a test's own session bus, and prints every call it takes,
// one line each, as it takes it:
//   portal.Inhibit window=W flags=F reason=R -> HANDLE      (or -> error, or -> no answer)
//   portal.Response HANDLE 0                                  (held: its backend has acted on it)
//   portal.Response HANDLE 2                                  (a refusal after the answer, or before)
//   portal.Close HANDLE                                       (or unexpected ... before its Response 0)
//   power.Inhibit application=A reason=R -> COOKIE
//   power.UnInhibit COOKIE
//   notify.Notify app=A replaces=R icon=I summary=S body=B actions=K,L hints=NAME=VALUE(TYPE),... expire=T -> ID
//   notify.CloseNotification ID
//   notify.ActionInvoked ID default, notify.NotificationClosed ID REASON    (what it sends, told to)
//   unexpected second notification, ID open                   (a Notify while one is still open)
//   screensaver.GetActive -> true|false
//   screensaver.ActiveChanged true|false                      (what it sends, told to)
//   kde.wakeup
// It serves org.freedesktop.portal.Inhibit as the desktop portal publishes it (a Request object for
// each inhibition, ended by its Close), org.freedesktop.PowerManagement.Inhibit (a cookie, ended by
// UnInhibit), org.freedesktop.Notifications as freedesktop.org publishes it (version 1.2), GNOME's
// screen shield (org.gnome.ScreenSaver: GetActive and the ActiveChanged signal) and KDE's power
// management (org.kde.Solid.PowerManagement: wakeup).
// Anything else asked of it is printed as "unexpected ..." and answered with an error.
//   desktop_standin [--portal MODE] [--power MODE] [--notifications MODE] [--screensaver up|down] [--kde ok]
// A service not named is not there. MODE: ok, late (answers after 300 ms), error, silent (never);
// for notifications also slow (the first Notify answered after 450 ms, any other at once); for the
// portal also slow (answers at once, its Response 0 after 200 ms), refuses (answers, then ends the
// Request with Response 2 as a portal without a backend for the desktop does) and refuses-first (the
// Response sent just before the answer). A portal that answers and holds the request sends Response 0
// once its backend holds it, right after the answer unless slow: a Close before then leaves the
// backend's inhibitor held, so it is printed as unexpected.
// A portal Request's path is built as the portal builds it, from the caller's name and its
// handle_token; HANDLE prints the caller's part as SENDER. Lines on standard input act as the user:
// "click ID" invokes a notification's default action and closes it (reason 2, as a notification that
// is not resident goes), "dismiss ID" closes it (reason 2); an ID it never handed out stands for
// another program's. "shield up" and "shield down" raise and lower the screen shield. "ready" is
// printed once the services' names are taken.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

namespace {

void Print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class Service final : public QDBusVirtualObject
{
public:
    Service(QString name, QString mode)
        : name_(std::move(name))
        , mode_(std::move(mode))
    {
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString call = message.interface() + u'.' + message.member();
        const QList<QVariant> args = message.arguments();
        if (name_ == u"portal" && message.path() == u"/org/freedesktop/portal/desktop"
            && call == u"org.freedesktop.portal.Inhibit.Inhibit" && message.signature() == u"sua{sv}") {
            const auto options = qdbus_cast<QVariantMap>(args.at(2));
            const QString token = options.value(u"handle_token"_qs, QString(u"t"_qs + QString::number(++count_))).toString();
            const QString handle = u"/org/freedesktop/portal/desktop/request/"_qs
                + message.service().mid(1).replace(u'.', u'_') + u'/' + token;
            Answer(message, connection,
                   u"portal.Inhibit window=%1 flags=%2 reason=%3"_qs.arg(args.at(0).toString(), args.at(1).toString(),
                                                                       options.value(u"reason"_qs).toString()),
                   handle, QVariant::fromValue(QDBusObjectPath(handle)));
        } else if (name_ == u"portal" && call == u"org.freedesktop.portal.Request.Close" && open_.remove(message.path())) {
            Print((settled_.contains(message.path()) ? u"portal.Close "_qs : u"unexpected portal.Close before its Response "_qs)
                  + Shown(message.path()));
            connection.send(message.createReply());
        } else if (name_ == u"power" && message.path() == u"/org/freedesktop/PowerManagement/Inhibit"
                   && call == u"org.freedesktop.PowerManagement.Inhibit.Inhibit" && message.signature() == u"ss") {
            const QString cookie = QString::number(++count_);
            Answer(message, connection,
                   u"power.Inhibit application=%1 reason=%2"_qs.arg(args.at(0).toString(), args.at(1).toString()),
                   cookie, QVariant::fromValue(cookie.toUInt()));
        } else if (name_ == u"power" && message.path() == u"/org/freedesktop/PowerManagement/Inhibit"
                   && call == u"org.freedesktop.PowerManagement.Inhibit.UnInhibit" && message.signature() == u"u"
                   && open_.remove(args.at(0).toString())) {
            Print(u"power.UnInhibit "_qs + args.at(0).toString());
            connection.send(message.createReply());
        } else if (name_ == u"notifications" && message.path() == u"/org/freedesktop/Notifications"
                   && call == u"org.freedesktop.Notifications.Notify" && message.signature() == u"susssasa{sv}i") {
            const QString id = QString::number(++count_);
            if (!open_.isEmpty())
                Print(u"unexpected second notification, "_qs + open_.values().join(u',') + u" open"_qs);
            Answer(message, connection,
                   u"notify.Notify app=%1 replaces=%2 icon=%3 summary=%4 body=%5 actions=%6 hints=%7 expire=%8"_qs.arg(
                       args.at(0).toString(), args.at(1).toString(), args.at(2).toString(), args.at(3).toString(),
                       args.at(4).toString(), args.at(5).toStringList().join(u','),
                       Hints(qdbus_cast<QVariantMap>(args.at(6))), args.at(7).toString()),
                   id, QVariant::fromValue(id.toUInt()));
        } else if (name_ == u"notifications" && message.path() == u"/org/freedesktop/Notifications"
                   && call == u"org.freedesktop.Notifications.CloseNotification" && message.signature() == u"u") {
            // The service takes closing one that is gone (or never was) without an error, but a client that
            // does so has lost track of it.
            Print((open_.remove(args.at(0).toString()) ? u"notify.CloseNotification "_qs : u"unexpected notify.CloseNotification "_qs)
                  + args.at(0).toString());
            connection.send(message.createReply());
        } else if (name_ == u"notifications" && message.path() == u"/org/freedesktop/Notifications"
                   && call == u"org.freedesktop.Notifications.GetCapabilities") {
            connection.send(message.createReply(QStringList{u"actions"_qs, u"body"_qs, u"persistence"_qs}));
        } else if (name_ == u"notifications" && message.path() == u"/org/freedesktop/Notifications"
                   && call == u"org.freedesktop.Notifications.GetServerInformation") {
            connection.send(message.createReply(QVariantList{u"stand-in"_qs, u"test"_qs, u"1"_qs, u"1.2"_qs}));
        } else if (name_ == u"screensaver" && message.path() == u"/org/gnome/ScreenSaver"
                   && call == u"org.gnome.ScreenSaver.GetActive" && message.signature().isEmpty()) {
            Print(u"screensaver.GetActive -> "_qs + (mode_ == u"up" ? u"true"_qs : u"false"_qs));
            connection.send(message.createReply(mode_ == u"up"));
        } else if (name_ == u"kde" && message.path() == u"/org/kde/Solid/PowerManagement"
                   && call == u"org.kde.Solid.PowerManagement.wakeup" && message.signature().isEmpty()) {
            Print(u"kde.wakeup"_qs);
            connection.send(message.createReply());
        } else {
            Print(u"unexpected %1 %2 %3 (%4)"_qs.arg(name_, message.path(), call, message.signature()));
            connection.send(message.createErrorReply(QDBusError::UnknownMethod, u"Not served here"_qs));
        }
        return true;
    }

    QString introspect(const QString &) const override { return QString(); }

    // The screen shield goes up or down, as told on standard input.
    void Shield(const QString &state)
    {
        mode_ = state;
        QDBusMessage changed = QDBusMessage::createSignal(u"/org/gnome/ScreenSaver"_qs, u"org.gnome.ScreenSaver"_qs,
                                                          u"ActiveChanged"_qs);
        changed << (state == u"up");
        QDBusConnection::sessionBus().send(changed);
        Print(u"screensaver.ActiveChanged "_qs + (state == u"up" ? u"true"_qs : u"false"_qs));
    }

    // What the user does with a notification, as told on standard input.
    void Act(const QString &what, const QString &id)
    {
        open_.remove(id);
        QDBusConnection bus = QDBusConnection::sessionBus();
        const auto signal = [&bus, &id](const QString &member, const QVariant &value) {
            QDBusMessage message = QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_qs,
                                                              u"org.freedesktop.Notifications"_qs, member);
            message << id.toUInt() << value;
            bus.send(message);
            Print(u"notify.%1 %2 %3"_qs.arg(member, id, value.toString()));
        };
        if (what == u"click")
            signal(u"ActionInvoked"_qs, u"default"_qs);
        signal(u"NotificationClosed"_qs, 2u);
    }

private:
    // Answers an Inhibit call as the mode says; an inhibition it hands out is open until ended.
    void Answer(const QDBusMessage &message, const QDBusConnection &connection, const QString &line,
                const QString &id, const QVariant &result)
    {
        if (mode_ == u"error") {
            Print(line + u" -> error"_qs);
            connection.send(message.createErrorReply(QDBusError::AccessDenied, u"Refused by the test"_qs));
            return;
        }
        if (mode_ == u"silent") {
            Print(line + u" -> no answer"_qs);
            return;
        }
        Print(line + u" -> "_qs + Shown(id));
        open_.insert(id);
        const QDBusMessage reply = message.createReply(result);
        // Unicast to the caller, as the portal sends it.
        const auto response = [caller = message.service(), id](uint code) {
            QDBusMessage signal = QDBusMessage::createTargetedSignal(caller, id, u"org.freedesktop.portal.Request"_qs,
                                                                     u"Response"_qs);
            signal << code << QVariantMap();
            return signal;
        };
        if (mode_ != u"refuses" && mode_ != u"refuses-first") {
            const bool slowNotify = name_ == u"notifications" && mode_ == u"slow" && count_ == 1;
            QTimer::singleShot(mode_ == u"late" ? 300 : slowNotify ? 450 : 0, [this, connection, reply, response, id] {
                QDBusConnection(connection).send(reply);
                if (name_ != u"portal")
                    return;
                // Held once the backend has acted, as the portal tells with Response 0.
                QTimer::singleShot(mode_ == u"slow" ? 200 : 0, [this, connection, response, id] {
                    if (!open_.contains(id))
                        return;
                    settled_.insert(id);
                    Print(u"portal.Response "_qs + Shown(id) + u" 0"_qs);
                    QDBusConnection(connection).send(response(0));
                });
            });
            return;
        }
        // A refusal: the Request is gone with it.
        open_.remove(id);
        QDBusConnection bus(connection);
        if (mode_ == u"refuses")
            bus.send(reply);
        Print(u"portal.Response "_qs + Shown(id) + u" 2"_qs);
        bus.send(response(2));
        if (mode_ == u"refuses-first")
            bus.send(reply);
    }

    // Each hint as name=value(D-Bus type), in name order.
    static QString Hints(const QVariantMap &hints)
    {
        QStringList shown;
        for (auto hint = hints.begin(); hint != hints.end(); ++hint) {
            const QVariant &v = hint.value();
            const QString type = v.metaType() == QMetaType::fromType<uchar>() ? u"y"_qs
                : v.metaType() == QMetaType::fromType<bool>()                 ? u"b"_qs
                : v.metaType() == QMetaType::fromType<QString>()              ? u"s"_qs
                : v.metaType() == QMetaType::fromType<int>()                  ? u"i"_qs
                                                                              : QString::fromLatin1(v.typeName());
            shown << u"%1=%2(%3)"_qs.arg(hint.key(), type == u"y" ? QString::number(v.value<uchar>()) : v.toString(), type);
        }
        return shown.join(u',');
    }

    // A portal Request's path with the caller's own part, which differs from run to run, as SENDER.
    static QString Shown(QString path)
    {
        static const QString requests = u"/org/freedesktop/portal/desktop/request/"_qs;
        if (path.startsWith(requests)) {
            const qsizetype slash = path.indexOf(u'/', requests.size());
            if (slash > 0)
                path.replace(requests.size(), slash - requests.size(), u"SENDER"_qs);
        }
        return path;
    }

    QString name_;
    QString mode_;
    int count_ = 0;
    QSet<QString> open_;
    QSet<QString> settled_; // portal Requests whose Response 0 has been sent
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Print(u"no session bus: "_qs + bus.lastError().message());
        return 1;
    }
    const QStringList args = app.arguments().mid(1);
    Service *notifications = nullptr;
    Service *screensaver = nullptr;
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        const QString name = args.at(i).mid(2);
        auto *service = new Service(name, args.at(i + 1));
        bool registered = false;
        if (name == u"portal") {
            registered = bus.registerVirtualObject(u"/org/freedesktop/portal/desktop"_qs, service, QDBusConnection::SubPath)
                && bus.registerService(u"org.freedesktop.portal.Desktop"_qs);
        } else if (name == u"power") {
            registered = bus.registerVirtualObject(u"/org/freedesktop/PowerManagement/Inhibit"_qs, service)
                && bus.registerService(u"org.freedesktop.PowerManagement"_qs);
        } else if (name == u"notifications") {
            registered = bus.registerVirtualObject(u"/org/freedesktop/Notifications"_qs, service)
                && bus.registerService(u"org.freedesktop.Notifications"_qs);
            notifications = service;
        } else if (name == u"screensaver") {
            registered = bus.registerVirtualObject(u"/org/gnome/ScreenSaver"_qs, service)
                && bus.registerService(u"org.gnome.ScreenSaver"_qs);
            screensaver = service;
        } else if (name == u"kde") {
            registered = bus.registerVirtualObject(u"/org/kde/Solid/PowerManagement"_qs, service)
                && bus.registerService(u"org.kde.Solid.PowerManagement"_qs);
        }
        if (!registered) {
            Print(u"cannot serve "_qs + name);
            return 1;
        }
    }
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input, notifications, screensaver] {
        char line[256];
        if (!std::fgets(line, sizeof line, stdin)) {
            input.setEnabled(false);
            return;
        }
        const QStringList words = QString::fromUtf8(line).simplified().split(u' ');
        if (words.size() == 2 && words.at(0) == u"shield" && screensaver)
            screensaver->Shield(words.at(1));
        else if (words.size() == 2 && notifications)
            notifications->Act(words.at(0), words.at(1));
        else
            Print(u"cannot "_qs + words.join(u' '));
    });
    Print(u"ready"_qs);
    return app.exec();
}
