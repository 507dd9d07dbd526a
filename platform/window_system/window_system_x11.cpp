// The X11 part of the window-system layer: input pass-through as an empty input
// shape, global hotkeys as passive key grabs on the root window, and the check for
// a usable display. Under a platform without an X connection (offscreen) every
// call succeeds without effect.

#include "platform/window_system/window_system_p.h"
#include "platform/window_system/xcb_ptr_p.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace ws::native {
namespace {

constexpr xcb_keysym_t NumLockKeysym = 0xff7f;
constexpr uint8_t BadAccess = 10;
constexpr uint16_t RelevantModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

xcb_connection_t *connection()
{
    auto *app = qGuiApp;
    if (!app)
        return nullptr;
    auto *x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    // The offscreen platform answers with an interface but no connection.
    return x11 ? x11->connection() : nullptr;
}

std::vector<xcb_window_t> roots(xcb_connection_t *c)
{
    std::vector<xcb_window_t> result;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
        result.push_back(it.data->root);
    return result;
}

uint16_t modifierMask(UINT modifiers)
{
    uint16_t mask = 0;
    if (modifiers & MOD_SHIFT)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & MOD_CONTROL)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & MOD_ALT)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & MOD_WIN)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

// Keycodes of the US layout on evdev servers, for keyboards whose layout has no
// Latin letters (Thai alone): the keys typists press are still these.
xcb_keycode_t usKeycode(UINT vk)
{
    static const char letters[] = "qwertyuiop" "asdfghjkl" "zxcvbnm";
    static const int letterCodes[] = {24, 25, 26, 27, 28, 29, 30, 31, 32, 33,
                                      38, 39, 40, 41, 42, 43, 44, 45, 46,
                                      52, 53, 54, 55, 56, 57, 58};
    if (vk >= '1' && vk <= '9')
        return xcb_keycode_t(10 + (vk - '1'));
    if (vk == '0')
        return 19;
    if (vk >= 'A' && vk <= 'Z') {
        const char *p = std::strchr(letters, char(vk - 'A' + 'a'));
        if (p)
            return xcb_keycode_t(letterCodes[p - letters]);
    }
    return 0;
}

class Hotkeys;
Hotkeys *g_hotkeys = nullptr;

struct Grab {
    UINT modifiers;
    UINT vk;
    std::vector<xcb_keycode_t> keycodes;
    // What was grabbed, so that exactly that is released again.
    std::vector<std::pair<xcb_keycode_t, uint16_t>> grabbed;
};

class Hotkeys : public QAbstractNativeEventFilter
{
public:
    explicit Hotkeys(xcb_connection_t *c) : m_conn(c)
    {
        XcbPtr<xcb_query_extension_reply_t> xkb(xcb_query_extension_reply(
            c, xcb_query_extension(c, 9, "XKEYBOARD"), nullptr));
        if (xkb && xkb->present)
            m_xkbEventBase = xkb->first_event;
        refreshKeyboard();
    }

    ~Hotkeys() override
    {
        if (m_symbols)
            xcb_key_symbols_free(m_symbols);
    }

    xcb_connection_t *conn() const { return m_conn; }

    bool grab(UINT modifiers, UINT vk, QString *error)
    {
        Grab g{modifiers, vk, keycodesFor(vk), {}};
        if (g.keycodes.empty()) {
            *error = QStringLiteral("The hotkey %1 cannot be registered: the keyboard has no "
                                    "key for %2.")
                         .arg(detail::hotKeyName(modifiers, vk), QChar(char16_t(vk)));
            return false;
        }
        const uint8_t code = grabKeys(g);
        if (code) {
            *error = code == BadAccess
                ? QStringLiteral("The hotkey %1 cannot be registered: another program "
                                 "holds it.")
                      .arg(detail::hotKeyName(modifiers, vk))
                : QStringLiteral("The hotkey %1 cannot be registered: the X server refused "
                                 "it (error %2).")
                      .arg(detail::hotKeyName(modifiers, vk))
                      .arg(code);
            return false;
        }
        m_grabs.push_back(std::move(g));
        return true;
    }

