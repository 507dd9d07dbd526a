#include "panel/page_folder.h"

#include "platform/forms/forms.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace pagefolder {

namespace {

const QString LastFolderKey = QStringLiteral("pageFolder/lastChosen");

QSettings userSettings()
{
    // ~/.config/zorvane/zorvane.conf
    return QSettings(QStringLiteral("zorvane"), QStringLiteral("zorvane"));
}

QString nativeFolder(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

} // namespace

Start fromArgument(const QString &argument)
{
    const QFileInfo info(argument);
    if (info.isDir())
        return {nativeFolder(info.absoluteFilePath()), {}, 0, {}};
    // A file manager's "Open with" passes the page itself.
    if (info.isFile())
        return {nativeFolder(info.absolutePath()), info.fileName(), 0, {}};
    const QString reason = info.exists() ? QStringLiteral("is not a folder or a page")
                                         : QStringLiteral("no such folder or file");
    return {{}, {}, 2, QStringLiteral("zorvane: %1: %2").arg(argument, reason)};
}

Seams desktopSeams()
{
    return {
        [](const QString &startFolder) {
            return QFileDialog::getExistingDirectory(
                nullptr, QStringLiteral("Zorvane: choose the folder of your scanned pages"),
                startFolder);
        },
        [](const QString &folder) { return QFileInfo(folder).isWritable(); },
    };
}

Start withoutArgument(const QString &programFolder, const Seams &seams)
{
    // The portable use: a copy kept beside the scans, or in a folder of the user's own.
    if (forms::holdsPages(programFolder) || seams.isWritable(programFolder))
        return {programFolder, {}, 0, {}};

    // An installed program: its folder is no place for pages or for current.txt.
    QString start = userSettings().value(LastFolderKey).toString();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::homePath();
    const QString chosen = seams.chooseFolder(start);
    if (chosen.isEmpty())
        return {{}, {}, 0, {}};
    const QString folder = nativeFolder(QFileInfo(chosen).absoluteFilePath());
    userSettings().setValue(LastFolderKey, folder);
    return {folder, {}, 0, {}};
}

} // namespace pagefolder
