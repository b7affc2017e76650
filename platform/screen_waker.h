#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace ostrel::platform {

class AlarmNotification;

// How often the screen is lit again while the alarm window waits, and for how long at most.
struct WakeTimes
{
    std::chrono::milliseconds interval;
    std::chrono::milliseconds limit;
};

// Ten seconds apart, for five minutes: the rounds a screen that blanks after its shortest usual
// timeout stays lit through, and no longer than a user away from the desk needs to see the alarm.
inline constexpr WakeTimes KeepLitTimes{std::chrono::seconds(10), std::chrono::minutes(5)};

// The times in use; KeepLitTimes unless a test installed others.
WakeTimes ScreenWakeTimes();
// Installs times of a test's own (nullptr: back to KeepLitTimes). The caller keeps ownership.
void SetScreenWakeTimes(const WakeTimes *times);

// Keeps the screen lit while the alarm window waits: a round at the start and then one every interval,
// until stopped or the limit has passed (limit / interval rounds in all). Each round does what lights a
// blanked screen where the program runs:
// - on X11, XWayland included, it wakes the screen as input would (see WakeScreen());
// - where KDE's power management is on the session bus, it asks it to switch the screen on;
// - where GNOME's screen shield is up, the alarm's notification is withdrawn and sent again as a new
//   one, which is what GNOME's lock screen lights the screen for. While the shield is down nothing is
//   sent again: a user at the desk does not get a new banner every ten seconds.
//
// Nothing is started or asked before Start or after Stop, no call waits for the desktop, and without a
// session bus or any of these services only the X11 wake is left.
class ScreenWaker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenWaker)

public:
    // The notification that is sent again for GNOME's lock screen; it outlives this object.
    ScreenWaker(AlarmNotification *notice, QObject *parent);

    // The first round now; the others follow from the event loop.
    void Start();
    // No more rounds; nothing if none are running.
    void Stop();

private Q_SLOTS:
    void ShieldChanged(bool active);

private:
    void Round();
    void Subscribe(quint64 ticket);
    void WakeKde(quint64 ticket);
    void ListenToShield(bool on);

    AlarmNotification *notice_;
    // A child, so that a test can see whether rounds are running.
    QTimer timer_{this};
    int roundsLeft_ = 0;
    // Counts every Start and Stop: an answer counts only while its Start is the present one.
    quint64 ticket_ = 0;
    bool listening_ = false;
    bool shieldUp_ = false;
    // The shield's own signal came first: an older answer to the question no longer counts.
    bool shieldHeard_ = false;
};

} // namespace ostrel::platform
