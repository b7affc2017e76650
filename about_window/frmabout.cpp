#include "about_window/frmabout.h"

#include "platform/fonts.h"
#include "platform/twips.h"
#include "platform/window_system.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>

using ostrel::platform::TwipsRect;

namespace {

QLabel *Label(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

frmAbout::frmAbout()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Ostrel!"));
    const QIcon icon(QStringLiteral(":/ostrel.ico"));
    setWindowIcon(icon);
    setFont(ostrel::platform::DialogFont());
    setFixedSize(ostrel::platform::TwipsSize(3330, 2595));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(64, 64, 64));
    palette.setColor(QPalette::WindowText, QColor(255, 255, 255));
    setPalette(palette);

    Image2 = Label(this, "Image2", QString(), TwipsRect(960, 0, 1425, 1215));
    Image2->setPixmap(QPixmap(QStringLiteral(":/logo.jpg")));
    Image2->setAccessibleName(QStringLiteral("Ostrel! logo"));
    Label7 = Label(this, "Label7", QStringLiteral("It's freeware!"), TwipsRect(2040, 2280, 1335, 255));
    Label6 = Label(this, "Label6", QStringLiteral("ostrel@example.org"), TwipsRect(0, 2280, 1695, 255));
    Label2 = Label(this, "Label2", QStringLiteral("Version 2.3"), TwipsRect(2400, 1440, 855, 255));
    Label1 = Label(this, "Label1", QStringLiteral("Ostrel!"), TwipsRect(720, 1320, 1575, 495));
    Label1->setFont(ostrel::platform::DisplayFont(20.25, 700));
    Image1 = Label(this, "Image1", QString(), TwipsRect(120, 1320, 480, 480));
    Image1->setPixmap(icon.pixmap(QSize(32, 32)));
    Image1->setAccessibleName(QStringLiteral("Ostrel! icon"));
}

int frmAbout::ShowModal()
{
    ostrel::platform::SkipTaskbar(this);
    return exec();
}

void frmAbout::Unload()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *about = qobject_cast<frmAbout *>(window); about && about->isVisible())
            about->done(QDialog::Rejected);
    }
}
