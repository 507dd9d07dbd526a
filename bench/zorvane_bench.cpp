// zorvane_bench: measures Zorvane from outside, as a typist meets it, on an X display
// (DISPLAY) with a window manager. It starts the program itself, by path, and stops it
// again (SIGTERM, then SIGKILL after 10 s).
//
//   zorvane_bench startup --app PATH [--runs N]
//       Time from process start to the panel window mapped, and to its first paint.
//   zorvane_bench flips --app PATH --pages N [--prev N] [--rapid N] [--gap MS]
//                       [--quiet MS] [--jump NAME]... [--big NAME]... [--clicks N]
//                       [--pagedowns N] [--opacity N] [--layouts N]
//       Presses Ctrl+Shift+K until the last of N pages, then Ctrl+Shift+H --prev times,
//       then Ctrl+Shift+K --rapid times without a pause, then types each --jump (and
//       --big) name into the name box and presses Enter, then --clicks times scrolls
//       the page list by the wheel and clicks its middle entry, then clicks an entry at
//       the list's top and presses Page Down --pagedowns times, then moves the opacity
//       bar --opacity times (arrow clicks and wheel notches in turn), then clicks the
//       layout button --layouts times. --full switches to the full layout first;
//       --scrolls N scrolls the page down N times by Ctrl+Shift+M and back up by
//       Ctrl+Shift+U, after the steps forward. Times each step from the key press to the
//       page window's pixels showing the new page: X Damage on the page window, the
//       window's image read at each damage (through MIT-SHM), and the first image equal
//       to the one the window settles on (no change for --quiet ms, 80) counts; a layout switch counts
//       from the window's new size on, an opacity change is timed to the window's
//       _NET_WM_WINDOW_OPACITY property. After each step it waits --gap ms (250), as a
//       typist reads. Prints the program's resident memory after the steps forward and
//       at the end.
//   zorvane_bench djpeg [--runs N] [--pause MS] FILE
//       Wall time of `djpeg -outfile /dev/null FILE`: the bare libjpeg-turbo decode,
//       each run after a pause of MS (0).
//   zorvane_bench machine [--runs N]
//       The machine's own speed now: a 32 MB copy, a first touch of 32 MB, arithmetic.
//
// Keys and clicks go through XTest. The page window is found by its title, "Form2";
// the panel by "(Zorvane)" in its title.
//
// This file reads the command line; the harness (harness.h, x_display.h, page_session.h)
// and each measurement (startup.cpp, hotkey_steps.cpp, typed_jumps.cpp, list_clicks.cpp,
// page_downs.cpp, opacity_changes.cpp, layout_switches.cpp, memory.cpp, djpeg.cpp, machine.cpp;
// flips.cpp runs the page ones in turn) have files of their own.

#include "harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace bench;

namespace {

[[noreturn]] void usage()
{
    std::fprintf(stderr,
                 "usage: zorvane_bench startup --app PATH [--runs N]\n"
                 "       zorvane_bench flips --app PATH --pages N [--prev N] [--rapid N] [--gap MS] "
                 "[--quiet MS] [--jump NAME]... [--big NAME]... [--clicks N] [--pagedowns N] [--opacity N]\n"
                 "                           [--layouts N] [--full] [--scrolls N] [--typist TITLE]\n"
                 "       zorvane_bench djpeg [--runs N] [--pause MS] FILE\n"
                 "       zorvane_bench machine [--runs N]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char *argv[])
{
    stopProgramOnSignals();
    if (argc < 2)
        usage();
    const std::string command = argv[1];
    Options options;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage();
            return argv[++i];
        };
        if (arg == "--app")
            options.app = value();
        else if (arg == "--runs")
            options.runs = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--pages")
            options.pages = std::atoi(value().c_str());
        else if (arg == "--prev")
            options.prev = std::atoi(value().c_str());
        else if (arg == "--rapid")
            options.rapid = std::atoi(value().c_str());
        else if (arg == "--gap")
            options.gapMs = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--pause")
            options.pauseMs = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--quiet")
            options.quietMs = std::max(10, std::atoi(value().c_str()));
        else if (arg == "--jump")
            options.jumps.push_back(value());
        else if (arg == "--big")
            options.bigJumps.push_back(value());
        else if (arg == "--full")
            options.full = true;
        else if (arg == "--typist")
            options.typist = value();
        else if (arg == "--scrolls")
            options.scrolls = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--clicks")
            options.clicks = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--pagedowns")
            options.pageDowns = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--opacity")
            options.opacityChanges = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--layouts")
            options.layoutSwitches = std::max(0, std::atoi(value().c_str()));
        else if (!arg.empty() && arg[0] != '-' && options.file.empty())
            options.file = arg;
        else
            usage();
    }
    if (command == "startup" && !options.app.empty())
        return runStartup(options);
    if (command == "flips" && !options.app.empty())
        return runFlips(options);
    if (command == "djpeg" && !options.file.empty())
        return runDjpeg(options);
    if (command == "machine")
        return runMachine(options);
    usage();
}
