#pragma once

// The one seam between the program and the desktop's input system.
//
// Everything here speaks the Windows vocabulary the rest of the program was
// designed in: virtual-key codes (VK_*), the hot-key modifier mask
// (Alt 1, Ctrl 2, Shift 4, Win 8) and virtual-screen pixel coordinates.
// The header is deliberately free of Qt and of any platform header so that
// every backend (x11, win32, sim) and every caller can include it.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// Virtual-key codes the program names explicitly (same values as on Windows).
namespace vk {
constexpr int LButton = 1;
constexpr int RButton = 2;
constexpr int Back = 8;
constexpr int Tab = 9;
constexpr int Return = 13;
constexpr int Shift = 16;
constexpr int Control = 17;
constexpr int Menu = 18; // Alt
constexpr int Escape = 27;
constexpr int Space = 32;
constexpr int LWin = 91;
constexpr int RWin = 92;
constexpr int LShift = 160;
constexpr int RShift = 161;
constexpr int LControl = 162;
constexpr int RControl = 163;
constexpr int LMenu = 164;
constexpr int RMenu = 165;
constexpr int Packet = 0xE7; // a character sent or typed as a character
} // namespace vk

/// Hot-key modifier mask bits (MOD_ALT, MOD_CONTROL, MOD_SHIFT, MOD_WIN).
namespace mod {
constexpr int Alt = 1;
constexpr int Ctrl = 2;
constexpr int Shift = 4;
constexpr int Win = 8;
} // namespace mod

enum class MouseButton { Left, Right };

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point &o) const { return x == o.x && y == o.y; }
};

