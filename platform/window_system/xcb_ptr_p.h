#pragma once
// xcb hands out replies, errors and keycode lists allocated with malloc: the
// caller frees them, so every X11 file holds them in this.

#include <cstdlib>
#include <memory>

struct XcbFreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, XcbFreeDeleter>;
