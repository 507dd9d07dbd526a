#include "page_measurements.h"

namespace bench {

// The list scrolled to its top by the wheel and its first entry clicked at once, which
// gives it the keyboard focus (no other measurement shows the first page, and no pause on
// the entry lets it be guessed); then each Page Down moves the selection on (two entries in
// a list of three), to a page not read ahead.
void ListPageDowns::run(PageSession &session, PageSession::Corner panel)
{
    const Options &options = session.options;
    if (options.pageDowns <= 0)
        return;
    const int listX = panel.x + options.listX;
    session.d.wheel(listX, panel.y + options.listMiddleY, 4, options.pages / 3 + 1);
    sleepMs(300);
    session.step(unguessed, session.click(listX, panel.y + options.listTopY), 0, options.gapMs);
    for (int i = 0; i < options.pageDowns; ++i)
        session.step(jumps, session.key(KeyPageDown), -1, options.gapMs, &jumpsFirst, &jumpsLast);
}

void ListPageDowns::print(const Options &options) const
{
    if (options.pageDowns <= 0)
        return;
    unguessed.print();
    jumps.print();
    jumpsFirst.print();
    jumpsLast.print();
}

} // namespace bench
