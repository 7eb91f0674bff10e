#pragma once

// Translation between Windows virtual-key codes and X keysyms. Pure tables,
// no X connection: the keycodes behind a keysym depend on the keymap and are
// looked up by X11Keymap.

#include <cstdint>
#include <vector>

namespace platform::x11vk {

/// Keysyms a virtual-key code stands for, best first: we press the first one
/// that the keymap has, and the key counts as down when any of them is. The
/// generic modifier codes (16-18) list the left key first, then the right.
/// Empty when the code has no key on X.
std::vector<unsigned long> keysymsForVk(int vkCode);

/// Virtual-key code a low-level hook reports for a keysym, with side-specific
/// codes for Shift, Ctrl, Alt and Win; 0 when it has none.
int vkForKeysym(unsigned long keysym);

/// Keysym of one Unicode code point for binding to a key: Latin-1 maps to
/// itself, the rest to 0x01000000 + code point; control characters that have
/// a key of their own (line break, tab, backspace, escape, delete) map to that
/// key; other control characters and invalid code points give 0.
unsigned long keysymForCodePoint(char32_t codePoint);

} // namespace platform::x11vk
