#pragma once
// The hotkey hook: the control panel's window procedure is replaced by HookWindowProc,
// which turns WM_HOTKEY messages into the panel's page and scroll commands and passes
// every message on to the procedure it replaced.

#include "platform/window_system/window_system.h"

namespace Module1 {

// The panel's procedure as it was before the hook; 0 when none is saved.
extern ws::LONG_PTR PrevWndProc;

void HookWindow(ws::HWND hwnd);
void UnhookWindow(ws::HWND hwnd);
ws::LRESULT HookWindowProc(ws::HWND hwnd, ws::UINT msg, ws::WPARAM wParam, ws::LPARAM lParam);

// The other roads to the hotkeys' commands, each ending in the hotkey message to the
// panel's window, so that a command runs exactly as its hotkey does: remote commands
// (`zorvane --next` ...) and, on Wayland desktops, shortcuts bound through the desktop.
// Call once, after the hotkeys are registered; returns what to print on standard error
// (empty when all is well).
QString ConnectDesktop(ws::HWND hwnd);

// Hotkey ids, as registered on the panel's window.
inline constexpr int HotkeyPrevPage = 2;
inline constexpr int HotkeyScrollUp = 3;
inline constexpr int HotkeyScrollDown = 4;
inline constexpr int HotkeyNextPage = 5;

} // namespace Module1
