#include "harness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {

double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {

// The program started last, while it runs: stopped on the way out whatever the way.
volatile pid_t runningChild = -1;

void stopChildAndExit(int status)
{
    const pid_t child = runningChild;
    if (child > 0) {
        kill(child, SIGTERM);
        for (int i = 0; i < 50 && waitpid(child, nullptr, WNOHANG) == 0; ++i)
            usleep(100 * 1000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    _exit(status);
}

void onSignal(int)
{
    stopChildAndExit(130);
}

} // namespace

void die(const std::string &message)
{
    std::fprintf(stderr, "zorvane_bench: %s\n", message.c_str());
    std::fflush(stdout);
    stopChildAndExit(1);
    std::abort();  // not reached
}

void stopProgramOnSignals()
{
    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
    signal(SIGHUP, onSignal);
}

// ---- statistics -------------------------------------------------------------------------

double Samples::quantile(double q) const
{
    if (values.empty())
        return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    // Nearest rank.
    const size_t rank = size_t(std::max(1.0, std::ceil(q * double(sorted.size()))));
    return sorted[std::min(rank, sorted.size()) - 1];
}

void Samples::print() const
{
    if (values.empty()) {
        std::printf("%-28s %4d  no samples\n", name.c_str(), 0);
        return;
    }
    std::printf("%-28s %4zu  median %7.1f ms  p90 %7.1f ms  max %7.1f ms%s\n", name.c_str(),
                values.size(), quantile(0.5), quantile(0.9),
                *std::max_element(values.begin(), values.end()),
                wrong ? ("  (" + std::to_string(wrong) + " wrong pages)").c_str() : "");
    std::fflush(stdout);
}

// ---- the program under test -------------------------------------------------------------

Program::Program(const std::string &path)
{
    std::string absolute = path;
    if (path.empty() || path[0] != '/') {
        char *here = getcwd(nullptr, 0);
        absolute = std::string(here ? here : ".") + "/" + path;
        std::free(here);
    }
    const std::string folder = absolute.substr(0, absolute.find_last_of('/') + 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Its own folder is the book: start it there, as a typist would.
    posix_spawn_file_actions_addopen(&actions, 1, (folder + "zorvane.log").c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    char *argv[] = {const_cast<char *>(absolute.c_str()), nullptr};
    started = Clock::now();
    if (posix_spawn(&pid, absolute.c_str(), &actions, nullptr, argv, environ) != 0)
        die("cannot start " + absolute);
    runningChild = pid;
    posix_spawn_file_actions_destroy(&actions);
}

Program::~Program()
{
    stop();
}

void Program::stop()
{
    if (pid <= 0)
        return;
    runningChild = -1;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        sleepMs(100);
    }
    std::fprintf(stderr, "zorvane_bench: the program did not stop on SIGTERM; killing it\n");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

bool Program::running()
{
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) {
        pid = -1;  // ended and reaped
        runningChild = -1;
    }
    return pid > 0;
}

long Program::statusKb(const char *field) const
{
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE *file = std::fopen(path.c_str(), "r");
    if (!file)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':')
            value = std::atol(line + length + 1);
    }
    std::fclose(file);
    return value;
}

} // namespace bench
