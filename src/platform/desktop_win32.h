#pragma once

// The Windows desktop: user32 input functions behind the platform seam.
//
// Kept free of Qt and of <windows.h> so that it can be cross-compiled and
// tested on its own; the implementation file is the only place that talks
// to user32 and kernel32.

#include "platform/desktop.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Win32Desktop : public Desktop {
public:
    /// Most keyboard hooks one process can hold at a time. Windows calls a
    /// hook procedure without any context, so every hook gets a procedure of
    /// its own from a fixed set.
    static constexpr int MaxKeyboardHooks = 8;

    Win32Desktop();
    /// Stops its input observers, releases every key and button it still
    /// holds (newest first), removes its hooks and unregisters its hot keys.
    ~Win32Desktop() override;

    Win32Desktop(const Win32Desktop &) = delete;
    Win32Desktop &operator=(const Win32Desktop &) = delete;

    const char *name() const override { return "win32"; }

    void mouseButton(MouseButton button, bool down) override;
    void setCursorPos(int x, int y) override;
    Point cursorPos() override;
    /// One mouse_event with MOUSEEVENTF_WHEEL and 120 per notch.
    void wheel(int notches) override;
    /// GetPixel on the screen's device context.
    /// The virtual screen (every monitor), from GetSystemMetrics.
    Rect screenRect() override;
    /// BitBlt from the screen into a DIB section.
    bool grab(const Rect &area, ScreenImage &into) override;
    void key(int vkCode, bool down) override;
    void unicodeUnit(char16_t unit, bool down) override;

    bool isKeyDown(int vkCode) override;
    bool hasKey(int vkCode) override;

    int installKeyboardHook(KeyboardHookCallback callback) override;
    bool removeKeyboardHook(int handle) override;
    /// Nothing to do: Windows calls the hook whether or not a capture is
    /// armed, and a disarmed callback passes every event on.
    void setKeyboardHookActive(int handle, bool active) override;
    unsigned long lastError() const override;

    bool registerHotKey(int id, int modifiers, int vkCode) override;
    void unregisterHotKey(int id) override;
    /// For "windows_generic_MSG" and "windows_dispatcher_MSG" the message is
    /// a MSG*: returns its wParam when it is a WM_HOTKEY of a hot key
    /// registered here, 0 for anything else.
    int hotKeyFromNativeEvent(const char *eventType, void *message) override;

    /// Each observer is a thread with its own low-level hooks
    /// (desktop_win32_observer.h).
    int startInputObserver(InputObserver observer, int kinds) override;
    bool stopInputObserver(int handle) override;

    /// Keys and mouse buttons (as VK_LBUTTON / VK_RBUTTON) this desktop has
    /// pressed and not yet released, oldest first.
    std::vector<int> heldByUs() const;

private:
    void noteHeld(int code, bool down);

    struct Lock;
    std::unique_ptr<Lock> lock_; // guards held_ and observers_; workers press keys concurrently
    std::vector<int> held_;
    std::map<int, std::unique_ptr<class Win32InputObserver>> observers_;
    int nextObserver_ = 1;
    std::vector<int> hotKeys_;   // GUI thread only
    std::vector<int> ownHooks_;  // GUI thread only
    std::atomic<unsigned long> lastError_{0};
};

/// The Windows backend; it always opens (user32 is always there).
std::shared_ptr<Desktop> createWin32Desktop(std::string *why);

} // namespace platform
