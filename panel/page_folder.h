#pragma once
// Which folder holds the pages: the FOLDER or FILE.jpg argument, else the program's own
// folder (a copy kept beside the scans), else a folder the user chooses.

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
    std::function<bool(const QString &folder)> isWritable;
};
Seams desktopSeams();

// Without an argument: `programFolder` when it holds a page or the user may write in it;
// otherwise the folder the user chooses, starting at the last choice, which is remembered.
Start withoutArgument(const QString &programFolder, const Seams &seams = desktopSeams());

} // namespace pagefolder
