#pragma once

#include <QByteArray>
#include <QDialog>

class QKeyEvent;
class QLabel;

namespace ostrel::platform {
class AlwaysOnTop;
}

// "It's... Time!": appears in the middle of the screen above every other window and calls once.
// The user closes it with the window's close command; nothing inside it closes it.
class frmItsTime final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmItsTime)

public:
    frmItsTime();

    // Loads the window afresh (closes About, centres it, starts the sound), shows it modally and
    // returns when it has been closed.
    int ShowModal();

    ostrel::platform::AlwaysOnTop *AROnTop1 = nullptr;
    QLabel *olePeek = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();

    QByteArray sound_;
};
