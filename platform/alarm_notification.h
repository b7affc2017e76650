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

Q_SIGNALS:
    // The user clicked the notification.
    void Clicked();

private Q_SLOTS:
    void ActionInvoked(uint id, const QString &action);
    void NotificationClosed(uint id, uint reason);

private:
    void Notify(quint64 ticket, const QString &alarmTime);
    static void Close(uint id, bool atExit);

    // Counts every Show and Withdraw: an answer is kept only while its Show is the last word.
    quint64 ticket_ = 0;
    std::optional<uint> shown_;
    bool listening_ = false;
};

} // namespace ostrel::platform
