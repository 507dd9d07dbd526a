#pragma once
// The page window's picture on the desktop's own terms. Through Xwayland, a Wayland
// desktop gives the X input shape no say in where clicks go: they stop at the page
// window instead of reaching the typist's program below it. Where the compositor
// offers a layer shell (KWin, sway and the other wlroots desktops), the page is shown
// through a layer surface of the program's own instead, which takes no input and no
// focus, and the X11 page window is not mapped. Everywhere else nothing changes.

class QWidget;

namespace page_surface {

// Call once, when the page window is made and before it is first shown. From then on
// the surface follows the window: its place and size, what it paints, its opacity,
// shown and hidden with it. Where the surface cannot be had, or its connection is lost
// later, the window is shown itself, as on X11, and the user is told once per login
// session what is missing.
void attach(QWidget *window);

} // namespace page_surface
