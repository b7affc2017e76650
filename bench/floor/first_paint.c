/* first_paint PROGRAM [ARG...]: starts the program and prints, in seconds on CLOCK_MONOTONIC,
 * "launch T0", then "mapped T1" when its first top-level window larger than 100x100 is mapped and
 * "painted T2" when the program first draws into that window (a Damage report), then exits and leaves
 * the program running; its process id is the first line, "pid N". The X server is $DISPLAY. Qt
 * creates its windows without a background, so the first damage is the program's own drawing. */
#include "window_watch.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs("usage: first_paint PROGRAM [ARG...]\n", stderr);
        return 2;
    }
    const xcb_query_extension_reply_t *damage;
    xcb_window_t root;
    xcb_connection_t *c = watch_open("first_paint", &damage, &root);
    if (!c)
        return 1;
    const xcb_atom_t pid_atom = pid_atom_of(c);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));

    const double launch = now();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    printf("pid %d\nlaunch %.6f\n", (int)pid, launch);
    fflush(stdout);

    /* Windows created on the root (clients before a window manager reparents them, and frames). */
    xcb_window_t watched[MAX_WINDOWS];
    int nwatched = 0;
    xcb_window_t mapped = XCB_WINDOW_NONE;
    xcb_generic_event_t *e;
    const double deadline = launch + 60;
    while (now() < deadline) {
        e = xcb_poll_for_event(c);
        if (!e) {
            if (xcb_connection_has_error(c))
                return 1;
            usleep(200);
            continue;
        }
        const int type = e->response_type & 0x7f;
        if (getenv("FIRST_PAINT_DEBUG"))
            fprintf(stderr, "%.6f event %d 0x%x 0x%x\n", now(), type, ((xcb_map_notify_event_t *)e)->event,
                    ((xcb_map_notify_event_t *)e)->window);
        if (type == XCB_CREATE_NOTIFY) {
            watch_created(c, (const xcb_create_notify_event_t *)e, root, watched, &nwatched);
        } else if (type == XCB_MAP_NOTIFY && mapped == XCB_WINDOW_NONE) {
            const xcb_map_notify_event_t *n = (const xcb_map_notify_event_t *)e;
            for (int i = 0; i < nwatched; ++i) {
                if (watched[i] == n->window) {
                    const int client = is_program_window(c, n->window, pid_atom, (uint32_t)pid);
                    if (client) {
                        mapped = n->window;
                        printf("mapped %.6f\n", now());
                        fflush(stdout);
                    }
                }
            }
        } else if (type == damage->first_event + XCB_DAMAGE_NOTIFY && mapped != XCB_WINDOW_NONE) {
            const xcb_damage_notify_event_t *n = (const xcb_damage_notify_event_t *)e;
            if (n->drawable == mapped) {
                printf("painted %.6f\n", now());
                fflush(stdout);
                free(e);
                xcb_disconnect(c);
                return 0;
            }
        }
        free(e);
    }
    fprintf(stderr, "first_paint: no window painted within 60 s (%d windows watched, %s)\n", nwatched,
            mapped ? "one mapped" : "none of the program's mapped");
    return 1;
}
