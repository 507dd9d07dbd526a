#pragma once
// Page files only some systems can make (a FIFO, a link loop, a link to a file that
// reports size 0 and reads without end), each with the failure LoadPicture must give.
// CMake picks the file that makes them: _posix, or _none where there are none.

#include <QList>
#include <QString>

namespace testsupport {

struct FailingPage {
    QString name;
    int number;      // forms::Err...
    QString reason;  // a part of the message
};

QList<FailingPage> makeOddPageFiles(const QString &folder);

// Mounts a small RAM file system on `folder` (root only); false where that cannot be
// done. fillDisk then takes its last free byte; unmountDisk undoes the mount.
bool mountSmallDisk(const QString &folder);
void fillDisk(const QString &folder);
void unmountDisk(const QString &folder);

} // namespace testsupport
