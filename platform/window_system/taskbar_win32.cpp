// The Windows way: the taskbar and Alt+Tab leave out a window that has an owner. The
// owner is a window of our own that is never shown, so nothing else follows from it:
// an owned window always stays above its owner, which would tie the page window to
// the panel if the panel owned it. The extended style (WS_EX_TOOLWINDOW) would also
// do, but the program writes that word whole and its values must stay as written.
// Qt sets a window's owner from its transient parent each time it shows the window,
// and clears an owner given behind its back, so the owner is given that way.

#include "platform/window_system/taskbar.h"

#include <QWidget>
#include <QWindow>

namespace taskbar {

namespace {

QWindow *hiddenOwner()
{
    // It lives as long as the program: destroying an owner destroys what it owns.
    static QWindow *const owner = [] {
        auto *window = new QWindow;
        window->setTitle(QStringLiteral("Zorvane page owner"));
        window->create();
        return window;
    }();
    return owner;
}

} // namespace

void keepOff(QWidget *window)
{
    if (!window || !window->isWindow())
        return;
    window->winId();  // the native window exists from here on
    if (QWindow *handle = window->windowHandle())
        handle->setTransientParent(hiddenOwner());
}

void ownDialog(QWidget *dialog, QWidget *owner)
{
    if (!dialog || !owner)
        return;
    dialog->winId();
    owner->winId();
    if (QWindow *handle = dialog->windowHandle())
        handle->setTransientParent(owner->windowHandle());
}

} // namespace taskbar
