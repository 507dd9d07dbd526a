// The Windows window-system layer: every call is the real one, made on the windows'
// native handles (QWidget::winId() is the HWND). Three things are added to the plain
// calls, all so that the program behaves as its Linux build does:
//  - Qt keeps its own idea of a frameless window's layered style and resets the
//    style when it paints, so Qt is told the click-through and the opacity too;
//  - SetWindowPos never activates: the typist's program keeps the keyboard focus;
//  - telling Qt a style moves none of the program's windows in the z-order.
// The window procedure is set and called through the W functions: Qt's windows are
// Unicode windows, and an ANSI procedure would pass all their text messages through
// the system code page.

#include "platform/window_system/window_system.h"
#include "platform/window_system/window_system_p.h"

#include <QWidget>
#include <QWindow>

#include <vector>

// After the interface header: windows.h defines its constants (WS_EX_LAYERED,
// WM_HOTKEY ...) as macros, which would break the header's own constants.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// Qt applies a change of a window's flags with SetWindowPos, which puts a window that
// stays on top at the top of the z-order again; the style call it stands in for moves
// no window. The program's own windows that were above it (the panel, and the help
// window and message boxes it owns, put there after the page window was raised) are
// put back above it, lowest first, each raised to the top: a window merely moved down
// would come back up under Wine, which takes its order from X and its X window was raised.
class KeepOwnWindowsAbove
{
public:
    explicit KeepOwnWindowsAbove(HWND hwnd)
        : m_hwnd(hwnd)
        , m_next(::GetWindow(hwnd, GW_HWNDPREV))
    {
        const DWORD self = ::GetCurrentProcessId();
        for (HWND above = m_next; above; above = ::GetWindow(above, GW_HWNDPREV)) {
            DWORD process = 0;
            ::GetWindowThreadProcessId(above, &process);
            if (process == self && ::IsWindowVisible(above))
                m_above.push_back(above);
        }
    }
    ~KeepOwnWindowsAbove()
    {
        if (::GetWindow(m_hwnd, GW_HWNDPREV) == m_next)
            return;
        for (HWND above : m_above) {
            if (!::IsWindow(above))
                continue;
            const bool topmost = ::GetWindowLongW(above, GWL_EXSTYLE) & WS_EX_TOPMOST;
            ::SetWindowPos(above, topmost ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        }
    }
    KeepOwnWindowsAbove(const KeepOwnWindowsAbove &) = delete;
    KeepOwnWindowsAbove &operator=(const KeepOwnWindowsAbove &) = delete;

private:
    const HWND m_hwnd;
    const HWND m_next;  // the window just above it; null: it was the top window
    std::vector<HWND> m_above;  // the program's, from just above it to the top
};

} // namespace

namespace ws {
namespace {

QString g_lastHotKeyError;

::HWND toNative(HWND hwnd)
{
    return reinterpret_cast<::HWND>(hwnd);
}

bool exists(HWND hwnd)
{
    return hwnd && ::IsWindow(toNative(hwnd));
}

LONG exStyle(HWND hwnd)
{
    return LONG(::GetWindowLongA(toNative(hwnd), GWL_EXSTYLE));
}

} // namespace

HWND windowHandle(QWidget *widget)
{
    return widget ? HWND(widget->winId()) : 0;
}

QWidget *widgetOf(HWND hwnd)
{
    return exists(hwnd) ? QWidget::find(WId(hwnd)) : nullptr;
}

LONG_PTR GetWindowLongA(HWND hwnd, int index)
{
    if (!exists(hwnd))
        return 0;
    if (index == GWLP_WNDPROC)
        return ::GetWindowLongPtrW(toNative(hwnd), GWLP_WNDPROC);
    return ::GetWindowLongA(toNative(hwnd), index);
}

LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value)
{
    if (!exists(hwnd))
        return 0;
    if (index == GWLP_WNDPROC)
        return ::SetWindowLongPtrW(toNative(hwnd), GWLP_WNDPROC, value);
    if (index != GWL_EXSTYLE)
        return ::SetWindowLongA(toNative(hwnd), index, ::LONG(value));

    const LONG previous = exStyle(hwnd);
    if (QWidget *widget = QWidget::find(WId(hwnd))) {
        const KeepOwnWindowsAbove keep(toNative(hwnd));
        const bool layered = value & WS_EX_LAYERED;
        const bool clickThrough = layered && (value & WS_EX_TRANSPARENT);
        // Qt's flags first: applying them rewrites the style word, which the real
        // call below then sets to exactly what was asked.
        if (QWindow *window = widget->windowHandle()) {
            if (window->flags().testFlag(Qt::WindowTransparentForInput) != clickThrough)
                window->setFlag(Qt::WindowTransparentForInput, clickThrough);
        }
        if (!layered)
            widget->setWindowOpacity(1.0);
    }
    ::SetWindowLongA(toNative(hwnd), GWL_EXSTYLE, ::LONG(value));
    return previous;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    if (!exists(hwnd))
        return 0;
    // Showing and hiding go through Qt, which paints only windows it knows are shown.
    if (QWidget *widget = QWidget::find(WId(hwnd))) {
        if ((flags & SWP_SHOWWINDOW) && !widget->isVisible())
            widget->show();
        else if ((flags & SWP_HIDEWINDOW) && widget->isVisible())
            widget->hide();
        flags &= ~(SWP_SHOWWINDOW | SWP_HIDEWINDOW);
    }
    return ::SetWindowPos(toNative(hwnd), toNative(insertAfter), x, y, cx, cy,
                          flags | SWP_NOACTIVATE);
}

BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags)
{
    if (!exists(hwnd) || !(exStyle(hwnd) & WS_EX_LAYERED))
        return 0;
    // Qt keeps a frameless window layered only while its opacity is below 1.
    if (QWidget *widget = QWidget::find(WId(hwnd)))
        widget->setWindowOpacity((flags & LWA_ALPHA) ? alpha / 255.0 : 1.0);
    return ::SetLayeredWindowAttributes(toNative(hwnd), key, alpha, flags);
}

BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk)
{
    if (::RegisterHotKey(toNative(hwnd), id, modifiers, vk)) {
        g_lastHotKeyError.clear();
        return 1;
    }
    const DWORD error = ::GetLastError();
    const QString name = detail::hotKeyName(modifiers, vk);
    switch (error) {
    case ERROR_HOTKEY_ALREADY_REGISTERED:
        g_lastHotKeyError =
            QStringLiteral("The hotkey %1 cannot be registered: another program holds it.").arg(name);
        break;
    case ERROR_INVALID_WINDOW_HANDLE:
        g_lastHotKeyError =
            QStringLiteral("The hotkey %1 cannot be registered: its window does not exist.").arg(name);
        break;
    default:
        g_lastHotKeyError = QStringLiteral("The hotkey %1 cannot be registered: Windows refused it "
                                           "(error %2).")
                                .arg(name)
                                .arg(error);
        break;
    }
    return 0;
}

BOOL UnregisterHotKey(HWND hwnd, int id)
{
    return ::UnregisterHotKey(toNative(hwnd), id);
}

LRESULT CallWindowProcA(LONG_PTR proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!proc)
        return 0;
    return ::CallWindowProcW(reinterpret_cast<::WNDPROC>(proc), toNative(hwnd), msg, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return exists(hwnd) && ::PostMessageA(toNative(hwnd), msg, wParam, lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(toNative(hwnd), msg, wParam, lParam);
}

BYTE layeredAlpha(HWND hwnd)
{
    if (!exists(hwnd))
        return 0;
    ::BYTE alpha = 255;
    ::DWORD flags = 0;
    if (!(exStyle(hwnd) & WS_EX_LAYERED)
        || !::GetLayeredWindowAttributes(toNative(hwnd), nullptr, &alpha, &flags)
        || !(flags & LWA_ALPHA))
        return 255;
    return alpha;
}

bool isTopmost(HWND hwnd)
{
    return exists(hwnd) && (exStyle(hwnd) & WS_EX_TOPMOST);
}

bool isClickThrough(HWND hwnd)
{
    const LONG style = exists(hwnd) ? exStyle(hwnd) : 0;
    return (style & WS_EX_LAYERED) && (style & WS_EX_TRANSPARENT);
}

QString lastHotKeyError()
{
    return g_lastHotKeyError;
}

// Windows keeps a window where the program puts it.
void repeatPlacement(QWidget *) {}

bool programHasKeyboard()
{
    const ::HWND foreground = ::GetForegroundWindow();
    ::DWORD process = 0;
    if (foreground)
        ::GetWindowThreadProcessId(foreground, &process);
    return foreground && process == ::GetCurrentProcessId();
}

void presentPainting()
{
    // A wait that returns at once: on Windows nothing, under Wine the moment it sends
    // the painted pixels to the X server.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// A Windows session always has its desktop.
QString displayProblem()
{
    return {};
}

} // namespace ws
