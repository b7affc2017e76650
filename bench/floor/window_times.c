/* window_times PID SECONDS: for SECONDS seconds, prints "mapped T ID" each time a top-level window of
 * process PID larger than 100x100 is created after the start and mapped (again), and "painted T ID"
 * when the program first draws into it after that (a Damage report); T in seconds on CLOCK_REALTIME,
 * so that a caller can set it against a wall-clock moment such as an alarm's. Prints "ready" once it
 * watches. The X server is $DISPLAY. */
#include <xcb/damage.h>
#include <xcb/xcb.h>

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

#define MAX_WINDOWS 256

int main(int argc, char **argv)
{
    if (argc != 3) {
        fputs("usage: window_times PID SECONDS\n", stderr);
        return 2;
    }
    const uint32_t pid = (uint32_t)atoi(argv[1]);
    const double deadline = now(CLOCK_MONOTONIC) + atof(argv[2]);
    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fputs("window_times: no X server\n", stderr);
        return 1;
    }
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present) {
        fputs("window_times: the X server has no Damage extension\n", stderr);
        return 1;
    }
    free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), NULL));
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_intern_atom_reply_t *pid_atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 11, "_NET_WM_PID"), NULL);
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
            const xcb_create_notify_event_t *n = (const xcb_create_notify_event_t *)e;
            if (n->parent == root && nwatched < MAX_WINDOWS) {
                uint32_t m = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(c, n->window, XCB_CW_EVENT_MASK, &m);
                xcb_damage_create(c, xcb_generate_id(c), n->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                watched[nwatched++] = n->window;
                xcb_flush(c);
            }
        } else if (type == XCB_MAP_NOTIFY) {
            const xcb_map_notify_event_t *n = (const xcb_map_notify_event_t *)e;
            for (int i = 0; i < nwatched; ++i) {
                if (watched[i] != n->window || n->event != n->window)
                    continue;
                /* Frames of a window manager are mapped too: the program's own windows name its process. */
                xcb_get_property_reply_t *p = pid_atom ? xcb_get_property_reply(
                    c, xcb_get_property(c, 0, n->window, pid_atom->atom, XCB_ATOM_CARDINAL, 0, 1), NULL) : NULL;
                xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(c, xcb_get_geometry(c, n->window), NULL);
                const int client = p && xcb_get_property_value_length(p) == 4
                                   && *(const uint32_t *)xcb_get_property_value(p) == pid
                                   && g && g->width > 100 && g->height > 100;
                free(g);
                free(p);
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
    free(pid_atom);
    xcb_disconnect(c);
    return 0;
}
