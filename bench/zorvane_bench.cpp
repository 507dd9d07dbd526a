// zorvane_bench: measures Zorvane from outside, as a typist meets it, on an X display
// (DISPLAY) with a window manager. It starts the program itself, by path, and stops it
// again (SIGTERM, then SIGKILL after 10 s).
//
//   zorvane_bench startup --app PATH [--runs N]
//       Time from process start to the panel window mapped, and to its first paint.
//   zorvane_bench flips --app PATH --pages N [--prev N] [--rapid N] [--gap MS]
//                       [--quiet MS] [--jump NAME]... [--big NAME]...
//       Presses Ctrl+Shift+K until the last of N pages, then Ctrl+Shift+H --prev times,
//       then Ctrl+Shift+K --rapid times without a pause, then types each --jump (and
//       --big) name into the name box and presses Enter. Times each step from the key
//       press to the page window's pixels showing the new page: X Damage on the page
//       window, the window's image read at each damage, and the first image equal to
//       the one the window settles on (no damage for --quiet ms, 80) counts. After each
//       step it waits --gap ms (250), as a typist reads. Prints the program's resident
//       memory after the steps forward and at the end.
//   zorvane_bench djpeg [--runs N] [--pause MS] FILE
//       Wall time of `djpeg -outfile /dev/null FILE`: the bare libjpeg-turbo decode,
//       each run after a pause of MS (0).
//
// Keys and clicks go through XTest. The page window is found by its title, "Form2";
// the panel by "(Zorvane)" in its title.

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start, Clock::time_point end = Clock::now())
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The program started last, while it runs: stopped on the way out whatever the way.
volatile pid_t runningChild = -1;

