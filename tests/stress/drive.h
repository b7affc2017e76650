#pragma once
// What the stress tests share: wakeups of a SecondTimer delivered at simulated times, so that a day of
// ticks takes a second of real time, and an answerer for the modal windows the program opens.

#include "fake_clock.h"
#include "platform/second_timer.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QTimerEvent>

#include <functional>

namespace stress {

// The wakeups of one SecondTimer, delivered by hand: Next() moves the fake clock on by the wait the
// timer armed itself with (plus any lateness) and then wakes the timer as its event dispatcher would.
class Wakeups
{
public:
    Wakeups(ostrel::platform::SecondTimer *timer, ostrel::platform::FakeClock &clock)
        : timer_(timer->findChild<QTimer *>())
        , clock_(clock)
    {
    }

    bool Armed() const { return timer_ && timer_->isActive(); }
    int ArmedMs() const { return timer_ ? timer_->interval() : -1; }

    // False when the timer was not armed: a timer that stopped re-arming has stopped ticking.
    bool Next(int lateMs = 0)
    {
        if (!Armed())
            return false;
        clock_.Advance(ArmedMs() + lateMs);
        Deliver();
        return true;
    }

    // Wakes the timer at whatever the clock says now.
    void Deliver()
    {
        QTimerEvent wake(timer_->timerId());
        QCoreApplication::sendEvent(timer_, &wake);
    }

private:
    QTimer *timer_;
    ostrel::platform::FakeClock &clock_;
};

// Answers every window the program shows modally: calls `seen` with it once it is up (inside its own
// event loop), then closes it as the user does, with the window's close command.
class ModalAnswerer final : public QObject
{
public:
    explicit ModalAnswerer(std::function<void(QWidget *)> seen = {})
        : seen_(std::move(seen))
    {
        qApp->installEventFilter(this);
    }
    ~ModalAnswerer() override { qApp->removeEventFilter(this); }

    int shown = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto *window = static_cast<QWidget *>(watched);
        if (!window->isWindow() || !qobject_cast<QDialog *>(window))
            return false;
        ++shown;
        QTimer::singleShot(0, window, [this, window = QPointer<QWidget>(window)] {
            if (!window || !window->isVisible())
                return;
            if (seen_)
                seen_(window);
            if (window && window->isVisible())
                window->close();
        });
        return false;
    }

private:
    std::function<void(QWidget *)> seen_;
};

} // namespace stress
