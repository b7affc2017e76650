/* window_times PID SECONDS: for SECONDS seconds, prints "mapped T ID" each time a top-level window of
 * process PID larger than 100x100 is created after the start and mapped (again), and "painted T ID"
 * when the program first draws into it after that (a Damage report); T in seconds on CLOCK_REALTIME,
 * so that a caller can set it against a wall-clock moment such as an alarm's. Prints "ready" once it
 * watches. The X server is $DISPLAY. */
#include "window_watch.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static double now(clockid_t clock)
{
    struct timespec t;
    clock_gettime(clock, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fputs("usage: window_times PID SECONDS\n", stderr);
        return 2;
    }
    const uint32_t pid = (uint32_t)atoi(argv[1]);
    const double deadline = now(CLOCK_MONOTONIC) + atof(argv[2]);
    const xcb_query_extension_reply_t *damage;
    xcb_window_t root;
    xcb_connection_t *c = watch_open("window_times", &damage, &root);
    if (!c)
        return 1;
    const xcb_atom_t pid_atom = pid_atom_of(c);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
    puts("ready");
    fflush(stdout);

    xcb_window_t watched[MAX_WINDOWS];
    int nwatched = 0;
    xcb_window_t waiting = XCB_WINDOW_NONE; /* mapped, not yet painted */
    while (now(CLOCK_MONOTONIC) < deadline) {
        xcb_generic_event_t *e = xcb_poll_for_event(c);
        if (!e) {
            if (xcb_connection_has_error(c))
                return 1;
            usleep(200);
            continue;
        }
        const int type = e->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            watch_created(c, (const xcb_create_notify_event_t *)e, root, watched, &nwatched);
        } else if (type == XCB_MAP_NOTIFY) {
            const xcb_map_notify_event_t *n = (const xcb_map_notify_event_t *)e;
            for (int i = 0; i < nwatched; ++i) {
                if (watched[i] != n->window || n->event != n->window)
                    continue;
                const int client = is_program_window(c, n->window, pid_atom, pid);
                if (client) {
                    waiting = n->window;
                    printf("mapped %.6f 0x%x\n", now(CLOCK_REALTIME), n->window);
                    fflush(stdout);
                }
            }
        } else if (type == damage->first_event + XCB_DAMAGE_NOTIFY && waiting != XCB_WINDOW_NONE) {
            const xcb_damage_notify_event_t *n = (const xcb_damage_notify_event_t *)e;
            if (n->drawable == waiting) {
                printf("painted %.6f 0x%x\n", now(CLOCK_REALTIME), waiting);
                fflush(stdout);
                waiting = XCB_WINDOW_NONE;
            }
            xcb_damage_subtract(c, n->damage, XCB_NONE, XCB_NONE);
            xcb_flush(c);
        }
        free(e);
    }
    xcb_disconnect(c);
    return 0;
}
