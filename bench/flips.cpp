// zorvane_bench flips: one run of the program through steps, jumps, list clicks, Page Downs,
// opacity changes and layout switches, with its memory; the figures are printed together
// at the end, in this order.
#include "page_measurements.h"

namespace bench {

int runFlips(const Options &options)
{
    if (options.pages < 3)
        die("flips needs --pages of at least 3");
    Display d;
    PageSession session(d, options);

    HotkeySteps steps;
    Memory memory;
    steps.forward(session);
    memory.readAfterForward(session.program);
    steps.scrolls(session);
    steps.back(session);
    steps.withoutPause(session);

    const PageSession::Corner panel = session.panelCorner();
    TypedJumps jumps;
    jumps.run(session, panel);
    ListClicks clicks;
    clicks.run(session, panel);
    ListPageDowns pageDowns;
    pageDowns.run(session, panel);
    // Last: the clicks on the panel take the focus from the typist's window.
    OpacityChanges opacity;
    opacity.run(session, panel);
    memory.readBeforeLayouts(session.program);
    LayoutSwitches layouts;
    layouts.run(session, panel);

    steps.print(options);
    jumps.print(options);
    clicks.print(options);
    pageDowns.print(options);
    opacity.print(options);
    layouts.print(options);
    jumps.printLarge(options);
    if (!session.program.running())
        die("the program ended during the steps; see zorvane.log beside it");
    memory.print(session.program, options);
    session.program.stop();
    const int wrong = steps.wrong() + jumps.wrong() + clicks.wrong() + pageDowns.wrong() + opacity.wrong()
        + layouts.wrong();
    return wrong ? 3 : 0;
}

} // namespace bench
