#include "platform/text/file_names.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filenames {

namespace {

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // The decoding happens when the result becomes a string.
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QList<QByteArray> undecodableFiles(const QString &folder)
{
    QList<QByteArray> names;
    const QByteArray path = QFile::encodeName(folder);
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return names;
    const int dirFd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (isUtf8(name))
            continue;
        struct stat info {};
        // Symbolic links count as what they point to, as in Qt's listing.
        if (::fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode))
            names << name;
    }
    ::closedir(dir);
    return names;
}

bool openForReading(QFile &file, const QString &folder, const QByteArray &name, QString *error)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    // O_NONBLOCK: a FIFO put in the page's place after the listing must not hold the
    // open until a writer comes; fstat then says what was really opened.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *error = S_ISFIFO(info.st_mode) ? QStringLiteral("it is a FIFO, not a file")
                                        : QStringLiteral("not a file");
        return false;
    }
    // Regular files do not block; reads are ordinary again.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return false;
    }
    return true;
}

bool fileTimes(const QString &folder, const QByteArray &name, qint64 *size, qint64 *modified,
               qint64 *changed)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return false;
    const auto ms = [](const timespec &t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
    *size = info.st_size;
    *modified = ms(info.st_mtim);
    *changed = ms(info.st_ctim);
    return true;
}

} // namespace filenames
