#include "page_measurements.h"

namespace bench {

// A list click far from the page on screen: the list is scrolled by the wheel (which
// selects nothing), then the middle entry in view is clicked.
void ListClicks::run(PageSession &session, PageSession::Corner panel)
{
    Display &d = session.d;
    const Options &options = session.options;
    for (int i = 0; i < options.clicks; ++i) {
        const int listX = panel.x + options.listX;
        const int listY = panel.y + options.listMiddleY;
        const uint8_t button = i % 2 == 0 ? 5 : 4;  // down, then back up
        d.wheel(listX, listY, button, options.clickNotches);
        sleepMs(300);
        session.step(clicks, session.click(listX, listY), -1, options.gapMs, &clicksFirst, &clicksLast);
    }
}

void ListClicks::print(const Options &options) const
{
    if (options.clicks <= 0)
        return;
    clicks.print();
    clicksFirst.print();
    clicksLast.print();
}

} // namespace bench
