// Durable replacement with POSIX calls: fsync of the new file, rename(2) over the
// old one, then fsync of the folder, which is what keeps the new name after a
// power cut.

#include "platform/forms/durable_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace durable {

namespace {

bool failed(QString *error)
{
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

// fsync on a descriptor of its own: the data of the file, not of one descriptor,
// goes to the disk.
bool syncPath(const QString &path, int flags, QString *error)
{
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do
        fd = ::open(native.constData(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return failed(error);
    const int synced = ::fsync(fd);
    const int code = errno;
    ::close(fd);
    if (synced != 0) {
        errno = code;
        return failed(error);
    }
    return true;
}

} // namespace

bool syncFile(const QString &path, QString *error)
{
    return syncPath(path, O_WRONLY, error);
}

bool replaceFile(const QString &from, const QString &to, QString *error)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return failed(error);
    // Some file systems refuse fsync on a folder (EINVAL): there is nothing more to do.
    QString why;
    if (!syncPath(QFileInfo(to).absolutePath(), O_RDONLY | O_DIRECTORY, &why) && errno != EINVAL
        && errno != EROFS) {
        if (error)
            *error = why;
        return false;
    }
    return true;
}

} // namespace durable
