// zorvane_bench flips: one run of the program through steps, jumps and list clicks, with
// its memory; the figures are printed together at the end, in this order.
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

    steps.print(options);
    jumps.print(options);
    clicks.print(options);
    jumps.printLarge(options);
    if (!session.program.running())
        die("the program ended during the steps; see zorvane.log beside it");
    memory.print(session.program, options);
    session.program.stop();
    return (steps.wrong() + jumps.wrong() + clicks.wrong()) ? 3 : 0;
}

} // namespace bench
