#pragma once
// Reading a page file whole, from a regular file only and never more than a limit:
// a link to a special file (one that reports size 0 and reads without end), a FIFO or a
// folder named *.jpg must neither block nor fill memory.

#include <QByteArray>
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

} // namespace pagefile
