#include "platform/desktop_sim.h"

#include <algorithm>

namespace platform {

namespace {
int modifierBitOf(int vkCode)
{
    switch (vkCode) {
    case vk::Shift: case vk::LShift: case vk::RShift: return mod::Shift;
    case vk::Control: case vk::LControl: case vk::RControl: return mod::Ctrl;
    case vk::Menu: case vk::LMenu: case vk::RMenu: return mod::Alt;
    case vk::LWin: case vk::RWin: return mod::Win;
    default: return 0;
    }
}
} // namespace

SimDesktop::SimDesktop() = default;
SimDesktop::~SimDesktop() = default;

void SimDesktop::log(Event::Kind kind, int a, int b, bool synthetic)
{
    events_.push_back(Event{Clock::now(), kind, a, b, synthetic});
}

void SimDesktop::mouseButton(MouseButton button, bool down)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const int code = button == MouseButton::Left ? vk::LButton : vk::RButton;
    log(down ? Event::ButtonDown : Event::ButtonUp, button == MouseButton::Left ? 0 : 1, 0, true);
    if (down)
        down_.insert(code);
    else
        down_.erase(code);
}

void SimDesktop::setCursorPos(int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    cursor_ = Point{x, y};
    log(Event::Move, x, y, true);
}

Point SimDesktop::cursorPos()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return cursor_;
}

int SimDesktop::heldModifierMask() const
{
    int mask = 0;
    for (int code : down_)
        mask |= modifierBitOf(code);
    return mask;
}

bool SimDesktop::keyEvent(int vkCode, bool down, bool synthetic)
{
    // Hooks are called without the lock held, as a real system calls them
    // from its own dispatch; they may read key state themselves.
    std::vector<KeyboardHookCallback> hooks;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        log(down ? Event::KeyDown : Event::KeyUp, vkCode, 0, synthetic);
        for (auto it = hooks_.rbegin(); it != hooks_.rend(); ++it)
            hooks.push_back(it->second); // the newest hook is called first
    }
    for (auto &hook : hooks) {
        if (hook && hook(vkCode, down))
            return true;
    }
    int firedHotKey = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (down) {
            const int mask = heldModifierMask();
            for (const auto &[id, hk] : hotKeys_) {
                if (hk.vk == vkCode && hk.modifiers == mask) {
                    firedHotKey = id;
                    break;
                }
            }
            down_.insert(vkCode);
        } else {
            down_.erase(vkCode);
        }
        // A registered hot key's key press does not reach the focused window.
        if (!firedHotKey)
            delivered_.push_back(Event{Clock::now(), down ? Event::KeyDown : Event::KeyUp, vkCode, 0, synthetic});
    }
    if (firedHotKey)
        notifyHotKey(firedHotKey);
    return false;
}

void SimDesktop::key(int vkCode, bool down)
{
    keyEvent(vkCode, down, true);
}

void SimDesktop::unicodeUnit(char16_t unit, bool down)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log(down ? Event::CharDown : Event::CharUp, unit, 0, true);
    delivered_.push_back(Event{Clock::now(), down ? Event::CharDown : Event::CharUp, unit, 0, true});
}

bool SimDesktop::isKeyDown(int vkCode)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return down_.count(vkCode) != 0;
}

int SimDesktop::installKeyboardHook(KeyboardHookCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (hookFails_) {
        lastError_ = hookError_;
        return 0;
    }
    const int handle = nextHook_++;
    hooks_[handle] = std::move(callback);
    activeHooks_.insert(handle);
    return handle;
}

void SimDesktop::setKeyboardHookActive(int handle, bool active)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!hooks_.count(handle))
        return;
    if (active)
        activeHooks_.insert(handle);
    else
        activeHooks_.erase(handle);
}

bool SimDesktop::keyboardCaptured() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return !activeHooks_.empty();
}

bool SimDesktop::removeKeyboardHook(int handle)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    activeHooks_.erase(handle);
    return hooks_.erase(handle) != 0;
}

unsigned long SimDesktop::lastError() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return lastError_;
}

bool SimDesktop::registerHotKey(int id, int modifiers, int vkCode)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (hotKeyFails_)
        return false;
    for (const auto &[otherId, hk] : hotKeys_) {
        if (hk.modifiers == modifiers && hk.vk == vkCode)
            return false; // one owner per combination
    }
    if (hotKeys_.count(id))
        return false;
    hotKeys_[id] = HotKey{modifiers, vkCode};
    return true;
}

void SimDesktop::unregisterHotKey(int id)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    hotKeys_.erase(id);
}

bool SimDesktop::pressKey(int vkCode)
{
    return keyEvent(vkCode, true, false);
}

bool SimDesktop::releaseKey(int vkCode)
{
    return keyEvent(vkCode, false, false);
}

void SimDesktop::tapCombination(const std::vector<int> &vkCodes)
{
    for (int code : vkCodes)
        pressKey(code);
    for (auto it = vkCodes.rbegin(); it != vkCodes.rend(); ++it)
        releaseKey(*it);
}

void SimDesktop::pressButton(MouseButton button)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log(Event::ButtonDown, button == MouseButton::Left ? 0 : 1, 0, false);
    down_.insert(button == MouseButton::Left ? vk::LButton : vk::RButton);
}

void SimDesktop::releaseButton(MouseButton button)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log(Event::ButtonUp, button == MouseButton::Left ? 0 : 1, 0, false);
    down_.erase(button == MouseButton::Left ? vk::LButton : vk::RButton);
}

void SimDesktop::movePointer(int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    cursor_ = Point{x, y};
    log(Event::Move, x, y, false);
}

void SimDesktop::setHookInstallFails(bool fails, unsigned long errorCode)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    hookFails_ = fails;
    hookError_ = errorCode;
}

void SimDesktop::setHotKeyRegistrationFails(bool fails)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    hotKeyFails_ = fails;
}

void SimDesktop::setScreenSize(int width, int height)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    screen_ = Point{width, height};
}

Point SimDesktop::screenSize() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return screen_;
}

std::vector<SimDesktop::Event> SimDesktop::events() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return events_;
}

std::vector<SimDesktop::Event> SimDesktop::syntheticEvents() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<Event> out;
    std::copy_if(events_.begin(), events_.end(), std::back_inserter(out),
                 [](const Event &e) { return e.synthetic; });
    return out;
}

void SimDesktop::clearEvents()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    events_.clear();
    delivered_.clear();
}

std::vector<int> SimDesktop::keysDown() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return std::vector<int>(down_.begin(), down_.end());
}

int SimDesktop::hookCount() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return static_cast<int>(hooks_.size());
}

std::vector<int> SimDesktop::registeredHotKeys() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<int> ids;
    for (const auto &[id, hk] : hotKeys_)
        ids.push_back(id);
    return ids;
}

std::vector<SimDesktop::Event> SimDesktop::delivered() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return delivered_;
}

} // namespace platform
