#pragma once
// The font the windows' text is drawn in. Page names are often Thai, and every control
// must show them whole.

namespace fonts {

// Gives the application font a Thai font of its own where the system does not choose a
// good one. Call once, after the application object is made and before any window.
void addThaiFallback();

} // namespace fonts
