#include "platform/picture/page_file.h"

#include <algorithm>

namespace pagefile {

bool readAtMost(QIODevice &device, qint64 maxBytes, QByteArray *bytes)
{
    const qint64 limit = maxBytes + 1;
    // The reported size is only a hint: files grow, and some report 0.
    // One byte more than reported, so that the end shows without growing the buffer.
    qint64 capacity = std::clamp(device.size() + 1, qint64(4096), limit);
    QByteArray data(qsizetype(capacity), Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        if (total == capacity) {
            if (capacity == limit)
                break;
            capacity = std::min(limit, capacity * 2);
            data.resize(qsizetype(capacity));
        }
        const qint64 got = device.read(data.data() + total, capacity - total);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        total += got;
    }
    data.resize(qsizetype(total));
    *bytes = std::move(data);
    return true;
}

} // namespace pagefile
