// Typing Unicode text on X11: characters on the keymap are typed with their
// own key (plus Shift or level 3); the others are bound to spare keycodes,
// two per keycode (plain and Shift), for the length of a text. Clients read a
// changed keymap lazily, after they have worked through the events queued
// before the change, so a column is rebound only once its last press is old
// enough to have been read; and because each change makes every client read
// the whole keymap, characters that need one are gathered for a moment and
// bound together.
//
// Each character goes out as a whole tap (down and up) at its down, with the
// server held from the look at the key state to the tap: a key that another
// client presses meanwhile (the person's stop command) would otherwise be let
// go by our release of the same key.

#include "platform/desktop_x11.h"
#include "platform/desktop_x11_vk.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace platform {

namespace {

// How long a character that needs a keymap change may wait for others.
constexpr std::chrono::milliseconds kGatherTime{3};
// How often a wait for a binding to settle looks at the caller's stop flag.
constexpr std::chrono::milliseconds kStopLook{2};
// How long the rows of a finished text stay bound. Nothing waits for this, so
// it can be generous: a client that is a second behind (a busy machine) still
// reads the text's last characters through the rows they were typed with.
constexpr std::chrono::milliseconds kRestoreDelay{1000};

bool isHigh(char16_t u) { return u >= 0xd800 && u <= 0xdbff; }
bool isLow(char16_t u) { return u >= 0xdc00 && u <= 0xdfff; }

bool hasCase(unsigned long sym)
{
    KeySym lower = 0, upper = 0;
    XConvertCase(sym, &lower, &upper);
    return lower != upper;
}

std::string codePointText(char32_t cp)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", unsigned(cp));
    return buf;
}

// Holds the server (no other client's request is served) from a look at the
// key state to the last key event that relies on it. Our own XTest events
// go through; a grab by another client does not hold them up either. No
// connection of ours is opened or closed meanwhile (see openConnection).
class ServerHold {
public:
    explicit ServerHold(Display *dpy) : connections_(X11Desktop::connectionMutex()), dpy_(dpy) { XGrabServer(dpy_); }
    ~ServerHold()
    {
        XUngrabServer(dpy_);
        XFlush(dpy_);
    }
    ServerHold(const ServerHold &) = delete;
    ServerHold &operator=(const ServerHold &) = delete;

private:
    std::lock_guard<std::mutex> connections_;
    Display *dpy_;
};

} // namespace

void X11Desktop::setSettleTime(std::chrono::milliseconds settle)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    settle_ = settle;
    typingWake_.notify_all();
}

int X11Desktop::boundSpareKeys()
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    return int(std::count_if(bindings_.begin(), bindings_.end(), [](const Binding &b) { return b.bound(); }));
}

void X11Desktop::unicodeUnit(char16_t unit, bool down)
{
    std::unique_lock<std::mutex> lock(inputMutex_);
    char32_t cp = unit;
    if (isHigh(unit)) {
        // The first half of a pair: the character goes out with the second.
        if (down)
            pendingHigh_ = unit;
        return;
    }
    if (isLow(unit)) {
        if (!pendingHigh_) {
            logOnce("lone-low", "A lone low surrogate in a text was not typed.");
            return;
        }
        cp = 0x10000 + ((char32_t(pendingHigh_) - 0xd800) << 10) + (char32_t(unit) - 0xdc00);
        if (!down)
            pendingHigh_ = 0;
    } else if (pendingHigh_) {
        logOnce("lone-high", "A lone high surrogate in a text was not typed.");
        pendingHigh_ = 0;
    }
    // The up has nothing left to do: the character went out whole.
    if (down)
        typeCodePointLocked(lock, cp);
}

void X11Desktop::textBegins(const std::u16string & /*text*/, const std::atomic<bool> *stop)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    textStop_ = stop;
}

bool X11Desktop::textStoppedLocked() const
{
    return textStop_ && textStop_->load();
}

