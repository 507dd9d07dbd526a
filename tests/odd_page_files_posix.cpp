#include "odd_page_files.h"

#include "platform/forms/forms.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

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

} // namespace testsupport
