#include "platform/desktop_sim.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <thread>

namespace platform {

namespace {

constexpr int kVkCapital = 20;

// The US layout: plain and shifted character of each key that types one.
struct LayoutKey {
    int vk;
    char32_t plain;
    char32_t shifted;
};
constexpr LayoutKey kUsLayout[] = {
    {vk::Back, 8, 8}, {vk::Tab, '\t', '\t'}, {vk::Return, '\r', '\r'}, {vk::Escape, 27, 27},
    {vk::Space, ' ', ' '},
    {'0', '0', ')'}, {'1', '1', '!'}, {'2', '2', '@'}, {'3', '3', '#'}, {'4', '4', '$'},
    {'5', '5', '%'}, {'6', '6', '^'}, {'7', '7', '&'}, {'8', '8', '*'}, {'9', '9', '('},
    {0xBA, ';', ':'}, {0xBB, '=', '+'}, {0xBC, ',', '<'}, {0xBD, '-', '_'}, {0xBE, '.', '>'},
    {0xBF, '/', '?'}, {0xC0, '`', '~'}, {0xDB, '[', '{'}, {0xDC, '\\', '|'}, {0xDD, ']', '}'},
    {0xDE, '\'', '"'},
    {0x6A, '*', '*'}, {0x6B, '+', '+'}, {0x6D, '-', '-'}, {0x6E, '.', '.'}, {0x6F, '/', '/'},
};

int observedKind(InputEvent::Kind kind)
{
    switch (kind) {
    case InputEvent::Kind::KeyDown: case InputEvent::Kind::KeyUp: return observe::Keys;
    case InputEvent::Kind::Motion: return observe::Motion;
    default: return observe::Buttons;
    }
}

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

// One observer: a queue and the thread that empties it into the callback.
struct SimDesktop::Observer {
    InputObserver callback;
    int kinds = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<InputEvent> queue;
    bool busy = false;
    bool quit = false;
    std::thread thread;

    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return quit || !queue.empty(); });
            if (quit)
                return;
            const InputEvent event = queue.front();
            queue.pop_front();
            busy = true;
            lock.unlock();
            callback(event);
            lock.lock();
            busy = false;
            wake.notify_all();
        }
    }
};

SimDesktop::SimDesktop() = default;

SimDesktop::~SimDesktop()
{
    std::vector<int> handles;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        for (const auto &[handle, observer] : observers_)
            handles.push_back(handle);
    }
    for (int handle : handles)
        stopInputObserver(handle);
}

SimDesktop::Clock::time_point SimDesktop::now() const
{
    return manualNow_ ? *manualNow_ : Clock::now();
}

void SimDesktop::log(Event::Kind kind, int a, int b, bool synthetic)
{
    events_.push_back(Event{now(), kind, a, b, synthetic});
}

void SimDesktop::observe(InputEvent event)
{
    event.time = now();
    const int kind = observedKind(event.kind);
    for (auto &[handle, observer] : observers_) {
        if (!(observer->kinds & kind))
            continue;
        std::lock_guard<std::mutex> lock(observer->mutex);
        observer->queue.push_back(event);
        observer->wake.notify_all();
    }
}

int SimDesktop::startInputObserver(InputObserver observer, int kinds)
{
    auto o = std::make_shared<Observer>();
    o->callback = std::move(observer);
    o->kinds = kinds;
    o->thread = std::thread([raw = o.get()] { raw->run(); });
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const int handle = nextObserver_++;
    observers_[handle] = std::move(o);
    return handle;
}

bool SimDesktop::stopInputObserver(int handle)
{
    std::shared_ptr<Observer> o;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        auto it = observers_.find(handle);
        if (it == observers_.end() || it->second->thread.get_id() == std::this_thread::get_id())
            return false;
        o = it->second;
        observers_.erase(it);
    }
    // Joined without the desktop's lock: the callback may be using the desktop.
    {
        std::lock_guard<std::mutex> lock(o->mutex);
        o->quit = true;
        o->wake.notify_all();
    }
    o->thread.join();
    return true;
}

void SimDesktop::settleObservers()
{
    std::vector<std::shared_ptr<Observer>> all;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        for (const auto &[handle, observer] : observers_)
            all.push_back(observer);
    }
    for (auto &o : all) {
        std::unique_lock<std::mutex> lock(o->mutex);
        o->wake.wait(lock, [&] { return o->quit || (o->queue.empty() && !o->busy); });
    }
}

