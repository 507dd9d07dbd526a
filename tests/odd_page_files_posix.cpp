#include "odd_page_files.h"

#include "platform/forms/forms.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

QList<FailingPage> makeOddPageFiles(const QString &folder)
{
    // A file that could not be made fails its case as "not found".
    const QDir dir(folder);
    ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo.jpg"))).constData(), 0600);
    QFile::link(QStringLiteral("loop.jpg"), dir.filePath(QStringLiteral("loop.jpg")));
    QFile::link(QStringLiteral("/proc/self/pagemap"), dir.filePath(QStringLiteral("pagemap.jpg")));
    return {{QStringLiteral("fifo.jpg"), forms::ErrPermissionDenied, QStringLiteral("FIFO")},
            {QStringLiteral("loop.jpg"), forms::ErrPermissionDenied, QStringLiteral("symbolic links")},
            {QStringLiteral("pagemap.jpg"), forms::ErrInvalidPicture, QStringLiteral("too large")}};
}

bool mountSmallDisk(const QString &folder)
{
    return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=256k") == 0;
}

void fillDisk(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/filler"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    static const char block[4096] = {};
    for (size_t size = sizeof block; fd >= 0 && size > 0; size /= 2)
        while (::write(fd, block, size) == ssize_t(size)) {}
    if (fd >= 0)
        ::close(fd);
}

void unmountDisk(const QString &folder)
{
    ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
}

} // namespace testsupport
