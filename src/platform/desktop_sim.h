#pragma once

// An in-memory desktop: the test double of the platform seam.
//
// It keeps a pointer, a table of keys and buttons that are down, and a
// timestamped log of every event that reaches it. Synthetic input from the
// program is logged as such; a test can also act as the person at the
// keyboard (pressKey, releaseKey, pressButton ...): the installed hooks see
// such a key first and may swallow it, registered hot keys fire, and the key
// state changes only for what was not swallowed — as on Windows.
// Input observers see every event, the person's and the program's, on a
// thread per observer; the person types on a US keyboard layout.

#include "platform/desktop.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace platform {

class SimDesktop : public Desktop {
public:
    using Clock = std::chrono::steady_clock;

    struct Event {
        enum Kind { ButtonDown, ButtonUp, Move, KeyDown, KeyUp, CharDown, CharUp, Wheel };
        Clock::time_point time;
        Kind kind;
        int a = 0;          ///< button (0 left, 1 right), vk, code unit, x, or notches
        int b = 0;          ///< y for Move
        bool synthetic = true; ///< false for what the simulated person did
    };

    SimDesktop();
    ~SimDesktop() override;

    const char *name() const override { return "sim"; }

    void mouseButton(MouseButton button, bool down) override;
    void setCursorPos(int x, int y) override;
    Point cursorPos() override;
    /// Logged as a Wheel event with the notches in `a`.
    void wheel(int notches) override;
    /// The screen size set, from (0, 0).
    Rect screenRect() override;
    /// Reads the simulated screen (see setPixel and paint).
    bool grab(const Rect &area, ScreenImage &into) override;
    void key(int vkCode, bool down) override;
    void unicodeUnit(char16_t unit, bool down) override;
    bool isKeyDown(int vkCode) override;
    bool hasKey(int vkCode) override;
    int installKeyboardHook(KeyboardHookCallback callback) override;
    bool removeKeyboardHook(int handle) override;
    void setKeyboardHookActive(int handle, bool active) override;
    unsigned long lastError() const override;
    bool registerHotKey(int id, int modifiers, int vkCode) override;
    void unregisterHotKey(int id) override;
    int startInputObserver(InputObserver observer, int kinds) override;
    bool stopInputObserver(int handle) override;

    // --- The simulated person. ---

    /// A physical key goes down. Returns true when a hook swallowed it.
    bool pressKey(int vkCode);
    /// A physical key goes up. Returns true when a hook swallowed it.
    bool releaseKey(int vkCode);
    /// Presses every key in order, then releases them in reverse order.
    void tapCombination(const std::vector<int> &vkCodes);
    /// A physical mouse button goes down / up.
    void pressButton(MouseButton button);
    void releaseButton(MouseButton button);
    /// The person moves the pointer.
    void movePointer(int x, int y);
    /// The person turns the wheel: notches, positive away from them (up).
    void turnWheel(int notches);

    /// Stamps events with a clock the test moves by hand from now on (start
    /// at `start`), so that pauses between the person's actions are exact.
    void useManualClock(Clock::time_point start = Clock::now());
    /// Moves the manual clock on.
    void advanceClock(Clock::duration by);
    /// Waits until every observer has been given every event so far.
    void settleObservers();
    /// Number of input observers running now.
    int observerCount() const;
    /// What the US layout types for a key with the keys down now
    /// (0 when it types nothing); what observers are told.
    char32_t characterFor(int vkCode) const;

    // --- Test controls and inspection. ---

    /// Makes the next hook installations fail (with this error code) or succeed.
    void setHookInstallFails(bool fails, unsigned long errorCode = 5);
    /// While on, synthetic input reaches nothing and counts as a failure
    /// (a display that refuses the program).
    void setInputRefused(bool refused);
    unsigned long inputFailures() const override;
    /// Makes the next hot-key registrations fail (another program owns them).
    void setHotKeyRegistrationFails(bool fails);
    /// While on, the desktop behaves as a Wayland one: no keyboard hook, no
    /// hot key, only the program's own window hears its keys.
    void setOwnWindowKeysOnly(bool on) { ownWindowKeysOnly_.store(on); }
    bool ownWindowKeysOnly() const override { return ownWindowKeysOnly_.load(); }
    void setScreenSize(int width, int height);
    /// Paints one pixel of the simulated screen (0xRRGGBB); every pixel not
    /// painted has the background colour, black unless set.
    void setPixel(int x, int y, std::uint32_t rgb);
    /// Paints a picture (0xRRGGBB, row after row) with its top-left at (x, y);
    /// what falls off the screen is dropped.
    void paint(int x, int y, int width, int height, const std::uint32_t *rgb);
    /// Paints the whole screen one colour.
    void setScreenColor(std::uint32_t rgb);
    Point screenSize() const;

    /// Copy of the event log, oldest first.
    std::vector<Event> events() const;
    /// Only the synthetic events (what the program sent).
    std::vector<Event> syntheticEvents() const;
    void clearEvents();
    /// Codes of keys that are down now (synthetic or physical), ascending.
    std::vector<int> keysDown() const;
    /// Number of hooks installed now.
    int hookCount() const;
    /// True while an installed hook is active (on X11 the keyboard would be
    /// grabbed then).
    bool keyboardCaptured() const;
    /// Ids of the hot keys registered now.
    std::vector<int> registeredHotKeys() const;
    /// What the focused window would have received (keys not swallowed, as
    /// vk codes; characters as code units), in order.
    std::vector<Event> delivered() const;

private:
    struct Observer;

    bool keyEvent(int vkCode, bool down, bool synthetic);
    /// True (and counted) while synthetic input is refused (lock held).
    bool refusedLocked();
    void log(Event::Kind kind, int a, int b, bool synthetic);
    int heldModifierMask() const;
    Clock::time_point now() const;
    /// Queues an event for every observer that asked for its kind (lock held).
    void observe(InputEvent event);

    mutable std::recursive_mutex mutex_;
    Point cursor_;
    Point screen_{1920, 1080};
    /// The screen's pixels, row after row; empty while it is all background
    /// (most tests never look at it, and a full screen is 8 MB).
    std::vector<std::uint32_t> frame_;
    std::uint32_t background_ = 0;
    /// Gives frame_ its pixels (lock held).
    void materializeLocked();
    std::set<int> down_;
    std::vector<Event> events_;
    std::vector<Event> delivered_;
    std::map<int, KeyboardHookCallback> hooks_;
    std::set<int> activeHooks_;
    int nextHook_ = 1;
    bool hookFails_ = false;
    std::atomic<bool> ownWindowKeysOnly_{false};
    unsigned long hookError_ = 0;
    unsigned long lastError_ = 0;
    bool hotKeyFails_ = false;
    bool inputRefused_ = false;
    unsigned long inputFailures_ = 0;
    struct HotKey { int modifiers; int vk; };
    std::map<int, HotKey> hotKeys_;
    std::optional<Clock::time_point> manualNow_;
    bool capsLock_ = false;
    std::map<int, std::shared_ptr<Observer>> observers_;
    int nextObserver_ = 1;
};

} // namespace platform
