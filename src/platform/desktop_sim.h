#pragma once

// An in-memory desktop: the test double of the platform seam.
//
// It keeps a pointer, a table of keys and buttons that are down, and a
// timestamped log of every event that reaches it. Synthetic input from the
// program is logged as such; a test can also act as the person at the
// keyboard (pressKey, releaseKey, pressButton ...): the installed hooks see
// such a key first and may swallow it, registered hot keys fire, and the key
// state changes only for what was not swallowed — as on Windows.

#include "platform/desktop.h"

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace platform {

class SimDesktop : public Desktop {
public:
    using Clock = std::chrono::steady_clock;

    struct Event {
        enum Kind { ButtonDown, ButtonUp, Move, KeyDown, KeyUp, CharDown, CharUp };
        Clock::time_point time;
        Kind kind;
        int a = 0;          ///< button (0 left, 1 right), vk, code unit, or x
        int b = 0;          ///< y for Move
        bool synthetic = true; ///< false for what the simulated person did
    };

    SimDesktop();
    ~SimDesktop() override;

    const char *name() const override { return "sim"; }

    void mouseButton(MouseButton button, bool down) override;
    void setCursorPos(int x, int y) override;
    Point cursorPos() override;
    void key(int vkCode, bool down) override;
    void unicodeUnit(char16_t unit, bool down) override;
    bool isKeyDown(int vkCode) override;
    int installKeyboardHook(KeyboardHookCallback callback) override;
    bool removeKeyboardHook(int handle) override;
    void setKeyboardHookActive(int handle, bool active) override;
    unsigned long lastError() const override;
    bool registerHotKey(int id, int modifiers, int vkCode) override;
    void unregisterHotKey(int id) override;

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

    // --- Test controls and inspection. ---

    /// Makes the next hook installations fail (with this error code) or succeed.
    void setHookInstallFails(bool fails, unsigned long errorCode = 5);
    /// Makes the next hot-key registrations fail (another program owns them).
    void setHotKeyRegistrationFails(bool fails);
    void setScreenSize(int width, int height);
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
    bool keyEvent(int vkCode, bool down, bool synthetic);
    void log(Event::Kind kind, int a, int b, bool synthetic);
    int heldModifierMask() const;

    mutable std::recursive_mutex mutex_;
    Point cursor_;
    Point screen_{1920, 1080};
    std::set<int> down_;
    std::vector<Event> events_;
    std::vector<Event> delivered_;
    std::map<int, KeyboardHookCallback> hooks_;
    std::set<int> activeHooks_;
    int nextHook_ = 1;
    bool hookFails_ = false;
    unsigned long hookError_ = 0;
    unsigned long lastError_ = 0;
    bool hotKeyFails_ = false;
    struct HotKey { int modifiers; int vk; };
    std::map<int, HotKey> hotKeys_;
};

} // namespace platform