    void ungrab(UINT modifiers, UINT vk)
    {
        const auto it = std::find_if(m_grabs.begin(), m_grabs.end(), [&](const Grab &g) {
            return g.modifiers == modifiers && g.vk == vk;
        });
        if (it == m_grabs.end())
            return;
        releaseKeys(*it);
        m_grabs.erase(it);
        xcb_flush(m_conn);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const uint8_t type = event->response_type & 0x7f;
        switch (type) {
        case XCB_KEY_PRESS: {
            const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
            const uint16_t state = key->state & RelevantModifiers;
            for (const Grab &g : m_grabs) {
                if (state == modifierMask(g.modifiers) && contains(g.keycodes, key->detail)) {
                    detail::hotKeyPressed(g.modifiers, g.vk);
                    return true;
                }
            }
            return false;
        }
        case XCB_KEY_RELEASE: {
            // The release of a grabbed press arrives on the root window: nobody
            // else has seen the press, so nobody gets the release either.
            const auto *key = reinterpret_cast<const xcb_key_release_event_t *>(event);
            if (key->event != key->root)
                return false;
            return std::any_of(m_grabs.begin(), m_grabs.end(), [&](const Grab &g) {
                return contains(g.keycodes, key->detail);
            });
        }
        case XCB_MAPPING_NOTIFY:
            scheduleRegrab();
            return false;
        default:
            // XKB's new-keyboard (0) and map (1) notifications: a layout switch that
            // may move the keys or the NumLock modifier.
            if (m_xkbEventBase && type == m_xkbEventBase) {
                const uint8_t xkbType = reinterpret_cast<const uint8_t *>(event)[1];
                if (xkbType == 0 || xkbType == 1)
                    scheduleRegrab();
            }
            return false;
        }
    }

private:
    static bool contains(const std::vector<xcb_keycode_t> &codes, xcb_keycode_t code)
    {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }

