#pragma once
// The window-system calls the windows use, with the names, values and effects of
// their Windows originals. Each window keeps an extended-style word, an alpha, a
// topmost marker, a window procedure and a message queue; the effects (click-through,
// opacity, stacking, global hotkeys) are carried out by the OS-specific part.

#include <QString>
#include <QtGlobal>

class QWidget;

namespace ws {

using HWND = quintptr;
using UINT = quint32;
using LONG = qint32;
using LONG_PTR = qintptr;
using WPARAM = quintptr;
using LPARAM = qintptr;
using LRESULT = qintptr;
using BYTE = quint8;
using DWORD = quint32;
using COLORREF = quint32;
using BOOL = int;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr int GWL_WNDPROC = -4;
inline constexpr int GWL_EXSTYLE = -20;

inline constexpr LONG WS_EX_TOPMOST = 0x8;
inline constexpr LONG WS_EX_TRANSPARENT = 0x20;
inline constexpr LONG WS_EX_LAYERED = 0x80000;

inline const HWND HWND_TOPMOST = HWND(-1);
inline const HWND HWND_NOTOPMOST = HWND(-2);
inline constexpr UINT SWP_NOSIZE = 0x1;
inline constexpr UINT SWP_NOMOVE = 0x2;
inline constexpr UINT SWP_NOZORDER = 0x4;
inline constexpr UINT SWP_SHOWWINDOW = 0x40;
inline constexpr UINT SWP_HIDEWINDOW = 0x80;

inline constexpr DWORD LWA_ALPHA = 0x2;

inline constexpr UINT WM_HOTKEY = 0x312;

inline constexpr UINT MOD_ALT = 0x1;
inline constexpr UINT MOD_CONTROL = 0x2;
inline constexpr UINT MOD_SHIFT = 0x4;
inline constexpr UINT MOD_WIN = 0x8;

// Makes `widget` a window of this layer (its native window is created) and returns
// its handle. Calling it again returns the same handle.
HWND windowHandle(QWidget *widget);
// The widget behind a handle, or nullptr once it is gone.
QWidget *widgetOf(HWND hwnd);

LONG_PTR GetWindowLongA(HWND hwnd, int index);
LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags);
BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk);
BOOL UnregisterHotKey(HWND hwnd, int id);
LRESULT CallWindowProcA(LONG_PTR proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The procedure every window starts with: handles nothing and returns 0.
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Read-back of what the calls set, for diagnostics and tests.
BYTE layeredAlpha(HWND hwnd);
bool isTopmost(HWND hwnd);
bool isClickThrough(HWND hwnd);

// Why a RegisterHotKey call failed, in words ("held by another program", ...);
// empty after a success.
QString lastHotKeyError();

// After a window's repaint has been handed to the window system: has it shown now. Wine
// passes a window's pixels on to the X server only once its thread next waits or finds
// no message, which after a page change came 25-45 ms later.
void presentPainting();

// Whether the window system gives the keyboard to one of this program's windows now.
// Qt learns of a lost focus up to 100 ms late on X11 (it waits for a focus coming back),
// so a box raised by a hotkey just after the typist clicked into another program took
// the keys. Without a window system to ask, Qt's view.
bool programHasKeyboard();

// Asks once more for the place and size the window was last given, at once. A window
// manager may move a window that grows below the screen up into view (openbox does when
// only its bottom edge moves); asked again, it keeps the place, without the round trip of
// noticing the move and answering it after the repaint.
void repeatPlacement(QWidget *window);

// With no usable display, a sentence saying so; empty when the program can start.
// Called before the application object exists. Where the user chose no Qt platform
// (QT_QPA_PLATFORM), it also settles on the one this layer works with (xcb on Linux,
// also on a Wayland desktop).
QString displayProblem();

} // namespace ws
