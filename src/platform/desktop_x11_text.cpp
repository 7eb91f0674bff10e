// Typing Unicode text on X11: characters on the keymap are typed with their
// own key (plus Shift or level 3); the others are bound to spare keycodes,
// two per keycode (plain and Shift), for the length of a text. Clients read a
// changed keymap lazily, after they have worked through the events queued
// before the change, so a column is rebound only once its last press is old
// enough to have been read; and because each change makes every client read
// the whole keymap (about 3.5 ms for a Qt client), the rows a batch needs
// are written together, in one XKB change (one core change per run of
// neighbouring keycodes where the server has no XKB). When
// the caller has announced its text, the batch binds the text's coming
// characters ahead of their turn, as many as the spare keys hold, and a
// settled column is taken from the character needed last; otherwise
// characters that need a change are gathered for a moment. When the
// receiving client answers pings, a column is free again as soon as it has
// answered one sent after the column's last press (desktop_x11_ping.h).
//
// Each character goes out as a whole tap (down and up) at its down, with the
// server held from the look at the key state to the tap: a key that another
// client presses meanwhile (the person's stop command) would otherwise be let
// go by our release of the same key.

#include "platform/desktop_x11.h"
#include "platform/desktop_x11_vk.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <limits>
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
// How long a receiver that answers pings may take before a column settles
// anyway: a busy machine keeps a client 150 ms and more behind, and a column
// rebound before it has read the old key makes it type the wrong character.
constexpr std::chrono::milliseconds kPingPatience{1000};
// How far into the announced text a batch looks (code points): more distinct
// characters than any keymap has spare columns.
constexpr size_t kLookAhead = 4096;

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

void X11Desktop::setReceiverPings(bool on)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    pings_ = on;
    receiverChecked_ = false;
    pingWindow_ = 0;
    pingOut_ = 0;
    typingWake_.notify_all();
}

X11Desktop::Clock::time_point X11Desktop::settlesAtLocked(Clock::time_point use) const
{
    return use + (pingWindow_ ? std::max(settle_, kPingPatience) : settle_);
}

bool X11Desktop::settledLocked(Clock::time_point use, Clock::time_point now) const
{
    return use <= confirmed_ || settlesAtLocked(use) <= now;
}

void X11Desktop::findPingReceiverLocked()
{
    if (receiverChecked_)
        return;
    receiverChecked_ = true;
    pingWindow_ = 0;
    pingOut_ = 0;
    unansweredSince_.reset();
    if (!pings_)
        return;
    if (!ping_)
        ping_ = std::make_unique<X11ClientPing>(displayName_.c_str());
    pingWindow_ = ping_->answeringReceiver(input_);
}

void X11Desktop::awaitReceiverLocked(std::unique_lock<std::mutex> &lock, Clock::time_point until)
{
    const Clock::time_point latest = lastBindingUseLocked().value_or(Clock::time_point{});
    if (!pingOut_ || pingSentAt_ < latest) {
        // After every key sent so far, on the same connection.
        pingSentAt_ = Clock::now();
        pingOut_ = ping_->send(input_, pingWindow_);
        if (!unansweredSince_)
            unansweredSince_ = pingSentAt_;
    }
    const unsigned long number = pingOut_;
    const auto sentAt = pingSentAt_;
    const long wait = std::max<long>(0, long(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count()));
    // Only this thread types (flushing_), so the ping is ours alone meanwhile.
    lock.unlock();
    const bool answered = ping_->waitForAnswer(number, int(std::min<long>(wait, kStopLook.count())));
    lock.lock();
    if (answered) {
        confirmed_ = std::max(confirmed_, sentAt);
        unansweredSince_.reset();
        if (pingOut_ == number)
            pingOut_ = 0;
    } else if (unansweredSince_ && Clock::now() >= *unansweredSince_ + kPingPatience) {
        // It has stopped answering (a hung client, the focus moved away):
        // the settle time alone counts for the rest of the text.
        logOnce("ping", "The window receiving the text did not answer a ping; typing waits the settle time instead.");
        pingWindow_ = 0;
        pingOut_ = 0;
        unansweredSince_.reset();
    }
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
            logUntypedOnce("lone-low", "A lone low surrogate in a text was not typed.");
            return;
        }
        cp = 0x10000 + ((char32_t(pendingHigh_) - 0xd800) << 10) + (char32_t(unit) - 0xdc00);
        if (!down)
            pendingHigh_ = 0;
    } else if (pendingHigh_) {
        logUntypedOnce("lone-high", "A lone high surrogate in a text was not typed.");
        pendingHigh_ = 0;
    }
    // The up has nothing left to do: the character went out whole.
    if (down)
        typeCodePointLocked(lock, cp);
}

