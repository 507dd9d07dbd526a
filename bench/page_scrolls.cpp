#include "page_measurements.h"

namespace bench {

// Each scroll shows rows not seen a moment ago, so its picture is only known to differ
// from the one before; the page on screen stays the same, as does its list row.
void PageScrolls::run(PageSession &session)
{
    const Options &options = session.options;
    const int row = session.row;
    for (int i = 0; i < options.scrolls; ++i)
        session.step(down, session.hotkey('m'), -1, options.gapMs);
    for (int i = 0; i < options.scrolls; ++i)
        session.step(up, session.hotkey('u'), -1, options.gapMs);
    session.row = row;
}

void PageScrolls::print(const Options &options) const
{
    if (options.scrolls <= 0)
        return;
    down.print();
    up.print();
}

} // namespace bench
