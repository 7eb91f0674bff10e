#include "platform/desktop_native.h"
#include "platform/desktop_x11.h"

namespace platform {

std::shared_ptr<Desktop> createNativeDesktop(std::string *why)
{
    return createX11Desktop(why);
}

} // namespace platform
