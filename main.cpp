#include "main_window/frmostrel.h"
#include "platform/command_line.h"
#include "platform/window_system.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const auto status = ostrel::platform::ReadCommandLine(argc, argv))
        return *status;
    if (!ostrel::platform::PrepareWindowSystem())
        return 1;
    QApplication app(argc, argv);
    frmOstrel window;
    window.show();
    return app.exec();
}
