// Systems where the program's own hotkeys see every key: nothing to add.

#include "platform/desktop/desktop_shortcuts.h"

namespace desktop_shortcuts {

void start(ws::HWND, const QList<Shortcut> &)
{
}

} // namespace desktop_shortcuts
