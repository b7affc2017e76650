#include "platform/always_on_top.h"

#include <QWidget>
#include <QWindow>

namespace ostrel::platform {

AlwaysOnTop::AlwaysOnTop(QWidget *window, bool ontop)
    : QObject(window)
    , window_(window)
{
    setOntop(ontop);
}

void AlwaysOnTop::setOntop(bool ontop)
{
    Qt::WindowFlags flags = window_->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, ontop);
    if (flags == window_->windowFlags())
        return;
    // setWindowFlags() would destroy and recreate a native window; change the hint in place instead.
    window_->overrideWindowFlags(flags);
    if (QWindow *handle = window_->windowHandle())
        handle->setFlags(flags);
}

} // namespace ostrel::platform
