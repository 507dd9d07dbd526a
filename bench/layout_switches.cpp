#include "page_measurements.h"

#include <algorithm>
#include <map>

namespace bench {

// The layout button clicked: the page window takes the other layout's height and shows
// the page in it. Shown is the first moment from which the window's part on the screen is
// what it settles on: the new size itself when the part that stays needs no new pixels
// (to half), else the damage, or the move back into place, that completes the part added
// (to full: a window manager may first pull the window up into view).
void LayoutSwitches::run(PageSession &session, PageSession::Corner panel)
{
    const Options &options = session.options;
    std::map<int, size_t> pictures;  // window height -> its settled picture
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    if (!session.d.geometry(session.page, &x, &y, &width, &height))
        die("cannot read the page window's size");
    for (int i = 0; i < options.layoutSwitches; ++i) {
        // The window is painted into memory it has not touched before, which can take longer
        // than the usual quiet; the quiet itself is the pause between switches.
        const PixelWatch::Step result =
            session.change("layout switch", session.click(panel.x + options.layoutX, panel.y + options.layoutY),
                           XCB_NONE, std::max(options.quietMs, 600), 0);
        Samples &samples = result.height > height ? toFull : toHalf;
        bool right = result.resizedMs >= 0 && result.height != height && result.hash;
        if (right) {
            const auto known = pictures.emplace(result.height, *result.hash).first;
            right = known->second == *result.hash;
        }
        height = result.height;
        if (!right) {
            ++samples.wrong;
            continue;
        }
        samples.values.push_back(result.latencyMs);
        resized.values.push_back(result.resizedMs);
    }
}

void LayoutSwitches::print(const Options &options) const
{
    if (options.layoutSwitches <= 0)
        return;
    toFull.print();
    toHalf.print();
    resized.print();
}

} // namespace bench
