// The X11 way: the EWMH states _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER.
// Taskbars, pagers and window switchers leave such windows out.

#include "platform/window_system/taskbar.h"
#include "platform/window_system/x11_p.h"

#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace taskbar {

namespace {

constexpr uint32_t NetWmStateAdd = 1;
constexpr uint32_t SourceApplication = 1;

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    XcbPtr<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

void keepOff(QWidget *window)
{
    xcb_connection_t *c = ws::native::x11Connection();
    if (!window || !c)
        return;
    // The QWindow's id: the widget's may name a window Qt has replaced.
    QWindow *handle = window->windowHandle();
    const auto id = xcb_window_t(handle ? handle->winId() : window->winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const xcb_atom_t skips[] = {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                                atom(c, "_NET_WM_STATE_SKIP_PAGER")};

    XcbPtr<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr));
    if (attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED) {
        // A managed window: ask the window manager, which owns the property now.
        xcb_client_message_event_t message = {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = state;
        message.data.data32[0] = NetWmStateAdd;
        message.data.data32[1] = skips[0];
        message.data.data32[2] = skips[1];
        message.data.data32[3] = SourceApplication;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
    } else {
        // Not mapped yet: the window manager reads the property when it maps the window.
        // Qt adds its own states (above) to what it finds there, so keep what is set.
        XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 64), nullptr));
        std::vector<xcb_atom_t> atoms;
        if (reply && reply->format == 32) {
            const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
            atoms.assign(values, values + xcb_get_property_value_length(reply.get()) / 4);
        }
        for (xcb_atom_t skip : skips) {
            if (std::find(atoms.begin(), atoms.end(), skip) == atoms.end())
                atoms.push_back(skip);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                            uint32_t(atoms.size()), atoms.data());
    }
    xcb_flush(c);
}

void ownDialog(QWidget *, QWidget *) {}

} // namespace taskbar
