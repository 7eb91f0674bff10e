#pragma once

// One input observer of the X11 backend: XInput2 raw events (keys, buttons,
// motion) selected on the root window of a connection of its own, read by a
// thread of its own. Raw events reach every client that asks for them, even
// while another client has grabbed the device, and asking for them takes
// nothing from anyone: no grab, no selection that competes with a window.
// Raw events carry no pointer position; it is asked for at every button
// and wheel event and, while motion keeps coming, at most every
// kLookInterval (once more when it stops). Characters come from the server's XKB keymap and the
// modifier state it reports on the same connection. Times are the
// server's own (milliseconds), put on the steady clock once at start, so a
// thread that wakes late does not stretch or shrink a pause.

#include "platform/desktop.h"
#include "platform/desktop_x11_keymap.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _XDisplay Display;
struct _XkbDesc;

namespace platform {

class X11InputObserver {
public:
    X11InputObserver(std::string displayName, InputObserver callback, int kinds);
    /// Stops the thread and closes the connection.
    ~X11InputObserver();

    X11InputObserver(const X11InputObserver &) = delete;
    X11InputObserver &operator=(const X11InputObserver &) = delete;

    /// Opens the connection, selects the events and starts the thread.
    /// False with the reason in *why when the server cannot be observed
    /// (no connection, no XInputExtension 2.1 or later).
    bool start(std::string *why);
    std::thread::id threadId() const { return thread_.get_id(); }
    /// Our own text typing is about to tap `keycode`, with `modifiers` held
    /// for it (any thread). Those events are reported as a character sent as
    /// a character (vk::Packet), and the modifiers not at all, as a hook on
    /// Windows sees text sent as Unicode: a watcher for the person's keys must
    /// not take our typed "s" for their S.
    void expectTypedTap(const std::vector<int> &modifiers, int keycode);

private:
    void run();
    void handle(void *xevent);
    void keyEvent(int keycode, bool down, unsigned long serverTime);
    void buttonEvent(int xbutton, bool down, unsigned long serverTime);
    /// Ties the server's clock to the steady clock (one round trip).
    void syncClock();
    std::chrono::steady_clock::time_point timeOf(unsigned long serverTime) const;
    /// Tells of motion seen since the last report, if the pointer moved.
    void flushMotion();
    Point pointer();
    bool motionQueued();
    void deliver(InputEvent &event, unsigned long serverTime);
    void loadKeymap();
    char32_t characterOf(int keycode) const;
    /// Takes the oldest expected typed press of the keycode, if any.
    bool takeTypedPress(int keycode, bool *modifier);

    std::string displayName_;
    InputObserver callback_;
    int kinds_ = 0;
    Display *dpy_ = nullptr;
    int xiOpcode_ = 0;
    int xkbEvent_ = 0;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    struct TypedPress {
        int keycode = 0;
        bool modifier = false;
        std::chrono::steady_clock::time_point at;
    };
    std::mutex typedMutex_;
    std::deque<TypedPress> typed_; ///< expected, oldest first (typedMutex_)
    int wakePipe_[2] = {-1, -1};

    // Thread state.
    bool keymapStale_ = true;
    X11Keymap keymap_;
    _XkbDesc *xkb_ = nullptr;
    unsigned int mods_ = 0;    ///< effective modifiers (XKB state)
    unsigned int group_ = 0;   ///< effective group
    unsigned int numLockMask_ = 0;
    unsigned int ignoredMask_ = 0; ///< Ctrl, Alt and Win bits
    int downVk_[256] = {}; ///< code reported for each keycode down, 0 when up
    unsigned char typedDown_[256] = {}; ///< 1: down for our typing, 2: a modifier of it
    bool motionPending_ = false;
    unsigned long motionTime_ = 0; ///< server time of the last motion
    std::chrono::steady_clock::time_point lastLook_; ///< when the pointer was last asked for
    std::chrono::steady_clock::time_point clockBase_;
    unsigned long serverBase_ = 0; ///< server time at clockBase_
    Point lastPointer_{-1, -1};
    bool pointerKnown_ = false;
};

} // namespace platform