int SimDesktop::observerCount() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return int(observers_.size());
}

char32_t SimDesktop::characterFor(int vkCode) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const bool shift = heldModifierMask() & mod::Shift;
    if (vkCode >= 'A' && vkCode <= 'Z')
        return char32_t(shift != capsLock_ ? vkCode : vkCode - 'A' + 'a');
    if (vkCode >= 0x60 && vkCode <= 0x69) // keypad digits (Num Lock on)
        return char32_t('0' + vkCode - 0x60);
    for (const LayoutKey &k : kUsLayout) {
        if (k.vk == vkCode)
            return shift ? k.shifted : k.plain;
    }
    return 0;
}

void SimDesktop::useManualClock(Clock::time_point start)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    manualNow_ = start;
}

void SimDesktop::advanceClock(Clock::duration by)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (manualNow_)
        *manualNow_ += by;
}

void SimDesktop::setInputRefused(bool refused)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    inputRefused_ = refused;
}

unsigned long SimDesktop::inputFailures() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return inputFailures_;
}

bool SimDesktop::refusedLocked()
{
    if (inputRefused_)
        ++inputFailures_;
    return inputRefused_;
}

void SimDesktop::mouseButton(MouseButton button, bool down)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (refusedLocked())
        return;
    const int code = button == MouseButton::Left ? vk::LButton : vk::RButton;
    log(down ? Event::ButtonDown : Event::ButtonUp, button == MouseButton::Left ? 0 : 1, 0, true);
    if (down)
        down_.insert(code);
    else
        down_.erase(code);
    InputEvent e;
    e.kind = down ? InputEvent::Kind::ButtonDown : InputEvent::Kind::ButtonUp;
    e.button = button;
    e.pos = cursor_;
    observe(e);
}

void SimDesktop::setCursorPos(int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (refusedLocked())
        return;
    const bool moved = !(cursor_ == Point{x, y});
    cursor_ = Point{x, y};
    log(Event::Move, x, y, true);
    if (moved) {
        InputEvent e;
        e.kind = InputEvent::Kind::Motion;
        e.pos = cursor_;
        observe(e);
    }
}

void SimDesktop::wheel(int notches)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (refusedLocked())
        return;
    log(Event::Wheel, notches, 0, true);
}

Rect SimDesktop::screenRect()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Rect{0, 0, screen_.x, screen_.y};
}

void SimDesktop::materializeLocked()
{
    const size_t size = size_t(std::max(screen_.x, 0)) * size_t(std::max(screen_.y, 0));
    if (frame_.size() != size)
        frame_.assign(size, background_);
}

bool SimDesktop::grab(const Rect &area, ScreenImage &into)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Rect part = area.intersected(Rect{0, 0, screen_.x, screen_.y});
    if (part.empty())
        return false;
    into.area = part;
    into.pixels.resize(size_t(part.width) * size_t(part.height));
    if (frame_.empty()) {
        std::fill(into.pixels.begin(), into.pixels.end(), background_);
        return true;
    }
    for (int row = 0; row < part.height; ++row) {
        const auto from = frame_.begin() + std::ptrdiff_t(part.y + row) * screen_.x + part.x;
        std::copy(from, from + part.width, into.pixels.begin() + std::ptrdiff_t(row) * part.width);
    }
    return true;
}

void SimDesktop::setPixel(int x, int y, std::uint32_t rgb)
{
    const std::uint32_t one = rgb;
    paint(x, y, 1, 1, &one);
}

void SimDesktop::paint(int x, int y, int width, int height, const std::uint32_t *rgb)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Rect part = Rect{x, y, width, height}.intersected(Rect{0, 0, screen_.x, screen_.y});
    if (part.empty())
        return;
    materializeLocked();
    for (int row = 0; row < part.height; ++row) {
        const std::uint32_t *from = rgb + std::ptrdiff_t(part.y - y + row) * width + (part.x - x);
        auto to = frame_.begin() + std::ptrdiff_t(part.y + row) * screen_.x + part.x;
        for (int col = 0; col < part.width; ++col)
            to[col] = from[col] & 0xFFFFFFu;
    }
}

