#include "platform/text/file_names.h"

#include <QDir>
#include <QFile>

// Windows stores names in Unicode: Qt lists and opens every one of them itself.
namespace filenames {

Listing listFiles(const QString &folder, QLatin1StringView suffix)
{
    return {QDir(folder).entryList({QStringLiteral("*") + QString(suffix)}, QDir::Files, QDir::NoSort), {}};
}

bool openForReading(QFile &, const QString &, const QByteArray &, QString *error)
{
    *error = QStringLiteral("no such file");
    return false;
}

bool fileTimes(const QString &, const QByteArray &, qint64 *, qint64 *, qint64 *)
{
    return false;
}

} // namespace filenames
