// Systems where the window manager honours the page window's own requests: there is
// no GNOME Shell extension to look for.

#include "platform/desktop/gnome_page_extension.h"

namespace gnome_page_extension {

void check()
{
}

} // namespace gnome_page_extension
