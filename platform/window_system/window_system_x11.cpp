// The X11 part of the window-system layer: input pass-through as an empty input
// shape, and the check for a usable display; the hotkeys are in hotkeys_x11.cpp.
// Under a platform without an X connection (offscreen) every call succeeds
// without effect.

#include "platform/window_system/window_system_p.h"
#include "platform/window_system/x11_p.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace ws::native {

xcb_connection_t *x11Connection()
{
    auto *app = qGuiApp;
    if (!app)
        return nullptr;
    auto *x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    // The offscreen platform answers with an interface but no connection.
    return x11 ? x11->connection() : nullptr;
}

namespace {

bool hasShape(xcb_connection_t *c)
{
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_shape_id);
    return ext && ext->present;
}

} // namespace

void setInputPassThrough(QWidget *window, bool on)
{
    xcb_connection_t *c = x11Connection();
    if (!window || !c || !hasShape(c))
        return;
    // Not QWidget::winId(): Qt makes a new X window on the first show after the
    // stays-on-top flag changed, and only the QWindow knows its id.
    QWindow *handle = window->windowHandle();
    const auto id = xcb_window_t(handle ? handle->winId() : window->winId());
    if (on) {
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                             XCB_CLIP_ORDERING_UNSORTED, id, 0, 0, 0, nullptr);
    } else {
        xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, id, 0, 0, XCB_NONE);
    }
    // Called from timers and handlers too, where nothing else would send it soon.
    xcb_flush(c);
}

// Qt flushes its connection to the X server with each repaint.
void presentPainting() {}

bool programHasKeyboard()
{
    xcb_connection_t *c = x11Connection();
    if (!c)
        return QGuiApplication::focusWindow() != nullptr;
    const XcbPtr<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!reply)
        return QGuiApplication::focusWindow() != nullptr;
    for (const QWindow *window : QGuiApplication::allWindows()) {
        if (window->handle() && xcb_window_t(window->winId()) == reply->focus)
            return true;
    }
    return false;
}

void repeatPlacement(QWidget *window)
{
    xcb_connection_t *c = x11Connection();
    QWindow *handle = window ? window->windowHandle() : nullptr;
    // Scaled, Qt's place in the X server's pixels is its own to work out: the window's
    // next move event sets it right instead.
    if (!c || !handle || !window->isVisible() || handle->devicePixelRatio() != 1.0)
        return;
    const QRect placed = window->geometry();
    const uint32_t values[] = {uint32_t(placed.x()), uint32_t(placed.y()), uint32_t(placed.width()),
                               uint32_t(placed.height())};
    xcb_configure_window(c, xcb_window_t(handle->winId()),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH
                             | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(c);
}

QString displayProblem()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM").trimmed();
    if (!platform.isEmpty()) {
        const QByteArray first = platform.split(';').constFirst().split(':').constFirst();
        if (first.trimmed() != "xcb")
            return {}; // offscreen and the like need no display
    } else {
        // Qt would choose its Wayland platform on a Wayland desktop, where the page
        // window's click-through, opacity, stacking and the hotkeys all do nothing.
        // Through Xwayland they work; a platform the user set is left alone.
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    const QString need = QStringLiteral(
        "Zorvane needs an X11 display (on a Wayland desktop: Xwayland); start it from a "
        "desktop session or under Xvfb.");
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            return QStringLiteral("zorvane: cannot open the X display: DISPLAY is not set, and "
                                  "this Wayland desktop offers no Xwayland. Zorvane needs an X11 "
                                  "display: turn Xwayland on in the desktop's settings (sway: "
                                  "\"xwayland enable\").");
        }
        return QStringLiteral("zorvane: cannot open the X display: DISPLAY is not set. ") + need;
    }
    xcb_connection_t *c = xcb_connect(display.constData(), nullptr);
    const int error = xcb_connection_has_error(c);
    xcb_disconnect(c);
    if (error) {
        return QStringLiteral("zorvane: cannot open the X display \"%1\" (DISPLAY). ")
                   .arg(QString::fromLocal8Bit(display))
            + need;
    }
    return {};
}

} // namespace ws::native
