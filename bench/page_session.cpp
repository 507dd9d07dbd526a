#include "page_session.h"

#include <cstdio>
#include <cstdlib>

namespace bench {

PageSession::PageSession(Display &display, const Options &runOptions)
    : d(display)
    , options(runOptions)
    , program(runOptions.app)
{
    panel = d.waitForWindow("(Zorvane)", 15000);
    if (!panel)
        die("the panel window did not appear within 15 s");
    // The typist's program holds the focus; the hotkeys reach Zorvane all the same.
    if (xcb_window_t typist = d.findWindow(options.typist))
        d.activate(typist);
    sleepMs(300);

    hotkey('k')();
    page = d.waitForWindow("Form2", 15000);
    if (!page)
        die("the page window did not appear within 15 s");
    sleepMs(500);
    if (options.full) {
        const Corner corner = panelCorner();
        d.click(corner.x + options.layoutX, corner.y + options.layoutY);
        sleepMs(800);
        if (xcb_window_t typist = d.findWindow(options.typist))
            d.activate(typist);
        sleepMs(300);
    }
    watch.emplace(d, page);
    if (auto hash = watch->settle(300))
        pictures[row] = *hash;
}

Press PageSession::hotkey(uint32_t letter)
{
    return [this, letter] {
        d.key(d.keycode(KeyControl), true);
        d.key(d.keycode(KeyShift), true);
        xcb_flush(d.conn);
        sleepMs(5);
        d.key(d.keycode(letter), true);
        const Clock::time_point pressed = Clock::now();
        xcb_flush(d.conn);
        d.key(d.keycode(letter), false);
        d.key(d.keycode(KeyShift), false);
        d.key(d.keycode(KeyControl), false);
        xcb_flush(d.conn);
        return pressed;
    };
}

Press PageSession::key(uint32_t keysym)
{
    return [this, keysym] {
        d.key(d.keycode(keysym), true);
        const Clock::time_point pressed = Clock::now();
        xcb_flush(d.conn);
        d.key(d.keycode(keysym), false);
        xcb_flush(d.conn);
        return pressed;
    };
}

Press PageSession::click(int x, int y)
{
    return [this, x, y] {
        const Clock::time_point pressed = Clock::now();
        d.click(x, y);
        return pressed;
    };
}

void PageSession::trace(const char *name, Clock::time_point pressed, const PixelWatch::Step &result)
{
    if (!std::getenv("ZORVANE_BENCH_TRACE"))
        return;
    // On the program's clock: its zorvane.timing lines fall between these.
    const double at = std::chrono::duration<double, std::milli>(pressed.time_since_epoch()).count();
    const auto since = [at](double ms) { return ms < 0 ? -1.0 : at + ms; };
    std::printf("trace %s: input %.2f, first damage %.2f, settled %.2f", name, at, since(result.firstMs),
                since(result.latencyMs));
    if (result.resizedMs >= 0)
        std::printf(", resized %.2f (%dx%d)", since(result.resizedMs), result.width, result.height);
    if (result.movedMs >= 0)
        std::printf(", last moved %.2f", since(result.movedMs));
    if (result.propertyMs >= 0)
        std::printf(", property %.2f", since(result.propertyMs));
    std::printf("\n");
}

PixelWatch::Step PageSession::change(const char *name, const Press &press, xcb_atom_t property, int quietMs,
                                     int gapMs)
{
    Clock::time_point pressed;
    const PixelWatch::Step result = watch->measure([&] { return pressed = press(); }, quietMs, 5000, property);
    trace(name, pressed, result);
    // Pictures seen in another size are no guide to the pages in this one.
    if (result.resizedMs >= 0)
        pictures.clear();
    if (result.hash && row >= 0)
        pictures[row] = *result.hash;
    sleepMs(gapMs);
    return result;
}

void PageSession::step(Samples &samples, const Press &press, int expectedRow, int gapMs,
                       Samples *firstDamage, Samples *lastDamage)
{
    Clock::time_point pressed;
    const PixelWatch::Step result = watch->measure([&] { return pressed = press(); }, options.quietMs, 5000);
    trace(samples.name.c_str(), pressed, result);
    const auto known = pictures.find(expectedRow);
    const auto before = pictures.find(row);
    bool right = result.latencyMs >= 0 && result.hash;
    if (right && known != pictures.end())
        right = known->second == *result.hash;
    else if (right && before != pictures.end())
        right = before->second != *result.hash;
    if (right) {
        samples.values.push_back(result.latencyMs);
        if (firstDamage)
            firstDamage->values.push_back(result.firstMs);
        if (lastDamage)
            lastDamage->values.push_back(result.lastMs);
        if (expectedRow >= 0)
            pictures[expectedRow] = *result.hash;
    } else {
        ++samples.wrong;
    }
    row = expectedRow;
    // A typist reads for a while before the next step; the pages ahead decode meanwhile.
    sleepMs(gapMs);
}

PageSession::Corner PageSession::panelCorner()
{
    Corner corner;
    int width = 0;
    int height = 0;
    if (!d.geometry(panel, &corner.x, &corner.y, &width, &height))
        die("cannot read the panel's place");
    return corner;
}

} // namespace bench
