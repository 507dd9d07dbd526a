#include "x_display.h"

#include <xcb/shm.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

#include <xcb/xcbext.h>  // xcb_poll_for_reply
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>
#include <string_view>

#include <poll.h>

namespace bench {

Display::Display()
{
    conn = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(conn))
        die("cannot open the X display (DISPLAY is \"" + std::string(getenv("DISPLAY") ? getenv("DISPLAY") : "") + "\")");
    const xcb_setup_t *setup = xcb_get_setup(conn);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    root = it.data->root;
    minKeycode = setup->min_keycode;
    maxKeycode = setup->max_keycode;

    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(conn, &xcb_damage_id);
    if (!damage || !damage->present)
        die("the X server has no DAMAGE extension");
    damageEvent = damage->first_event;
    xcb_damage_query_version_reply_t *version =
        xcb_damage_query_version_reply(conn, xcb_damage_query_version(conn, 1, 1), nullptr);
    std::free(version);
    const xcb_query_extension_reply_t *xtest = xcb_get_extension_data(conn, &xcb_test_id);
    if (!xtest || !xtest->present)
        die("the X server has no XTEST extension");
    loadKeyboard();
    // The shared memory for reading windows, made and written whole by the X server now:
    // the first touch of its pages, on either side, would count in a measurement.
    if (!readShared(root, it.data->width_in_pixels, it.data->height_in_pixels)) {
        // Reads down the socket hold the X server up, and the figures with them.
        std::fprintf(stderr, "zorvane_bench: windows read down the socket: the X server would not share memory\n");
    }
    writeScreenOnce(it.data);
}

void Display::writeScreenOnce(const xcb_screen_t *screen)
{
    // Xvfb's framebuffer is memory nobody has written yet where no window has been shown:
    // the first window to grow there would pay its page faults (80 ms at 4K), which a real
    // screen never asks. A screen-sized window shown and taken away writes it all once.
    const xcb_window_t cover = xcb_generate_id(conn);
    const uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, cover, root, 0, 0, screen->width_in_pixels,
                      screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(conn, cover);
    xcb_destroy_window(conn, cover);
    std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
}

Display::~Display()
{
    if (shmMemory)
        shmdt(shmMemory);
    for (const auto &[at, event] : arrivedEvents)
        std::free(event);
    xcb_disconnect(conn);
}

const uint8_t *Display::readShared(xcb_window_t window, int width, int height, uint32_t *sequence)
{
    const size_t bytes = size_t(width) * size_t(height) * 4;
    if (bytes > shmBytes) {
        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(conn, &xcb_shm_id);
        if (!ext || !ext->present)
            return nullptr;
        if (shmMemory) {
            xcb_shm_detach(conn, shmSegment);
            shmdt(shmMemory);
            shmMemory = nullptr;
            shmBytes = 0;
        }
        // As large as the screen.
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
        const size_t size = std::max(bytes, size_t(screen->width_in_pixels) * screen->height_in_pixels * 4);
        const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id < 0)
            return nullptr;
        void *memory = shmat(id, nullptr, 0);
        shmSegment = xcb_generate_id(conn);
        xcb_generic_error_t *error = memory == reinterpret_cast<void *>(-1)
            ? nullptr
            : xcb_request_check(conn, xcb_shm_attach_checked(conn, shmSegment, uint32_t(id), 0));  // the server writes
        shmctl(id, IPC_RMID, nullptr);
        if (memory == reinterpret_cast<void *>(-1) || error) {
            std::free(error);
            if (memory != reinterpret_cast<void *>(-1))
                shmdt(memory);
            return nullptr;
        }
        std::memset(memory, 0, size);
        shmMemory = memory;
        shmBytes = size;
    }
    const xcb_shm_get_image_cookie_t cookie = xcb_shm_get_image(
        conn, window, 0, 0, uint16_t(width), uint16_t(height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shmSegment, 0);
    auto *reply = static_cast<xcb_shm_get_image_reply_t *>(waitReply(cookie.sequence));
    if (sequence)
        *sequence = cookie.sequence;
    if (!reply)
        return nullptr;
    std::free(reply);
    return static_cast<const uint8_t *>(shmMemory);
}

std::string Display::windowName(xcb_window_t window)
{
    for (const char *atomName : {"_NET_WM_NAME", "WM_NAME"}) {
        const xcb_atom_t property = atom(atomName);
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            conn, xcb_get_property(conn, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
            nullptr);
        if (!reply)
            continue;
        std::string name(static_cast<const char *>(xcb_get_property_value(reply)),
                         size_t(xcb_get_property_value_length(reply)));
        std::free(reply);
        if (!name.empty())
            return name;
    }
    return {};
}

