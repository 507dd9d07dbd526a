// Global hotkeys on X11: passive key grabs on the root window. Three parts:
//   KeyboardMap  which keycodes carry a key, and which modifier NumLock is;
//   KeyGrabs     a combination grabbed with every Lock/NumLock state, and released;
//   Hotkeys      the event filter: presses to the shared code, releases swallowed,
//                and a regrab when the keyboard mapping changes.

#include "platform/window_system/window_system_p.h"
#include "platform/window_system/x11_p.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QTimer>

#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace ws::native {
namespace {

constexpr xcb_keysym_t NumLockKeysym = 0xff7f;
constexpr uint8_t BadAccess = 10;
constexpr uint16_t RelevantModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

using Keycodes = std::vector<xcb_keycode_t>;

bool contains(const Keycodes &codes, xcb_keycode_t code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
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

// --- KeyboardMap -----------------------------------------------------------

class KeyboardMap
{
public:
    explicit KeyboardMap(xcb_connection_t *c) : m_conn(c) { refresh(); }
    ~KeyboardMap()
    {
        if (m_symbols)
            xcb_key_symbols_free(m_symbols);
    }
    KeyboardMap(const KeyboardMap &) = delete;
    KeyboardMap &operator=(const KeyboardMap &) = delete;

    // Reads the mapping again, after a layout switch.
    void refresh()
    {
        if (m_symbols)
            xcb_key_symbols_free(m_symbols);
        m_symbols = xcb_key_symbols_alloc(m_conn);
        m_numLockMask = m_symbols ? findNumLockMask() : 0;
    }

    Keycodes keycodesFor(UINT vk) const
    {
        Keycodes result;
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

    // The extra modifier states a press may carry while meaning the same combination.
    std::vector<uint16_t> lockVariants() const
    {
        std::vector<uint16_t> variants{0, XCB_MOD_MASK_LOCK};
        if (m_numLockMask && m_numLockMask != XCB_MOD_MASK_LOCK) {
            variants.push_back(m_numLockMask);
            variants.push_back(uint16_t(m_numLockMask | XCB_MOD_MASK_LOCK));
        }
        return variants;
    }

private:
    uint16_t findNumLockMask() const
    {
        XcbPtr<xcb_keycode_t> numLock(xcb_key_symbols_get_keycode(m_symbols, NumLockKeysym));
        XcbPtr<xcb_get_modifier_mapping_reply_t> map(xcb_get_modifier_mapping_reply(
            m_conn, xcb_get_modifier_mapping(m_conn), nullptr));
        if (!numLock || !map)
            return 0;
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(map.get());
        const int perModifier = map->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[mod * perModifier + i];
                for (const xcb_keycode_t *n = numLock.get(); code && *n != XCB_NO_SYMBOL; ++n) {
                    if (*n == code)
                        return uint16_t(1u << mod);
                }
            }
        }
        return 0;
    }

    xcb_connection_t *m_conn;
    xcb_key_symbols_t *m_symbols = nullptr;
    uint16_t m_numLockMask = 0;
};

// --- KeyGrabs --------------------------------------------------------------

struct Grab {
    UINT modifiers;
    UINT vk;
    Keycodes keycodes;
    // What was grabbed, so that exactly that is released again.
    std::vector<std::pair<xcb_keycode_t, uint16_t>> grabbed;
};

// Grabs every keycode of `g` with its modifiers and each Lock/NumLock state.
// Returns 0, or the X error code after undoing what this call had grabbed.
uint8_t grabKeys(xcb_connection_t *c, const KeyboardMap &map, Grab &g)
{
    struct Pending {
        xcb_window_t root;
        xcb_keycode_t code;
        uint16_t mask;
        xcb_void_cookie_t cookie;
    };
    std::vector<Pending> pending;
    const uint16_t base = modifierMask(g.modifiers);
    for (xcb_window_t root : roots(c)) {
        for (xcb_keycode_t code : g.keycodes) {
            for (uint16_t extra : map.lockVariants()) {
                const uint16_t mask = base | extra;
                // owner_events off: the press goes to the root window even while
                // one of our own windows has the focus.
                pending.push_back({root, code, mask,
                                   xcb_grab_key_checked(c, 0, root, mask, code,
                                                        XCB_GRAB_MODE_ASYNC,
                                                        XCB_GRAB_MODE_ASYNC)});
            }
        }
    }
    uint8_t failure = 0;
    std::vector<Pending> done;
    for (const Pending &p : pending) {
        XcbPtr<xcb_generic_error_t> error(xcb_request_check(c, p.cookie));
        if (error) {
            if (!failure || error->error_code == BadAccess)
                failure = error->error_code;
        } else {
            done.push_back(p);
        }
    }
    if (failure) {
        for (const Pending &p : done)
            xcb_ungrab_key(c, p.code, p.root, p.mask);
        xcb_flush(c);
        return failure;
    }
    g.grabbed.clear();
    for (const Pending &p : done)
        g.grabbed.emplace_back(p.code, p.mask);
    return 0;
}

void releaseKeys(xcb_connection_t *c, Grab &g)
{
    for (xcb_window_t root : roots(c)) {
        for (const auto &[code, mask] : g.grabbed)
            xcb_ungrab_key(c, code, root, mask);
    }
    g.grabbed.clear();
}

QString grabError(const Grab &g, uint8_t code)
{
    const QString name = detail::hotKeyName(g.modifiers, g.vk);
    if (g.keycodes.empty()) {
        return QStringLiteral("The hotkey %1 cannot be registered: the keyboard has no key for %2.")
            .arg(name, QChar(char16_t(g.vk)));
    }
    if (code == BadAccess)
        return QStringLiteral("The hotkey %1 cannot be registered: another program holds it.")
            .arg(name);
    return QStringLiteral("The hotkey %1 cannot be registered: the X server refused it "
                          "(error %2).")
        .arg(name)
        .arg(code);
}

// --- Hotkeys: the event filter ---------------------------------------------

class Hotkeys;
Hotkeys *g_hotkeys = nullptr;

class Hotkeys : public QAbstractNativeEventFilter
{
public:
    explicit Hotkeys(xcb_connection_t *c) : m_conn(c), m_map(c)
    {
        XcbPtr<xcb_query_extension_reply_t> xkb(xcb_query_extension_reply(
            c, xcb_query_extension(c, 9, "XKEYBOARD"), nullptr));
        if (xkb && xkb->present)
            m_xkbEventBase = xkb->first_event;
    }

