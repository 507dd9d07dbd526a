#pragma once
// Windows that are not a task of their own: no taskbar or pager entry, no place in the
// window switcher (Alt+Tab). The page window is one; the panel stays a normal window.

class QWidget;

namespace taskbar {

// Keeps `window` out of the taskbar, the pager and the window switcher. Call it as the
// window is about to show, every time: a window manager forgets it when the window hides.
void keepOff(QWidget *window);

// Gives a message box `owner` (the panel) where an unowned window gets a taskbar button
// of its own (Windows): it then also stays above its owner. Elsewhere the box stays
// unowned, so that the window manager gives the focus back to the typist's program,
// not to the panel, when a box the typist clicked closes. Call it before the box shows.
void ownDialog(QWidget *dialog, QWidget *owner);

} // namespace taskbar