xcb_window_t Display::findWindow(const std::string &part)
{
    std::vector<xcb_window_t> candidates;
    for (xcb_window_t top : children(root)) {
        candidates.push_back(top);
        const std::vector<xcb_window_t> inner = children(top);
        candidates.insert(candidates.end(), inner.begin(), inner.end());
    }
    for (xcb_window_t window : candidates) {
        if (windowName(window).find(part) != std::string::npos && viewable(window))
            return window;
    }
    return XCB_NONE;
}

xcb_window_t Display::waitForWindow(const std::string &part, int timeoutMs)
{
    const Clock::time_point start = Clock::now();
    while (msSince(start) < timeoutMs) {
        if (xcb_window_t window = findWindow(part))
            return window;
        sleepMs(10);
    }
    return XCB_NONE;
}

bool Display::viewable(xcb_window_t window)
{
    xcb_get_window_attributes_reply_t *reply = xcb_get_window_attributes_reply(
        conn, xcb_get_window_attributes(conn, window), nullptr);
    const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return result;
}

bool Display::geometry(xcb_window_t window, int *x, int *y, int *width, int *height)
{
    auto *geo = static_cast<xcb_get_geometry_reply_t *>(waitReply(xcb_get_geometry(conn, window).sequence));
    if (!geo)
        return false;
    *width = geo->width;
    *height = geo->height;
    std::free(geo);
    auto *pos = static_cast<xcb_translate_coordinates_reply_t *>(
        waitReply(xcb_translate_coordinates(conn, window, root, 0, 0).sequence));
    if (!pos)
        return false;
    *x = pos->dst_x;
    *y = pos->dst_y;
    std::free(pos);
    return true;
}

std::optional<size_t> Display::imageHash(xcb_window_t window, int width, int height, uint32_t *sequence)
{
    // 32 bits a pixel, as on the screens the bench makes.
    if (const uint8_t *pixels = readShared(window, width, height, sequence)) {
        // Hashed beside the socket's reader: 33 MB take 5 ms, and an event read late would
        // pass for a later one.
        auto hashing = std::async(std::launch::async, [pixels, bytes = size_t(width) * size_t(height) * 4] {
            return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char *>(pixels), bytes));
        });
        while (hashing.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            pollfd fd{xcb_get_file_descriptor(conn), POLLIN, 0};
            poll(&fd, 1, 1);
            pump();
        }
        return hashing.get();
    }
    const xcb_get_image_cookie_t cookie =
        xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, uint16_t(width), uint16_t(height), ~0u);
    auto *image = static_cast<xcb_get_image_reply_t *>(waitReply(cookie.sequence));
    if (sequence)
        *sequence = cookie.sequence;
    if (!image)
        return std::nullopt;
    const size_t hash = std::hash<std::string_view>{}(std::string_view(
        reinterpret_cast<const char *>(xcb_get_image_data(image)),
        size_t(xcb_get_image_data_length(image))));
    std::free(image);
    return hash;
}

void Display::activate(xcb_window_t window)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 2;  // from a pager or tool
    xcb_send_event(conn, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(conn);
}

// ---- input ----

uint8_t Display::keycode(uint32_t keysym) const
{
    const auto found = keycodes.find(keysym);
    if (found == keycodes.end())
        die("no key for keysym " + std::to_string(keysym));
    return found->second;
}

void Display::key(uint8_t code, bool press)
{
    xcb_test_fake_input(conn, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME,
                        XCB_NONE, 0, 0, 0);
}

void Display::tap(uint32_t keysym)
{
    key(keycode(keysym), true);
    key(keycode(keysym), false);
    xcb_flush(conn);
}

