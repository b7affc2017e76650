/* What first_paint and window_times share: a connection that hears of every window created on the
 * root and of the Damage each one takes, and the test for a window of the watched program. */
#pragma once

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <stdio.h>
#include <stdlib.h>

#define MAX_WINDOWS 256

/* Connects to $DISPLAY and listens for windows created on the root; NULL (said on stderr as NAME)
 * without an X server or its Damage extension. */
static xcb_connection_t *watch_open(const char *name, const xcb_query_extension_reply_t **damage, xcb_window_t *root)
{
    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "%s: no X server\n", name);
        return NULL;
    }
    *damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!*damage || !(*damage)->present) {
        fprintf(stderr, "%s: the X server has no Damage extension\n", name);
        return NULL;
    }
    free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), NULL));
    *root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, *root, XCB_CW_EVENT_MASK, &mask);
    return c;
}

/* A window created on the root (a client before a window manager reparents it, or a frame): heard of
 * when it is mapped, and its drawing reported through Damage. */
static void watch_created(xcb_connection_t *c, const xcb_create_notify_event_t *n, xcb_window_t root,
                          xcb_window_t *watched, int *nwatched)
{
    if (n->parent != root || *nwatched >= MAX_WINDOWS)
        return;
    uint32_t m = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, n->window, XCB_CW_EVENT_MASK, &m);
    xcb_damage_create(c, xcb_generate_id(c), n->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    watched[(*nwatched)++] = n->window;
    xcb_flush(c);
}

/* Frames of a window manager are mapped too: the program's own windows name its process. Only windows
 * larger than 100x100 count, so that a menu or tooltip is not taken for a window. */
static int is_program_window(xcb_connection_t *c, xcb_window_t window, xcb_atom_t pid_atom, uint32_t pid)
{
    xcb_get_property_reply_t *p =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, pid_atom, XCB_ATOM_CARDINAL, 0, 1), NULL);
    xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), NULL);
    const int client = p && xcb_get_property_value_length(p) == 4
                       && *(const uint32_t *)xcb_get_property_value(p) == pid
                       && g && g->width > 100 && g->height > 100;
    free(g);
    free(p);
    return client;
}

static xcb_atom_t pid_atom_of(xcb_connection_t *c)
{
    xcb_intern_atom_reply_t *a = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 11, "_NET_WM_PID"), NULL);
    const xcb_atom_t atom = a ? a->atom : XCB_ATOM_NONE;
    free(a);
    return atom;
}
