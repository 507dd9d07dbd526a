#include "platform/window_system/termination.h"

#include <QCoreApplication>
#include <QWidget>

namespace termination {

namespace {

bool endRequested = false;

} // namespace

bool requested()
{
    return endRequested;
}

void endOnRequest(QWidget *window)
{
    endRequested = true;
    // A close already under way (one waiting in its own message box) is not run twice.
    if (window)
        window->close();
    // Ends every running loop, the boxes' too; a box opened after this returns at once.
    QCoreApplication::exit(0);
}

} // namespace termination
