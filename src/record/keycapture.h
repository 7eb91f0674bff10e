#pragma once

// One key-capture instance: a system-wide keyboard hook and the four integers
// it shares with the poll step that reads the result. The main window's
// editor and the run settings dialog each own one.
//
// The hook procedure may be called by a backend on any thread, so it touches
// only the atomics below and asks the desktop which modifiers are down; the
// poll step runs on the GUI thread.

#include <atomic>

class KeyCapture {
public:
    /// Modifier bits as the hook collects them (not the code's mask order).
    enum HookBit { HookCtrl = 1, HookAlt = 2, HookShift = 4, HookWin = 8 };

    KeyCapture() = default;
    /// Disarms and removes the hook, so the keyboard is never left captured.
    ~KeyCapture();

    KeyCapture(const KeyCapture &) = delete;
    KeyCapture &operator=(const KeyCapture &) = delete;

    /// Installs the hook unless one is installed already. Returns whether a
    /// hook is installed now. On a desktop that lets no program hear other
    /// windows' keys, the capture listens to this program's own windows
    /// instead: their keys arrive through ownWindowKey.
    bool install();
    /// Removes the hook; false when none was installed.
    bool remove();
    bool isInstalled() const { return handle_ != 0; }

    /// Clears the captured key, the captured and held modifiers, then arms.
    /// An installed hook is made active (it wants the keyboard now).
    void arm();
    /// Stops capturing. An installed hook stays installed but inactive, so a
    /// backend that grabs the keyboard lets it go.
    void disarm();
    bool isArmed() const { return armed_.load() == 1; }

    /// Virtual-key code captured so far, 0 for nothing yet.
    int capturedKey() const { return capturedKey_.load(); }
    /// Modifiers belonging to the captured key, hook bit order.
    int capturedModifiers() const { return capturedModifiers_.load(); }
    /// Modifier keys seen going down and not yet up, hook bit order.
    int heldModifiers() const { return heldModifiers_.load(); }
    /// Forgets the captured key (the next poll sees nothing).
    void clearCapturedKey() { capturedKey_.store(0); }

    /// Handles one keyboard event of the desktop. Returns true to swallow it.
    /// While disarmed every event passes untouched.
    bool hookProcedure(int vk, bool down);

    /// A key of this program's own windows (GUI thread), for the captures
    /// that listen there. Returns true when one of them took it (the window
    /// must not act on it).
    static bool ownWindowKey(int vk, bool down);
    /// True while a capture that listens to our own windows is armed.
    static bool ownWindowListening();

    /// Modifiers down right now according to the desktop, hook bit order.
    static int modifierSnapshot();
    /// Hook bit of a modifier key, 0 for any other key.
    static int hookBitOf(int vk);

private:
    /// The handle of the hook, or kOwnWindow while listening to our windows.
    static constexpr int kOwnWindow = -1;
    int handle_ = 0;
    std::atomic<int> armed_{0};
    std::atomic<int> capturedKey_{0};
    std::atomic<int> capturedModifiers_{0};
    std::atomic<int> heldModifiers_{0};
};
