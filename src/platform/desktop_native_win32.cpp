#include "platform/desktop_native.h"
#include "platform/desktop_win32.h"

namespace platform {

std::shared_ptr<Desktop> createNativeDesktop(std::string *why)
{
    return createWin32Desktop(why);
}

std::string pathOfOpenedFile(const char *)
{
    // The ANSI code page maps every byte to a character: a name always
    // decodes to a string that encodes back to it.
    return std::string();
}

} // namespace platform
