// Arming and disarming the alarm from the hour and minute lists.
#include "helpers.h"

#include "clock/clock_value.h"

#include <QMessageBox>
#include <QPushButton>

using namespace ostrel;
using testing::Choose;

class TestAlarmSetting : public QObject
{
    Q_OBJECT

    testing::Fixture f;

private Q_SLOTS:
    void init() { f.Open(); }
    void cleanup() { f.Close(); }

    void listsAfterStartUp();
    void resetTwiceKeepsOneFill();
    void arming_data();
    void arming();
    void secondPressDisarms();
    void choosingDisarms_data();
    void choosingDisarms();
    void selectionByCodeIsNoChoice();
};

void TestAlarmSetting::listsAfterStartUp()
{
    QStringList hours, minutes;
    for (int i = 0; i < f.window->cmbHour->count(); ++i)
        hours << f.window->cmbHour->itemText(i);
    for (int i = 0; i < f.window->cmbMinute->count(); ++i)
        minutes << f.window->cmbMinute->itemText(i);
    QCOMPARE(hours.size(), 24);
    QCOMPARE(minutes.size(), 60);
    QCOMPARE(hours.first(), u"00"_qs);
    QCOMPARE(hours.last(), u"23"_qs);
    QCOMPARE(minutes.at(7), u"07"_qs);
    QCOMPARE(minutes.last(), u"59"_qs);
    QVERIFY(f.window->cmbHour->currentText().isEmpty());
    QVERIFY(f.window->cmbMinute->currentText().isEmpty());
    QCOMPARE(f.window->cmdAlarm->text(), u"Alarm Is Off"_qs);
    QVERIFY(!f.window->AlarmTime);
}

void TestAlarmSetting::resetTwiceKeepsOneFill()
{
    Choose(f.window->cmbHour, u"07"_qs);
    f.window->Reset();
    f.window->Reset();
    QCOMPARE(f.window->cmbHour->count(), 24);
    QCOMPARE(f.window->cmbMinute->count(), 60);
    QCOMPARE(f.window->cmbHour->currentIndex(), -1);
    QVERIFY(f.window->cmbHour->currentText().isEmpty());
}

void TestAlarmSetting::arming_data()
{
    QTest::addColumn<QString>("hour");
    QTest::addColumn<QString>("minute");
    QTest::addColumn<bool>("message");
    QTest::addColumn<int>("armedSecond"); // second of the day armed, -1 for none

    QTest::newRow("nothing chosen") << QString() << QString() << true << -1;
    QTest::newRow("only the hour") << u"07"_qs << QString() << true << -1;
    QTest::newRow("only the minute") << QString() << u"30"_qs << true << -1;
    QTest::newRow("07:30") << u"07"_qs << u"30"_qs << false << 7 * 3600 + 30 * 60;
    QTest::newRow("23:59") << u"23"_qs << u"59"_qs << false << 23 * 3600 + 59 * 60;
    QTest::newRow("midnight") << u"00"_qs << u"00"_qs << false << 0;
}

void TestAlarmSetting::arming()
{
    QFETCH(QString, hour);
    QFETCH(QString, minute);
    QFETCH(bool, message);
    QFETCH(int, armedSecond);
    if (!hour.isEmpty())
        Choose(f.window->cmbHour, hour);
    if (!minute.isEmpty())
        Choose(f.window->cmbMinute, minute);

    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton *> buttons;
    QString captionWhileShown;
    const auto answered = testing::WhenModalOpens([&](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = box->buttons();
            captionWhileShown = f.window->cmdAlarm->text();
        }
    }, message ? 2000 : 50);
    f.window->cmdAlarm->click();
    QTRY_VERIFY(*answered && !QApplication::activeModalWidget());

    if (message) {
        QCOMPARE(text, u"Set alarm time first!"_qs);
        QCOMPARE(title, u"Ostrel!"_qs);
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(captionWhileShown, u"Alarm Is On"_qs);
    } else {
        QVERIFY(text.isEmpty());
    }
    QCOMPARE(f.window->cmdAlarm->text(), armedSecond < 0 ? u"Alarm Is Off"_qs : u"Alarm Is On"_qs);
    QCOMPARE(f.window->AlarmTime.has_value(), armedSecond >= 0);
    if (armedSecond >= 0)
        QCOMPARE(clock::DiffSeconds(0.0, *f.window->AlarmTime), armedSecond);
}

void TestAlarmSetting::secondPressDisarms()
{
    Choose(f.window->cmbHour, u"23"_qs);
    Choose(f.window->cmbMinute, u"59"_qs);
    f.window->cmdAlarm->click();
    QVERIFY(f.window->AlarmTime);
    f.window->cmdAlarm->click();
    QCOMPARE(f.window->cmdAlarm->text(), u"Alarm Is Off"_qs);
    QVERIFY(!f.window->AlarmTime);
    // The choice stays, so a third press arms the same time again.
    f.window->cmdAlarm->click();
    QCOMPARE(clock::DiffSeconds(0.0, f.window->AlarmTime.value_or(-1)), 23 * 3600 + 59 * 60);
}

void TestAlarmSetting::choosingDisarms_data()
{
    QTest::addColumn<bool>("inHourList");
    QTest::addColumn<QString>("item");
    QTest::newRow("another minute") << false << u"31"_qs;
    QTest::newRow("another hour") << true << u"08"_qs;
    QTest::newRow("the same minute again") << false << u"30"_qs;
}

void TestAlarmSetting::choosingDisarms()
{
    QFETCH(bool, inHourList);
    QFETCH(QString, item);
    Choose(f.window->cmbHour, u"07"_qs);
    Choose(f.window->cmbMinute, u"30"_qs);
    f.window->cmdAlarm->click();
    QCOMPARE(f.window->cmdAlarm->text(), u"Alarm Is On"_qs);
    Choose(inHourList ? f.window->cmbHour : f.window->cmbMinute, item);
    QCOMPARE(f.window->cmdAlarm->text(), u"Alarm Is Off"_qs);
    QVERIFY(!f.window->AlarmTime);
}

void TestAlarmSetting::selectionByCodeIsNoChoice()
{
    Choose(f.window->cmbHour, u"07"_qs);
    Choose(f.window->cmbMinute, u"30"_qs);
    f.window->cmdAlarm->click();
    f.window->cmbMinute->setCurrentIndex(10);
    QVERIFY(f.window->AlarmTime);
    QCOMPARE(f.window->cmdAlarm->text(), u"Alarm Is On"_qs);
}

QTEST_MAIN(TestAlarmSetting)
#include "tst_alarm_setting.moc"
