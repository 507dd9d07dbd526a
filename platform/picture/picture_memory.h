#pragma once
// Memory for a decoded page. A 600-dpi page is 139 MB, and the first write to fresh
// memory costs a page fault per 4 KB: on some machines that is more than the decode
// itself (0.5 s for a 600-dpi page measured on a virtual machine, 35 ms with 2 MB pages).

#include <QImage>

namespace picturememory {

// A picture of this size and format whose pixels are not yet written, in memory the
// system may back with large pages; null when there is no memory for it.
QImage allocate(int width, int height, QImage::Format format);

// Called once, before any thread starts: large buffers freed (a page file's bytes, 6.5 MB
// at 600 dpi) go back to the system rather than staying with the process.
void giveBackLargeBuffers();

} // namespace picturememory
