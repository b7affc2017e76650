#pragma once

#include <QMargins>
#include <QPoint>
#include <QSize>

class QWidget;

namespace ostrel::platform {

// Before the application object exists: names the program for the window system, prefers X11 through
// XWayland in a Wayland session (a Wayland client cannot keep its own window on top) unless the user
// chose a platform, draws without X shared memory unless the user chose otherwise, and reports a
// missing display in one line. False means there is nothing to show windows on and the program should
// end with status 1.
bool PrepareWindowSystem();

// Keeps an unshown window out of the taskbar and pager. The window manager drops the request when the
// window is hidden, so it is made again before every showing.
void SkipTaskbar(QWidget *window);

// The frame the window manager will put around the unshown window: asked of the window manager where
// it answers, else the frame it had when last shown or that of another shown window, else none.
QMargins ExpectedFrameMargins(QWidget *window);

// Lights a blanked X11 screen as input would: the monitor is switched on where DPMS has it off, and
// the X server's screen saver is reset, which screen savers and lockers read as activity. It unlocks
// nothing: a locked session shows its lock screen. Nothing happens without X11.
void WakeScreen();

// The top-left corner that centres a window of the given outer size on a screen of the given size.
// The position is not clamped: a window larger than the screen gets a negative one.
QPoint CentredOrigin(QSize screen, QSize outer);

} // namespace ostrel::platform
