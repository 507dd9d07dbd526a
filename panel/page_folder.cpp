#include "panel/page_folder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

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

bool isInstalledCopy(const QString &programFolder)
{
    const QFileInfo here(programFolder);
    QStringList folders = QStringLiteral(ZORVANE_INSTALLED_BINDIRS)
                              .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    folders << userSettings().value(QLatin1String(InstalledFolderKey)).toString();
    return std::any_of(folders.cbegin(), folders.cend(), [&here](const QString &folder) {
        return !folder.isEmpty() && QFileInfo(folder) == here;
    });
}

Seams desktopSeams()
{
    return {
        [](const QString &startFolder) {
            // Qt's own dialog on every desktop: the system ones show folders alone, and
            // a folder of scans would look empty.
            QFileDialog dialog(nullptr,
                               QStringLiteral("Zorvane: choose the folder of your scanned pages"),
                               startFolder, QStringLiteral("Scanned pages (*.jpg)"));
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Open"));
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                return QString();
            return dialog.selectedFiles().constFirst();
        },
        isInstalledCopy,
    };
}

Start withoutArgument(const QString &programFolder, const Seams &seams)
{
    // The portable use: a copy placed beside the scans, as it always was. An empty
    // folder gives an empty list, as it did.
    if (!seams.isInstalled(programFolder))
        return {programFolder, {}, 0, {}};

    // An installed program: its folder is no place for pages or for current.txt, also
    // for root, who may write there.
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
