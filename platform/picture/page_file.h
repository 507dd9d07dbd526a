#pragma once
// Reading a page file whole, from a regular file only and never more than a limit:
// a link to a special file (one that reports size 0 and reads without end), a FIFO or a
// folder named *.jpg must neither block nor fill memory.

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace pagefile {

enum class Failure {
    None,
    NotFound,     // no such file (or a dangling link)
    NotRegular,   // a folder, FIFO, socket or device
    TooLarge,     // more than the limit
    Unreadable,   // permissions, a link loop, an I/O error ...
};

struct ReadResult {
    QByteArray bytes;
    Failure failure = Failure::None;
    QString reason;  // why, in words, for the log
};

// The file's bytes, read through its content (not its reported size): at most
// `maxBytes` + 1 are read, and a file with more is refused.
ReadResult readRegularFile(const QString &path, qint64 maxBytes);

// Reads an open device to its end, at most `maxBytes` + 1 bytes, into a buffer that grows
// from the device's reported size. A buffer of the whole limit up front costs a page
// fault on each of its pages on Windows, which checks every page of a read's buffer.
// False on a read error (the device's errorString() says why).
bool readAtMost(QIODevice &device, qint64 maxBytes, QByteArray *bytes);

} // namespace pagefile
