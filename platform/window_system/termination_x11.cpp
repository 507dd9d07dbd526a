#include "platform/window_system/termination.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace termination {

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the GUI thread does the rest.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void closeOnRequest(QWidget *window)
{
    if (signalPipe[0] != -1 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window,
                     [notifier, target = QPointer<QWidget>(window)] {
                         char byte;
                         [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
                         // One request ends the program; more change nothing.
                         notifier->setEnabled(false);
                         endOnRequest(target);
                     });

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signalNumber, &action, nullptr);
}

void simulateRequest(QWidget *)
{
    std::raise(SIGTERM);
}

} // namespace termination
