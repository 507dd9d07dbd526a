// Zorvane: shows scanned pages above the typist's programs, one at a time.

#include "panel/form1.h"
#include "platform/termination.h"
#include "platform/window_system.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Without a display the toolkit would abort; say what is wrong instead.
    const QString problem = ws::displayProblem();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvane"));

    Form1 panel;
    termination::closeOnRequest(&panel);
    panel.show();
    return app.exec();
}
