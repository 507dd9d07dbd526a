#pragma once
// File names as the file system stores them. On Linux a name is any bytes; names
// that are not UTF-8 (written on Thai Windows and unpacked as they were) cannot be
// spelled as a QString, so Qt's own listing leaves them out and cannot open them.

#include <QByteArray>
#include <QList>
#include <QString>

class QFile;

namespace filenames {

// The regular files of `folder` whose names are not valid UTF-8, as their bytes.
// Empty where every name is Unicode (Windows).
QList<QByteArray> undecodableFiles(const QString &folder);

// Opens the file `name` (bytes from undecodableFiles) of `folder` for reading into
// `file`; false with the reason in `error` when it cannot.
bool openForReading(QFile &file, const QString &folder, const QByteArray &name, QString *error);

// The size and the modification and status-change times (ms since the epoch) of the
// file `name` of `folder`; false when it is not there.
bool fileTimes(const QString &folder, const QByteArray &name, qint64 *size, qint64 *modified,
               qint64 *changed);

} // namespace filenames
