#pragma once

#include <QDialog>

class QLabel;

// Help, About: the program's name, version, icon and logo on dark grey. It has no buttons; the user
// closes it with the window's close command.
class frmAbout final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    frmAbout();

    // Shows the window modally and returns when it has been closed.
    int ShowModal();

    // Closes the About window if one is open; nothing happens otherwise.
    static void Unload();

    QLabel *Image2 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Image1 = nullptr;
};
