#include "platform/text/file_names.h"

#include <QFile>

// Windows stores names in Unicode: Qt lists and opens every one of them itself.
namespace filenames {

QList<QByteArray> undecodableFiles(const QString &)
{
    return {};
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
