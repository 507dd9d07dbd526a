#pragma once
// A request to end the program from outside (a logout, `kill`, Ctrl+C in a terminal)
// closes the main window the ordinary way, so that its shutdown steps still run.

class QWidget;

namespace termination {

// Closes `window` on the GUI thread when the process is asked to terminate.
void closeOnRequest(QWidget *window);

} // namespace termination
