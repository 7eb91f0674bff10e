#include "record/keycapture.h"

#include "platform/desktop.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {
// The captures that listen to our own windows. Windows deliver keys on the
// GUI thread, but a capture may be made and dropped by a dialog's thread of
// its own in tests, hence the lock.
std::mutex windowCapturesLock;
std::vector<KeyCapture *> windowCaptures;
} // namespace

KeyCapture::~KeyCapture()
{
    disarm();
    remove();
}

bool KeyCapture::install()
{
    if (handle_ != 0)
        return true;
    if (platform::desktop().ownWindowKeysOnly()) {
        std::lock_guard<std::mutex> guard(windowCapturesLock);
        windowCaptures.push_back(this);
        handle_ = kOwnWindow;
        return true;
    }
    handle_ = platform::desktop().installKeyboardHook(
        [this](int vk, bool down) { return hookProcedure(vk, down); });
    return handle_ != 0;
}

bool KeyCapture::remove()
{
    if (handle_ == 0)
        return false;
    if (handle_ == kOwnWindow) {
        std::lock_guard<std::mutex> guard(windowCapturesLock);
        windowCaptures.erase(std::remove(windowCaptures.begin(), windowCaptures.end(), this), windowCaptures.end());
        handle_ = 0;
        return true;
    }
    const bool removed = platform::desktop().removeKeyboardHook(handle_);
    handle_ = 0;
    return removed;
}

void KeyCapture::arm()
{
    capturedKey_.store(0);
    capturedModifiers_.store(0);
    heldModifiers_.store(0);
    armed_.store(1);
    if (handle_ > 0)
        platform::desktop().setKeyboardHookActive(handle_, true);
}

void KeyCapture::disarm()
{
    armed_.exchange(0);
    if (handle_ > 0)
        platform::desktop().setKeyboardHookActive(handle_, false);
}

bool KeyCapture::ownWindowKey(int vk, bool down)
{
    std::lock_guard<std::mutex> guard(windowCapturesLock);
    bool taken = false;
    for (KeyCapture *capture : windowCaptures)
        taken = capture->hookProcedure(vk, down) || taken;
    return taken;
}

bool KeyCapture::ownWindowListening()
{
    std::lock_guard<std::mutex> guard(windowCapturesLock);
    return std::any_of(windowCaptures.begin(), windowCaptures.end(),
                       [](const KeyCapture *capture) { return capture->isArmed(); });
}

int KeyCapture::hookBitOf(int vk)
{
    switch (vk) {
    case platform::vk::Control: case platform::vk::LControl: case platform::vk::RControl:
        return HookCtrl;
    case platform::vk::Menu: case platform::vk::LMenu: case platform::vk::RMenu:
        return HookAlt;
    case platform::vk::Shift: case platform::vk::LShift: case platform::vk::RShift:
        return HookShift;
    case platform::vk::LWin: case platform::vk::RWin:
        return HookWin;
    default:
        return 0;
    }
}

int KeyCapture::modifierSnapshot()
{
    // Backends differ in whether the generic code reports either side, so
    // the side-specific codes are asked too.
    auto &d = platform::desktop();
    auto anyDown = [&d](int generic, int left, int right) {
        return d.isKeyDown(generic) || d.isKeyDown(left) || d.isKeyDown(right);
    };
    int bits = 0;
    if (anyDown(platform::vk::Control, platform::vk::LControl, platform::vk::RControl))
        bits |= HookCtrl;
    if (anyDown(platform::vk::Menu, platform::vk::LMenu, platform::vk::RMenu))
        bits |= HookAlt;
    if (anyDown(platform::vk::Shift, platform::vk::LShift, platform::vk::RShift))
        bits |= HookShift;
    if (d.isKeyDown(platform::vk::LWin) || d.isKeyDown(platform::vk::RWin))
        bits |= HookWin;
    return bits;
}

bool KeyCapture::hookProcedure(int vk, bool down)
{
    if (armed_.load() != 1)
        return false;
    const int bit = hookBitOf(vk);
    if (down) {
        if (bit != 0) {
            heldModifiers_.fetch_or(bit);
        } else {
            // Modifiers pressed before the capture began were never seen
            // going down; the desktop's key state still knows them.
            int modifiers = heldModifiers_.load();
            if (modifiers == 0)
                modifiers = modifierSnapshot();
            // Modifiers first: the poll step reads the key, then the modifiers.
            capturedModifiers_.exchange(modifiers);
            capturedKey_.exchange(vk);
        }
        return true;
    }
    if (bit == 0)
        return true;
    // A modifier pressed and released on its own is itself the key.
    if (capturedKey_.load() == 0 && heldModifiers_.load() == bit) {
        capturedModifiers_.exchange(0);
        capturedKey_.exchange(vk);
    }
    heldModifiers_.fetch_and(~bit);
    return true;
}
