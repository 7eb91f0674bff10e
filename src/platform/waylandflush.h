#pragma once

// Sending on a Wayland connection from a thread that types fast: libwayland
// keeps requests in a small buffer (4 KiB) and gives up on the connection
// when the buffer is full and the socket cannot take more (EAGAIN), so a
// long text sent faster than the compositor reads would kill it. Flushing
// after each burst and waiting while the socket is full keeps it alive.

#include <wayland-client.h>

#include <cerrno>
#include <poll.h>

namespace platform::wayland {

/// Sends everything queued on `display`, waiting (1 s at a time) while the
/// compositor has not read the socket yet. False when the connection broke.
inline bool flushAll(wl_display *display)
{
    for (;;) {
        if (wl_display_flush(display) >= 0)
            return true;
        if (errno != EAGAIN)
            return false;
        pollfd out{wl_display_get_fd(display), POLLOUT, 0};
        ::poll(&out, 1, 1000);
    }
}

} // namespace platform::wayland
