// Systems without a session bus: no remote commands (the program's own hotkeys see
// every key there).

#include "platform/desktop/remote_commands.h"

namespace remote {

QString serve(std::function<void(Command)>)
{
    return {};
}

bool send(Command, QString *error)
{
    *error = QStringLiteral("remote commands are not available on this system; use the "
                            "hotkeys (Ctrl+Shift+H, K, U, M).");
    return false;
}

} // namespace remote
