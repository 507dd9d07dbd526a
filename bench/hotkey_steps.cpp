#include "page_measurements.h"

namespace bench {

void HotkeySteps::forward(PageSession &session)
{
    while (session.row < session.options.pages - 1)
        session.step(next, session.hotkey('k'), session.row + 1, session.options.gapMs);
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
    prev.print();
    if (options.rapid > 0)
        rapid.print();
}

} // namespace bench