void stopChildAndExit(int status)
{
    const pid_t child = runningChild;
    if (child > 0) {
        kill(child, SIGTERM);
        for (int i = 0; i < 50 && waitpid(child, nullptr, WNOHANG) == 0; ++i)
            usleep(100 * 1000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    _exit(status);
}

[[noreturn]] void die(const std::string &message)
{
    std::fprintf(stderr, "zorvane_bench: %s\n", message.c_str());
    std::fflush(stdout);
    stopChildAndExit(1);
    std::abort();  // not reached
}

void onSignal(int)
{
    stopChildAndExit(130);
}

// ---- statistics -------------------------------------------------------------------------

struct Samples {
    std::string name;
    std::vector<double> values;
    int wrong = 0;  // steps whose settled picture was not the expected page

    double quantile(double q) const
    {
        if (values.empty())
            return 0;
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        // Nearest rank.
        const size_t rank = size_t(std::max(1.0, std::ceil(q * double(sorted.size()))));
        return sorted[std::min(rank, sorted.size()) - 1];
    }
    void print() const
    {
        if (values.empty()) {
            std::printf("%-28s %4d  no samples\n", name.c_str(), 0);
            return;
        }
        std::printf("%-28s %4zu  median %7.1f ms  p90 %7.1f ms  max %7.1f ms%s\n", name.c_str(),
                    values.size(), quantile(0.5), quantile(0.9),
                    *std::max_element(values.begin(), values.end()),
                    wrong ? ("  (" + std::to_string(wrong) + " wrong pages)").c_str() : "");
        std::fflush(stdout);
    }
};

// ---- the program under test -------------------------------------------------------------

class Program
{
public:
    explicit Program(const std::string &path)
    {
        std::string absolute = path;
        if (path.empty() || path[0] != '/') {
            char *here = getcwd(nullptr, 0);
            absolute = std::string(here ? here : ".") + "/" + path;
            std::free(here);
        }
        const std::string folder = absolute.substr(0, absolute.find_last_of('/') + 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Its own folder is the book: start it there, as a typist would; its output goes
        // to zorvane.log beside it.
        posix_spawn_file_actions_addopen(&actions, 1, (folder + "zorvane.log").c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        char *argv[] = {const_cast<char *>(absolute.c_str()), nullptr};
        started = Clock::now();
        if (posix_spawn(&pid, absolute.c_str(), &actions, nullptr, argv, environ) != 0)
            die("cannot start " + absolute);
        runningChild = pid;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() { stop(); }

    // The ordinary close: the program saves its state and exits.
    void stop()
    {
        if (pid <= 0)
            return;
        runningChild = -1;
        kill(pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return;
            }
            sleepMs(100);
        }
        std::fprintf(stderr, "zorvane_bench: the program did not stop on SIGTERM; killing it\n");
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    bool running()
    {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;  // ended and reaped
            runningChild = -1;
        }
        return pid > 0;
    }

    // A line of /proc/PID/status, e.g. "VmRSS", in kB; -1 when unknown.
    long statusKb(const char *field) const
    {
        const std::string path = "/proc/" + std::to_string(pid) + "/status";
        FILE *file = std::fopen(path.c_str(), "r");
        if (!file)
            return -1;
        char line[256];
        long value = -1;
        const size_t length = std::strlen(field);
        while (std::fgets(line, sizeof line, file)) {
            if (std::strncmp(line, field, length) == 0 && line[length] == ':')
                value = std::atol(line + length + 1);
        }
        std::fclose(file);
        return value;
    }

    pid_t pid = -1;
    Clock::time_point started;
};

// ---- X ----------------------------------------------------------------------------------

class Display
{
public:
    Display()
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
    }
    ~Display() { xcb_disconnect(conn); }

    std::string windowName(xcb_window_t window)
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

    // A viewable window whose title contains `part`: a child of the root or of a window
    // manager's frame.
    xcb_window_t findWindow(const std::string &part)
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

    xcb_window_t waitForWindow(const std::string &part, int timeoutMs)
    {
        const Clock::time_point start = Clock::now();
        while (msSince(start) < timeoutMs) {
            if (xcb_window_t window = findWindow(part))
                return window;
            sleepMs(10);
        }
        return XCB_NONE;
    }

    bool viewable(xcb_window_t window)
    {
        xcb_get_window_attributes_reply_t *reply = xcb_get_window_attributes_reply(
            conn, xcb_get_window_attributes(conn, window), nullptr);
        const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return result;
    }

    // Position on the screen and size.
    bool geometry(xcb_window_t window, int *x, int *y, int *width, int *height)
    {
        xcb_get_geometry_reply_t *geo =
            xcb_get_geometry_reply(conn, xcb_get_geometry(conn, window), nullptr);
        if (!geo)
            return false;
        *width = geo->width;
        *height = geo->height;
        std::free(geo);
        xcb_translate_coordinates_reply_t *pos = xcb_translate_coordinates_reply(
            conn, xcb_translate_coordinates(conn, window, root, 0, 0), nullptr);
        if (!pos)
            return false;
        *x = pos->dst_x;
        *y = pos->dst_y;
        std::free(pos);
        return true;
    }

    // A hash of the window's pixels; nullopt when the window cannot be read.
    std::optional<size_t> imageHash(xcb_window_t window, int width, int height)
    {
        xcb_get_image_reply_t *image = xcb_get_image_reply(
            conn,
            xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, uint16_t(width),
                          uint16_t(height), ~0u),
            nullptr);
        if (!image)
            return std::nullopt;
        const size_t hash = std::hash<std::string_view>{}(std::string_view(
            reinterpret_cast<const char *>(xcb_get_image_data(image)),
            size_t(xcb_get_image_data_length(image))));
        std::free(image);
        return hash;
    }

    // Asks the window manager to give `window` the keyboard focus.
    void activate(xcb_window_t window)
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
    uint8_t keycode(uint32_t keysym) const
    {
        const auto found = keycodes.find(keysym);
        if (found == keycodes.end())
            die("no key for keysym " + std::to_string(keysym));
        return found->second;
    }
    void key(uint8_t code, bool press)
    {
        xcb_test_fake_input(conn, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
    }
    void tap(uint32_t keysym)
    {
        key(keycode(keysym), true);
        key(keycode(keysym), false);
        xcb_flush(conn);
    }
    void click(int x, int y)
    {
        xcb_test_fake_input(conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, int16_t(x),
                            int16_t(y), 0);
        xcb_test_fake_input(conn, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(conn, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(conn);
    }

    // Waits for the next event, up to `timeoutMs`; null on timeout.
    std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> nextEvent(double timeoutMs)
    {
        const Clock::time_point start = Clock::now();
        for (;;) {
            if (xcb_generic_event_t *event = xcb_poll_for_event(conn))
                return {event, &std::free};
            if (xcb_connection_has_error(conn))
                die("lost the X connection");
            const double left = timeoutMs - msSince(start);
            if (left <= 0)
                return {nullptr, &std::free};
            pollfd fd{xcb_get_file_descriptor(conn), POLLIN, 0};
            poll(&fd, 1, std::max(1, int(left)));
        }
    }

    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            conn, xcb_intern_atom(conn, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return result;
    }

    xcb_connection_t *conn = nullptr;
    xcb_window_t root = XCB_NONE;
    uint8_t damageEvent = 0;

private:
    std::vector<xcb_window_t> children(xcb_window_t window)
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

    void loadKeyboard()
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

    int screenNumber = 0;
    uint8_t minKeycode = 8;
    uint8_t maxKeycode = 255;
    std::map<uint32_t, uint8_t> keycodes;
};

constexpr uint32_t KeyControl = 0xffe3;
constexpr uint32_t KeyShift = 0xffe1;
constexpr uint32_t KeyReturn = 0xff0d;

// ---- watching a window's pixels ---------------------------------------------------------

class PixelWatch
{
public:
    PixelWatch(Display &display, xcb_window_t watched)
        : d(display)
        , window(watched)
    {
        damage = xcb_generate_id(d.conn);
        xcb_damage_create(d.conn, damage, window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        int x = 0;
        int y = 0;
        d.geometry(window, &x, &y, &width, &height);
        xcb_flush(d.conn);
    }
    ~PixelWatch()
    {
        xcb_damage_destroy(d.conn, damage);
        xcb_flush(d.conn);
    }

    // Waits until no damage has come for `quietMs`; the settled picture's hash.
    std::optional<size_t> settle(int quietMs)
    {
        for (;;) {
            reset();
            if (!waitForDamage(quietMs))
                return d.imageHash(window, width, height);
        }
    }

    struct Step {
        double latencyMs = -1;  // key press to the settled picture's first appearance
        double firstMs = -1;    // key press to the first damage (a new page's top rows)
        double lastMs = -1;     // key press to the last damage
        std::optional<size_t> hash;
    };

    // Runs `press` (which returns the moment of its key press) and times the change.
    Step measure(const std::function<Clock::time_point()> &press, int quietMs, int timeoutMs)
    {
        reset();
        const Clock::time_point pressed = press();
        std::vector<std::pair<double, std::optional<size_t>>> seen;
        double wait = timeoutMs;
        while (waitForDamage(wait)) {
            const double at = msSince(pressed);
            reset();
            seen.emplace_back(at, d.imageHash(window, width, height));
            wait = quietMs;
        }
        Step step;
        if (seen.empty())
            return step;
        step.hash = seen.back().second;
        step.firstMs = seen.front().first;
        step.lastMs = seen.back().first;
        for (const auto &[at, hash] : seen) {
            if (hash == step.hash) {
                step.latencyMs = at;
                break;
            }
        }
        return step;
    }

private:
    void reset()
    {
        xcb_damage_subtract(d.conn, damage, XCB_NONE, XCB_NONE);
        xcb_flush(d.conn);
    }

    bool waitForDamage(double timeoutMs)
    {
        const Clock::time_point start = Clock::now();
        for (;;) {
            const double left = timeoutMs - msSince(start);
            auto event = d.nextEvent(std::max(0.0, left));
            if (!event)
                return false;
            if ((event->response_type & 0x7f) == d.damageEvent + XCB_DAMAGE_NOTIFY) {
                const auto *notify = reinterpret_cast<xcb_damage_notify_event_t *>(event.get());
                if (notify->damage == damage)
                    return true;
            }
        }
    }

    Display &d;
    xcb_window_t window;
    xcb_damage_damage_t damage;
    int width = 0;
    int height = 0;
};

// ---- commands ---------------------------------------------------------------------------

struct Options {
    std::string app;
    int runs = 7;
    int pages = 0;
    int prev = 0;
    int rapid = 0;
    int gapMs = 250;
    int quietMs = 80;
    int pauseMs = 0;
    std::vector<std::string> jumps;
    std::vector<std::string> bigJumps;  // timed apart: pages of another size
    std::string file;
    int nameBoxX = 185;  // the name box's middle, from the panel's top-left corner
    int nameBoxY = 12;
    int clicks = 0;         // far jumps by list click
    int clickNotches = 10;  // wheel notches the list is scrolled by before each (3 rows each)
    int listX = 60;         // the list's middle entry, from the panel's top-left corner
    int listMiddleY = 22;
};

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

// The page number in a name made by make_pages ("57.jpg" is page 57, list row 56).
int rowOfName(const std::string &name)
{
    const int number = std::atoi(name.c_str());
    return number > 0 ? number - 1 : -1;
}

int runFlips(const Options &options)
{
    if (options.pages < 3)
        die("flips needs --pages of at least 3");
    Display d;
    Program program(options.app);
    const xcb_window_t panel = d.waitForWindow("(Zorvane)", 15000);
    if (!panel)
        die("the panel window did not appear within 15 s");
    // The typist's program holds the focus; the hotkeys reach Zorvane all the same.
    if (xcb_window_t typist = d.findWindow("zorvane-bench-typist"))
        d.activate(typist);
    sleepMs(300);

    const auto hotkey = [&](uint32_t letter) {
        return [&d, letter] {
            d.key(d.keycode(KeyControl), true);
            d.key(d.keycode(KeyShift), true);
            xcb_flush(d.conn);
            sleepMs(5);
            d.key(d.keycode(letter), true);
            const Clock::time_point pressed = Clock::now();
            xcb_flush(d.conn);
            d.key(d.keycode(letter), false);
            d.key(d.keycode(KeyShift), false);
            d.key(d.keycode(KeyControl), false);
            xcb_flush(d.conn);
            return pressed;
        };
    };

    // The first step creates the page window: not timed.
    hotkey('k')();
    const xcb_window_t page = d.waitForWindow("Form2", 15000);
    if (!page)
        die("the page window did not appear within 15 s");
    sleepMs(500);
    PixelWatch watch(d, page);
    std::map<int, size_t> pictures;  // list row -> settled picture
    int row = 1;
    if (auto hash = watch.settle(300))
        pictures[row] = *hash;

    // expectedRow -1: a page whose picture is not known beforehand; it must differ from the last.
    const auto step = [&](Samples &samples, const std::function<Clock::time_point()> &press,
                          int expectedRow, int gapMs, Samples *firstDamage = nullptr,
                          Samples *lastDamage = nullptr) {
        const PixelWatch::Step result = watch.measure(press, options.quietMs, 5000);
        const auto known = pictures.find(expectedRow);
        const auto before = pictures.find(row);
        bool right = result.latencyMs >= 0 && result.hash;
        if (right && known != pictures.end())
            right = known->second == *result.hash;
        else if (right && before != pictures.end())
            right = before->second != *result.hash;
        if (right) {
            samples.values.push_back(result.latencyMs);
            if (firstDamage)
                firstDamage->values.push_back(result.firstMs);
            if (lastDamage)
                lastDamage->values.push_back(result.lastMs);
            if (expectedRow >= 0)
                pictures[expectedRow] = *result.hash;
        } else {
            ++samples.wrong;
        }
        row = expectedRow;
        // A typist reads for a while before the next step; the pages ahead decode meanwhile.
        sleepMs(gapMs);
    };

    Samples next{"hotkey next (Ctrl+Shift+K)", {}, 0};
    while (row < options.pages - 1)
        step(next, hotkey('k'), row + 1, options.gapMs);
    const long rssAfterNext = program.statusKb("VmRSS");
    Samples prev{"hotkey previous (Ctrl+Shift+H)", {}, 0};
    for (int i = 0; i < options.prev && row > 0; ++i)
        step(prev, hotkey('h'), row - 1, options.gapMs);
    // Each step as soon as the last page has settled: about the rate of a held key.
    Samples rapid{"hotkey next, no pause", {}, 0};
    for (int i = 0; i < options.rapid && row < options.pages - 1; ++i)
        step(rapid, hotkey('k'), row + 1, 0);
    if (options.rapid > 0)
        sleepMs(options.gapMs);

    int panelX = 0;
    int panelY = 0;
    int panelWidth = 0;
    int panelHeight = 0;
    if (!d.geometry(panel, &panelX, &panelY, &panelWidth, &panelHeight))
        die("cannot read the panel's place");
    const auto typeName = [&](Samples &samples, const std::string &name, Samples *firstDamage,
                              Samples *lastDamage) {
        d.click(panelX + options.nameBoxX, panelY + options.nameBoxY);
        sleepMs(100);
        d.key(d.keycode(KeyControl), true);
        d.tap('a');
        d.key(d.keycode(KeyControl), false);
        for (char c : name)
            d.tap(uint32_t(uint8_t(c)));
        sleepMs(150);
        const int target = rowOfName(name);
        step(samples,
             [&d] {
                 d.key(d.keycode(KeyReturn), true);
                 const Clock::time_point pressed = Clock::now();
                 xcb_flush(d.conn);
                 d.key(d.keycode(KeyReturn), false);
                 xcb_flush(d.conn);
                 return pressed;
             },
             target < options.pages ? target : -1, options.gapMs, firstDamage, lastDamage);
    };
    Samples jumps{"typed name + Enter", {}, 0};
    Samples jumpsFirst{"typed name: first damage (the page's top rows)", {}, 0};
    Samples jumpsLast{"typed name: last damage of the page window", {}, 0};
    for (const std::string &name : options.jumps)
        typeName(jumps, name, &jumpsFirst, &jumpsLast);
    Samples bigJumps{"typed name, large page", {}, 0};
    for (const std::string &name : options.bigJumps)
        typeName(bigJumps, name, nullptr, nullptr);

    // A list click far from the page on screen: the list is scrolled by the wheel (which
    // selects nothing), then the middle entry in view is clicked.
    Samples clicks{"list click", {}, 0};
    Samples clicksFirst{"list click: first damage (the page's top rows)", {}, 0};
    Samples clicksLast{"list click: last damage of the page window", {}, 0};
    for (int i = 0; i < options.clicks; ++i) {
        const int listX = panelX + options.listX;
        const int listY = panelY + options.listMiddleY;
        const uint8_t wheel = i % 2 == 0 ? 5 : 4;  // down, then back up
        xcb_test_fake_input(d.conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, d.root, int16_t(listX),
                            int16_t(listY), 0);
        for (int notch = 0; notch < options.clickNotches; ++notch) {
            xcb_test_fake_input(d.conn, XCB_BUTTON_PRESS, wheel, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_test_fake_input(d.conn, XCB_BUTTON_RELEASE, wheel, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
        xcb_flush(d.conn);
        sleepMs(300);
        step(clicks,
             [&d, listX, listY] {
                 const Clock::time_point pressed = Clock::now();
                 d.click(listX, listY);
                 return pressed;
             },
             -1, options.gapMs, &clicksFirst, &clicksLast);
    }

    next.print();
    prev.print();
    if (options.rapid > 0)
        rapid.print();
    if (!options.jumps.empty()) {
        jumps.print();
        jumpsFirst.print();
        jumpsLast.print();
    }
    if (options.clicks > 0) {
        clicks.print();
        clicksFirst.print();
        clicksLast.print();
    }
    if (!options.bigJumps.empty())
        bigJumps.print();
    if (!program.running())
        die("the program ended during the steps; see zorvane.log beside it");
    std::printf("resident memory: %.1f MB after showing pages 2 to %d in turn, %.1f MB at the end, "
                "peak %.1f MB\n",
                rssAfterNext / 1024.0, options.pages, program.statusKb("VmRSS") / 1024.0,
                program.statusKb("VmHWM") / 1024.0);
    program.stop();
    return (next.wrong + prev.wrong + rapid.wrong + jumps.wrong + bigJumps.wrong + clicks.wrong) ? 3 : 0;
}

int runDjpeg(const Options &options)
{
    Samples samples{"djpeg (libjpeg-turbo)", {}, 0};
    for (int run = 0; run < options.runs; ++run) {
        // A pause before each run, as before each step of the program: a processor that
        // has been idle decodes slower at first.
        sleepMs(options.pauseMs);
        const Clock::time_point start = Clock::now();
        pid_t pid = -1;
        char *argv[] = {const_cast<char *>("djpeg"), const_cast<char *>("-outfile"),
                        const_cast<char *>("/dev/null"), const_cast<char *>(options.file.c_str()),
                        nullptr};
        if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, argv, environ) != 0)
            die("cannot run djpeg (Debian: libjpeg-turbo-progs)");
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            die("djpeg failed on " + options.file);
        samples.values.push_back(msSince(start));
    }
    samples.print();
    return 0;
}

void usage()
{
    std::fprintf(stderr,
                 "usage: zorvane_bench startup --app PATH [--runs N]\n"
                 "       zorvane_bench flips --app PATH --pages N [--prev N] [--rapid N] [--gap MS] "
                 "[--quiet MS] [--jump NAME]... [--big NAME]... [--clicks N]\n"
                 "       zorvane_bench djpeg [--runs N] [--pause MS] FILE\n");
    std::exit(2);
}

} // namespace

int main(int argc, char *argv[])
{
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
    signal(SIGHUP, onSignal);
    if (argc < 2)
        usage();
    const std::string command = argv[1];
    Options options;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage();
            return argv[++i];
        };
        if (arg == "--app")
            options.app = value();
        else if (arg == "--runs")
            options.runs = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--pages")
            options.pages = std::atoi(value().c_str());
        else if (arg == "--prev")
            options.prev = std::atoi(value().c_str());
        else if (arg == "--rapid")
            options.rapid = std::atoi(value().c_str());
        else if (arg == "--gap")
            options.gapMs = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--pause")
            options.pauseMs = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--quiet")
            options.quietMs = std::max(10, std::atoi(value().c_str()));
        else if (arg == "--jump")
            options.jumps.push_back(value());
        else if (arg == "--big")
            options.bigJumps.push_back(value());
        else if (arg == "--clicks")
            options.clicks = std::max(0, std::atoi(value().c_str()));
        else if (!arg.empty() && arg[0] != '-' && options.file.empty())
            options.file = arg;
        else
            usage();
    }
    if (command == "startup" && !options.app.empty())
        return runStartup(options);
    if (command == "flips" && !options.app.empty())
        return runFlips(options);
    if (command == "djpeg" && !options.file.empty())
        return runDjpeg(options);
    usage();
}
