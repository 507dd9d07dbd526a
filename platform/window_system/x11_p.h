#pragma once
// Shared by the X11 files of the window-system layer.

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

// xcb hands out replies, errors and keycode lists allocated with malloc: the
// caller frees them, so every X11 file holds them in this.
struct XcbFreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, XcbFreeDeleter>;

namespace ws::native {

// The application's X connection, or null where there is none (offscreen).
xcb_connection_t *x11Connection();

} // namespace ws::native
