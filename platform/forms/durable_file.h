#pragma once
// Putting a file's new content in place so that no failure, full disk or power cut
// leaves it empty or half written: the new content goes to a file beside it, is
// forced onto the disk, and only then takes the old file's name.

#include <QString>

namespace durable {

// Forces what was written to the file at `path` onto the disk; false with the
// system's reason in `error` when it cannot.
bool syncFile(const QString &path, QString *error);

// Gives the file `from` the name `to` in one step, replacing the file there (which
// stays whole until then), and forces the new name onto the disk. False with the
// system's reason in `error` when the rename fails; a failed sync of the folder is
// reported too, after the rename.
bool replaceFile(const QString &from, const QString &to, QString *error);

} // namespace durable
