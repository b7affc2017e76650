#pragma once

#include "clock/clock_value.h"

#include <QDateTime>
#include <QMainWindow>

#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;

class frmAbout;
class frmItsTime;

namespace ostrel::platform {
class AlarmNotification;
class AlwaysOnTop;
class ScreenWaker;
class SecondTimer;
class SuspendInhibitor;
} // namespace ostrel::platform

// The main window: a stopwatch on the left, the clock and the alarm on the right. Its state lives
// where the user can see it: the stopwatch's times are the text of its boxes, and the captions of
// the Pause and alarm buttons say, and decide, what the next click means.
class frmOstrel final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmOstrel)

public:
    explicit frmOstrel(QWidget *parent = nullptr);
    ~frmOstrel() override;

    // Disarms the alarm and refills the hour and minute lists with nothing chosen.
    void Reset();

    // The window's controls and state, reached by name as every handler reaches them.
    QPushButton *cmdAlarm = nullptr;
    QComboBox *cmbMinute = nullptr;
    QComboBox *cmbHour = nullptr;
    ostrel::platform::AlwaysOnTop *AROnTop1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdFinish = nullptr;
    QPushButton *cmdPause = nullptr;
    QLabel *lblHowLong = nullptr;
    QLabel *lblStart = nullptr;
    QLabel *lblFinish = nullptr;
    QLabel *lblTotal = nullptr;
    ostrel::platform::SecondTimer *Timer1 = nullptr;
    QLabel *lblAlarm = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *lblDate = nullptr;
    QMenu *mnuWindow = nullptr;
    QAction *mnuWindowAlwaysOnTop = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuAbout = nullptr;

    // Seconds paused in the current run. Wide enough for any pause, so a long one cannot wrap.
    qint64 PausedSeconds = 0;
    ostrel::clock::ClockValue PauseStarted = 0;
    // Empty while the alarm is off.
    std::optional<ostrel::clock::ClockValue> AlarmTime;
    bool RestoreOnTop = false;

    // The event handlers, public so that tests drive them exactly as the controls do.
    void cmdStart_Click();
    void cmdPause_Click();
    void cmdFinish_Click();
    void cmbHour_Click();
    void cmbMinute_Click();
    void cmdAlarm_Click();
    void Timer1_Timer();
    void mnuWindowAlwaysOnTop_Click();
    void mnuAbout_Click();

    // The alarm and About windows, once they have been used.
    frmItsTime *AlarmWindow() const { return itsTime_.get(); }
    frmAbout *AboutWindow() const { return about_.get(); }

private:
    void Form_Load();
    void CreateControls();
    void CreateMenus();
    void ConnectHandlers();

    void ShowTotalTime();
    void ShowRunningTime();
    qint64 AddPausedSeconds(qint64 seconds);
    void ArmAlarm();
    void ClearAlarmTime();

    std::unique_ptr<frmAbout> about_;
    std::unique_ptr<frmItsTime> itsTime_;
    // The moment the alarm was last looked at: the last tick, or the arming, whichever came last. The
    // alarm is due when its moment lies between this and the present tick.
    QDateTime alarmCheckedAt_;
    // Keeps the desktop from suspending the idle machine while the alarm is on.
    ostrel::platform::SuspendInhibitor *suspendInhibitor_ = nullptr;
    // Tells the desktop of the alarm while its window is open.
    ostrel::platform::AlarmNotification *alarmNotice_ = nullptr;
    // Keeps the screen lit while the alarm window waits.
    ostrel::platform::ScreenWaker *screenWaker_ = nullptr;
};
