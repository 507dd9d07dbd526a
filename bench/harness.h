// The harness shared by zorvane_bench's measurements: timing, the figures' printing,
// the command-line options, the program under test (started by path, stopped again) and
// the process's exit on a fault or a signal. The X side lives in x_display.h.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace bench {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start, Clock::time_point end = Clock::now());
void sleepMs(int ms);

// Prints the message, stops the program under test and exits with status 1.
[[noreturn]] void die(const std::string &message);
// SIGINT, SIGTERM and SIGHUP stop the program under test before the bench exits.
void stopProgramOnSignals();

// One figure: its samples, printed as one line with the count, median, p90 and max.
struct Samples {
    std::string name;
    std::vector<double> values;
    int wrong = 0;  // steps whose settled picture was not the expected page

    double quantile(double q) const;
    void print() const;
};

struct Options {
    std::string app;
    int runs = 7;
    int pages = 0;
    int prev = 0;
    int rapid = 0;
    int gapMs = 250;
    int quietMs = 80;
    int pauseMs = 0;
    std::vector<std::string> jumps;
    std::vector<std::string> bigJumps;  // timed apart: pages of another size
    std::string file;
    int nameBoxX = 185;  // the name box's middle, from the panel's top-left corner
    int nameBoxY = 12;
    int clicks = 0;         // far jumps by list click
    int clickNotches = 10;  // wheel notches the list is scrolled by before each (3 rows each)
    int listX = 60;         // the list's middle entry, from the panel's top-left corner
    int listMiddleY = 22;
    int listTopY = 8;       // the list's top entry
    bool full = false;      // the full layout (a click on the layout button) before the steps
    int layoutX = 296;      // the layout button's middle, from the panel's top-left corner
    int layoutY = 35;
    int scrolls = 0;        // page scrolls down by Ctrl+Shift+M, then as many back up by U
    int pageDowns = 0;      // far jumps by Page Down in the list
    int opacityChanges = 0; // the opacity bar's arrows clicked and its wheel turned, in turn
    int opacityLeftX = 272; // the opacity bar's arrows and middle, from the panel's top-left corner
    int opacityMiddleX = 328;
    int opacityRightX = 385;
    int opacityY = 9;
    int layoutSwitches = 0; // clicks on the layout button, full and half in turn
    // The title of the typist's window, which holds the focus (Wine's hotkeys reach a
    // Windows program only while a window of Wine has it: a notepad there).
    std::string typist = "zorvane-bench-typist";
};

// The program under test, started from its own folder (the book), its output going to
// zorvane.log beside it; stopped when this goes out of scope.
class Program
{
public:
    explicit Program(const std::string &path);
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // The ordinary close: the program saves its state and exits.
    void stop();
    bool running();
    // A line of /proc/PID/status, e.g. "VmRSS", in kB; -1 when unknown.
    long statusKb(const char *field) const;

    pid_t pid = -1;
    Clock::time_point started;
};

// The commands, one per measurement file.
int runStartup(const Options &options);
int runFlips(const Options &options);
int runDjpeg(const Options &options);
int runMachine(const Options &options);

} // namespace bench
