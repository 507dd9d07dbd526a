#include "page_measurements.h"

namespace bench {

// The list scrolled to its top by the wheel and its first entry clicked (not timed; no
// other measurement shows the first page), which gives it the keyboard focus; then each
// Page Down moves the selection on (two entries in a list of three), to a page not read
// ahead.
void ListPageDowns::run(PageSession &session, PageSession::Corner panel)
{
    const Options &options = session.options;
    if (options.pageDowns <= 0)
        return;
    const int listX = panel.x + options.listX;
    session.d.wheel(listX, panel.y + options.listMiddleY, 4, options.pages / 3 + 1);
    sleepMs(300);
    Samples focusing{"list click before Page Down", {}, 0};
    session.step(focusing, session.click(listX, panel.y + options.listTopY), 0, options.gapMs);
    for (int i = 0; i < options.pageDowns; ++i)
        session.step(jumps, session.key(KeyPageDown), -1, options.gapMs, &jumpsFirst, &jumpsLast);
}

void ListPageDowns::print(const Options &options) const
{
    if (options.pageDowns <= 0)
        return;
    jumps.print();
    jumpsFirst.print();
    jumpsLast.print();
}

} // namespace bench
