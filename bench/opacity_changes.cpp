#include "page_measurements.h"

namespace bench {

// The opacity bar's right and left arrows clicked, then its wheel turned a notch one way
// and the other, over and over: it ends where it began. The end point is the page
// window's _NET_WM_WINDOW_OPACITY set anew (PropertyNotify): the virtual screen has no
// compositor, so no pixel changes; with one, the new opacity shows at its next frame.
void OpacityChanges::run(PageSession &session, PageSession::Corner panel)
{
    Display &d = session.d;
    const Options &options = session.options;
    const xcb_atom_t opacity = d.atom("_NET_WM_WINDOW_OPACITY");
    std::optional<uint32_t> before = d.cardinal(session.page, opacity);
    const int y = panel.y + options.opacityY;
    for (int i = 0; i < options.opacityChanges; ++i) {
        const bool byWheel = i % 4 >= 2;
        Samples &samples = byWheel ? wheel : clicks;
        Press press;
        if (byWheel) {
            const uint8_t button = i % 2 == 0 ? 5 : 4;
            press = [&d, x = panel.x + options.opacityMiddleX, y, button] {
                const Clock::time_point pressed = Clock::now();
                d.wheel(x, y, button, 1);
                return pressed;
            };
        } else {
            press = session.click(panel.x + (i % 2 == 0 ? options.opacityRightX : options.opacityLeftX), y);
        }
        // Nothing to decode or read: a short pause will do.
        const PixelWatch::Step result = session.change(samples.name.c_str(), press, opacity, options.quietMs, 100);
        const std::optional<uint32_t> after = d.cardinal(session.page, opacity);
        if (result.propertyMs >= 0 && after != before)
            samples.values.push_back(result.propertyMs);
        else
            ++samples.wrong;
        before = after;
    }
}

void OpacityChanges::print(const Options &options) const
{
    if (options.opacityChanges <= 0)
        return;
    clicks.print();
    wheel.print();
}

} // namespace bench
