// Where the window system itself lets clicks through a window, the page window is
// shown as it is.

#include "platform/page_surface/page_surface.h"

namespace page_surface {

void attach(QWidget *)
{
}

} // namespace page_surface
