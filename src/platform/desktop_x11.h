#pragma once

// The X11 backend of the platform seam: XTest for synthetic input, the core
// keymap (with spare keycodes bound on demand) for text, XQueryKeymap for key
// state, a keyboard grab for the hook and key grabs for hot keys.
//
// Connections: synthetic input goes through one connection guarded by a
// mutex (the spare-key bindings are server state that every caller shares);
// key state and pointer queries borrow one of a few shared connections (a
// run may play hundreds of overlapping operations, and the server takes
// only so many clients); the hook reads its grab on a connection served by its own thread;
// hot keys are grabbed on the toolkit's connection so that the key press
// arrives through its native event filter; each input observer has a
// connection and a thread of its own (desktop_x11_observer.h). Everything but the hot keys and
// the log is free of Qt (those live in desktop_x11_qt.cpp).

#include "platform/desktop.h"
#include "platform/desktop_x11_keymap.h"
#include "platform/desktop_x11_observer.h"
#include "platform/desktop_x11_ping.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <optional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

typedef struct _XDisplay Display;

namespace platform {

class X11ScreenGrabber;
struct X11ScreenGrabberDeleter {
    void operator()(X11ScreenGrabber *grabber) const;
};

class X11Desktop : public Desktop {
public:
    using Clock = std::chrono::steady_clock;

    /// Takes ownership of an open display that has XTEST.
    explicit X11Desktop(Display *inputDisplay);
    ~X11Desktop() override;

    const char *name() const override { return "x11"; }

    void mouseButton(MouseButton button, bool down) override;
    void setCursorPos(int x, int y) override;
    Point cursorPos() override;
    /// XTest buttons 4 (up) and 5 (down), pressed and released once a notch.
    void wheel(int notches) override;
    /// The root window.
    Rect screenRect() override;
    /// The root window's pixels: MIT-SHM where the server offers it,
    /// XGetImage otherwise (desktop_x11_grab.cpp).
    bool grab(const Rect &area, ScreenImage &into) override;
    void key(int vkCode, bool down) override;
    void unicodeUnit(char16_t unit, bool down) override;
    void textBegins(const std::u16string &text, const std::atomic<bool> *stop) override;
    void textDone() override;
    bool isKeyDown(int vkCode) override;
    bool hasKey(int vkCode) override;

    int installKeyboardHook(KeyboardHookCallback callback) override;
    bool removeKeyboardHook(int handle) override;
    void setKeyboardHookActive(int handle, bool active) override;
    unsigned long lastError() const override;

    bool registerHotKey(int id, int modifiers, int vkCode) override;
    void unregisterHotKey(int id) override;
    int hotKeyFromNativeEvent(const char *eventType, void *message) override;

    int startInputObserver(InputObserver observer, int kinds) override;
    bool stopInputObserver(int handle) override;

    /// How long a keycode bound to a character stays bound after its last
    /// press: clients re-read the keymap lazily, so a binding changed too
    /// soon is read with the next character's keysym. A typing that waits
    /// for a binding to settle plans again with the new time.
    void setSettleTime(std::chrono::milliseconds settle);
    /// Whether a spare key may be bound again as soon as the receiving
    /// client answers a ping sent after its last press (on by default). With
    /// it off, only the settle time counts (tests of the waiting itself).
    void setReceiverPings(bool on);
    /// Spare keycodes bound to characters right now (for tests).
    int boundSpareKeys();
    /// Keycodes and buttons pressed by us and not yet released (for tests).
    std::vector<int> heldKeycodes();
    std::vector<int> heldButtons();
    /// True while the keyboard is grabbed for an active hook.
    bool keyboardGrabbed();
    /// The name of the display this backend talks to.
    const std::string &displayName() const { return displayName_; }

    /// Every connection of this process to the X server is opened and closed
    /// here. Xlib keeps its process-wide lock while a new connection waits
    /// for the server's answer, and the server answers no new client while
    /// our typing holds it grabbed; the typing thread then waits for that
    /// lock in its next XTest call and never lets the server go (nor does
    /// the stop, which waits for the typing). So a grab and an opening or
    /// closing never overlap: both hold `connectionMutex()`.
    static Display *openConnection(const std::string &name);
    static void closeConnection(Display *dpy);
    static std::mutex &connectionMutex();
    /// Connections of this process opened through openConnection and not
    /// closed yet (for tests).
    static int openConnectionCount();

    /// Most connections that key-state, pointer and pixel queries share.
    static constexpr size_t kQueryConnections = 4;

    unsigned long inputFailures() const override { return inputFailures_.load(); }

    /// Sets the I/O error handler of Xlib (process-wide) to displayLost().
    void watchDisplayLoss() override;
    /// True when no new connection to the display can be opened.
    bool displayGone() override;

private:
    // Synthesis (desktop_x11.cpp), under inputMutex_.
    void pressKeycode(int keycode, bool down);
    void releaseEverythingLocked();
    void readModifierMapLocked();

