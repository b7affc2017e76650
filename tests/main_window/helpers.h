#pragma once
// What the widget tests share: a main window on a hand-set clock, choosing from its lists as a user
// does, and answering the modal windows it opens.

#include "main_window/frmostrel.h"
#include "fake_clock.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace testing {

inline const QDate Day(2026, 3, 10);

struct Fixture
{
    ostrel::platform::FakeClock clock{QDateTime(Day, QTime(8, 0))};
    std::unique_ptr<frmOstrel> window;

    void Open()
    {
        ostrel::platform::SetClockSource(&clock);
        window = std::make_unique<frmOstrel>();
        window->show();
    }
    void Close()
    {
        window.reset();
        ostrel::platform::SetClockSource(nullptr);
    }
    void At(int h, int m, int s) { clock.Set(QDateTime(Day, QTime(h, m, s))); }
};

// A choice of the user's in a drop-down list: the list's own signal for it, not a selection by code.
inline void Choose(QComboBox *list, const QString &item)
{
    const int index = list->findText(item);
    QVERIFY2(index >= 0, qPrintable(item));
    list->setCurrentIndex(index);
    Q_EMIT list->activated(index);
}

// Runs `answer` on the next modal window to open (or on nullptr if none opens within the wait), then
// closes that window. Call before the action that opens it; the flag it returns is set once `answer`
// has run, and the caller waits for it before its captures go out of scope.
inline std::shared_ptr<bool> WhenModalOpens(std::function<void(QWidget *)> answer, int waitMs = 2000)
{
    auto *poll = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    auto done = std::make_shared<bool>(false);
    started->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, started, answer, waitMs, done] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && started->elapsed() < waitMs)
            return;
        poll->stop();
        poll->deleteLater();
        answer(modal);
        *done = true;
        if (modal)
            modal->close();
    });
    poll->start(5);
    return done;
}

} // namespace testing
