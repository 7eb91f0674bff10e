// Typing Unicode text on X11: characters on the keymap are typed with their
// own key (plus Shift or level 3); the others are bound to spare keycodes for
// the length of one text. Clients re-read a changed keymap lazily, after they
// have worked through the events queued before the change, so a keycode is
// rebound only once its last press is old enough to have been read.

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

} // namespace

void X11Desktop::setSettleTime(std::chrono::milliseconds settle)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    settle_ = settle;
}

int X11Desktop::boundSpareKeys()
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    return int(std::count_if(bindings_.begin(), bindings_.end(), [](const Binding &b) { return b.keysym != 0; }));
}

void X11Desktop::unicodeUnit(char16_t unit, bool down)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
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
    if (down)
        pressCodePoint(cp);
    else
        releaseCharLocked();
}

void X11Desktop::prepareTextLocked()
{
    if (textPrepared_)
        return;
    restoreDue_.reset();
    // Bindings left by the previous text are kept and reused; otherwise
    // start from a fresh copy of the keymap (the layout may have changed).
    if (std::none_of(bindings_.begin(), bindings_.end(), [](const Binding &b) { return b.keysym != 0; })) {
        textKeymap_.load(input_);
        readModifierMapLocked();
        bindings_.clear();
        for (int kc : textKeymap_.spareKeycodes())
            bindings_.push_back(Binding{kc, 0, textKeymap_.row(kc), {}});
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

void X11Desktop::pressCodePoint(char32_t cp)
{
    if (charDown_.keycode)
        releaseCharLocked(); // a down without its up: finish the old one first
    // A Windows line end "\r\n" is one line break, not two.
    const bool crlf = cp == U'\n' && lastWasCr_;
    lastWasCr_ = cp == U'\r';
    if (crlf)
        return;
    const unsigned long sym = x11vk::keysymForCodePoint(cp);
    if (!sym) {
        logOnce("cp" + codePointText(cp), "No key for the character " + codePointText(cp) + "; not typed.");
        return;
    }
    prepareTextLocked();

    X11Keymap::Place place = textKeymap_.find(sym);
    bool own = place.column >= 0 && (place.column < 2 || level3Keycode_);
    // With Caps Lock on, the keymap's own letter keys give the other case;
    // a spare key bound to the letter in both columns does not.
    if (own && capsLock_ && hasCase(sym))
        own = false;

    CharPress press;
    if (own) {
        if ((place.column == 1 || place.column == 5) && shiftKeycode_
            && std::find(heldKeys_.begin(), heldKeys_.end(), shiftKeycode_) == heldKeys_.end())
            press.modifiers.push_back(shiftKeycode_);
        if (place.column >= 4)
            press.modifiers.push_back(level3Keycode_);
        press.keycode = place.keycode;
    } else {
        press.keycode = bindingFor(sym);
        if (!press.keycode) {
            logOnce("nospare", "No spare keycode on the X keymap; characters missing from it are not typed.");
            return;
        }
    }
    for (int kc : press.modifiers)
        pressKeycode(kc, true);
    pressKeycode(press.keycode, true);
    XFlush(input_);
    charDown_ = press;
}

void X11Desktop::releaseCharLocked()
{
    if (!charDown_.keycode)
        return;
    pressKeycode(charDown_.keycode, false);
    for (auto it = charDown_.modifiers.rbegin(); it != charDown_.modifiers.rend(); ++it)
        pressKeycode(*it, false);
    const auto now = Clock::now();
    for (Binding &b : bindings_) {
        if (b.keycode == charDown_.keycode)
            b.lastUse = now;
    }
    charDown_ = {};
    XFlush(input_);
}

int X11Desktop::bindingFor(unsigned long sym)
{
    for (const Binding &b : bindings_) {
        if (b.keysym == sym)
            return b.keycode; // still bound from earlier in this text
    }
    if (bindings_.empty())
        return 0;
    // A free spare first; else the one pressed longest ago, once it has
    // been idle for the settle time.
    auto slot = std::find_if(bindings_.begin(), bindings_.end(), [](const Binding &b) { return b.keysym == 0; });
    if (slot == bindings_.end()) {
        slot = std::min_element(bindings_.begin(), bindings_.end(),
                                [](const Binding &a, const Binding &b) { return a.lastUse < b.lastUse; });
        std::this_thread::sleep_until(slot->lastUse + settle_);
    }
    // Both columns: a lone alphabetic keysym would be read as its lower
    // case without Shift, and Caps Lock would turn it round.
    KeySym row[2] = {sym, sym};
    XChangeKeyboardMapping(input_, slot->keycode, 2, row, 1);
    XSync(input_, False);
    slot->keysym = sym;
    slot->lastUse = Clock::now();
    return slot->keycode;
}

void X11Desktop::restoreBindingsLocked()
{
    std::vector<Binding *> bound;
    Clock::time_point latest{};
    for (Binding &b : bindings_) {
        if (b.keysym) {
            bound.push_back(&b);
            latest = std::max(latest, b.lastUse);
        }
    }
    if (!bound.empty()) {
        std::this_thread::sleep_until(latest + settle_);
        std::sort(bound.begin(), bound.end(), [](const Binding *a, const Binding *b) { return a->keycode < b->keycode; });
        const int per = textKeymap_.columns();
        // Neighbouring keycodes go back in one request: every request makes
        // every client re-read the keymap.
        for (size_t i = 0; i < bound.size();) {
            size_t j = i + 1;
            while (j < bound.size() && bound[j]->keycode == bound[j - 1]->keycode + 1)
                ++j;
            std::vector<KeySym> rows;
            for (size_t k = i; k < j; ++k)
                rows.insert(rows.end(), bound[k]->originalRow.begin(), bound[k]->originalRow.end());
            XChangeKeyboardMapping(input_, bound[i]->keycode, per, rows.data(), int(j - i));
            i = j;
        }
        XSync(input_, False);
        for (Binding *b : bound)
            b->keysym = 0;
    }
}

void X11Desktop::textDone()
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    releaseCharLocked();
    pendingHigh_ = 0;
    lastWasCr_ = false;
    textPrepared_ = false;
    Clock::time_point latest{};
    bool any = false;
    for (const Binding &b : bindings_) {
        if (b.keysym) {
            any = true;
            latest = std::max(latest, b.lastUse);
        }
    }
    if (!any)
        return;
    // Restoring now could change a row before a slow client has read the
    // text's last characters; and a text typed again soon reuses the rows.
    restoreDue_ = latest + settle_;
    if (!restoreThread_.joinable())
        restoreThread_ = std::thread(&X11Desktop::restoreThreadMain, this);
    restoreWake_.notify_all();
}

void X11Desktop::restoreThreadMain()
{
    std::unique_lock<std::mutex> lock(inputMutex_);
    while (!restoreQuit_) {
        if (!restoreDue_) {
            restoreWake_.wait(lock);
        } else if (Clock::now() < *restoreDue_) {
            restoreWake_.wait_until(lock, *restoreDue_);
        } else {
            restoreDue_.reset();
            if (!textPrepared_) {
                restoreBindingsLocked();
                bindings_.clear();
            }
        }
    }
}

} // namespace platform
