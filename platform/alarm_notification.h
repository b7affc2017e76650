#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace ostrel::platform {

// Tells the desktop that the alarm has come, through its notification service: a notification that
// a locked screen shows (and lights the screen for, where the desktop does that) and that stays in
// the desktop's message list until the alarm has been dealt with. Clicking it asks for the alarm
// window; the program withdraws it when the alarm window closes.
//
// Nothing waits for the desktop: showing and withdrawing return at once, and without a session bus or
// a notification service nothing happens. There is never more than one notification: a Show replaces
// the one before, and one whose answer comes after it was withdrawn is withdrawn as soon as it comes.
class AlarmNotification final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmNotification)

public:
    explicit AlarmNotification(QObject *parent);
    // Withdraws the notification, if one is shown, before the program goes.
    ~AlarmNotification() override;

    // Shows the notification for an alarm at the given time of day (hh:mm), once the event loop runs.
    void Show(const QString &alarmTime);
    // Withdraws it; nothing if none is shown or the user has dismissed it.
    void Withdraw();
    // Withdraws the notification and shows it again as a new one, which a lock screen that lights up
    // for new notifications (GNOME's) lights up for again. Asked while the desktop has still to answer
    // the last one, it waits for that answer: the desktop never holds two. Nothing once withdrawn.
    void Renew();

Q_SIGNALS:
    // The user clicked the notification.
    void Clicked();

private Q_SLOTS:
    void ActionInvoked(uint id, const QString &action);
    void NotificationClosed(uint id, uint reason);

private:
    void Notify(quint64 ticket, const QString &alarmTime);
    static void Close(uint id, bool atExit);

    // Counts every Show, Renew and Withdraw: an answer is kept only while its call is the last word.
    quint64 ticket_ = 0;
    std::optional<uint> shown_;
    // The alarm's time while it is to be shown; empty once withdrawn.
    QString alarmTime_;
    // The ticket of the call whose answer is still to come, if any.
    quint64 awaiting_ = 0;
    bool renewWanted_ = false;
    bool listening_ = false;
};

} // namespace ostrel::platform
