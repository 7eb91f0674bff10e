#pragma once

// A copy of the server's core keyboard mapping, read in one request. The
// backend takes a fresh copy whenever it must not trust an older one (the
// user may switch layouts at any time, and we change spare rows ourselves).

#include <initializer_list>
#include <vector>

typedef struct _XDisplay Display;

namespace platform {

class X11Keymap {
public:
    struct Place {
        int keycode = 0;
        int column = -1; ///< 0 plain, 1 Shift, 4 level 3, 5 level 3 + Shift
    };

    /// Reads the whole mapping (every keycode from min to max, every column).
    /// Leaves the keymap empty when the server gives nothing.
    void load(Display *dpy);

    bool empty() const { return syms_.empty(); }
    int minKeycode() const { return min_; }
    int maxKeycode() const { return max_; }
    int columns() const { return per_; }

    /// Keysym at (keycode, column); 0 outside the table.
    unsigned long keysym(int keycode, int column) const;
    /// The whole row of a keycode (columns() entries).
    std::vector<unsigned long> row(int keycode) const;
    /// True when every column of the keycode is NoSymbol.
    bool isSpare(int keycode) const;
    /// Spare keycodes, searched from the top (the top of the range is least
    /// likely to be claimed by a physical key).
    std::vector<int> spareKeycodes() const;

    /// Every keycode that carries the keysym in its first group (plain or
    /// Shift column), ascending.
    std::vector<int> keycodesOf(unsigned long keysym) const;
    /// Where a keysym can be typed: the first of plain, Shift, level 3,
    /// level 3 + Shift over all keycodes; column -1 when nowhere.
    Place find(unsigned long keysym) const;

    /// Virtual-key code a low-level hook reports for a keycode: that of its
    /// plain keysym, or its shifted one when the plain has none; keypad
    /// digits when Num Lock is on. 0 when neither has a code.
    int vkOf(int keycode, bool numLockOn) const;

    /// The X modifier bit (Mod1 ... Mod5) whose keys carry any of the
    /// keysyms, read from the server's modifier mapping; 0 if none.
    unsigned int modifierMaskHolding(Display *dpy, std::initializer_list<unsigned long> syms) const;

    /// Used by tests: replaces the table.
    void setForTesting(int minKeycode, int columns, std::vector<unsigned long> syms);

private:
    int min_ = 0;
    int max_ = -1;
    int per_ = 0;
    std::vector<unsigned long> syms_;
};

} // namespace platform