    xcb_connection_t *conn() const { return m_conn; }

    bool grab(UINT modifiers, UINT vk, QString *error)
    {
        Grab g{modifiers, vk, m_map.keycodesFor(vk), {}};
        const uint8_t code = g.keycodes.empty() ? 0 : grabKeys(m_conn, m_map, g);
        if (g.keycodes.empty() || code) {
            *error = grabError(g, code);
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
        releaseKeys(m_conn, *it);
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
        case XCB_KEY_PRESS:
            return onKeyPress(reinterpret_cast<const xcb_key_press_event_t *>(event));
        case XCB_KEY_RELEASE:
            return onKeyRelease(reinterpret_cast<const xcb_key_release_event_t *>(event));
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
    bool onKeyPress(const xcb_key_press_event_t *key)
    {
        const uint16_t state = key->state & RelevantModifiers;
        for (const Grab &g : m_grabs) {
            if (state == modifierMask(g.modifiers) && contains(g.keycodes, key->detail)) {
                detail::hotKeyPressed(g.modifiers, g.vk);
                return true;
            }
        }
        return false;
    }

    // The release of a grabbed press arrives on the root window: nobody else has
    // seen the press, so nobody gets the release either.
    bool onKeyRelease(const xcb_key_release_event_t *key) const
    {
        if (key->event != key->root)
            return false;
        return std::any_of(m_grabs.begin(), m_grabs.end(),
                           [&](const Grab &g) { return contains(g.keycodes, key->detail); });
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
        m_map.refresh();
        for (Grab &g : m_grabs) {
            releaseKeys(m_conn, g);
            g.keycodes = m_map.keycodesFor(g.vk);
            // A combination another program took meanwhile stays ungrabbed until
            // the next change: nothing better can be done from here.
            grabKeys(m_conn, m_map, g);
        }
        xcb_flush(m_conn);
    }

    xcb_connection_t *m_conn;
    KeyboardMap m_map;
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

} // namespace

bool grabHotKey(UINT modifiers, UINT vk, QString *error)
{
    xcb_connection_t *c = x11Connection();
    if (!c)
        return true; // nothing can be pressed without a display
    return hotkeys(c)->grab(modifiers, vk, error);
}

void ungrabHotKey(UINT modifiers, UINT vk)
{
    xcb_connection_t *c = x11Connection();
    if (c && g_hotkeys && g_hotkeys->conn() == c)
        g_hotkeys->ungrab(modifiers, vk);
}

} // namespace ws::native
