#pragma once
// Which folder holds the pages: the FOLDER or FILE.jpg argument; without one, a copy of
// the program placed by hand (beside the scans) takes its own folder, and an installed
// copy asks for a folder.

#include <QString>

#include <functional>

namespace pagefolder {

struct Start {
    QString folder;      // the page folder; empty when the program ends without running
    QString page;        // a page to show once the panel is up (the FILE.jpg argument)
    int exitStatus = 0;  // when `folder` is empty
    QString error;       // for stderr, when `exitStatus` is not 0
};

// Checks a FOLDER or FILE.jpg argument; needs no display.
Start fromArgument(const QString &argument);

// What the choice without an argument asks of the desktop; tests put their own.
struct Seams {
    // Shows a folder chooser opened at `startFolder`; an empty result means cancelled.
    std::function<QString(const QString &startFolder)> chooseFolder;
    // Whether the program in `programFolder` is an installed copy (see isInstalledCopy).
    std::function<bool(const QString &programFolder)> isInstalled;
};
Seams desktopSeams();

// An installed copy: in a bin folder the install rules or the Debian package put it in,
// or in the folder the Windows installer recorded in the user's settings.
bool isInstalledCopy(const QString &programFolder);
// The settings key (of QSettings("zorvane", "zorvane")) the Windows installer writes.
inline constexpr const char *InstalledFolderKey = "install/folder";

// Without an argument: `programFolder` for a copy placed by hand, whatever it holds;
// for an installed copy the folder the user chooses, starting at the last choice,
// which is remembered.
Start withoutArgument(const QString &programFolder, const Seams &seams = desktopSeams());

} // namespace pagefolder
