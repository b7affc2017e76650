#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <memory>

class QDBusMessage;
class QDBusPendingCallWatcher;
class QWidget;

namespace ostrel::platform {

// Asks the desktop not to suspend the machine for inactivity while held: through the desktop portal
// where the session has one and it holds the request, else through the freedesktop power manager
// (KDE's, Xfce's), else not at all. A portal on a desktop it has no backend for (Xfce, MATE and many
// others install one) takes the request and then ends it with a refusal: that counts as no portal. Only the idle suspend is asked off: the screen still blanks and locks as the user set it, and a
// suspend the user asks for (the lid, a menu, a key) is left to the desktop.
//
// Nothing touches the session bus until the first Hold, and no call waits for the desktop: holding
// and releasing return at once, and a desktop that refuses or never answers changes nothing else.
// There is never more than one request: a Hold replaces the one before, and a request whose answer
// comes after it was released is ended as soon as it comes.
class SuspendInhibitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SuspendInhibitor)

public:
    // The window the desktop may name as asking (the portal shows it with the reason); its parent.
    explicit SuspendInhibitor(QWidget *window);
    // Ends the request, if one is held, before the program goes.
    ~SuspendInhibitor() override;

    // Starts a request, with a reason the desktop can show the user.
    void Hold(const QString &reason);
    // Ends the request; nothing if none is held.
    void Release();

private Q_SLOTS:
    // The portal's word on a request, after its answer or (as a bus may deliver them) before it.
    void PortalResponse(uint response, const QVariantMap &results, const QDBusMessage &message);

private:
    struct Request;
    struct PortalAsk;
    enum class Service { Portal, PowerManager };

    void Ask(Service service, quint64 ticket, const QString &reason);
    void Keep(quint64 ticket, const Request &request);
    static void End(const Request &request, bool atExit);
    void Listen(const QString &path, bool on);
    void ForgetPortal();

    // Counts every Hold and Release: an answer is kept only while the Hold it belongs to is the last
    // word, neither released nor replaced.
    quint64 ticket_ = 0;
    std::unique_ptr<Request> held_;
    // The portal request asked for or held under the present ticket, whose Response is listened for;
    // gone with the ticket.
    std::shared_ptr<PortalAsk> portal_;
    // Portal requests ended before the portal's word on them, closed once it comes: a portal's backend
    // may only then be holding what a Close ends. Until then their Response is listened for.
    QSet<QString> closing_;
    bool exiting_ = false;
    // Numbers each portal request's handle token.
    quint64 tokens_ = 0;
    // The power manager's answer still to come, if any, held or released.
    QDBusPendingCallWatcher *powerAsk_ = nullptr;
};

} // namespace ostrel::platform