void X11Desktop::prepareTextLocked()
{
    if (textPrepared_)
        return;
    restoreDue_.reset();
    // Bindings left by the previous text are kept and reused; otherwise
    // start from a fresh copy of the keymap (the layout may have changed).
    if (std::none_of(bindings_.begin(), bindings_.end(), [](const Binding &b) { return b.bound(); })) {
        textKeymap_.load(input_);
        readModifierMapLocked();
        bindings_.clear();
        for (int kc : textKeymap_.spareKeycodes()) {
            Binding b;
            b.keycode = kc;
            b.originalRow = textKeymap_.row(kc);
            bindings_.push_back(b);
        }
    }
    capsLock_ = capsLockOnLocked();
    textPrepared_ = true;
}

bool X11Desktop::capsLockOnLocked()
{
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    XQueryPointer(input_, DefaultRootWindow(input_), &root, &child, &rootX, &rootY, &winX, &winY, &mask);
    return (mask & LockMask) != 0;
}

void X11Desktop::readServerKeysLocked()
{
    XQueryKeymap(input_, serverKeys_);
}

bool X11Desktop::keyDownLocked(int kc) const
{
    if (std::find(heldKeys_.begin(), heldKeys_.end(), kc) != heldKeys_.end())
        return true;
    return kc > 0 && kc < 256 && (serverKeys_[kc / 8] & (1 << (kc % 8)));
}

bool X11Desktop::ownKeyFor(unsigned long sym, CharPress *press) const
{
    const X11Keymap::Place place = textKeymap_.find(sym);
    if (place.column < 0 || (place.column >= 4 && !level3Keycode_))
        return false;
    // With Caps Lock on, the keymap's own letter keys give the other case.
    if (capsLock_ && hasCase(sym))
        return false;
    // A key that is held (the person's stop command, a Key operation of the
    // run) would be let go by typing its character with it: the stop would
    // be lost, the hold cut short. Such a character goes through a spare key.
    if (keyDownLocked(place.keycode) && !bindings_.empty())
        return false;
    press->keycode = place.keycode;
    press->modifiers.clear();
    if ((place.column == 1 || place.column == 5) && shiftKeycode_ && !keyDownLocked(shiftKeycode_))
        press->modifiers.push_back(shiftKeycode_);
    if (place.column >= 4 && !keyDownLocked(level3Keycode_))
        press->modifiers.push_back(level3Keycode_);
    return true;
}

bool X11Desktop::boundSlotFor(unsigned long sym, Slot *slot) const
{
    for (size_t i = 0; i < bindings_.size(); ++i) {
        for (int c = 0; c < 2; ++c) {
            if (bindings_[i].syms[c] == sym) {
                *slot = Slot{i, c};
                return true;
            }
        }
    }
    return false;
}

void X11Desktop::typeCodePointLocked(std::unique_lock<std::mutex> &lock, char32_t cp)
{
    // A Windows line end "\r\n" is one line break, not two.
    const bool crlf = cp == U'\n' && lastWasCr_;
    lastWasCr_ = cp == U'\r';
    if (crlf || textStoppedLocked())
        return;
    const unsigned long sym = x11vk::keysymForCodePoint(cp);
    if (!sym) {
        logOnce("cp" + codePointText(cp), "No key for the character " + codePointText(cp) + "; not typed.");
        return;
    }
    prepareTextLocked();

    // Typed at once when nothing waits before it and no keymap change is
    // needed.
    if (pending_.empty() && !flushing_) {
        ServerHold hold(input_);
        readServerKeysLocked();
        CharPress press;
        Slot slot;
        if (ownKeyFor(sym, &press)) {
            typeNowLocked(press);
            return;
        }
        if (boundSlotFor(sym, &slot)) {
            typeSlotLocked(slot);
            return;
        }
    }
    pending_.push_back(sym);
    if (pending_.size() >= 2 * bindings_.size() || pending_.size() >= 256) {
        flushLocked(lock);
        return;
    }
    if (!flushDue_) {
        flushDue_ = Clock::now() + kGatherTime;
        if (!restoreThread_.joinable())
            restoreThread_ = std::thread(&X11Desktop::restoreThreadMain, this);
        restoreWake_.notify_all();
    }
}