void Display::click(int x, int y)
{
    xcb_test_fake_input(conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, int16_t(x),
                        int16_t(y), 0);
    xcb_test_fake_input(conn, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(conn, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(conn);
}

void Display::wheel(int x, int y, uint8_t button, int notches)
{
    xcb_test_fake_input(conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, int16_t(x),
                        int16_t(y), 0);
    for (int notch = 0; notch < notches; ++notch) {
        xcb_test_fake_input(conn, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(conn, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    xcb_flush(conn);
}

void Display::pump()
{
    // xcb reads the socket here only once its queue is empty, which this keeps it.
    while (xcb_generic_event_t *event = xcb_poll_for_event(conn))
        arrivedEvents.emplace_back(Clock::now(), event);
}

void *Display::waitReply(uint32_t sequence)
{
    xcb_flush(conn);
    for (;;) {
        pump();
        void *reply = nullptr;
        xcb_generic_error_t *error = nullptr;
        if (xcb_poll_for_reply(conn, sequence, &reply, &error)) {
            std::free(error);
            return reply;
        }
        if (xcb_connection_has_error(conn))
            die("lost the X connection");
        pollfd fd{xcb_get_file_descriptor(conn), POLLIN, 0};
        poll(&fd, 1, 100);
    }
}

std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> Display::nextEvent(double timeoutMs,
                                                                              Clock::time_point *arrived)
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        if (arrivedEvents.empty())
            pump();
        if (!arrivedEvents.empty()) {
            const auto [at, event] = arrivedEvents.front();
            arrivedEvents.pop_front();
            if (arrived)
                *arrived = at;
            return {event, &std::free};
        }
        if (xcb_connection_has_error(conn))
            die("lost the X connection");
        const double left = timeoutMs - msSince(start);
        if (left <= 0)
            return {nullptr, &std::free};
        pollfd fd{xcb_get_file_descriptor(conn), POLLIN, 0};
        poll(&fd, 1, std::max(1, int(left)));
    }
}

xcb_atom_t Display::atom(const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        conn, xcb_intern_atom(conn, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return result;
}

std::optional<uint32_t> Display::cardinal(xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        conn, xcb_get_property(conn, 0, window, property, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    std::optional<uint32_t> value;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4)
        value = *static_cast<const uint32_t *>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}

std::vector<xcb_window_t> Display::children(xcb_window_t window)
{
    std::vector<xcb_window_t> result;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(conn, xcb_query_tree(conn, window), nullptr);
    if (!tree)
        return result;
    const xcb_window_t *list = xcb_query_tree_children(tree);
    result.assign(list, list + xcb_query_tree_children_length(tree));
    std::free(tree);
    return result;
}

void Display::loadKeyboard()
{
    const int count = maxKeycode - minKeycode + 1;
    xcb_get_keyboard_mapping_reply_t *map = xcb_get_keyboard_mapping_reply(
        conn, xcb_get_keyboard_mapping(conn, minKeycode, uint8_t(count)), nullptr);
    if (!map)
        die("cannot read the keyboard mapping");
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map);
    const int perCode = map->keysyms_per_keycode;
    // Unshifted symbols only: everything typed here is lower case, digits and signs.
    for (int i = count - 1; i >= 0; --i) {
        if (syms[i * perCode] != 0)
            keycodes[syms[i * perCode]] = uint8_t(minKeycode + i);
    }
    std::free(map);
}

// ---- watching a window's pixels ---------------------------------------------------------

PixelWatch::PixelWatch(Display &display, xcb_window_t watched)
    : d(display)
    , window(watched)
{
    damage = xcb_generate_id(d.conn);
    // Every drawing reported on its own: with one report until the next subtract, a put that
    // lands before it would hide in the report of the drawing before.
    xcb_damage_create(d.conn, damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    // Its size and properties: a layout switch and an opacity change come this way.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(d.conn, window, XCB_CW_EVENT_MASK, &mask);
    readSize();
    xcb_flush(d.conn);
}

PixelWatch::~PixelWatch()
{
    xcb_damage_destroy(d.conn, damage);
    xcb_flush(d.conn);
}

void PixelWatch::readSize()
{
    d.geometry(window, &x, &y, &width, &height);
    // The full layout reaches below the screen's bottom edge, and the server reads no
    // pixels off the screen: the part on it is what the typist sees.
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(d.conn)).data;
    shownWidth = std::max(1, std::min(width, screen->width_in_pixels - std::max(x, 0)));
    shownHeight = std::max(1, std::min(height, screen->height_in_pixels - std::max(y, 0)));
}

std::optional<size_t> PixelWatch::settle(int quietMs)
{
    for (;;) {
        reset();
        if (waitForChange(quietMs) == Seen::Nothing)
            return d.imageHash(window, shownWidth, shownHeight);
    }
}

PixelWatch::Step PixelWatch::measure(const std::function<Clock::time_point()> &press, int quietMs,
                                     int timeoutMs, xcb_atom_t property)
{
    forgetPast();
    Step step;
    const Clock::time_point pressed = press();
    // Each change as it reached the bench, and the window's part on the screen read once
    // changes pause for ReadAfterMs: the settled picture is the last read, and the change
    // that first made it counts. A read shows every change with a lower sequence number;
    // one that came while it was under way needs no read of its own unless it is a new size
    // or place, which shows another part. Reads take the X server's time, so they are few.
    constexpr double ReadAfterMs = 2;
    std::vector<std::pair<double, uint32_t>> changes;     // arrival, sequence number
    std::vector<std::pair<uint32_t, std::optional<size_t>>> reads;  // sequence number, hash
    const auto before = [](uint32_t a, uint32_t b) { return int32_t(a - b) < 0; };
    double wait = timeoutMs;
    for (bool unread = false;;) {
        const Seen change = waitForChange(unread ? std::min<double>(ReadAfterMs, wait) : wait, property);
        if (change == Seen::Nothing) {
            if (!unread)
                break;
            uint32_t sequence = 0;
            const std::optional<size_t> hash = d.imageHash(window, shownWidth, shownHeight, &sequence);
            reads.emplace_back(sequence, hash);
            unread = false;
            wait = quietMs;
            continue;
        }
        wait = quietMs;
        const double at = msSince(pressed, changedAt);
        if (change == Seen::Damage) {
            reset();
            if (step.firstMs < 0)
                step.firstMs = at;
            step.lastMs = at;
        } else if (change == Seen::Resize && step.resizedMs < 0) {
            step.resizedMs = at;
        } else if (change == Seen::Move) {
            step.movedMs = at;
        } else if (change == Seen::Property && step.propertyMs < 0) {
            step.propertyMs = at;
        }
        if (change == Seen::Property)
            continue;
        changes.emplace_back(at, changedSequence);
        unread = unread || reads.empty() || change != Seen::Damage || !before(changedSequence, reads.back().first);
    }
    step.width = width;
    step.height = height;
    if (reads.empty())
        return step;
    step.hash = reads.back().second;
    // The first of the last reads that show the settled picture; the last change it shows.
    auto read = reads.end() - 1;
    while (read != reads.begin() && (read - 1)->second == step.hash)
        --read;
    for (const auto &[at, sequence] : changes) {
        if (!before(sequence, read->first))
            break;
        step.latencyMs = at;
    }
    return step;
}

void PixelWatch::forgetPast()
{
    // Damage that came while nobody watched (a late flush of the last change) would pass
    // for this change's: every event the server has sent so far is read first, and the
    // damage subtracted again until none came meanwhile.
    for (bool damaged = true; damaged;) {
        reset();
        std::free(xcb_get_input_focus_reply(d.conn, xcb_get_input_focus(d.conn), nullptr));
        damaged = false;
        for (Seen change; (change = waitForChange(0)) != Seen::Nothing;)
            damaged = damaged || change == Seen::Damage;
    }
}

void PixelWatch::reset()
{
    xcb_damage_subtract(d.conn, damage, XCB_NONE, XCB_NONE);
    xcb_flush(d.conn);
}

PixelWatch::Seen PixelWatch::waitForChange(double timeoutMs, xcb_atom_t property)
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        const double left = timeoutMs - msSince(start);
        auto event = d.nextEvent(std::max(0.0, left), &changedAt);
        if (!event)
            return Seen::Nothing;
        changedSequence = event->full_sequence;
        const uint8_t type = event->response_type & 0x7f;
        if (type == d.damageEvent + XCB_DAMAGE_NOTIFY) {
            const auto *notify = reinterpret_cast<xcb_damage_notify_event_t *>(event.get());
            if (notify->damage == damage)
                return Seen::Damage;
        } else if (type == XCB_CONFIGURE_NOTIFY) {
            const auto *configure = reinterpret_cast<xcb_configure_notify_event_t *>(event.get());
            if (configure->window != window)
                continue;
            // Restacking (the window raised) leaves the pixels as they are; a move shows
            // another part of the window (a window manager may pull it up into view).
            const int oldX = x;
            const int oldY = y;
            const int oldWidth = width;
            const int oldHeight = height;
            readSize();
            if (width != oldWidth || height != oldHeight)
                return Seen::Resize;
            if (x != oldX || y != oldY)
                return Seen::Move;
        } else if (type == XCB_PROPERTY_NOTIFY && property != XCB_NONE) {
            const auto *notify = reinterpret_cast<xcb_property_notify_event_t *>(event.get());
            if (notify->window == window && notify->atom == property)
                return Seen::Property;
        }
    }
}

} // namespace bench
