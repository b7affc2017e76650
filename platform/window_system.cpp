#include "platform/window_system.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <xcb/dpms.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <memory>

namespace ostrel::platform {

namespace {

xcb_connection_t *X11Connection()
{
    const auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t *connection, const char *name)
{
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(qstrlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t RootOf(xcb_connection_t *connection)
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    return screen ? screen->root : xcb_window_t(XCB_WINDOW_NONE);
}

// _NET_FRAME_EXTENTS of the window, if it has that property: left, right, top, bottom.
std::optional<QMargins> FrameExtents(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t extents)
{
    const auto cookie = xcb_get_property(connection, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4);
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16)
        return std::nullopt;
    const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    return QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
}

} // namespace

bool PrepareWindowSystem()
{
    QCoreApplication::setApplicationName(QStringLiteral("ostrel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.ostrel.Ostrel"));
    // Small windows gain nothing from X shared memory, whose completion events wake two threads a second.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    if (wayland && x11)
        qputenv("QT_QPA_PLATFORM", "xcb");
    if (x11) {
        // Qt aborts, with a core dump and five lines of advice, when the X server named cannot be
        // reached. A connection of our own first (a tenth of a millisecond) turns that into one line.
        // It stays open until the program ends: a server whose last client leaves resets itself, and
        // Qt connecting during that reset would fail as if there were no server.
        static xcb_connection_t *probe = nullptr;
        probe = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(probe) == 0) {
            qAddPostRoutine([] { xcb_disconnect(probe); });
            return true;
        }
        xcb_disconnect(probe);
        std::fprintf(stderr, "ostrel: cannot open display %s\n", qgetenv("DISPLAY").constData());
        return false;
    }
    if (wayland)
        return true;
    std::fputs("ostrel: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n", stderr);
    return false;
}

void SkipTaskbar(QWidget *window)
{
    xcb_connection_t *connection = X11Connection();
    if (!connection)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
    const xcb_atom_t skip[] = {Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                               Atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 2, skip);
    xcb_flush(connection);
}

QMargins ExpectedFrameMargins(QWidget *window)
{
    if (xcb_connection_t *connection = X11Connection()) {
        const auto id = static_cast<xcb_window_t>(window->winId());
        const xcb_atom_t extents = Atom(connection, "_NET_FRAME_EXTENTS");
        xcb_client_message_event_t request{};
        request.response_type = XCB_CLIENT_MESSAGE;
        request.format = 32;
        request.window = id;
        request.type = Atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
        xcb_send_event(connection, 0, RootOf(connection),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&request));
        xcb_flush(connection);
        // A window manager that supports the request answers within a round trip or two.
        const QDeadlineTimer deadline(150);
        do {
            if (const auto margins = FrameExtents(connection, id, extents))
                return *margins;
            QThread::msleep(2);
        } while (!deadline.hasExpired());
    }
    // Without an answer: the frame this window had when last shown, or that of another shown window.
    if (const QWindow *own = window->windowHandle(); own && !own->frameMargins().isNull())
        return own->frameMargins();
    for (const QWindow *shown : QGuiApplication::topLevelWindows()) {
        if (shown->isVisible() && !shown->frameMargins().isNull())
            return shown->frameMargins();
    }
    return {};
}

void WakeScreen()
{
    xcb_connection_t *connection = X11Connection();
    if (!connection)
        return;
    // Resetting the screen saver does not switch a monitor back on that DPMS has put in standby, suspend
    // or off: only real input does that in the X server. So that first, where the server has DPMS.
    const xcb_query_extension_reply_t *dpms = xcb_get_extension_data(connection, &xcb_dpms_id);
    if (dpms && dpms->present) {
        const std::unique_ptr<xcb_dpms_info_reply_t, decltype(&free)> info(
            xcb_dpms_info_reply(connection, xcb_dpms_info(connection), nullptr), &free);
        if (info && info->state && info->power_level != XCB_DPMS_DPMS_MODE_ON)
            xcb_dpms_force_level(connection, XCB_DPMS_DPMS_MODE_ON);
    }
    xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_RESET);
    xcb_flush(connection);
}

QPoint CentredOrigin(QSize screen, QSize outer)
{
    // Difference first, then halved, as the layout's arithmetic has it; toward minus infinity so a
    // negative position is not pulled toward the screen's corner.
    const auto half = [](int d) { return d >= 0 ? d / 2 : -((1 - d) / 2); };
    return {half(screen.width() - outer.width()), half(screen.height() - outer.height())};
}

} // namespace ostrel::platform
