// Opening and closing the About and alarm windows over and over must not make the program grow.
#include "drive.h"
#include "helpers.h"

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <malloc.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_ASAN 1
#endif
#endif

using namespace ostrel;

namespace {

// Resident set size in bytes, from the kernel's page count.
qint64 Rss()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

// Freed memory handed back first, so that what is counted is what is still in use.
qint64 SettledRss()
{
    malloc_trim(0);
    return Rss();
}

} // namespace

class TestMemory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowsOpenedAgainAndAgain_data();
    void windowsOpenedAgainAndAgain();
};

void TestMemory::windowsOpenedAgainAndAgain_data()
{
    QTest::addColumn<bool>("about");
    QTest::addColumn<bool>("alarm");

    QTest::newRow("About") << true << false;
    QTest::newRow("alarm") << false << true;
    QTest::newRow("both in turn") << true << true;
}

void TestMemory::windowsOpenedAgainAndAgain()
{
#ifdef OSTREL_ASAN
    QSKIP("AddressSanitizer holds freed memory back; LeakSanitizer checks this build instead");
#endif
    QFETCH(bool, about);
    QFETCH(bool, alarm);
    testing::Fixture f;
    f.clock.Set(QDateTime(testing::Day, QTime(6, 59, 59, 5)));
    f.Open();
    stress::ModalAnswerer answerer;
    stress::Wakeups wakeups(f.window->Timer1, f.clock);

    constexpr int Cycles = 1000;
    qint64 settled = 0;
    for (int i = 0; i < Cycles; ++i) {
        if (about)
            f.window->mnuAbout->trigger();
        if (alarm) {
            // Each cycle's alarm one minute after the last: 07:00, 07:01, ...
            const QTime at = QTime(7, 0).addSecs(60 * i);
            testing::Choose(f.window->cmbHour, at.toString(u"HH"));
            testing::Choose(f.window->cmbMinute, at.toString(u"mm"));
            f.window->cmdAlarm->click();
            f.clock.Set(QDateTime(testing::Day, at.addMSecs(5)));
            wakeups.Deliver();
            QVERIFY2(!f.window->AlarmTime, "the alarm did not fire");
        }
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (i == 9)
            settled = SettledRss();
    }
    const qint64 last = SettledRss();
    const int shown = answerer.shown;
    f.Close();

    QCOMPARE(shown, Cycles * (int(about) + int(alarm)));
    qInfo("RSS after 10 cycles %lld KiB, after %d: %lld KiB", settled / 1024, Cycles, last / 1024);
    QVERIFY2(last - settled <= 1024 * 1024,
             qPrintable(QStringLiteral("grew by %1 KiB").arg((last - settled) / 1024)));
}

QTEST_MAIN(TestMemory)
#include "tst_memory.moc"
