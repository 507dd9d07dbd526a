// The program under test with its panel and page window on screen, and one timed page
// change on it: what the steps, jumps, list clicks, layout switches and opacity changes share.
#pragma once

#include "harness.h"
#include "x_display.h"

#include <functional>
#include <map>
#include <optional>

namespace bench {

using Press = std::function<Clock::time_point()>;  // sends the input; returns its moment

class PageSession
{
public:
    // Starts the program, waits for its panel, gives the typist's window the focus and
    // shows page 2 (which creates the page window; not timed).
    PageSession(Display &display, const Options &options);

    // Ctrl+Shift+`letter`, the hotkeys that reach the program while another has the focus.
    Press hotkey(uint32_t letter);
    // A key to the window with the focus (Enter in the name box, Page Down in the list).
    Press key(uint32_t keysym);
    Press click(int x, int y);

    // Times one page change from `press` to the settled picture into `samples` (and the
    // first and last damage, if given), then waits `gapMs`, as a typist reads.
    // expectedRow -1: a page whose picture is not known beforehand; it must differ from the last.
    void step(Samples &samples, const Press &press, int expectedRow, int gapMs,
              Samples *firstDamage = nullptr, Samples *lastDamage = nullptr);

    // Times a change of the page window other than a new page (its size, its opacity
    // `property`) from `press`, until nothing has changed for `quietMs`; then waits `gapMs`.
    PixelWatch::Step change(const char *name, const Press &press, xcb_atom_t property, int quietMs,
                            int gapMs);

    struct Corner {
        int x = 0;
        int y = 0;
    };
    // The panel's top-left corner on the screen.
    Corner panelCorner();

    Display &d;
    const Options &options;
    Program program;
    int row = 1;  // the list row on screen
    xcb_window_t page = XCB_NONE;

private:
    void trace(const char *name, Clock::time_point pressed, const PixelWatch::Step &result);

    xcb_window_t panel = XCB_NONE;
    std::optional<PixelWatch> watch;
    std::map<int, size_t> pictures;  // list row -> settled picture
};

} // namespace bench
