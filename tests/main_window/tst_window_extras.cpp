// Always On Top and the About window.
#include "helpers.h"

#include "about_window/frmabout.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

using namespace ostrel;

namespace {

bool HeldOnTop(const QWidget *w)
{
    return w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

} // namespace

class TestWindowExtras : public QObject
{
    Q_OBJECT

    testing::Fixture f;

    // Opens About through the menu and records the menu and the window while it is open.
    struct DuringAbout { bool opened = false, checked = false, onTop = false; };
    DuringAbout OpenAndCloseAbout()
    {
        DuringAbout seen;
        const auto answered = testing::WhenModalOpens([&](QWidget *modal) {
            seen.opened = qobject_cast<frmAbout *>(modal) != nullptr;
            seen.checked = f.window->mnuWindowAlwaysOnTop->isChecked();
            seen.onTop = HeldOnTop(f.window.get());
        });
        f.window->mnuAbout->trigger();
        // An About window that never closes counts as not opened.
        seen.opened = QTest::qWaitFor([&] { return *answered; }) && seen.opened;
        return seen;
    }

private Q_SLOTS:
    void init() { f.Open(); }
    void cleanup() { f.Close(); }

    void menus();
    void alwaysOnTopToggles_data();
    void alwaysOnTopToggles();
    void alwaysOnTopKeepsTheNativeWindow();
    void aboutReleasesAndRestores_data();
    void aboutReleasesAndRestores();
    void aboutLayout_data();
    void aboutLayout();
    void aboutTwiceIsTheSame();
    void unloadWithoutAboutDoesNothing();
};

void TestWindowExtras::menus()
{
    QCOMPARE(f.window->mnuWindow->title(), u"&Window"_qs);
    QCOMPARE(f.window->mnuWindowAlwaysOnTop->text(), u"&Always On Top"_qs);
    QVERIFY(f.window->mnuWindowAlwaysOnTop->isCheckable());
    QVERIFY(!f.window->mnuWindowAlwaysOnTop->isChecked());
    QCOMPARE(f.window->mnuHelp->title(), u"&Help"_qs);
    QCOMPARE(f.window->mnuAbout->text(), u"&About"_qs);
    QVERIFY(!HeldOnTop(f.window.get()));
}

void TestWindowExtras::alwaysOnTopToggles_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("menu clicks") << true;
    QTest::newRow("handler called directly") << false;
}

void TestWindowExtras::alwaysOnTopToggles()
{
    QFETCH(bool, fromMenu);
    const auto click = [&] {
        if (fromMenu)
            f.window->mnuWindowAlwaysOnTop->trigger();
        else
            f.window->mnuWindowAlwaysOnTop_Click();
    };
    click();
    QVERIFY(f.window->mnuWindowAlwaysOnTop->isChecked());
    QVERIFY(HeldOnTop(f.window.get()));
    click();
    QVERIFY(!f.window->mnuWindowAlwaysOnTop->isChecked());
    QVERIFY(!HeldOnTop(f.window.get()));
}

void TestWindowExtras::alwaysOnTopKeepsTheNativeWindow()
{
    const WId before = f.window->winId();
    f.window->mnuWindowAlwaysOnTop->trigger();
    QCOMPARE(f.window->winId(), before);
    QVERIFY(f.window->isVisible());
    QVERIFY(f.window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    f.window->mnuWindowAlwaysOnTop->trigger();
    QCOMPARE(f.window->winId(), before);
    QVERIFY(!f.window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestWindowExtras::aboutReleasesAndRestores_data()
{
    QTest::addColumn<bool>("onTop");
    QTest::newRow("Always On Top on") << true;
    QTest::newRow("Always On Top off") << false;
}

void TestWindowExtras::aboutReleasesAndRestores()
{
    QFETCH(bool, onTop);
    if (onTop)
        f.window->mnuWindowAlwaysOnTop->trigger();
    const DuringAbout seen = OpenAndCloseAbout();
    QVERIFY(seen.opened);
    QVERIFY(!seen.checked);
    QVERIFY(!seen.onTop);
    QCOMPARE(f.window->RestoreOnTop, onTop);
    QCOMPARE(f.window->mnuWindowAlwaysOnTop->isChecked(), onTop);
    QCOMPARE(HeldOnTop(f.window.get()), onTop);
    QVERIFY(!f.window->AboutWindow()->isVisible());
}

void TestWindowExtras::aboutLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("logo") << u"Image2"_qs << QRect(64, 0, 95, 81) << QString();
    QTest::newRow("notice") << u"Label7"_qs << QRect(136, 152, 89, 17) << u"It's freeware!"_qs;
    QTest::newRow("contact") << u"Label6"_qs << QRect(0, 152, 113, 17) << u"ostrel@example.org"_qs;
    QTest::newRow("version") << u"Label2"_qs << QRect(160, 96, 57, 17) << u"Version 2.3"_qs;
    QTest::newRow("name") << u"Label1"_qs << QRect(48, 88, 105, 33) << u"Ostrel!"_qs;
    QTest::newRow("icon") << u"Image1"_qs << QRect(8, 88, 32, 32) << QString();
}

void TestWindowExtras::aboutLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    frmAbout about;
    QCOMPARE(about.size(), QSize(222, 173));
    QCOMPARE(about.windowTitle(), u"Ostrel!"_qs);
    QVERIFY(!about.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!about.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(about.palette().color(QPalette::Window), QColor(64, 64, 64));
    auto *label = about.findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->geometry(), geometry);
    QCOMPARE(label->text(), text);
    if (text.isEmpty()) {
        QVERIFY(!label->pixmap().isNull());
        QCOMPARE(label->pixmap().size(), geometry.size());
    } else {
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(255, 255, 255));
        // Nothing is clipped: the text fits its box in the font it is drawn in.
        QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= geometry.width(), qPrintable(text));
    }
    if (name == u"Label1") {
        QCOMPARE(label->font().pointSizeF(), 20.25);
        QCOMPARE(label->font().weight(), QFont::Bold);
        QVERIFY(!label->font().italic());
    }
}

void TestWindowExtras::aboutTwiceIsTheSame()
{
    f.window->mnuWindowAlwaysOnTop->trigger();
    QVERIFY(OpenAndCloseAbout().opened);
    frmAbout *first = f.window->AboutWindow();
    const QRect logo = first->Image2->geometry();
    QVERIFY(OpenAndCloseAbout().opened);
    QCOMPARE(f.window->AboutWindow(), first); // one instance, reused
    QCOMPARE(first->Image2->geometry(), logo);
    QVERIFY(f.window->mnuWindowAlwaysOnTop->isChecked());
    QVERIFY(HeldOnTop(f.window.get()));
}

void TestWindowExtras::unloadWithoutAboutDoesNothing()
{
    frmAbout::Unload();
    QVERIFY(!f.window->AboutWindow());
    QVERIFY(f.window->isVisible());
}

QTEST_MAIN(TestWindowExtras)
#include "tst_window_extras.moc"
