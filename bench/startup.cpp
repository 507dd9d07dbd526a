// zorvane_bench startup: from process start to the panel window mapped, and to its first
// paint.
#include "harness.h"
#include "x_display.h"

namespace bench {

int runStartup(const Options &options)
{
    Display d;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(d.conn, d.root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(d.conn);
    Samples mapped{"start-up: panel mapped", {}, 0};
    Samples painted{"start-up: panel painted", {}, 0};
    for (int run = 0; run < options.runs; ++run) {
        while (d.nextEvent(0)) {
        }
        Program program(options.app);
        // Damage on every new top-level window: the panel paints right after it is mapped,
        // too soon to attach a watch once it is known.
        std::vector<xcb_damage_damage_t> damages;
        xcb_window_t panel = XCB_NONE;
        xcb_window_t frame = XCB_NONE;
        double mappedAt = -1;
        double paintedAt = -1;
        while ((mappedAt < 0 || paintedAt < 0) && msSince(program.started) < 15000) {
            auto event = d.nextEvent(100);
            if (!event) {
                if (!program.running())
                    die("the program ended during start-up; see zorvane.log beside it");
                continue;
            }
            const uint8_t type = event->response_type & 0x7f;
            const double at = msSince(program.started);
            if (type == XCB_CREATE_NOTIFY) {
                const auto *create = reinterpret_cast<xcb_create_notify_event_t *>(event.get());
                const xcb_damage_damage_t damage = xcb_generate_id(d.conn);
                xcb_damage_create(d.conn, damage, create->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(d.conn);
                damages.push_back(damage);
            } else if (type == XCB_REPARENT_NOTIFY && panel == XCB_NONE) {
                const auto *reparent = reinterpret_cast<xcb_reparent_notify_event_t *>(event.get());
                if (d.windowName(reparent->window).find("(Zorvane)") != std::string::npos) {
                    panel = reparent->window;
                    frame = reparent->parent;
                }
            } else if (type == XCB_MAP_NOTIFY && mappedAt < 0) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event.get());
                if (map->window == frame && frame != XCB_NONE)
                    mappedAt = at;
            } else if (type == d.damageEvent + XCB_DAMAGE_NOTIFY && paintedAt < 0) {
                const auto *notify = reinterpret_cast<xcb_damage_notify_event_t *>(event.get());
                if (notify->drawable == panel && panel != XCB_NONE && mappedAt >= 0)
                    paintedAt = at;
            }
        }
        if (mappedAt < 0)
            die("the panel window did not appear within 15 s");
        mapped.values.push_back(mappedAt);
        if (paintedAt >= 0)
            painted.values.push_back(paintedAt);
        for (xcb_damage_damage_t damage : damages)
            xcb_damage_destroy(d.conn, damage);
        xcb_flush(d.conn);
        program.stop();
        while (d.nextEvent(50)) {
        }
    }
    mapped.print();
    painted.print();
    return 0;
}

} // namespace bench
