#pragma once
// A request to end the program from outside (a logout, `kill`, Ctrl+C in a terminal)
// closes the main window the ordinary way, so that its shutdown steps still run.

class QWidget;

namespace termination {

// Closes `window` on the GUI thread when the process is asked to terminate.
void closeOnRequest(QWidget *window);

// True once the process has been asked to terminate: nobody is left to answer a
// message box, so shutdown reports on standard error instead.
bool requested();

// What every platform does with the request, on the GUI thread: closes `window` the
// ordinary way and leaves every event loop, also that of an open message box, which
// would otherwise keep the process alive and hold up the end of the session.
void endOnRequest(QWidget *window);

// Makes the request the system would make (SIGTERM; on Windows the end of the
// session, sent to `window`), for tests.
void simulateRequest(QWidget *window);

} // namespace termination
