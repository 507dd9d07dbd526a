#include "platform/picture/picture_memory.h"

namespace picturememory {

// Windows' heap gives large blocks back to the system as they are freed.
void giveBackLargeBuffers() {}

// Large pages on Windows need a privilege a typist's account does not hold.
QImage allocate(int width, int height, QImage::Format format)
{
    return QImage(width, height, format);
}

} // namespace picturememory
