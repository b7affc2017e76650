#include "alarm_window/frmitstime.h"

#include "about_window/frmabout.h"
#include "platform/always_on_top.h"
#include "platform/fonts.h"
#include "platform/twips.h"
#include "platform/wave_sound.h"
#include "platform/window_system.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

using ostrel::platform::TwipsRect;

namespace {

constexpr QColor Yellow(255, 255, 0);
constexpr QColor Black(0, 0, 0);

QLabel *Caption(QWidget *parent, const char *name, const QString &text, QRect geometry, qreal pointSize)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(ostrel::platform::DisplayFont(pointSize, 400, true));
    return label;
}

// Screen readers announce a window in the alert role as it appears; Qt gives a dialog the dialog role.
QAccessibleInterface *AlertRole(const QString &className, QObject *object)
{
    if (className == QLatin1String("frmItsTime") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

frmItsTime::frmItsTime()
    : QDialog(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmItsTime"));
    static const bool alertRoleInstalled = (QAccessible::installFactory(AlertRole), true);
    Q_UNUSED(alertRoleInstalled);
    setWindowTitle(QStringLiteral("Ostrel!"));
    setWindowIcon(QIcon(QStringLiteral(":/ostrel.ico")));
    setFixedSize(ostrel::platform::TwipsSize(4575, 2775));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Black);
    palette.setColor(QPalette::WindowText, Yellow);
    setPalette(palette);

    AROnTop1 = new ostrel::platform::AlwaysOnTop(this, true);
    AROnTop1->setObjectName(QStringLiteral("AROnTop1"));

    // The sound's box shows its loudspeaker and takes no clicks or keys: the sound plays as the
    // window opens and at no other time.
    olePeek = new QLabel(this);
    olePeek->setObjectName(QStringLiteral("olePeek"));
    olePeek->setGeometry(TwipsRect(240, 360, 495, 495));
    olePeek->setPixmap(QPixmap(QStringLiteral(":/loudspeaker.png")));
    olePeek->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    olePeek->setAttribute(Qt::WA_TransparentForMouseEvents);
    olePeek->setFocusPolicy(Qt::NoFocus);
    olePeek->setAccessibleName(QStringLiteral("Alarm sound"));

    Label2 = Caption(this, "Label2", QStringLiteral("Time!"), TwipsRect(600, 1080, 3615, 1575), 72);
    Label1 = Caption(this, "Label1", QStringLiteral("It's..."), TwipsRect(1200, 120, 2175, 1095), 48);
}

int frmItsTime::ShowModal()
{
    Form_Load();
    const int result = exec();
    // A sound server that has still not answered would otherwise call out after the window has gone.
    ostrel::platform::CancelSound();
    return result;
}

// The window takes the keyboard as it appears, so a key the user meant for another window can land
// here: none of them closes it (a dialog would close on Escape), only the window's close command.
void frmItsTime::keyPressEvent(QKeyEvent *event)
{
    event->accept();
}

void frmItsTime::Form_Load()
{
    frmAbout::Unload();

    ostrel::platform::SkipTaskbar(this);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QMargins frame = ostrel::platform::ExpectedFrameMargins(this);
        const QRect area = screen->geometry();
        const QPoint origin = area.topLeft() + ostrel::platform::CentredOrigin(area.size(), size().grownBy(frame));
        // The frame goes at the centred origin, so the client goes inside it. move() would not do: until
        // the window has been shown once Qt does not know its frame and would put the client there.
        setGeometry(QRect(origin + QPoint(frame.left(), frame.top()), size()));
    }

    if (sound_.isEmpty()) {
        QFile clip(QStringLiteral(":/cuckoo.wav"));
        if (clip.open(QIODevice::ReadOnly))
            sound_ = clip.readAll();
    }
    ostrel::platform::PlayWave(sound_);
}
