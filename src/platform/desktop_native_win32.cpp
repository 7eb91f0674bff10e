#include "platform/desktop_native.h"
#include "platform/desktop_win32.h"

namespace platform {

std::shared_ptr<Desktop> createNativeDesktop(std::string *why)
{
    return createWin32Desktop(why);
}

} // namespace platform
