#include "platform/text/file_names.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <strings.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filenames {

namespace {

bool endsWithNoCase(const char *name, size_t length, QLatin1StringView suffix)
{
    const size_t size = size_t(suffix.size());
    return length >= size && ::strncasecmp(name + length - size, suffix.data(), size) == 0;
}

} // namespace

// One pass of readdir: Qt's own listing made a file information object for every entry
// and the folder was read a second time for the names it could not spell, which took
// most of the start-up time in a folder of 20,000 pages.
Listing listFiles(const QString &folder, QLatin1StringView suffix)
{
    Listing listing;
    const QByteArray path = QFile::encodeName(folder);
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return listing;
    const int dirFd = ::dirfd(dir);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    while (const dirent *entry = ::readdir(dir)) {
        const size_t length = std::strlen(entry->d_name);
        if (entry->d_name[0] == '.' || !endsWithNoCase(entry->d_name, length, suffix))
            continue;
        if (entry->d_type != DT_REG) {
            // Symbolic links count as what they point to, as in Qt's listing.
            struct stat info {};
            if (::fstatat(dirFd, entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
                continue;
        }
        const QByteArrayView bytes(entry->d_name, qsizetype(length));
        QString name = utf8.decode(bytes);
        if (utf8.hasError()) {
            utf8.resetState();
            listing.undecodable << bytes.toByteArray();
        } else {
            listing.names << std::move(name);
        }
    }
    ::closedir(dir);
    return listing;
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
