// Desktops without a way to say it: the window keeps its ordinary entry.

#include "platform/taskbar.h"

namespace taskbar {

void keepOff(QWidget *) {}

} // namespace taskbar
