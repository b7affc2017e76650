#include "main_window/frmostrel.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    frmOstrel window;
    window.show();
    return app.exec();
}
