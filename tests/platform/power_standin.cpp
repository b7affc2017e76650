// Stands in for the desktop's power services on a test's own session bus, and prints every call it
// takes, one line each, as it takes it:
//   portal.Inhibit window=W flags=F reason=R -> HANDLE      (or -> error, or -> no answer)
//   portal.Close HANDLE
//   power.Inhibit application=A reason=R -> COOKIE
//   power.UnInhibit COOKIE
// It serves org.freedesktop.portal.Inhibit as the desktop portal publishes it (a Request object for
// each inhibition, ended by its Close) and org.freedesktop.PowerManagement.Inhibit (a cookie, ended
// by UnInhibit). Anything else asked of it is printed as "unexpected ..." and answered with an error.
//   power_standin [--portal MODE] [--power MODE]
// A service not named is not there. MODE: ok, late (answers after 300 ms), error, silent (never).
// "ready" is printed once the services' names are taken.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QSet>
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
            const QString handle = u"/org/freedesktop/portal/desktop/request/"_qs + QString::number(++count_);
            Answer(message, connection,
                   u"portal.Inhibit window=%1 flags=%2 reason=%3"_qs.arg(args.at(0).toString(), args.at(1).toString(),
                                                                       options.value(u"reason"_qs).toString()),
                   handle, QVariant::fromValue(QDBusObjectPath(handle)));
        } else if (name_ == u"portal" && call == u"org.freedesktop.portal.Request.Close" && open_.remove(message.path())) {
            Print(u"portal.Close "_qs + message.path());
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
        } else {
            Print(u"unexpected %1 %2 %3 (%4)"_qs.arg(name_, message.path(), call, message.signature()));
            connection.send(message.createErrorReply(QDBusError::UnknownMethod, u"Not served here"_qs));
        }
        return true;
    }

    QString introspect(const QString &) const override { return QString(); }

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
        Print(line + u" -> "_qs + id);
        open_.insert(id);
        const QDBusMessage reply = message.createReply(result);
        QTimer::singleShot(mode_ == u"late" ? 300 : 0, [connection, reply] { QDBusConnection(connection).send(reply); });
    }

    QString name_;
    QString mode_;
    int count_ = 0;
    QSet<QString> open_;
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
    for (qsizetype i = 0; i + 1 < args.size(); i += 2) {
        const QString name = args.at(i).mid(2);
        auto *service = new Service(name, args.at(i + 1));
        const bool portal = name == u"portal";
        const bool registered = portal
            ? bus.registerVirtualObject(u"/org/freedesktop/portal/desktop"_qs, service, QDBusConnection::SubPath)
                && bus.registerService(u"org.freedesktop.portal.Desktop"_qs)
            : bus.registerVirtualObject(u"/org/freedesktop/PowerManagement/Inhibit"_qs, service)
                && bus.registerService(u"org.freedesktop.PowerManagement"_qs);
        if (!registered) {
            Print(u"cannot serve "_qs + name);
            return 1;
        }
    }
    Print(u"ready"_qs);
    return app.exec();
}
