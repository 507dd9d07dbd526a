// The shared part of the window-system layer: which windows exist, their style
// words, alphas, procedures and message queue, and the effects Qt itself can carry
// out (opacity, stacking, showing). Input pass-through and global hotkeys are asked
// of the OS part through window_system_p.h.

#include "platform/window_system/window_system.h"
#include "platform/window_system/window_system_p.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace ws {
namespace {

struct Record {
    QPointer<QWidget> widget;
    LONG exStyle = 0;
    BYTE alpha = 255;
    bool topmost = false;
    bool clickThrough = false;
    // The window manager keeps its own copy of the input shape, taken when it maps
    // the window: after each show the pass-through is set again once mapped.
    bool reapplyOnExpose = false;
    LONG_PTR proc = reinterpret_cast<LONG_PTR>(&DefWindowProcA);
};

struct HotKey {
    HWND hwnd;
    int id;
    UINT modifiers;
    UINT vk;
};

class MessageEvent : public QEvent
{
public:
    static QEvent::Type eventType()
    {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }

    MessageEvent(HWND h, UINT m, WPARAM w, LPARAM l)
        : QEvent(eventType()), hwnd(h), msg(m), wParam(w), lParam(l)
    {
    }

    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Receives the posted messages (so any running event loop, a message box's
// included, delivers them) and watches the windows' show and expose events.
class Dispatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
};

struct State {
    QHash<HWND, Record> windows;
    std::vector<HotKey> hotKeys;
    QString lastHotKeyError;
    QPointer<Dispatcher> dispatcher;
};

State &state()
{
    static State s;
    return s;
}

Dispatcher *dispatcher()
{
    State &s = state();
    if (!s.dispatcher && QCoreApplication::instance())
        s.dispatcher = new Dispatcher(QCoreApplication::instance());
    return s.dispatcher;
}

Record *find(HWND hwnd)
{
    State &s = state();
    auto it = s.windows.find(hwnd);
    if (it == s.windows.end())
        return nullptr;
    if (it->widget.isNull()) {
        s.windows.erase(it);
        return nullptr;
    }
    return &*it;
}

void dropHotKeysOf(HWND hwnd)
{
    auto &keys = state().hotKeys;
    for (auto it = keys.begin(); it != keys.end();) {
        if (it->hwnd == hwnd) {
            native::ungrabHotKey(it->modifiers, it->vk);
            it = keys.erase(it);
        } else {
            ++it;
        }
    }
}

// The window's record is gone with the widget; its hotkeys end with it too.
void forget(HWND hwnd, const QObject *gone)
{
    State &s = state();
    auto it = s.windows.find(hwnd);
    if (it != s.windows.end() && (it->widget.isNull() || it->widget.data() == gone))
        s.windows.erase(it);
    if (!s.windows.contains(hwnd))
        dropHotKeysOf(hwnd);
}

void applyEffects(Record &rec)
{
    const bool layered = rec.exStyle & WS_EX_LAYERED;
    const bool clickThrough = layered && (rec.exStyle & WS_EX_TRANSPARENT);
    if (clickThrough != rec.clickThrough) {
        rec.clickThrough = clickThrough;
        native::setInputPassThrough(rec.widget, clickThrough);
    }
    rec.widget->setWindowOpacity(layered ? rec.alpha / 255.0 : 1.0);
}

void setTopmost(Record &rec, bool on)
{
    rec.topmost = on;
    // Only the QWindow's flag: changing the widget's flags would recreate the
    // native window behind a handle that must stay the same.
    if (QWindow *window = rec.widget->windowHandle())
        window->setFlag(Qt::WindowStaysOnTopHint, on);
}

bool Dispatcher::event(QEvent *e)
{
    if (e->type() != MessageEvent::eventType())
        return QObject::event(e);
    auto *m = static_cast<MessageEvent *>(e);
    if (Record *rec = find(m->hwnd))
        CallWindowProcA(rec->proc, m->hwnd, m->msg, m->wParam, m->lParam);
    return true;
}

bool Dispatcher::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() != QEvent::Show && e->type() != QEvent::Expose)
        return false;
    auto *window = qobject_cast<QWindow *>(watched);
    if (!window)
        return false;
    for (Record &rec : state().windows) {
        if (rec.widget.isNull() || rec.widget->windowHandle() != window)
            continue;
        if (e->type() == QEvent::Show) {
            rec.reapplyOnExpose = true;
        } else if (rec.reapplyOnExpose && window->isExposed()) {
            rec.reapplyOnExpose = false;
            if (rec.clickThrough)
                native::setInputPassThrough(rec.widget, true);
        }
        break;
    }
    return false;
}

} // namespace

HWND windowHandle(QWidget *widget)
{
    if (!widget)
        return 0;
    const HWND hwnd = HWND(widget->winId());
    State &s = state();
    auto it = s.windows.find(hwnd);
    if (it != s.windows.end() && it->widget == widget)
        return hwnd;

    // A native id can be reused once its first window is gone.
    if (it != s.windows.end())
        forget(hwnd, it->widget.data());
    Record rec;
    rec.widget = widget;
    s.windows.insert(hwnd, rec);
    if (Dispatcher *d = dispatcher()) {
        QObject::connect(widget, &QObject::destroyed, d, [hwnd](QObject *gone) { forget(hwnd, gone); });
        if (QWindow *window = widget->windowHandle())
            window->installEventFilter(d);
    }
    return hwnd;
}

QWidget *widgetOf(HWND hwnd)
{
    Record *rec = find(hwnd);
    return rec ? rec->widget.data() : nullptr;
}