void SimDesktop::setScreenColor(std::uint32_t rgb)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    frame_.clear();
    background_ = rgb & 0xFFFFFFu;
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
        // Observers are told at the device, before any hook may swallow it.
        if (down && vkCode == kVkCapital && !down_.count(vkCode))
            capsLock_ = !capsLock_;
        InputEvent e;
        e.kind = down ? InputEvent::Kind::KeyDown : InputEvent::Kind::KeyUp;
        e.vk = vkCode;
        e.character = down ? characterFor(vkCode) : 0;
        e.repeat = down && down_.count(vkCode);
        observe(e);
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
            delivered_.push_back(Event{now(), down ? Event::KeyDown : Event::KeyUp, vkCode, 0, synthetic});
    }
    if (firedHotKey)
        notifyHotKey(firedHotKey);
    return false;
}

void SimDesktop::key(int vkCode, bool down)
{
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (refusedLocked())
            return;
    }
    keyEvent(vkCode, down, true);
}

void SimDesktop::unicodeUnit(char16_t unit, bool down)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (refusedLocked())
        return;
    log(down ? Event::CharDown : Event::CharUp, unit, 0, true);
    delivered_.push_back(Event{now(), down ? Event::CharDown : Event::CharUp, unit, 0, true});
    InputEvent e;
    e.kind = down ? InputEvent::Kind::KeyDown : InputEvent::Kind::KeyUp;
    e.vk = vk::Packet;
    e.character = down ? unit : 0;
    observe(e);
}

bool SimDesktop::isKeyDown(int vkCode)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return down_.count(vkCode) != 0;
}

bool SimDesktop::hasKey(int vkCode)
{
    // The simulated keyboard has the keys of a full Windows keyboard: every
    // code but the reserved and unassigned ones.
    auto within = [vkCode](int low, int high) { return vkCode >= low && vkCode <= high; };
    if (vkCode <= 0 || vkCode >= 255)
        return false;
    return !(vkCode == 7 || within(0x0A, 0x0B) || within(0x0E, 0x0F) || within(0x3A, 0x40) || vkCode == 0x5E
             || within(0x88, 0x8F) || within(0x97, 0x9F) || within(0xB8, 0xB9) || within(0xC1, 0xDA)
             || vkCode == 0xE0 || vkCode == 0xE8);
}

int SimDesktop::installKeyboardHook(KeyboardHookCallback callback)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (hookFails_ || ownWindowKeysOnly_.load()) {
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
    if (hotKeyFails_ || ownWindowKeysOnly_.load())
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
    InputEvent e;
    e.kind = InputEvent::Kind::ButtonDown;
    e.button = button;
    e.pos = cursor_;
    observe(e);
}

void SimDesktop::releaseButton(MouseButton button)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log(Event::ButtonUp, button == MouseButton::Left ? 0 : 1, 0, false);
    down_.erase(button == MouseButton::Left ? vk::LButton : vk::RButton);
    InputEvent e;
    e.kind = InputEvent::Kind::ButtonUp;
    e.button = button;
    e.pos = cursor_;
    observe(e);
}

void SimDesktop::movePointer(int x, int y)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const bool moved = !(cursor_ == Point{x, y});
    cursor_ = Point{x, y};
    log(Event::Move, x, y, false);
    if (moved) {
        InputEvent e;
        e.kind = InputEvent::Kind::Motion;
        e.pos = cursor_;
        observe(e);
    }
}

void SimDesktop::turnWheel(int notches)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log(Event::Wheel, notches, 0, false);
    InputEvent e;
    e.kind = InputEvent::Kind::Wheel;
    e.wheel = notches;
    e.pos = cursor_;
    observe(e);
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
    if (frame_.empty()) {
        screen_ = Point{width, height};
        return;
    }
    // What was painted stays where it was, as far as the new size shows it.
    const std::vector<std::uint32_t> old = std::move(frame_);
    const Point oldSize = screen_;
    screen_ = Point{width, height};
    frame_.clear();
    materializeLocked();
    const Rect keep = Rect{0, 0, oldSize.x, oldSize.y}.intersected(Rect{0, 0, width, height});
    for (int row = 0; row < keep.height; ++row)
        std::copy(old.begin() + std::ptrdiff_t(row) * oldSize.x, old.begin() + std::ptrdiff_t(row) * oldSize.x + keep.width,
                  frame_.begin() + std::ptrdiff_t(row) * width);
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
