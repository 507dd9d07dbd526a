// Page files read through Qt on Windows, where a path names no FIFO that would block.

#include "platform/picture/page_file.h"

#include <QFile>
#include <QFileInfo>

namespace pagefile {

ReadResult readRegularFile(const QString &path, qint64 maxBytes)
{
    ReadResult result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.failure = Failure::NotFound;
        result.reason = QStringLiteral("No such file or directory");
        return result;
    }
    if (!info.isFile()) {
        result.failure = Failure::NotRegular;
        result.reason = info.isDir() ? QStringLiteral("it is a folder")
                                     : QStringLiteral("it is not a regular file");
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.failure = Failure::Unreadable;
        result.reason = file.errorString();
        return result;
    }
    if (!readAtMost(file, maxBytes, &result.bytes)) {
        result = {};
        result.failure = Failure::Unreadable;
        result.reason = file.errorString();
    } else if (result.bytes.size() > maxBytes) {
        result = {};
        result.failure = Failure::TooLarge;
        result.reason = QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
    }
    return result;
}

} // namespace pagefile
