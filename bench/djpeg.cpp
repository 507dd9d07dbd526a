// zorvane_bench djpeg: wall time of `djpeg -outfile /dev/null FILE`, the bare
// libjpeg-turbo decode that a page not read ahead is measured against.
#include "harness.h"

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace bench {

int runDjpeg(const Options &options)
{
    Samples samples{"djpeg (libjpeg-turbo)", {}, 0};
    for (int run = 0; run < options.runs; ++run) {
        // A pause before each run, as before each step of the program: a processor that
        // has been idle decodes slower at first.
        sleepMs(options.pauseMs);
        const Clock::time_point start = Clock::now();
        pid_t pid = -1;
        char *argv[] = {const_cast<char *>("djpeg"), const_cast<char *>("-outfile"),
                        const_cast<char *>("/dev/null"), const_cast<char *>(options.file.c_str()),
                        nullptr};
        if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, argv, environ) != 0)
            die("cannot run djpeg (Debian: libjpeg-turbo-progs)");
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            die("djpeg failed on " + options.file);
        samples.values.push_back(msSince(start));
    }
    samples.print();
    return 0;
}

} // namespace bench
