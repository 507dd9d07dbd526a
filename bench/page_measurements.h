// The measurements made in one run of the program (zorvane_bench flips), each in its own
// file; flips.cpp runs them in turn on one PageSession and prints their figures.
#pragma once

#include "page_session.h"

namespace bench {

// Steps by hotkey (hotkey_steps.cpp): Ctrl+Shift+K to the last page, the page scrolled
// down by Ctrl+Shift+M and back up by U, Ctrl+Shift+H back, and Ctrl+Shift+K again
// without a pause.
struct HotkeySteps {
    Samples next{"hotkey next (Ctrl+Shift+K)", {}, 0};
    Samples scrollDown{"scroll a page down (Ctrl+Shift+M)", {}, 0};
    Samples scrollUp{"scroll a page up (Ctrl+Shift+U)", {}, 0};
    Samples prev{"hotkey previous (Ctrl+Shift+H)", {}, 0};
    Samples rapid{"hotkey next, no pause", {}, 0};

    void forward(PageSession &session);
    void scrolls(PageSession &session);
    void back(PageSession &session);
    void withoutPause(PageSession &session);
    void print(const Options &options) const;
    int wrong() const { return next.wrong + scrollDown.wrong + scrollUp.wrong + prev.wrong + rapid.wrong; }
};

// Far jumps by a page name typed into the name box, then Enter (typed_jumps.cpp).
struct TypedJumps {
    Samples jumps{"typed name + Enter", {}, 0};
    Samples jumpsFirst{"typed name: first damage (the page's top rows)", {}, 0};
    Samples jumpsLast{"typed name: last damage of the page window", {}, 0};
    Samples bigJumps{"typed name, large page", {}, 0};

    void run(PageSession &session, PageSession::Corner panel);
    void print(const Options &options) const;  // the pages of the book's own size
    void printLarge(const Options &options) const;
    int wrong() const { return jumps.wrong + bigJumps.wrong; }
};

// Far jumps by a click in the page list, scrolled away by the wheel (list_clicks.cpp).
struct ListClicks {
    Samples clicks{"list click", {}, 0};
    Samples clicksFirst{"list click: first damage (the page's top rows)", {}, 0};
    Samples clicksLast{"list click: last damage of the page window", {}, 0};

    void run(PageSession &session, PageSession::Corner panel);
    void print(const Options &options) const;
    int wrong() const { return clicks.wrong; }
};

// Far jumps by Page Down in the page list, which a click gave the focus (page_downs.cpp).
struct ListPageDowns {
    // The click on the list's first entry without a pause on it: a far jump not guessed.
    Samples unguessed{"list click without a pause (not guessed)", {}, 0};
    Samples jumps{"Page Down in the list", {}, 0};
    Samples jumpsFirst{"Page Down: first damage (the page's top rows)", {}, 0};
    Samples jumpsLast{"Page Down: last damage of the page window", {}, 0};

    void run(PageSession &session, PageSession::Corner panel);
    void print(const Options &options) const;
    int wrong() const { return jumps.wrong + unguessed.wrong; }
};

// The opacity bar moved by its arrows and by the wheel, timed to the page window's
// opacity property (opacity_changes.cpp).
struct OpacityChanges {
    Samples clicks{"opacity, arrow click: _NET_WM_WINDOW_OPACITY set", {}, 0};
    Samples wheel{"opacity, wheel notch: _NET_WM_WINDOW_OPACITY set", {}, 0};

    void run(PageSession &session, PageSession::Corner panel);
    void print(const Options &options) const;
    int wrong() const { return clicks.wrong + wheel.wrong; }
};

// The layout button clicked, full and half in turn (layout_switches.cpp).
struct LayoutSwitches {
    Samples toFull{"layout switch to full: shown", {}, 0};
    Samples toHalf{"layout switch to half: shown", {}, 0};
    Samples resized{"layout switch: new size (ConfigureNotify)", {}, 0};

    void run(PageSession &session, PageSession::Corner panel);
    void print(const Options &options) const;
    int wrong() const { return toFull.wrong + toHalf.wrong; }
};

// The program's resident memory after the steps forward and at the end, and its peak
// before the layout switches (each switch to full holds a whole page) (memory.cpp).
struct Memory {
    long afterForwardKb = -1;
    long peakAfterForwardKb = -1;
    long peakBeforeLayoutsKb = -1;

    void readAfterForward(const Program &program);
    void readBeforeLayouts(const Program &program);
    void print(const Program &program, const Options &options) const;
};

} // namespace bench
