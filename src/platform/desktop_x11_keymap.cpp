#include "platform/desktop_x11_keymap.h"
#include "platform/desktop_x11_vk.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace platform {

namespace {

bool isKeypadDigit(unsigned long sym)
{
    return (sym >= XK_KP_0 && sym <= XK_KP_9) || sym == XK_KP_Decimal;
}

} // namespace

void X11Keymap::load(Display *dpy)
{
    syms_.clear();
    min_ = 0;
    max_ = -1;
    per_ = 0;
    int minKc = 0;
    int maxKc = 0;
    XDisplayKeycodes(dpy, &minKc, &maxKc);
    int per = 0;
    // The full range is max - min + 1 keycodes; asking for one less silently
    // misses the top keycode, which is the first spare candidate.
    KeySym *syms = XGetKeyboardMapping(dpy, KeyCode(minKc), maxKc - minKc + 1, &per);
    if (!syms)
        return;
    min_ = minKc;
    max_ = maxKc;
    per_ = per;
    syms_.assign(syms, syms + size_t(maxKc - minKc + 1) * size_t(per));
    XFree(syms);
}

void X11Keymap::setForTesting(int minKeycode, int columns, std::vector<unsigned long> syms)
{
    min_ = minKeycode;
    per_ = columns;
    syms_ = std::move(syms);
    max_ = columns > 0 ? minKeycode + int(syms_.size() / size_t(columns)) - 1 : minKeycode - 1;
}

unsigned long X11Keymap::keysym(int keycode, int column) const
{
    if (keycode < min_ || keycode > max_ || column < 0 || column >= per_)
        return 0;
    return syms_[size_t(keycode - min_) * size_t(per_) + size_t(column)];
}

std::vector<unsigned long> X11Keymap::row(int keycode) const
{
    std::vector<unsigned long> out;
    for (int c = 0; c < per_; ++c)
        out.push_back(keysym(keycode, c));
    return out;
}

bool X11Keymap::isSpare(int keycode) const
{
    if (keycode < min_ || keycode > max_)
        return false;
    for (int c = 0; c < per_; ++c) {
        if (keysym(keycode, c) != NoSymbol)
            return false;
    }
    return true;
}

std::vector<int> X11Keymap::spareKeycodes() const
{
    std::vector<int> out;
    for (int kc = max_; kc >= min_; --kc) {
        if (isSpare(kc))
            out.push_back(kc);
    }
    return out;
}

std::vector<int> X11Keymap::keycodesOf(unsigned long sym) const
{
    std::vector<int> out;
    if (sym == NoSymbol)
        return out;
    for (int kc = min_; kc <= max_; ++kc) {
        if (keysym(kc, 0) == sym || keysym(kc, 1) == sym)
            out.push_back(kc);
    }
    return out;
}

X11Keymap::Place X11Keymap::find(unsigned long sym) const
{
    if (sym == NoSymbol)
        return {};
    for (int column : {0, 1, 4, 5}) {
        for (int kc = min_; kc <= max_; ++kc) {
            if (keysym(kc, column) == sym)
                return Place{kc, column};
        }
    }
    return {};
}

int X11Keymap::vkOf(int keycode, bool numLockOn) const
{
    const unsigned long plain = keysym(keycode, 0);
    const unsigned long shifted = keysym(keycode, 1);
    // Keypad digits with Num Lock on, navigation keys with it off.
    if (numLockOn && isKeypadDigit(shifted))
        return x11vk::vkForKeysym(shifted);
    const int code = x11vk::vkForKeysym(plain);
    return code ? code : x11vk::vkForKeysym(shifted);
}

unsigned int X11Keymap::modifierMaskHolding(Display *dpy, std::initializer_list<unsigned long> syms) const
{
    XModifierKeymap *map = XGetModifierMapping(dpy);
    if (!map)
        return 0;
    unsigned int mask = 0;
    for (int mod = Mod1MapIndex; mod <= Mod5MapIndex && !mask; ++mod) {
        for (int i = 0; i < map->max_keypermod && !mask; ++i) {
            const int kc = map->modifiermap[mod * map->max_keypermod + i];
            for (unsigned long sym : syms) {
                if (kc && (keysym(kc, 0) == sym || keysym(kc, 1) == sym))
                    mask = 1u << mod;
            }
        }
    }
    XFreeModifiermap(map);
    return mask;
}

} // namespace platform