void X11Desktop::typeNowLocked(const CharPress &press)
{
    {
        std::lock_guard<std::mutex> lock(observerMutex_);
        for (auto &entry : observers_)
            entry.second->expectTypedTap(press.modifiers, press.keycode);
    }
    for (int kc : press.modifiers)
        pressKeycode(kc, true);
    pressKeycode(press.keycode, true);
    pressKeycode(press.keycode, false);
    for (auto it = press.modifiers.rbegin(); it != press.modifiers.rend(); ++it)
        pressKeycode(*it, false);
}

void X11Desktop::typeSlotLocked(const Slot &slot)
{
    Binding &b = bindings_[slot.binding];
    CharPress press;
    press.keycode = b.keycode;
    if (slot.column == 1 && shiftKeycode_ && !keyDownLocked(shiftKeycode_))
        press.modifiers.push_back(shiftKeycode_);
    typeNowLocked(press);
    b.lastUse[slot.column] = Clock::now();
}

void X11Desktop::writeRowLocked(const Binding &b)
{
    if (!b.bound()) {
        KeySym *row = const_cast<KeySym *>(b.originalRow.data());
        XChangeKeyboardMapping(input_, b.keycode, int(b.originalRow.size()), row, 1);
        return;
    }
    // A lone column is written into both: a single alphabetic keysym would be
    // read as its lower case without Shift, and its upper case with it.
    KeySym row[2] = {b.syms[0] ? b.syms[0] : b.syms[1], b.syms[1] ? b.syms[1] : b.syms[0]};
    XChangeKeyboardMapping(input_, b.keycode, 2, row, 1);
}

void X11Desktop::flushLocked(std::unique_lock<std::mutex> &lock)
{
    flushDue_.reset();
    // One thread types the queue at a time; one that is waiting for a
    // binding to settle types what others add meanwhile too.
    typingWake_.wait(lock, [this] { return !flushing_; });
    flushing_ = true;
    size_t i = 0;
    while (i < pending_.size() && !textStoppedLocked()) {
        std::optional<ServerHold> hold(std::in_place, input_);
        readServerKeysLocked();
        // Plan a batch: the longest run of waiting characters that can be
        // typed with at most one new binding per free or settled column.
        std::set<Slot> busy;      // typed or bound in this batch: not to be rebound
        std::set<size_t> changed; // bindings whose row must be written
        const auto now = Clock::now();
        size_t j = i;
        for (; j < pending_.size(); ++j) {
            const unsigned long sym = pending_[j];
            CharPress own;
            if (ownKeyFor(sym, &own))
                continue;
            Slot slot;
            if (boundSlotFor(sym, &slot)) {
                busy.insert(slot);
                continue;
            }
            // Caps Lock would turn a pair of cases round: one column then.
            const int columns = capsLock_ ? 1 : 2;
            bool found = false;
            for (size_t b = 0; b < bindings_.size() && !found; ++b) {
                for (int c = 0; c < columns && !found; ++c) {
                    if (!bindings_[b].syms[c] && !busy.count(Slot{b, c})) {
                        slot = Slot{b, c};
                        found = true;
                    }
                }
            }
            if (!found) {
                // The column pressed longest ago, if it has settled.
                Clock::time_point oldest = Clock::time_point::max();
                for (size_t b = 0; b < bindings_.size(); ++b) {
                    for (int c = 0; c < columns; ++c) {
                        const Clock::time_point use = bindings_[b].lastUse[c];
                        if (!busy.count(Slot{b, c}) && use + settle_ <= now && use < oldest) {
                            oldest = use;
                            slot = Slot{b, c};
                        }
                    }
                }
                found = oldest != Clock::time_point::max();
            }
            if (!found)
                break;
            bindings_[slot.binding].syms[slot.column] = sym;
            busy.insert(slot);
            changed.insert(slot.binding);
        }
        if (j == i) {
            hold.reset();
            if (bindings_.empty()) {
                logOnce("nospare", "No spare keycode on the X keymap; characters missing from it are not typed.");
                ++i;
                continue;
            }
            // Every column is still in use: wait for the oldest to settle,
            // without the lock, and give up at a stop.
            Clock::time_point next = Clock::time_point::max();
            for (const Binding &b : bindings_) {
                for (int c = 0; c < (capsLock_ ? 1 : 2); ++c)
                    next = std::min(next, b.lastUse[c] + settle_);
            }
            if (!textStop_)
                typingWake_.wait_until(lock, next);
            else if (Clock::now() < next)
                typingWake_.wait_until(lock, std::min(next, Clock::now() + kStopLook));
            continue;
        }
        for (size_t b : changed)
            writeRowLocked(bindings_[b]);
        if (!changed.empty())
            XSync(input_, False);
        for (size_t k = i; k < j; ++k) {
            CharPress own;
            Slot slot;
            if (ownKeyFor(pending_[k], &own))
                typeNowLocked(own);
            else if (boundSlotFor(pending_[k], &slot))
                typeSlotLocked(slot);
        }
        i = j;
    }
    // At a stop, what has not been typed yet is not typed at all.
    pending_.clear();
    flushing_ = false;
    typingWake_.notify_all();
}