    // A query connection borrowed for one call; null when none could be
    // opened. Waits while all of them are lent.
    class QueryLease {
    public:
        explicit QueryLease(X11Desktop &desktop);
        ~QueryLease();
        QueryLease(const QueryLease &) = delete;
        QueryLease &operator=(const QueryLease &) = delete;
        Display *display() const { return dpy_; }

    private:
        X11Desktop &desktop_;
        Display *dpy_ = nullptr;
    };

    // Text (desktop_x11_text.cpp), under inputMutex_. The waits release the
    // lock (other operations and the stop path need it) and end at a stop.
    // A spare keycode lent to characters: two of them at a time, one plain
    // and one with Shift, so that one keymap change can bind two.
    struct Binding {
        int keycode = 0;
        unsigned long syms[2] = {0, 0}; ///< 0: column free
        Clock::time_point lastUse[2]{};
        std::vector<unsigned long> originalRow;
        // The key's XKB symbol map before we bound it (types, groups,
        // width, symbols), written back as it was.
        unsigned char originalTypes[4] = {0, 0, 0, 0};
        unsigned char originalGroupInfo = 0;
        unsigned char originalWidth = 0;
        std::vector<unsigned long> originalSyms;
        bool haveOriginalXkb = false;
        bool bound() const { return syms[0] || syms[1]; }
    };
    struct Slot {
        size_t binding = 0;
        int column = 0;
        bool operator<(const Slot &o) const { return binding != o.binding ? binding < o.binding : column < o.column; }
    };
    struct CharPress {
        int keycode = 0;
        std::vector<int> modifiers; ///< keycodes pressed for it, in order
    };
    void typeCodePointLocked(std::unique_lock<std::mutex> &lock, char32_t cp);
    bool textStoppedLocked() const;
    bool ownKeyFor(unsigned long keysym, CharPress *press) const;
    void readServerKeysLocked();
    bool keyDownLocked(int keycode) const;
    bool boundSlotFor(unsigned long keysym, Slot *slot) const;
    void typeNowLocked(const CharPress &press);
    void typeSlotLocked(const Slot &slot);
    void flushLocked(std::unique_lock<std::mutex> &lock);
    /// Where each keysym is next needed: in the queue from `from` on, then in
    /// the announced text not yet sent (positions counted over both).
    std::map<unsigned long, size_t> nextUsesLocked(size_t from) const;
    /// Columns of a spare key that can hold a character: Caps Lock would turn
    /// a pair of cases round, so one column while it is on.
    int usableColumnsLocked() const { return capsLock_ ? 1 : 2; }
    /// The first column bound to nothing and not in `busy`; false if none.
    bool freeSlotLocked(const std::set<Slot> &busy, Slot *slot) const;
    /// Binds characters of the announced text ahead of their turn into free
    /// columns, or settled ones whose character is needed later.
    void bindAheadLocked(std::set<Slot> &busy, std::set<size_t> &changed, size_t from, Clock::time_point now);
    /// Writes the rows of the given bindings (bound: their characters; not
    /// bound: the original row): writeRowsXkbLocked, else one core change
    /// per run of neighbouring keycodes.
    void writeRowsLocked(const std::set<size_t> &bindings);
    /// One XKB change over the span of the given keycodes, the keys between
    /// them written back exactly as read; false when the server has no XKB
    /// or refuses it.
    bool writeRowsXkbLocked(const std::set<size_t> &bindings);
    /// Keeps every spare key's XKB symbol map for writeRowsXkbLocked.
    void readOriginalXkbLocked();
    void restoreBindingsLocked();
    /// True when a column last pressed at `use` may be bound again: the
    /// receiver has answered a ping sent after it, or the settle time has
    /// passed (longer when the receiver answers pings: it is only late).
    bool settledLocked(Clock::time_point use, Clock::time_point now) const;
    /// When a column last pressed at `use` settles without an answer.
    Clock::time_point settlesAtLocked(Clock::time_point use) const;
    /// Finds out, once a text, whether the receiver answers pings.
    void findPingReceiverLocked();
    /// Waits a moment (the lock released) for the receiver to answer a ping
    /// sent after every press so far; sends one when needed.
    void awaitReceiverLocked(std::unique_lock<std::mutex> &lock, Clock::time_point until);
    /// When a bound spare key was last pressed; nothing when none is bound.
    std::optional<Clock::time_point> lastBindingUseLocked() const;
    void prepareTextLocked();
    bool capsLockOnLocked();
    void restoreThreadMain();

    // Hook (desktop_x11_hook.cpp).
    void hookThreadMain();
    bool updateGrabLocked();
    void wakeHookThread();
    int vkForHookEvent(int keycode, unsigned int state) const;

    // Log (desktop_x11_qt.cpp): the one place that speaks to Qt's message log.
    void logWarning(const std::string &text) const;
    void logOnce(const std::string &key, const std::string &text);
    /// Like logOnce, in the category of characters not typed, which the
    /// command line's --quiet never hides: a text that played incomplete
    /// must not look like a success.
    void logUntypedOnce(const std::string &key, const std::string &text);

