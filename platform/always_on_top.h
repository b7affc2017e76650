#pragma once

#include <QObject>

class QWidget;

namespace ostrel::platform {

// Placed on a window, it keeps that window above all others while its one property, ontop, is true.
// The windows set it and never read it back. Setting it before the window exists takes effect when
// the window is first shown; on a shown window it asks the window manager without recreating the
// native window, so nothing flickers or moves.
class AlwaysOnTop final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlwaysOnTop)

public:
    explicit AlwaysOnTop(QWidget *window, bool ontop = false);

    void setOntop(bool ontop);

private:
    QWidget *window_;
};

} // namespace ostrel::platform