std::optional<X11Desktop::Clock::time_point> X11Desktop::lastBindingUseLocked() const
{
    std::optional<Clock::time_point> latest;
    for (const Binding &b : bindings_) {
        if (b.bound())
            latest = std::max({latest.value_or(Clock::time_point{}), b.lastUse[0], b.lastUse[1]});
    }
    return latest;
}

void X11Desktop::restoreBindingsLocked()
{
    bool changed = false;
    for (Binding &b : bindings_) {
        if (b.bound()) {
            b.syms[0] = b.syms[1] = 0;
            writeRowLocked(b);
            changed = true;
        }
    }
    if (changed)
        XSync(input_, False);
}

void X11Desktop::textDone()
{
    std::unique_lock<std::mutex> lock(inputMutex_);
    flushLocked(lock);
    textStop_ = nullptr;
    pendingHigh_ = 0;
    lastWasCr_ = false;
    textPrepared_ = false;
    const auto latest = lastBindingUseLocked();
    if (!latest)
        return;
    // Restoring now could change a row before a slow client has read the
    // text's last characters; and a text typed again soon reuses the rows.
    restoreDue_ = *latest + std::max(settle_, kRestoreDelay);
    if (!restoreThread_.joinable())
        restoreThread_ = std::thread(&X11Desktop::restoreThreadMain, this);
    restoreWake_.notify_all();
}

void X11Desktop::restoreThreadMain()
{
    std::unique_lock<std::mutex> lock(inputMutex_);
    while (!restoreQuit_) {
        const auto now = Clock::now();
        if (flushDue_ && now >= *flushDue_) {
            flushLocked(lock);
            continue;
        }
        if (restoreDue_ && now >= *restoreDue_) {
            restoreDue_.reset();
            const auto latest = lastBindingUseLocked();
            if (textPrepared_ || flushing_) {
                // A new text uses the rows; its own end restores them.
            } else if (latest && now < *latest + settle_) {
                restoreDue_ = *latest + settle_; // used again since: not yet
            } else {
                restoreBindingsLocked();
                bindings_.clear();
            }
            continue;
        }
        std::optional<Clock::time_point> next = flushDue_;
        if (restoreDue_ && (!next || *restoreDue_ < *next))
            next = restoreDue_;
        if (next)
            restoreWake_.wait_until(lock, *next);
        else
            restoreWake_.wait(lock);
    }
}

} // namespace platform