    std::string displayName_;

    std::mutex inputMutex_;
    Display *input_ = nullptr;
    std::vector<int> heldKeys_;    ///< keycodes, in press order
    std::map<int, int> vkKeycodes_; ///< virtual key -> the keycode its press went to
    std::vector<int> heldButtons_; ///< X buttons, in press order
    unsigned int altMask_ = 0;
    unsigned int superMask_ = 0;
    unsigned int numLockMask_ = 0;
    int level3Keycode_ = 0;
    int shiftKeycode_ = 0;

    // Text state.
    bool textPrepared_ = false;
    X11Keymap textKeymap_;
    std::vector<Binding> bindings_;
    char16_t pendingHigh_ = 0;
    bool lastWasCr_ = false;
    bool capsLock_ = false;
    const std::atomic<bool> *textStop_ = nullptr; ///< the typing caller's stop flag
    // The text announced by textBegins, as code points, and how much of it
    // has been sent: the rest is bound ahead of its turn. Cleared when the
    // characters sent stop matching it.
    std::u32string ahead_;
    size_t aheadSent_ = 0;
    // True while a thread types the queue below; it may be waiting, with the
    // lock released, for a binding to settle. typingWake_ tells of its end
    // and of a new settle time.
    bool flushing_ = false;
    std::condition_variable typingWake_;
    // The keys down on the server (anyone's) when the current character or
    // batch began: typing must not press or let go of a key someone holds.
    char serverKeys_[32] = {};
    // Characters that need a keymap change wait here briefly, so that the
    // changes for several of them go out together: every change makes every
    // client read the whole keymap again, which bounds the typing rate.
    std::vector<unsigned long> pending_;
    std::optional<Clock::time_point> flushDue_;
    std::chrono::milliseconds settle_{150};
    // The receiving client's answers to pings (see desktop_x11_ping.h).
    // Presses up to confirmed_ have been read by it.
    bool pings_ = true;
    bool receiverChecked_ = false;
    unsigned long pingWindow_ = 0; ///< the receiver, 0 when it is not asked
    std::unique_ptr<X11ClientPing> ping_;
    unsigned long pingOut_ = 0; ///< the ping waiting for its answer, 0: none
    Clock::time_point pingSentAt_{};
    std::optional<Clock::time_point> unansweredSince_; ///< the oldest ping not answered
    Clock::time_point confirmed_{};
    // Bindings outlive a text by the settle time; a thread restores them
    // then, unless the next text has started and still uses them.
    std::condition_variable restoreWake_;
    std::optional<Clock::time_point> restoreDue_;
    bool restoreQuit_ = false;
    std::thread restoreThread_;

    std::mutex logMutex_;
    std::set<std::string> logged_;

    // Screen reads, on a connection of their own (its shared memory is
    // attached to it), under grabMutex_.
    std::mutex grabMutex_;
    std::unique_ptr<X11ScreenGrabber, X11ScreenGrabberDeleter> grabber_;

    // Query connections (QueryLease), under queryMutex_.
    std::mutex queryMutex_;
    std::condition_variable queryFree_;
    std::vector<Display *> queryConnections_; ///< all of them, lent or not
    std::vector<Display *> freeQueries_;
    std::atomic<unsigned long> inputFailures_{0};

    // Hook state, under hookMutex_.
    struct Hook {
        KeyboardHookCallback callback;
        bool active = true;
    };
    mutable std::mutex hookMutex_;
    Display *hookDisplay_ = nullptr;
    std::map<int, Hook> hooks_;
    int nextHook_ = 1;
    bool grabbed_ = false;
    X11Keymap hookKeymap_;
    unsigned int hookNumLockMask_ = 0;
    unsigned long lastError_ = 0;
    std::thread hookThread_;
    std::atomic<bool> hookQuit_{false};
    int wakePipe_[2] = {-1, -1};

    // Hot keys (GUI thread), under hotKeyMutex_.
    struct HotKey {
        int keycode = 0;
        unsigned int modifiers = 0;    ///< X modifier bits that must be down
        unsigned int relevantMask = 0; ///< bits compared (not the lock keys)
        unsigned int numLockMask = 0;
        unsigned int root = 0;
        void *connection = nullptr;    ///< the toolkit's connection it lives on
    };
    std::mutex hotKeyMutex_;
    std::map<int, HotKey> hotKeys_;

    // Input observers, under observerMutex_.
    std::mutex observerMutex_;
    std::map<int, std::unique_ptr<X11InputObserver>> observers_;
    int nextObserver_ = 1;
};

/// Opens the X display named by $DISPLAY and checks for XTEST; null with the
/// reason in *why when either is missing.
std::shared_ptr<Desktop> createX11Desktop(std::string *why);

} // namespace platform
