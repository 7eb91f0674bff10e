#include "record/keycapture.h"

#include "platform/desktop.h"

KeyCapture::~KeyCapture()
{
    disarm();
    remove();
}

bool KeyCapture::install()
{
    if (handle_ != 0)
        return true;
    handle_ = platform::desktop().installKeyboardHook(
        [this](int vk, bool down) { return hookProcedure(vk, down); });
    return handle_ != 0;
}

bool KeyCapture::remove()
{
    if (handle_ == 0)
        return false;
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
    if (handle_ != 0)
        platform::desktop().setKeyboardHookActive(handle_, true);
}

void KeyCapture::disarm()
{
    armed_.exchange(0);
    if (handle_ != 0)
        platform::desktop().setKeyboardHookActive(handle_, false);
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
