// Zorvane: shows scanned pages above the typist's programs, one at a time.

#include "hotkeys/module1.h"
#include "panel/command_line.h"
#include "panel/form1.h"
#include "panel/page_folder.h"
#include "platform/forms/forms.h"
#include "platform/picture/picture_memory.h"
#include "platform/window_system/termination.h"
#include "platform/window_system/fonts.h"
#include "platform/window_system/window_system.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    picturememory::giveBackLargeBuffers();
    // Read before the display is opened: --help, --version and a wrong argument need none.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.exitNow) {
        std::fputs(qPrintable(commandLine.message), commandLine.exitStatus == 0 ? stdout : stderr);
        return commandLine.exitStatus;
    }
    // A remote command opens no window: it needs the session bus, not a display.
    if (commandLine.remoteCommand) {
        QCoreApplication app(argc, argv);
        QString error;
        if (remote::send(*commandLine.remoteCommand, &error))
            return 0;
        std::fprintf(stderr, "%s: %s\n", ProgramName, qPrintable(error));
        return 1;
    }

    pagefolder::Start start;
    if (commandLine.pageArgument) {
        start = pagefolder::fromArgument(*commandLine.pageArgument);
        if (start.folder.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(start.error));
            return start.exitStatus;
        }
    }

    // Without a display the toolkit would abort; say what is wrong instead.
    const QString problem = ws::displayProblem();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationVersion(programVersion());
    // Ties the windows to the installed desktop entry (and its icon) in docks and task lists.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zorvane.Zorvane"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/org.zorvane.Zorvane.png")));
    fonts::addThaiFallback();

    const QString programFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!commandLine.pageArgument) {
        start = pagefolder::withoutArgument(programFolder);
        if (start.folder.isEmpty())
            return start.exitStatus;  // the chooser was cancelled
    }
    forms::setAppPath(start.folder);
    forms::listPagesAhead(start.folder);

    Form1 panel;
    panel.setOpenedFolder(QFileInfo(start.folder) != QFileInfo(programFolder));
    termination::closeOnRequest(&panel);
    const QString desktopProblem = Module1::ConnectDesktop(panel.hWnd());
    if (!desktopProblem.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(desktopProblem));
    panel.show();
    if (!start.page.isEmpty())
        QTimer::singleShot(0, &panel, [&panel, page = start.page] { panel.showPage(page); });
    return app.exec();
}
