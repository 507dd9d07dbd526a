#pragma once
// The page surface's parts inside the platform layer.

class QWidget;

namespace page_surface::x11 {

// On an X11 session: the window paints through a shared image of its own that keeps its
// memory when the window's size changes. Without the X server's shared memory, or on a
// scaled or unusual screen, Qt paints the window as it does any other.
void attach(QWidget *window);

} // namespace page_surface::x11
