#include "page_measurements.h"

namespace bench {

void HotkeySteps::forward(PageSession &session)
{
    while (session.row < session.options.pages - 1)
        session.step(next, session.hotkey('k'), session.row + 1, session.options.gapMs);
}

// Each scroll shows rows not seen a moment ago, so its picture is only known to differ
// from the one before; the page on screen stays the same, as does its list row.
void HotkeySteps::scrolls(PageSession &session)
{
    const Options &options = session.options;
    const int row = session.row;
    for (int i = 0; i < options.scrolls; ++i)
        session.step(scrollDown, session.hotkey('m'), -1, options.gapMs);
    for (int i = 0; i < options.scrolls; ++i)
        session.step(scrollUp, session.hotkey('u'), -1, options.gapMs);
    session.row = row;
}

void HotkeySteps::back(PageSession &session)
{
    for (int i = 0; i < session.options.prev && session.row > 0; ++i)
        session.step(prev, session.hotkey('h'), session.row - 1, session.options.gapMs);
}

// Each step as soon as the last page has settled: about the rate of a held key.
void HotkeySteps::withoutPause(PageSession &session)
{
    const Options &options = session.options;
    for (int i = 0; i < options.rapid && session.row < options.pages - 1; ++i)
        session.step(rapid, session.hotkey('k'), session.row + 1, 0);
    if (options.rapid > 0)
        sleepMs(options.gapMs);
}

void HotkeySteps::print(const Options &options) const
{
    next.print();
    if (options.scrolls > 0) {
        scrollDown.print();
        scrollUp.print();
    }
    prev.print();
    if (options.rapid > 0)
        rapid.print();
}

} // namespace bench
