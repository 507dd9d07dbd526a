#include "page_measurements.h"

#include <cstdlib>
#include <string>

namespace bench {

namespace {

// The page number in a name made by make_pages ("57.jpg" is page 57, list row 56).
int rowOfName(const std::string &name)
{
    const int number = std::atoi(name.c_str());
    return number > 0 ? number - 1 : -1;
}

// Types `name` into the panel's name box and times the Enter key.
void typeName(PageSession &session, PageSession::Corner panel, Samples &samples,
              const std::string &name, Samples *firstDamage, Samples *lastDamage)
{
    Display &d = session.d;
    const Options &options = session.options;
    d.click(panel.x + options.nameBoxX, panel.y + options.nameBoxY);
    sleepMs(100);
    d.key(d.keycode(KeyControl), true);
    d.tap('a');
    d.key(d.keycode(KeyControl), false);
    for (char c : name)
        d.tap(uint32_t(uint8_t(c)));
    sleepMs(150);
    const int target = rowOfName(name);
    session.step(samples, session.key(KeyReturn), target < options.pages ? target : -1, options.gapMs,
                 firstDamage, lastDamage);
}

} // namespace

void TypedJumps::run(PageSession &session, PageSession::Corner panel)
{
    for (const std::string &name : session.options.jumps)
        typeName(session, panel, jumps, name, &jumpsFirst, &jumpsLast);
    for (const std::string &name : session.options.bigJumps)
        typeName(session, panel, bigJumps, name, nullptr, nullptr);
}

void TypedJumps::print(const Options &options) const
{
    if (options.jumps.empty())
        return;
    jumps.print();
    jumpsFirst.print();
    jumpsLast.print();
}

void TypedJumps::printLarge(const Options &options) const
{
    if (!options.bigJumps.empty())
        bigJumps.print();
}

} // namespace bench
