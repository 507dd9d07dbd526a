#pragma once
// Remote commands: another process asks the running program to turn or scroll the
// page, as a hotkey would. This is how keys work on desktops where the program's own
// hotkeys cannot see them: the user binds a key to `zorvane --next` (and the like) in
// the desktop's shortcut settings. On Linux the commands travel over the D-Bus session
// bus; elsewhere there are none.

#include <QString>

#include <functional>

namespace remote {

enum class Command { NextPage, PrevPage, ScrollUp, ScrollDown };

// The bus name, object and interface of the running program (documented for users who
// call the methods themselves: NextPage, PrevPage, ScrollUp, ScrollDown).
inline constexpr const char *ServiceName = "org.zorvane.Zorvane";
inline constexpr const char *ObjectPath = "/org/zorvane/Zorvane";
inline constexpr const char *InterfaceName = "org.zorvane.Zorvane";

// Answers remote commands for the life of the application object: each one calls
// `run` on the GUI thread. Returns an empty string, or a sentence for standard error
// when the commands go elsewhere (another program holds the name) or nowhere (no bus).
QString serve(std::function<void(Command)> run);

// Sends `command` to the running program; needs an application object (no display).
// Returns false with a sentence in `error` when nothing took it.
bool send(Command command, QString *error);

} // namespace remote
