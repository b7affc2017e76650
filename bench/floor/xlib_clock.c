/* xlib_clock: the least a clock on X11 can cost. One window, the time of day drawn into it once a
 * second with the core font, and one select() wakeup a second in between: the floor that no toolkit
 * goes below. Like a toolkit's window it has no background, so its first drawing is what a Damage
 * watcher (first_paint) sees. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

static void draw(Display *d, Window w, GC gc, int width, int height)
{
    char text[16];
    const time_t now = time(NULL);
    struct tm local;
    localtime_r(&now, &local);
    const int n = (int)strftime(text, sizeof text, "%H:%M:%S", &local);
    XFillRectangle(d, w, gc, 0, 0, (unsigned)width, (unsigned)height); /* foreground is the background */
    XSetForeground(d, gc, BlackPixel(d, DefaultScreen(d)));
    XDrawString(d, w, gc, 16, height / 2, text, n);
    XSetForeground(d, gc, WhitePixel(d, DefaultScreen(d)));
    XFlush(d);
}

int main(void)
{
    Display *d = XOpenDisplay(NULL);
    if (!d) {
        fputs("xlib_clock: no X server\n", stderr);
        return 1;
    }
    const int width = 280, height = 180;
    const int screen = DefaultScreen(d);
    XSetWindowAttributes attributes = {0};
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    const Window w = XCreateWindow(d, RootWindow(d, screen), 0, 0, width, height, 0, CopyFromParent,
                                   InputOutput, CopyFromParent, CWEventMask, &attributes);
    XStoreName(d, w, "Xlib clock");
    const long pid = getpid();
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    (const unsigned char *)&pid, 1);
    Atom close = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &close, 1);
    XGCValues values = {.graphics_exposures = False, .foreground = WhitePixel(d, screen)};
    const GC gc = XCreateGC(d, w, GCGraphicsExposures | GCForeground, &values);
    XMapWindow(d, w);
    XFlush(d);

    const int fd = ConnectionNumber(d);
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == Expose && e.xexpose.count == 0)
                draw(d, w, gc, width, height);
            else if (e.type == ClientMessage && (Atom)e.xclient.data.l[0] == close)
                return 0;
        }
        /* Sleep to the next second of the wall clock. */
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        const long usec = (1000000000L - now.tv_nsec) / 1000 + 1;
        struct timeval timeout = {usec / 1000000, usec % 1000000};
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(fd, &fds);
        if (select(fd + 1, &fds, NULL, NULL, &timeout) == 0)
            draw(d, w, gc, width, height);
    }
}
