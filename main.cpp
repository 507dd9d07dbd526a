// Zorvane: shows scanned pages above the typist's programs, one at a time.

#include "panel/command_line.h"
#include "panel/form1.h"
#include "platform/termination.h"
#include "platform/window_system.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Read before the display is opened: --help and --version need none.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.exitNow) {
        std::fputs(qPrintable(commandLine.message), commandLine.exitStatus == 0 ? stdout : stderr);
        return commandLine.exitStatus;
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

    Form1 panel;
    termination::closeOnRequest(&panel);
    panel.show();
    return app.exec();
}
