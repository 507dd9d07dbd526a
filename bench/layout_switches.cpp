#include "page_measurements.h"

#include <map>

namespace bench {

// The layout button clicked: the page window takes the other layout's height and shows
// the page in it. Shown is the first damage after the new size from which the window's
// part on the screen is what it settles on; a window that only shrinks without being
// painted again is shown with its new size (ConfigureNotify).
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
        const PixelWatch::Step result =
            session.change("layout switch", session.click(panel.x + options.layoutX, panel.y + options.layoutY),
                           XCB_NONE, options.gapMs);
        Samples &samples = result.height > height ? toFull : toHalf;
        const bool painted = result.lastMs > result.resizedMs;
        bool right = result.resizedMs >= 0 && result.height != height;
        if (right && painted && result.hash) {
            const auto known = pictures.emplace(result.height, *result.hash).first;
            right = known->second == *result.hash;
        }
        height = result.height;
        if (!right) {
            ++samples.wrong;
            continue;
        }
        samples.values.push_back(painted ? result.latencyMs : result.resizedMs);
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
