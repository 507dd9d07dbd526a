#pragma once
// Global shortcuts through the desktop, for Wayland sessions. There the program runs
// through Xwayland, and its X key grabs see keys only while an X11 program has the
// focus. Where the desktop offers a shortcut service (KDE's kglobalaccel, or the
// desktop portal's GlobalShortcuts), the hotkeys are bound there instead, and their
// presses reach the panel as the same hotkey messages. Where none works, the user is
// told once per login session how to bind keys to the remote commands.

#include "platform/window_system/window_system.h"

#include <QList>
#include <QString>

namespace desktop_shortcuts {

struct Shortcut {
    int hotkeyId;       // the id the panel registered the hotkey under
    ws::UINT modifiers; // MOD_* bits, as given to RegisterHotKey
    ws::UINT vk;        // an uppercase letter
    QString name;       // a stable name for the desktop's settings ("next-page")
    QString description;
};

// Call after the hotkeys are registered on `hwnd`. Does nothing outside a Wayland
// session. A shortcut the desktop binds has its X grab released, so that one key press
// never arrives twice; it is grabbed again if the desktop drops it.
void start(ws::HWND hwnd, const QList<Shortcut> &shortcuts);

} // namespace desktop_shortcuts
