// On Windows the request to end comes as the end of the desktop session: the panel
// is closed while WM_ENDSESSION is handled, because the process ends as soon as
// every window has answered it.

#include "platform/window_system/termination.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace termination {

namespace {

class EndSessionFilter : public QAbstractNativeEventFilter
{
public:
    explicit EndSessionFilter(QWidget *window) : m_window(window) {}

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const auto *msg = static_cast<const MSG *>(message);
        if (msg->message == WM_QUERYENDSESSION) {
            // Nothing to ask the typist: the page name is saved at the end itself.
            *result = TRUE;
            return true;
        }
        if (msg->message != WM_ENDSESSION || !msg->wParam)
            return false;
        // Every top-level window receives the message: end once, the way a signal
        // does elsewhere. Qt's own handling is left out: it would run on a window that
        // the close has just taken apart.
        if (!m_closed) {
            m_closed = true;
            endOnRequest(m_window);
        }
        *result = 0;
        return true;
    }

private:
    QPointer<QWidget> m_window;
    bool m_closed = false;
};

} // namespace

void closeOnRequest(QWidget *window)
{
    auto *app = QCoreApplication::instance();
    if (!app || !window)
        return;
    auto *filter = new EndSessionFilter(window);
    app->installNativeEventFilter(filter);
    QObject::connect(app, &QObject::destroyed, [filter] { delete filter; });
}

void simulateRequest(QWidget *window)
{
    const auto hwnd = reinterpret_cast<HWND>(window->winId());
    if (SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF))
        SendMessageW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
}

} // namespace termination
