#include "platform/desktop_x11.h"

namespace platform {

// The X11 backend is not written yet: report that, so the factory falls back
// to the simulated desktop and says so in the log.
std::shared_ptr<Desktop> createX11Desktop(std::string *why)
{
    if (why)
        *why = "the X11 backend is not built yet";
    return nullptr;
}

} // namespace platform