/// A rectangle of the virtual screen, in its pixels.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    /// The part of this rectangle that is also in `o` (empty when none).
    Rect intersected(const Rect &o) const
    {
        const int left = x > o.x ? x : o.x;
        const int top = y > o.y ? y : o.y;
        // In 64 bits: a rectangle near INT_MAX must not wrap around.
        const long long right = std::min<long long>(static_cast<long long>(x) + width, static_cast<long long>(o.x) + o.width);
        const long long bottom = std::min<long long>(static_cast<long long>(y) + height, static_cast<long long>(o.y) + o.height);
        if (right <= left || bottom <= top)
            return Rect{left, top, 0, 0};
        return Rect{left, top, int(right - left), int(bottom - top)};
    }
    /// The smallest rectangle that holds this one and `o`; an empty one adds
    /// nothing.
    Rect united(const Rect &o) const
    {
        if (o.empty())
            return *this;
        if (empty())
            return o;
        const int left = std::min(x, o.x);
        const int top = std::min(y, o.y);
        const int right = std::max(x + width, o.x + o.width);
        const int bottom = std::max(y + height, o.y + o.height);
        return Rect{left, top, right - left, bottom - top};
    }
    bool operator==(const Rect &o) const
    {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

/// Pixels read from the screen: 0x00RRGGBB each, row after row, the rows
/// of `area` (width * height of them).
struct ScreenImage {
    Rect area;
    std::vector<std::uint32_t> pixels;
};

/// Low-level keyboard hook callback: virtual-key code and whether the key went
/// down. Returns true to swallow the event (no window receives it).
/// Backends may call it on any thread; it must only touch atomics.
using KeyboardHookCallback = std::function<bool(int vk, bool down)>;

/// Called when a registered global hot key fires, with its id.
using HotKeyListener = std::function<void(int id)>;

/// One input event of the desktop, as an input observer sees it. Observing
/// takes nothing away: the event also reaches whatever window it was for.
struct InputEvent {
    enum class Kind { KeyDown, KeyUp, ButtonDown, ButtonUp, Motion, Wheel };
    Kind kind = Kind::KeyDown;
    /// When the event happened, on the steady clock (X11: the server's time
    /// of the event; elsewhere: when the backend received it). Differences
    /// between events are what matters; the absolute value has no meaning
    /// outside this process.
    std::chrono::steady_clock::time_point time;
    /// KeyDown, KeyUp: virtual-key code, side-specific for Shift, Ctrl, Alt
    /// and Win (160-165, 91, 92), as a low-level keyboard hook reports it;
    /// vk::Packet for a key that has no code but types a character (and for
    /// characters sent as characters).
    int vk = 0;
    /// KeyDown: the character the current keyboard layout types for the key
    /// with the Shift, Caps Lock, Num Lock and level-3 state of the moment
    /// (Ctrl, Alt and Win are not applied); '\r' for Enter, '\t' for Tab,
    /// other control characters as the layout gives them; 0 when the key
    /// types nothing (F keys, arrows, modifiers, dead keys).
    char32_t character = 0;
    /// KeyDown: the key was already down (auto-repeat).
    bool repeat = false;
    /// ButtonDown, ButtonUp: which button. Only the left and right buttons
    /// are reported.
    MouseButton button = MouseButton::Left;
    /// Motion, ButtonDown, ButtonUp, Wheel: the pointer position then,
    /// virtual-screen pixels. Unspecified for keys. (X11 reports no position
    /// with its raw events: a button that goes down while the pointer is
    /// still moving gets the position the backend read just after it.)
    Point pos;
    /// Wheel: whole notches turned, positive away from the user (up),
    /// negative towards the user (down).
    int wheel = 0;
};

/// Receives observed input on the backend's own observer thread. It must
/// return quickly and must not call back into the observer functions; it
/// may touch atomics, lock a short mutex, or queue the event elsewhere.
using InputObserver = std::function<void(const InputEvent &)>;

/// What an input observer asks for (bits, or-ed together). Keys alone is
/// the cheap choice: the backend then wakes only for key events.
namespace observe {
constexpr int Keys = 1;    ///< KeyDown, KeyUp
constexpr int Buttons = 2; ///< ButtonDown, ButtonUp, Wheel
constexpr int Motion = 4;  ///< Motion (only when the position changed)
constexpr int All = Keys | Buttons | Motion;
} // namespace observe

class Desktop {
public:
    virtual ~Desktop() = default;

    /// Short backend name for the log: "sim", "x11" or "win32".
    virtual const char *name() const = 0;

    // --- Synthetic input. All of these are safe to call from any thread. ---

    /// Presses (down) or releases (up) a mouse button where the pointer is.
    virtual void mouseButton(MouseButton button, bool down) = 0;
    /// Puts the pointer at (x, y), virtual-screen pixels; may be negative.
    virtual void setCursorPos(int x, int y) = 0;
    /// Current pointer position, virtual-screen pixels.
    virtual Point cursorPos() = 0;
    /// Presses or releases the key of a virtual-key code (no scan code).
    virtual void key(int vkCode, bool down) = 0;
    /// Sends one UTF-16 code unit as a character event (KEYEVENTF_UNICODE).
    virtual void unicodeUnit(char16_t unit, bool down) = 0;
    /// Turns the mouse wheel where the pointer is by whole notches: positive
    /// away from the user (up), negative towards the user (down).
    virtual void wheel(int notches) = 0;
    /// Hint before a run of unicodeUnit calls: the whole text they will send,
    /// so that a backend may prepare for it, and a flag that turns true when
    /// the caller gives up (a stop). Once it is true, the backend drops what
    /// it has not typed yet instead of waiting for anything. The flag must
    /// outlive the run of calls, which textDone ends. Default: nothing.
    virtual void textBegins(const std::u16string & /*text*/, const std::atomic<bool> * /*stop*/) {}
    /// Hint that a run of unicodeUnit calls is over (backends that bind
    /// characters to spare keys may restore them now). Default: nothing.
    virtual void textDone() {}

    /// Characters of `text` that this desktop cannot type at all, in the
    /// order found, each once (empty when it types them all). A run that
    /// would type them refuses to start and names them. Default: none.
    virtual std::u16string untypable(const std::u16string & /*text*/) { return {}; }
    /// True when characters outside the keyboard layout reach the window by
    /// pasting (through the clipboard, which is given back afterwards)
    /// rather than as key presses. Default: false.
    virtual bool pastesOutsideLayout() const { return false; }
    /// True when no program may hear the keys pressed in other programs'
    /// windows, nor register a global hot key (Wayland): key capture then
    /// reads the keys of this program's own window, and pointer capture
    /// asks for a click on the screen instead. Default: false.
    virtual bool ownWindowKeysOnly() const { return false; }

    // --- Screen. Safe from any thread. ---

    /// The virtual screen: the rectangle that holds every monitor, in
    /// physical pixels (on Windows it may start at negative coordinates).
    virtual Rect screenRect() = 0;
    /// Reads the part of `area` that is on the screen into `into`, whose
    /// area then says which part that is (its buffer is reused, so a caller
    /// that polls keeps one ScreenImage). False when nothing of it could be
    /// read: off the screen, or a desktop that does not show its pixels.
    virtual bool grab(const Rect &area, ScreenImage &into) = 0;
    /// The colour of the screen pixel at (x, y) as 0xRRGGBB: a 1x1 grab, so
    /// that a pixel and a picture are read the same way. Empty when it
    /// cannot be read.
    std::optional<std::uint32_t> pixel(int x, int y)
    {
        ScreenImage one;
        if (!grab(Rect{x, y, 1, 1}, one) || one.pixels.size() != 1)
            return std::nullopt;
        return one.pixels.front() & 0xFFFFFFu;
    }

    // --- Key state. Safe from any thread. ---

    /// True while the key (or VK_LBUTTON / VK_RBUTTON) is down now.
    virtual bool isKeyDown(int vkCode) = 0;
    /// True when the current keyboard has a key for the virtual-key code (the
    /// left and right buttons count as keys): one that a person can press
    /// and the hook and isKeyDown can see. A stop key without one could
    /// never stop a run.
    virtual bool hasKey(int vkCode) = 0;

    // --- Low-level keyboard hook (GUI thread). ---

    /// Installs a system-wide keyboard hook. Returns a handle > 0, or 0 on failure.
    virtual int installKeyboardHook(KeyboardHookCallback callback) = 0;
    /// Removes a hook; returns false when the handle is not installed.
    virtual bool removeKeyboardHook(int handle) = 0;
    /// Says whether the hook wants events now (a capture is armed). A hook is
    /// active when installed. Backends that cannot pass a key on once they
    /// have taken it (X11 grabs the keyboard) hold the keyboard only while the
    /// hook is active; Windows calls the hook either way.
    virtual void setKeyboardHookActive(int handle, bool active) = 0;
    /// Error code of the last failed hook installation (GetLastError on Windows).
    virtual unsigned long lastError() const { return 0; }

    // --- Input observers (any thread but an observer's own). ---

    /// Starts watching the desktop's input without taking any of it: no
    /// grab, no swallowing, every event goes on to its window as before.
    /// Events of the kinds asked for (observe::*) are passed to the observer
    /// in the order they happened, on a thread of the backend's own (one per
    /// observer), from the moment this returns. Synthetic input, ours or
    /// another program's, is observed like the person's. Returns a handle
    /// > 0, or 0 when the desktop cannot be observed (lastError() says why).
    virtual int startInputObserver(InputObserver observer, int kinds) = 0;
    /// Stops an observer: when this returns, its thread has ended, its hooks
    /// or connection are gone and its callback will not be called again.
    /// False for a handle that is not running, and when called on the
    /// observer's own thread (which would wait for itself).
    virtual bool stopInputObserver(int handle) = 0;

    // --- Desktop shortcuts (any thread). ---

    /// Asks the desktop itself to run `command` (a command line) whenever
    /// the key combination (hot-key modifier mask, virtual-key code) is
    /// pressed, wherever the focus is: the way to hear a key on desktops that
    /// let no program observe keys (Wayland). Returns a handle > 0, or 0 when
    /// the desktop has no such shortcuts. Replaces a binding of ours that a
    /// crash left behind; the person's own shortcuts stay as they are.
    virtual int bindShortcutCommand(int /*modifiers*/, int /*vkCode*/, const std::string & /*command*/) { return 0; }
    /// Removes a binding made by bindShortcutCommand.
    virtual void unbindShortcutCommand(int /*handle*/) {}

    // --- Global hot key (GUI thread). ---

    /// Registers a system-wide hot key; false when another program owns it.
    virtual bool registerHotKey(int id, int modifiers, int vkCode) = 0;
    /// Unregisters; does nothing for an id that is not registered.
    virtual void unregisterHotKey(int id) = 0;
    /// Looks at one native event of the GUI event loop (the Qt native event
    /// filter's event type and message) and returns the id of the registered
    /// hot key it represents, or 0. Default: backends that report hot keys
    /// through the listener only.
    virtual int hotKeyFromNativeEvent(const char * /*eventType*/, void * /*message*/) { return 0; }

    /// How many times input could not reach the desktop, or a query it
    /// needs could not be answered (the display refuses new clients, say),
    /// since the desktop was made. A run compares it before and after its
    /// pages: a change means it did not play what was built. Safe from any
    /// thread. Default: input that always arrives.
    virtual unsigned long inputFailures() const { return 0; }

    // --- The input session of a run (any thread). ---

    /// Told (on a thread of the backend) when the desktop takes input away
    /// during a run: the person ended this program's input session (GNOME's
    /// sharing indicator, its ×). Must return quickly.
    using InputTaken = std::function<void()>;
    /// A run is about to play. A backend whose input session the person can
    /// end opens a new one if the last was ended, and calls `taken` once
    /// if the person ends it before endInput. Returns a handle > 0, or 0
    /// when no input can be sent. Default: input that is always there.
    virtual int beginInput(InputTaken /*taken*/) { return 1; }
    /// The run is over: once this returns, its `taken` is never called.
    virtual void endInput(int /*handle*/) {}
    /// True when the next input session (beginInput, or input and screen
    /// reads outside a run) will first show a dialog of the desktop's own
    /// that asks the person to allow it (GNOME's portal). The program says
    /// why beforehand; the backend shows nothing itself. Default: never.
    virtual bool asksConsent() { return false; }

    // --- The display connection. ---

    /// Starts watching for the loss of the display (the X server going
    /// away): from then on the first thread that finds it gone calls
    /// displayLost(). Call again after a toolkit has opened its own
    /// connection, which may have put a handler of its own in place.
    /// Default: backends whose desktop cannot go away.
    virtual void watchDisplayLoss() {}
    /// True when the display this desktop talks to can no longer be
    /// reached. Default: never.
    virtual bool displayGone() { return false; }

    /// Sets who is told when a hot key fires outside the native event path.
    void setHotKeyListener(HotKeyListener listener) { hotKeyListener_ = std::move(listener); }

protected:
    /// Backends report a fired hot key through this.
    void notifyHotKey(int id)
    {
        if (hotKeyListener_)
            hotKeyListener_(id);
    }

private:
    HotKeyListener hotKeyListener_;
};

/// The desktop the program uses. Created on first use by the factory unless a
/// test has installed another one.
Desktop &desktop();

/// Replaces the desktop (tests install a SimDesktop). Call before any thread
/// uses it.
void setDesktop(std::shared_ptr<Desktop> desktop);

/// Shared pointer to the current desktop.
std::shared_ptr<Desktop> currentDesktop();

/// Called once when the display is lost, on the first thread that finds out:
/// says so, keeps what must be kept, and returns the exit code. It must not
/// wait for another thread, which may be stuck on the dead connection.
using DisplayLostHandler = std::function<int()>;

/// Sets what displayLost() does (the command line and the window program
/// each keep their own things).
void setDisplayLostHandler(DisplayLostHandler handler);

/// Ends the process because the display is gone: the first caller runs the
/// handler (5 s at most) and exits with its code, without running any exit
/// handler or destructor, which would talk to the dead connection again;
/// every later caller, on any thread, waits for that exit.
[[noreturn]] void displayLost();

/// Builds the backend for this machine: the real one when it can be opened,
/// otherwise the simulated one (and says why once in the log).
std::shared_ptr<Desktop> createDesktop();

} // namespace platform
