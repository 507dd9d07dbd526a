#pragma once
// On GNOME on Wayland only the shell can keep the page window above the typist's
// program and let clicks through it; Zorvane ships a GNOME Shell extension for that
// (dist/gnome-shell). This asks the shell whether the extension runs and, when it does
// not, tells the user once per login session how to turn it on.

namespace gnome_page_extension {

// Call once at start-up. Does nothing outside a GNOME Wayland session; the shell's
// answer is awaited in the event loop, so start-up never waits for it.
void check();

} // namespace gnome_page_extension
