// Page files read with POSIX calls: O_NONBLOCK keeps the open of a FIFO from waiting
// for a writer, and fstat on the open descriptor says what was really opened.

#include "platform/picture/page_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pagefile {

namespace {

// Reads are multiples of 8 bytes: /proc's pagemap refuses reads of other sizes.
constexpr qint64 ReadChunk = qint64(1) << 20;

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device");
    return QStringLiteral("it is not a regular file");
}

ReadResult failed(Failure failure, const QString &reason)
{
    ReadResult result;
    result.failure = failure;
    result.reason = reason;
    return result;
}

} // namespace

ReadResult readRegularFile(const QString &path, qint64 maxBytes)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        return failed(code == ENOENT ? Failure::NotFound : Failure::Unreadable,
                      QString::fromLocal8Bit(std::strerror(code)));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return failed(Failure::Unreadable, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return failed(Failure::NotRegular, kindOf(info.st_mode));
    // Regular files do not block; reads are ordinary again.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    ReadResult result;
    // The reported size is only a hint: /proc files report 0, and files grow.
    result.bytes.reserve(qsizetype(qBound(qint64(0), qint64(info.st_size), maxBytes) + 1));
    qint64 total = 0;
    for (;;) {
        const qint64 want = qMin(ReadChunk, (maxBytes + 1 - total + 7) / 8 * 8);
        if (want <= 0)
            break;
        result.bytes.resize(qsizetype(total + want));
        const ssize_t got = ::read(fd, result.bytes.data() + total, size_t(want));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failed(Failure::Unreadable, QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (got == 0)
            break;
        total += got;
    }
    if (total > maxBytes)
        return failed(Failure::TooLarge,
                      QStringLiteral("it is larger than %1 bytes").arg(maxBytes));
    result.bytes.resize(qsizetype(total));
    return result;
}

} // namespace pagefile