    void refreshKeyboard()
    {
        if (m_symbols)
            xcb_key_symbols_free(m_symbols);
        m_symbols = xcb_key_symbols_alloc(m_conn);
        m_numLockMask = 0;
        if (!m_symbols)
            return;
        XcbPtr<xcb_keycode_t> numLock(xcb_key_symbols_get_keycode(m_symbols, NumLockKeysym));
        XcbPtr<xcb_get_modifier_mapping_reply_t> map(xcb_get_modifier_mapping_reply(
            m_conn, xcb_get_modifier_mapping(m_conn), nullptr));
        if (!numLock || !map)
            return;
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(map.get());
        const int perModifier = map->keycodes_per_modifier;
        for (int mod = 0; mod < 8 && !m_numLockMask; ++mod) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[mod * perModifier + i];
                for (const xcb_keycode_t *n = numLock.get(); code && *n != XCB_NO_SYMBOL; ++n) {
                    if (*n == code)
                        m_numLockMask = uint16_t(1u << mod);
                }
            }
        }
    }

    std::vector<xcb_keycode_t> keycodesFor(UINT vk) const
    {
        std::vector<xcb_keycode_t> result;
        const xcb_keysym_t keysym = (vk >= 'A' && vk <= 'Z') ? vk - 'A' + 'a' : vk;
        if (m_symbols) {
            XcbPtr<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(m_symbols, keysym));
            for (const xcb_keycode_t *p = codes.get(); p && *p != XCB_NO_SYMBOL; ++p) {
                if (!contains(result, *p))
                    result.push_back(*p);
            }
        }
        if (result.empty()) {
            if (const xcb_keycode_t code = usKeycode(vk))
                result.push_back(code);
        }
        return result;
    }

    std::vector<uint16_t> lockVariants() const
    {
        std::vector<uint16_t> variants{0, XCB_MOD_MASK_LOCK};
        if (m_numLockMask && m_numLockMask != XCB_MOD_MASK_LOCK) {
            variants.push_back(m_numLockMask);
            variants.push_back(uint16_t(m_numLockMask | XCB_MOD_MASK_LOCK));
        }
        return variants;
    }

    // Grabs every keycode of `g` with its modifiers and each Lock/NumLock state.
    // Returns 0, or the X error code after undoing what this call had grabbed.
    uint8_t grabKeys(Grab &g)
    {
        struct Pending {
            xcb_window_t root;
            xcb_keycode_t code;
            uint16_t mask;
            xcb_void_cookie_t cookie;
        };
        std::vector<Pending> pending;
        const uint16_t base = modifierMask(g.modifiers);
        const std::vector<xcb_window_t> rootWindows = roots(m_conn);
        for (xcb_window_t root : rootWindows) {
            for (xcb_keycode_t code : g.keycodes) {
                for (uint16_t extra : lockVariants()) {
                    const uint16_t mask = base | extra;
                    // owner_events off: the press goes to the root window even
                    // while one of our own windows has the focus.
                    pending.push_back({root, code, mask,
                                       xcb_grab_key_checked(m_conn, 0, root, mask, code,
                                                            XCB_GRAB_MODE_ASYNC,
                                                            XCB_GRAB_MODE_ASYNC)});
                }
            }
        }
        uint8_t failure = 0;
        std::vector<Pending> done;
        for (const Pending &p : pending) {
            XcbPtr<xcb_generic_error_t> error(xcb_request_check(m_conn, p.cookie));
            if (error) {
                if (!failure || error->error_code == BadAccess)
                    failure = error->error_code;
            } else {
                done.push_back(p);
            }
        }
        if (failure) {
            for (const Pending &p : done)
                xcb_ungrab_key(m_conn, p.code, p.root, p.mask);
            xcb_flush(m_conn);
            return failure;
        }
        g.grabbed.clear();
        for (const Pending &p : done)
            g.grabbed.emplace_back(p.code, p.mask);
        return 0;
    }

    void releaseKeys(Grab &g)
    {
        const std::vector<xcb_window_t> rootWindows = roots(m_conn);
        for (xcb_window_t root : rootWindows) {
            for (const auto &[code, mask] : g.grabbed)
                xcb_ungrab_key(m_conn, code, root, mask);
        }
        g.grabbed.clear();
    }

    // A layout switch sends several notifications at once: re-grab once after them.
    void scheduleRegrab()
    {
        if (m_regrabQueued)
            return;
        m_regrabQueued = true;
        QTimer::singleShot(0, QCoreApplication::instance(), [] {
            if (g_hotkeys)
                g_hotkeys->regrabAll();
        });
    }

    void regrabAll()
    {
        m_regrabQueued = false;
        refreshKeyboard();
        for (Grab &g : m_grabs) {
            releaseKeys(g);
            g.keycodes = keycodesFor(g.vk);
            // A combination another program took meanwhile stays ungrabbed until
            // the next change: nothing better can be done from here.
            grabKeys(g);
        }
        xcb_flush(m_conn);
    }

    xcb_connection_t *m_conn;
    xcb_key_symbols_t *m_symbols = nullptr;
    uint16_t m_numLockMask = 0;
    uint8_t m_xkbEventBase = 0;
    bool m_regrabQueued = false;
    std::vector<Grab> m_grabs;
};

void dropHotkeys()
{
    if (!g_hotkeys)
        return;
    if (auto *app = QCoreApplication::instance())
        app->removeNativeEventFilter(g_hotkeys);
    delete g_hotkeys;
    g_hotkeys = nullptr;
}

Hotkeys *hotkeys(xcb_connection_t *c)
{
    if (g_hotkeys && g_hotkeys->conn() != c)
        dropHotkeys();
    if (!g_hotkeys) {
        g_hotkeys = new Hotkeys(c);
        QCoreApplication::instance()->installNativeEventFilter(g_hotkeys);
        // Post routines run while the X connection still exists.
        qAddPostRoutine(dropHotkeys);
    }
    return g_hotkeys;
}

bool hasShape(xcb_connection_t *c)
{
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_shape_id);
    return ext && ext->present;
}

} // namespace

void setInputPassThrough(QWidget *window, bool on)
{
    xcb_connection_t *c = connection();
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

bool grabHotKey(UINT modifiers, UINT vk, QString *error)
{
    xcb_connection_t *c = connection();
    if (!c)
        return true; // nothing can be pressed without a display
    return hotkeys(c)->grab(modifiers, vk, error);
}

void ungrabHotKey(UINT modifiers, UINT vk)
{
    xcb_connection_t *c = connection();
    if (c && g_hotkeys && g_hotkeys->conn() == c)
        g_hotkeys->ungrab(modifiers, vk);
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
