// On Windows the request to end comes as the end of the desktop session: the panel
// is closed while WM_ENDSESSION is handled, because the process ends as soon as
// every window has answered it.

#include "platform/termination.h"

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
        // Every top-level window receives the message: close once.
        if (msg->message == WM_ENDSESSION && msg->wParam && !m_closed) {
            m_closed = true;
            if (m_window)
                m_window->close();
        }
        return false;
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

} // namespace termination
