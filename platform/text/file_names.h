#pragma once
// File names as the file system stores them. On Linux a name is any bytes; names
// that are not UTF-8 (written on Thai Windows and unpacked as they were) cannot be
// spelled as a QString, so Qt's own listing leaves them out and cannot open them.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QFile;

namespace filenames {

// The regular files of `folder` whose names end in `suffix` in any letter case, as
// Qt's listing gives them (a symbolic link counts as what it points to, hidden files
// are left out): names spelled in UTF-8 in `names`, the others by their bytes in
// `undecodable`, which stays empty where every name is Unicode (Windows).
struct Listing {
    QStringList names;
    QList<QByteArray> undecodable;
};
Listing listFiles(const QString &folder, QLatin1StringView suffix);

// Opens the file `name` (bytes from listFiles' `undecodable`) of `folder` for reading into
// `file`; false with the reason in `error` when it cannot.
bool openForReading(QFile &file, const QString &folder, const QByteArray &name, QString *error);

// The size and the modification and status-change times (ms since the epoch) of the
// file `name` of `folder`; false when it is not there.
bool fileTimes(const QString &folder, const QByteArray &name, qint64 *size, qint64 *modified,
               qint64 *changed);

} // namespace filenames