LONG_PTR GetWindowLongA(HWND hwnd, int index)
{
    Record *rec = find(hwnd);
    if (!rec)
        return 0;
    switch (index) {
    case GWL_EXSTYLE:
        return rec->exStyle | (rec->topmost ? WS_EX_TOPMOST : 0);
    case GWL_WNDPROC:
        return rec->proc;
    default:
        return 0;
    }
}

LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value)
{
    Record *rec = find(hwnd);
    if (!rec)
        return 0;
    const LONG_PTR previous = GetWindowLongA(hwnd, index);
    switch (index) {
    case GWL_EXSTYLE:
        // The topmost marker follows SetWindowPos alone.
        rec->exStyle = LONG(value) & ~WS_EX_TOPMOST;
        applyEffects(*rec);
        return previous;
    case GWL_WNDPROC:
        rec->proc = value;
        return previous;
    default:
        return 0;
    }
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    Record *rec = find(hwnd);
    if (!rec)
        return 0;
    QPointer<QWidget> widget = rec->widget;
    const bool reorder = !(flags & SWP_NOZORDER);
    if (reorder && insertAfter == HWND_TOPMOST && !rec->topmost)
        setTopmost(*rec, true);
    else if (reorder && insertAfter == HWND_NOTOPMOST && rec->topmost)
        setTopmost(*rec, false);

    if (!(flags & SWP_NOMOVE))
        widget->move(x, y);
    if (!(flags & SWP_NOSIZE))
        widget->resize(qMax(0, cx), qMax(0, cy));
    if ((flags & SWP_SHOWWINDOW) && !widget->isVisible())
        widget->show();
    else if ((flags & SWP_HIDEWINDOW) && widget->isVisible())
        widget->hide();
    // A show can run code that deletes the window.
    if (widget && reorder && widget->isVisible())
        widget->raise();
    return 1;
}

BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags)
{
    Q_UNUSED(key); // colour keys are not used by this program
    Record *rec = find(hwnd);
    if (!rec || !(rec->exStyle & WS_EX_LAYERED))
        return 0;
    rec->alpha = (flags & LWA_ALPHA) ? alpha : 255;
    applyEffects(*rec);
    return 1;
}

BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk)
{
    State &s = state();
    const QString name = detail::hotKeyName(modifiers, vk);
    const auto fail = [&s](const QString &why) {
        s.lastHotKeyError = why;
        return 0;
    };
    if (!find(hwnd))
        return fail(QStringLiteral("The hotkey %1 cannot be registered: its window does not exist.")
                        .arg(name));
    const bool letterOrDigit = (vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9');
    if (!letterOrDigit || (modifiers & ~(MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN)))
        return fail(QStringLiteral("The hotkey %1 cannot be registered: only letters and digits "
                                   "with Ctrl, Alt, Shift and Super are supported.")
                        .arg(name));
    for (const HotKey &k : s.hotKeys) {
        if (k.hwnd == hwnd && k.id == id)
            return fail(QStringLiteral("The hotkey %1 cannot be registered: id %2 is already "
                                       "registered on this window.")
                            .arg(name)
                            .arg(id));
        if (k.modifiers == modifiers && k.vk == vk)
            return fail(QStringLiteral("The hotkey %1 is already registered by this program.")
                            .arg(name));
    }
    QString error;
    if (!native::grabHotKey(modifiers, vk, &error))
        return fail(error);
    s.hotKeys.push_back({hwnd, id, modifiers, vk});
    s.lastHotKeyError.clear();
    return 1;
}

BOOL UnregisterHotKey(HWND hwnd, int id)
{
    auto &keys = state().hotKeys;
    const auto it = std::find_if(keys.begin(), keys.end(), [&](const HotKey &k) {
        return k.hwnd == hwnd && k.id == id;
    });
    if (it == keys.end())
        return 0;
    native::ungrabHotKey(it->modifiers, it->vk);
    keys.erase(it);
    return 1;
}

LRESULT CallWindowProcA(LONG_PTR proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!proc)
        return 0;
    return reinterpret_cast<WNDPROC>(proc)(hwnd, msg, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Dispatcher *d = dispatcher();
    if (!d || !find(hwnd))
        return 0;
    QCoreApplication::postEvent(d, new MessageEvent(hwnd, msg, wParam, lParam));
    return 1;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

BYTE layeredAlpha(HWND hwnd)
{
    Record *rec = find(hwnd);
    return rec ? rec->alpha : 0;
}

bool isTopmost(HWND hwnd)
{
    Record *rec = find(hwnd);
    return rec && rec->topmost;
}

bool isClickThrough(HWND hwnd)
{
    Record *rec = find(hwnd);
    return rec && rec->clickThrough;
}

QString lastHotKeyError()
{
    return state().lastHotKeyError;
}

void presentPainting()
{
    native::presentPainting();
}

void repeatPlacement(QWidget *window)
{
    native::repeatPlacement(window);
}

bool programHasKeyboard()
{
    return native::programHasKeyboard();
}

QString displayProblem()
{
    return native::displayProblem();
}

namespace detail {

void hotKeyPressed(UINT modifiers, UINT vk)
{
    for (const HotKey &k : state().hotKeys) {
        if (k.modifiers == modifiers && k.vk == vk) {
            PostMessageA(k.hwnd, WM_HOTKEY, WPARAM(k.id), LPARAM((vk << 16) | modifiers));
            return;
        }
    }
}

} // namespace detail

} // namespace ws
