// The keyboard hook on X11. X has no way to watch the keyboard and pass each
// key on, so a hook that wants events grabs the whole keyboard: nothing else
// receives a key while any installed hook is active. The grab lives on a
// connection of its own, read by a thread of its own; the hook callbacks run
// on that thread (they only touch atomics).

#include "platform/desktop_x11.h"
#include "platform/desktop_x11_vk.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace platform {

namespace {

constexpr int kGrabAttempts = 6;
constexpr std::chrono::milliseconds kGrabRetryDelay{100};

} // namespace

int X11Desktop::installKeyboardHook(KeyboardHookCallback callback)
{
    std::lock_guard<std::mutex> lock(hookMutex_);
    if (!hookDisplay_) {
        hookDisplay_ = openConnection(displayName_);
        if (!hookDisplay_) {
            lastError_ = 1;
            logWarning("Cannot open a second connection to the X display for the keyboard hook.");
            return 0;
        }
        // Held keys repeat as presses only, like a Windows hook sees them;
        // otherwise a held modifier would look released and pressed again.
        Bool supported = False;
        XkbSetDetectableAutoRepeat(hookDisplay_, True, &supported);
        if (::pipe(wakePipe_) == 0) {
            ::fcntl(wakePipe_[0], F_SETFL, O_NONBLOCK);
            ::fcntl(wakePipe_[1], F_SETFL, O_NONBLOCK);
        }
        hookThread_ = std::thread(&X11Desktop::hookThreadMain, this);
    }
    const int handle = nextHook_++;
    hooks_[handle] = Hook{std::move(callback), true};
    if (!updateGrabLocked()) {
        hooks_.erase(handle);
        return 0;
    }
    return handle;
}

bool X11Desktop::removeKeyboardHook(int handle)
{
    std::lock_guard<std::mutex> lock(hookMutex_);
    if (!hooks_.erase(handle))
        return false;
    updateGrabLocked();
    return true;
}

void X11Desktop::setKeyboardHookActive(int handle, bool active)
{
    std::lock_guard<std::mutex> lock(hookMutex_);
    auto it = hooks_.find(handle);
    if (it == hooks_.end() || it->second.active == active)
        return;
    it->second.active = active;
    if (!updateGrabLocked() && active)
        it->second.active = false; // no grab, so the hook sees nothing
}

unsigned long X11Desktop::lastError() const
{
    std::lock_guard<std::mutex> lock(hookMutex_);
    return lastError_;
}

bool X11Desktop::keyboardGrabbed()
{
    std::lock_guard<std::mutex> lock(hookMutex_);
    return grabbed_;
}

bool X11Desktop::updateGrabLocked()
{
    const bool wanted = std::any_of(hooks_.begin(), hooks_.end(), [](const auto &h) { return h.second.active; });
    if (!hookDisplay_ || wanted == grabbed_)
        return true;
    Display *dpy = hookDisplay_;
    if (!wanted) {
        XUngrabKeyboard(dpy, CurrentTime);
        XSync(dpy, False);
        grabbed_ = false;
        wakeHookThread();
        return true;
    }
    hookKeymap_.load(dpy);
    hookNumLockMask_ = hookKeymap_.modifierMaskHolding(dpy, {XK_Num_Lock});
    int status = GrabSuccess;
    for (int attempt = 0; attempt < kGrabAttempts; ++attempt) {
        status = XGrabKeyboard(dpy, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync, CurrentTime);
        // Another client holding a grab (a menu, a drag) usually lets go soon.
        if (status != AlreadyGrabbed)
            break;
        std::this_thread::sleep_for(kGrabRetryDelay);
    }
    XSync(dpy, False);
    wakeHookThread();
    if (status != GrabSuccess) {
        lastError_ = unsigned(status);
        logWarning("XGrabKeyboard failed, status " + std::to_string(status) + ".");
        return false;
    }
    grabbed_ = true;
    return true;
}

void X11Desktop::wakeHookThread()
{
    if (wakePipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &byte, 1);
    }
}

int X11Desktop::vkForHookEvent(int keycode, unsigned int state) const
{
    return hookKeymap_.vkOf(keycode, hookNumLockMask_ && (state & hookNumLockMask_));
}

void X11Desktop::hookThreadMain()
{
    while (!hookQuit_) {
        pollfd fds[2] = {{ConnectionNumber(hookDisplay_), POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        // The timeout covers events that another thread's Xlib call moved
        // from the socket into Xlib's queue without waking us.
        ::poll(fds, wakePipe_[0] >= 0 ? 2 : 1, 100);
        if (wakePipe_[0] >= 0 && (fds[1].revents & POLLIN)) {
            char buf[64];
            while (::read(wakePipe_[0], buf, sizeof buf) > 0) {
            }
        }
        std::vector<std::pair<int, bool>> keys;
        std::vector<KeyboardHookCallback> callbacks;
        {
            std::lock_guard<std::mutex> lock(hookMutex_);
            while (XPending(hookDisplay_)) {
                XEvent ev;
                XNextEvent(hookDisplay_, &ev);
                if ((ev.type != KeyPress && ev.type != KeyRelease) || !grabbed_)
                    continue;
                const int code = vkForHookEvent(int(ev.xkey.keycode), ev.xkey.state);
                if (code)
                    keys.emplace_back(code, ev.type == KeyPress);
            }
            if (!keys.empty()) {
                for (auto it = hooks_.rbegin(); it != hooks_.rend(); ++it) {
                    if (it->second.active)
                        callbacks.push_back(it->second.callback); // newest first
                }
            }
        }
        for (const auto &[code, down] : keys) {
            for (auto &callback : callbacks) {
                if (callback && callback(code, down))
                    break;
            }
        }
    }
}

} // namespace platform
