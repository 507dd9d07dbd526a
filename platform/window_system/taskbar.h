#pragma once
// Windows that are not a task of their own: no taskbar or pager entry, no place in the
// window switcher (Alt+Tab). The page window is one; the panel stays a normal window.

class QWidget;

namespace taskbar {

// Keeps `window` out of the taskbar, the pager and the window switcher. Call it as the
// window is about to show, every time: a window manager forgets it when the window hides.
void keepOff(QWidget *window);

} // namespace taskbar