void X11Desktop::textBegins(const std::u16string &text, const std::atomic<bool> *stop)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    textStop_ = stop;
    // The code points unicodeUnit will type, decoded as it decodes them
    // (lone surrogates are not typed).
    ahead_.clear();
    aheadSent_ = 0;
    for (size_t k = 0; k < text.size(); ++k) {
        const char16_t u = text[k];
        if (isHigh(u) && k + 1 < text.size() && isLow(text[k + 1])) {
            ahead_.push_back(0x10000 + ((char32_t(u) - 0xd800) << 10) + (char32_t(text[k + 1]) - 0xdc00));
            ++k;
        } else if (!isHigh(u) && !isLow(u)) {
            ahead_.push_back(u);
        }
    }
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
        readOriginalXkbLocked();
    }
    capsLock_ = capsLockOnLocked();
    receiverChecked_ = false; // the focus may have moved since the last text
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
    // Follow the announced text; a caller that leaves it gets no look-ahead.
    if (aheadSent_ < ahead_.size() && ahead_[aheadSent_] == cp)
        ++aheadSent_;
    else
        ahead_.clear();
    // A Windows line end "\r\n" is one line break, not two.
    const bool crlf = cp == U'\n' && lastWasCr_;
    lastWasCr_ = cp == U'\r';
    if (crlf || textStoppedLocked())
        return;
    const unsigned long sym = x11vk::keysymForCodePoint(cp);
    if (!sym) {
        logUntypedOnce("cp" + codePointText(cp), "No key for the character " + codePointText(cp) + "; not typed.");
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
    // With the text announced there is nothing to gather: the batch binds
    // the coming characters itself.
    if (!ahead_.empty() || pending_.size() >= 2 * bindings_.size() || pending_.size() >= 256) {
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

void X11Desktop::readOriginalXkbLocked()
{
    XkbDescPtr xkb = XkbGetMap(input_, XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb || !xkb->map)
        return;
    for (Binding &b : bindings_) {
        if (b.keycode < xkb->min_key_code || b.keycode > xkb->max_key_code)
            continue;
        const XkbSymMapRec &m = xkb->map->key_sym_map[b.keycode];
        std::copy_n(m.kt_index, 4, b.originalTypes);
        b.originalGroupInfo = m.group_info;
        b.originalWidth = m.width;
        const KeySym *syms = XkbKeySymsPtr(xkb, b.keycode);
        b.originalSyms.assign(syms, syms + XkbKeyNumSyms(xkb, b.keycode));
        b.haveOriginalXkb = true;
    }
    XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
}

bool X11Desktop::writeRowsXkbLocked(const std::set<size_t> &which)
{
    int low = 256, high = 0;
    for (size_t b : which) {
        if (!bindings_[b].haveOriginalXkb)
            return false;
        low = std::min(low, bindings_[b].keycode);
        high = std::max(high, bindings_[b].keycode);
    }
    // The key types too: the ones a bound row gets are chosen from them.
    XkbDescPtr xkb = XkbGetMap(input_, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb || !xkb->map || low < xkb->min_key_code || high > xkb->max_key_code) {
        if (xkb)
            XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
        return false;
    }
    bool ok = true;
    for (size_t index : which) {
        const Binding &b = bindings_[index];
        const int kc = b.keycode;
        if (b.bound()) {
            // The types and symbols the server gives a core row of these
            // two keysyms, so that a client sees what a core change made.
            // A lone column is written into both: a single alphabetic
            // keysym would be read as its lower case without Shift, and its
            // upper case with it.
            KeySym core[2] = {b.syms[0] ? b.syms[0] : b.syms[1], b.syms[1] ? b.syms[1] : b.syms[0]};
            int types[XkbNumKbdGroups] = {XkbOneLevelIndex, XkbOneLevelIndex, XkbOneLevelIndex, XkbOneLevelIndex};
            KeySym syms[XkbMaxSymsPerKey] = {};
            const int groups = XkbKeyTypesForCoreSymbols(xkb, 2, core, 0, types, syms);
            XkbMapChangesRec ignored{};
            if (groups < 1 || XkbChangeTypesOfKey(xkb, kc, groups, XkbAllGroupsMask, types, &ignored) != Success) {
                ok = false;
                break;
            }
            std::copy_n(syms, XkbKeyNumSyms(xkb, kc), XkbKeySymsPtr(xkb, kc));
        } else {
            KeySym *syms = XkbResizeKeySyms(xkb, kc, int(b.originalSyms.size()));
            if (!syms) {
                ok = false;
                break;
            }
            XkbSymMapRec &m = xkb->map->key_sym_map[kc];
            std::copy_n(b.originalTypes, 4, m.kt_index);
            m.group_info = b.originalGroupInfo;
            m.width = b.originalWidth;
            std::copy(b.originalSyms.begin(), b.originalSyms.end(), syms);
        }
    }
    if (ok) {
        XkbMapChangesRec changes{};
        changes.changed = XkbKeySymsMask;
        changes.first_key_sym = KeyCode(low);
        changes.num_key_syms = (unsigned char)(high - low + 1);
        ok = XkbChangeMap(input_, xkb, &changes);
    }
    XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
    return ok;
}

void X11Desktop::writeRowsLocked(const std::set<size_t> &which)
{
    if (which.empty())
        return;
    if (writeRowsXkbLocked(which)) {
        XSync(input_, False);
        return;
    }
    // Without XKB: one change for each run of neighbouring keycodes. A run
    // never covers a row that is not ours: rewriting another key's row,
    // even unchanged, leaves the server's core keymap wider than it was.
    std::map<int, size_t> byKeycode;
    for (size_t b : which)
        byKeycode.emplace(bindings_[b].keycode, b);
    const int per = std::max(textKeymap_.columns(), 2);
    std::vector<KeySym> rows;
    int first = 0;
    for (auto it = byKeycode.begin(); it != byKeycode.end(); ++it) {
        if (rows.empty())
            first = it->first;
        const Binding &b = bindings_[it->second];
        const size_t at = rows.size();
        rows.resize(at + size_t(per), 0);
        if (b.bound()) {
            rows[at] = b.syms[0] ? b.syms[0] : b.syms[1];
            rows[at + 1] = b.syms[1] ? b.syms[1] : b.syms[0];
        } else {
            std::copy_n(b.originalRow.begin(), std::min(b.originalRow.size(), size_t(per)), rows.begin() + long(at));
        }
        const auto next = std::next(it);
        if (next == byKeycode.end() || next->first != it->first + 1) {
            XChangeKeyboardMapping(input_, first, per, rows.data(), int(rows.size() / size_t(per)));
            rows.clear();
        }
    }
    XSync(input_, False);
}

std::map<unsigned long, size_t> X11Desktop::nextUsesLocked(size_t from) const
{
    std::map<unsigned long, size_t> uses;
    size_t pos = 0;
    for (size_t k = from; k < pending_.size(); ++k, ++pos)
        uses.emplace(pending_[k], pos);
    for (size_t k = aheadSent_; k < ahead_.size() && pos < kLookAhead; ++k, ++pos) {
        if (const unsigned long sym = x11vk::keysymForCodePoint(ahead_[k]))
            uses.emplace(sym, pos);
    }
    return uses;
}

bool X11Desktop::freeSlotLocked(const std::set<Slot> &busy, Slot *slot) const
{
    for (size_t b = 0; b < bindings_.size(); ++b) {
        for (int c = 0; c < usableColumnsLocked(); ++c) {
            if (!bindings_[b].syms[c] && !busy.count(Slot{b, c})) {
                *slot = Slot{b, c};
                return true;
            }
        }
    }
    return false;
}

void X11Desktop::bindAheadLocked(std::set<Slot> &busy, std::set<size_t> &changed, size_t from, Clock::time_point now)
{
    const auto uses = nextUsesLocked(from);
    auto nextUse = [&uses](unsigned long sym) {
        const auto it = uses.find(sym);
        return it == uses.end() ? std::numeric_limits<size_t>::max() : it->second;
    };
    const int columns = usableColumnsLocked();
    size_t pos = pending_.size() - from;
    for (size_t k = aheadSent_; k < ahead_.size() && pos < kLookAhead; ++k, ++pos) {
        const unsigned long sym = x11vk::keysymForCodePoint(ahead_[k]);
        CharPress own;
        Slot slot;
        if (!sym || nextUse(sym) < pos || ownKeyFor(sym, &own) || boundSlotFor(sym, &slot))
            continue; // seen before, or typed without a change
        // A free column, else the settled one whose character is needed
        // last, if that is after this one.
        bool found = freeSlotLocked(busy, &slot);
        size_t latest = pos;
        for (size_t b = 0; b < bindings_.size() && !found; ++b) {
            for (int c = 0; c < columns; ++c) {
                const size_t use = nextUse(bindings_[b].syms[c]);
                if (!busy.count(Slot{b, c}) && settledLocked(bindings_[b].lastUse[c], now) && use > latest) {
                    latest = use;
                    slot = Slot{b, c};
                }
            }
        }
        found = found || latest > pos;
        if (!found)
            return;
        bindings_[slot.binding].syms[slot.column] = sym;
        busy.insert(slot);
        changed.insert(slot.binding);
    }
}

void X11Desktop::flushLocked(std::unique_lock<std::mutex> &lock)
{
    flushDue_.reset();
    // One thread types the queue at a time; one that is waiting for a
    // binding to settle types what others add meanwhile too.
    typingWake_.wait(lock, [this] { return !flushing_; });
    flushing_ = true;
    findPingReceiverLocked();
    size_t i = 0;
    while (i < pending_.size() && !textStoppedLocked()) {
        std::optional<ServerHold> hold(std::in_place, input_);
        readServerKeysLocked();
        // Plan a batch: the longest run of waiting characters that can be
        // typed with at most one new binding per free or settled column.
        std::set<Slot> busy;      // typed or bound in this batch: not to be rebound
        std::set<size_t> changed; // bindings whose row must be written
        const auto now = Clock::now();
        // Read only when a settled column must be chosen: a typist waiting
        // for one plans again every few milliseconds.
        std::optional<std::map<unsigned long, size_t>> uses;
        auto nextUse = [this, &uses, i](unsigned long sym) {
            if (!uses)
                uses = nextUsesLocked(i);
            const auto it = uses->find(sym);
            return it == uses->end() ? std::numeric_limits<size_t>::max() : it->second;
        };
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
            const int columns = usableColumnsLocked();
            bool found = freeSlotLocked(busy, &slot);
            if (!found) {
                // A settled column: the one whose character is needed last
                // (bound ahead, it may not have been pressed yet), else the
                // one pressed longest ago.
                size_t latest = 0;
                Clock::time_point oldest = Clock::time_point::max();
                for (size_t b = 0; b < bindings_.size(); ++b) {
                    for (int c = 0; c < columns; ++c) {
                        const Clock::time_point use = bindings_[b].lastUse[c];
                        if (busy.count(Slot{b, c}) || !settledLocked(use, now))
                            continue;
                        const size_t needed = nextUse(bindings_[b].syms[c]);
                        if (!found || needed > latest || (needed == latest && use < oldest)) {
                            latest = needed;
                            oldest = use;
                            slot = Slot{b, c};
                            found = true;
                        }
                    }
                }
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
                logUntypedOnce("nospare", "No spare keycode on the X keymap; characters missing from it are not typed.");
                ++i;
                continue;
            }
            // Every column is still in use: wait for the receiver's answer
            // or for the oldest to settle, without the lock, and give up at
            // a stop.
            Clock::time_point next = Clock::time_point::max();
            for (const Binding &b : bindings_) {
                for (int c = 0; c < usableColumnsLocked(); ++c)
                    next = std::min(next, settlesAtLocked(b.lastUse[c]));
            }
            if (pingWindow_)
                awaitReceiverLocked(lock, next);
            else if (!textStop_)
                typingWake_.wait_until(lock, next);
            else if (Clock::now() < next)
                typingWake_.wait_until(lock, std::min(next, Clock::now() + kStopLook));
            continue;
        }
        if (j == pending_.size() && !ahead_.empty())
            bindAheadLocked(busy, changed, i, now);
        writeRowsLocked(changed);
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
    std::set<size_t> changed;
    for (size_t b = 0; b < bindings_.size(); ++b) {
        if (bindings_[b].bound()) {
            bindings_[b].syms[0] = bindings_[b].syms[1] = 0;
            changed.insert(b);
        }
    }
    if (changed.empty())
        return;
    // The XKB change reads the keys between ours and writes them back: no
    // other client's change may come in between.
    ServerHold hold(input_);
    writeRowsLocked(changed);
}

void X11Desktop::textDone()
{
    std::unique_lock<std::mutex> lock(inputMutex_);
    flushLocked(lock);
    textStop_ = nullptr;
    ahead_.clear();
    aheadSent_ = 0;
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
