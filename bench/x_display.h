// The bench's side of the X display: finding the program's windows by title, keys and
// clicks through XTest, and a window's pixels watched through X Damage.
#pragma once

#include "harness.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bench {

constexpr uint32_t KeyControl = 0xffe3;
constexpr uint32_t KeyShift = 0xffe1;
constexpr uint32_t KeyReturn = 0xff0d;
constexpr uint32_t KeyPageDown = 0xff56;

class Display
{
public:
    Display();  // DISPLAY, with DAMAGE and XTEST; dies without them
    ~Display();
    Display(const Display &) = delete;
    Display &operator=(const Display &) = delete;

    std::string windowName(xcb_window_t window);
    // A viewable window whose title contains `part`: a child of the root or of a window
    // manager's frame.
    xcb_window_t findWindow(const std::string &part);
    xcb_window_t waitForWindow(const std::string &part, int timeoutMs);
    bool viewable(xcb_window_t window);
    // Position on the screen and size.
    bool geometry(xcb_window_t window, int *x, int *y, int *width, int *height);
    // A hash of the window's pixels; nullopt when the window cannot be read. `sequence`: the
    // read's request, which shows every event whose sequence number is lower.
    std::optional<size_t> imageHash(xcb_window_t window, int width, int height, uint32_t *sequence = nullptr);
    // Asks the window manager to give `window` the keyboard focus.
    void activate(xcb_window_t window);

    // ---- input ----
    uint8_t keycode(uint32_t keysym) const;
    void key(uint8_t code, bool press);
    void tap(uint32_t keysym);
    void click(int x, int y);
    // Turns the mouse wheel at (x, y): button 4 up, 5 down.
    void wheel(int x, int y, uint8_t button, int notches);

    // Waits for the next event, up to `timeoutMs`; null on timeout. `arrived`: the moment
    // the bench read it from the socket, even while it waited for a reply or hashed.
    std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> nextEvent(double timeoutMs,
                                                                         Clock::time_point *arrived = nullptr);
    xcb_atom_t atom(const char *name);
    // A 32-bit property of the window (e.g. _NET_WM_WINDOW_OPACITY); nullopt when unset.
    std::optional<uint32_t> cardinal(xcb_window_t window, xcb_atom_t property);

    xcb_connection_t *conn = nullptr;
    xcb_window_t root = XCB_NONE;
    uint8_t damageEvent = 0;

private:
    std::vector<xcb_window_t> children(xcb_window_t window);
    void loadKeyboard();
    // The pixels read through shared memory: the X server copies them without sending
    // 33 MB of a 4K window down the socket, which held it up while the program and the
    // window manager waited. Null where MIT-SHM is missing.
    const uint8_t *readShared(xcb_window_t window, int width, int height, uint32_t *sequence = nullptr);
    // Reads every event the socket holds, each stamped now.
    void pump();
    // The reply to `sequence`, reading (and stamping) events meanwhile.
    void *waitReply(uint32_t sequence);

    void writeScreenOnce(const xcb_screen_t *screen);

    uint32_t shmSegment = 0;
    void *shmMemory = nullptr;
    size_t shmBytes = 0;

    int screenNumber = 0;
    uint8_t minKeycode = 8;
    uint8_t maxKeycode = 255;
    std::map<uint32_t, uint8_t> keycodes;
    std::deque<std::pair<Clock::time_point, xcb_generic_event_t *>> arrivedEvents;
};

// A window's pixels, size and properties: each change timed from a key press (or click)
// to the picture it settles on.
class PixelWatch
{
public:
    PixelWatch(Display &display, xcb_window_t watched);
    ~PixelWatch();
    PixelWatch(const PixelWatch &) = delete;
    PixelWatch &operator=(const PixelWatch &) = delete;

    // Waits until no damage has come for `quietMs`; the settled picture's hash.
    std::optional<size_t> settle(int quietMs);

    struct Step {
        double latencyMs = -1;  // key press to the settled picture's first appearance (at a
                                // damage, or at a new size or place that needed no repaint)
        double firstMs = -1;    // key press to the first damage (a new page's top rows)
        double lastMs = -1;     // key press to the last damage
        std::optional<size_t> hash;  // the window's part on the screen, settled
        double resizedMs = -1;   // key press to the first ConfigureNotify with a new size
        int width = 0;           // the window's size afterwards
        int height = 0;
        double propertyMs = -1;  // key press to the first change of the property watched
        double movedMs = -1;     // key press to the last move (a window manager's, say)
    };

    // Runs `press` (which returns the moment of its key press) and times the change, until
    // nothing has changed for `quietMs`; a change of `property` counts too.
    Step measure(const std::function<Clock::time_point()> &press, int quietMs, int timeoutMs,
                 xcb_atom_t property = XCB_NONE);

private:
    enum class Seen { Nothing, Damage, Resize, Move, Property };

    void reset();
    void forgetPast();
    // The next change of the window within `timeoutMs`: damage, a new size or place
    // (which the watch takes on) or a change of `property`.
    Seen waitForChange(double timeoutMs, xcb_atom_t property = XCB_NONE);
    void readSize();
    Clock::time_point changedAt;  // the last change's arrival and sequence number
    uint32_t changedSequence = 0;

    Display &d;
    xcb_window_t window;
    xcb_damage_damage_t damage;
    int x = 0;  // the window's place on the screen and size
    int y = 0;
    int width = 0;
    int height = 0;
    int shownWidth = 0;  // its part on the screen
    int shownHeight = 0;
};

} // namespace bench
