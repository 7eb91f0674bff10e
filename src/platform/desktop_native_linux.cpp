#include "platform/desktop_native.h"
#include "platform/desktop_gnome.h"
#include "platform/desktop_x11.h"

#include <cstdlib>
#include <cstring>

#include <fcntl.h>

namespace platform {

std::string pathOfOpenedFile(const char *nameBytes)
{
    // Kept open on purpose: the path below is valid only while it is.
    const int fd = ::open(nameBytes, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? std::string() : "/proc/self/fd/" + std::to_string(fd);
}

std::shared_ptr<Desktop> createNativeDesktop(std::string *why)
{
    // GNOME's Wayland session through Mutter, on request only while that
    // backend cannot yet hear a stop key.
    const char *backend = std::getenv("TERVALO_BACKEND");
    if (backend && std::strcmp(backend, "gnome") == 0)
        return createGnomeDesktop(why);
    return createX11Desktop(why);
}

} // namespace platform
