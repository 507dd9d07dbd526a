// fontconfig already draws Thai in the default font with a Thai font chosen for the
// language (Loma, say), whose line height is close to the default font's.

#include "platform/window_system/fonts.h"

namespace fonts {

void addThaiFallback() {}

} // namespace fonts
