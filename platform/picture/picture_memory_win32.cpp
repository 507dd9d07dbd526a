#include "platform/picture/picture_memory.h"

#include <windows.h>

#include <mutex>

namespace picturememory {

namespace {

// Large pages on Windows need a privilege a typist's account does not hold. Instead the
// memory of the last large picture freed is kept for the next one: memory new to the
// process is zeroed and faulted in page by page, which for a 600-dpi page can take longer
// than its decode, and the pages of a book are of one size.
constexpr qsizetype KeptFrom = qsizetype(16) << 20;

struct Block {
    void *address = nullptr;
    size_t length = 0;
};

std::mutex keptMutex;
Block kept;

void release(void *info)
{
    const Block *block = static_cast<Block *>(info);
    Block dropped = *block;
    delete block;
    {
        const std::lock_guard lock(keptMutex);
        std::swap(kept, dropped);
    }
    if (dropped.address)
        ::VirtualFree(dropped.address, 0, MEM_RELEASE);
}

} // namespace

QImage allocate(int width, int height, QImage::Format format)
{
    // Rows as Qt lays them out: 32-bit aligned.
    const qsizetype bytesPerLine = (qsizetype(width) * QImage::toPixelFormat(format).bitsPerPixel() / 8 + 3) & ~qsizetype(3);
    const qsizetype length = bytesPerLine * height;
    if (width <= 0 || height <= 0 || length < KeptFrom)
        return QImage(width, height, format);
    Block block;
    {
        const std::lock_guard lock(keptMutex);
        // A little larger will do (scans of one book differ by a few rows); much larger
        // would hold memory the page does not use.
        if (kept.address && kept.length >= size_t(length) && kept.length - size_t(length) <= size_t(length) / 4)
            block = std::exchange(kept, {});
    }
    if (!block.address) {
        block.length = size_t(length);
        block.address = ::VirtualAlloc(nullptr, block.length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (!block.address)
            return {};
    }
    return QImage(static_cast<uchar *>(block.address), width, height, bytesPerLine, format, release,
                  new Block(block));
}

} // namespace picturememory
