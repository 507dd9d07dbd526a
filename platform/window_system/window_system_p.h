#pragma once
// Between the shared window-system code (window_system.cpp) and its OS part
// (window_system_<os>.cpp). The OS part carries out the effects the shared code
// decides on, and reports global key presses back to it.

#include "platform/window_system/window_system.h"

#include <QString>

class QWidget;

namespace ws::native {

// Lets mouse input pass through `window` to whatever lies below it, or stops it.
// Safe to call again with the same value (the window manager may need a fresh copy).
void setInputPassThrough(QWidget *window, bool on);

// Takes the combination (MOD_* bits, an uppercase letter or digit code) for this
// program on the whole desktop. On failure returns false and a sentence in `error`.
bool grabHotKey(UINT modifiers, UINT vk, QString *error);
void ungrabHotKey(UINT modifiers, UINT vk);

// See ws::presentPainting(), ws::repeatPlacement() and ws::programHasKeyboard().
void presentPainting();
void repeatPlacement(QWidget *window);
bool programHasKeyboard();

// See ws::displayProblem().
QString displayProblem();

} // namespace ws::native

namespace ws::detail {

// The OS part calls this when a grabbed combination is pressed.
void hotKeyPressed(UINT modifiers, UINT vk);

// "Ctrl+Shift+K", for messages.
QString hotKeyName(UINT modifiers, UINT vk);

} // namespace ws::detail
