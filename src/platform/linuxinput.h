#pragma once

// Linux input event codes (linux/input-event-codes.h) that the Wayland
// backends send: every compositor takes buttons and keys by these numbers.

#include <cstdint>

namespace platform::linuxinput {

constexpr std::uint32_t kButtonLeft = 0x110;  // BTN_LEFT
constexpr std::uint32_t kButtonRight = 0x111; // BTN_RIGHT
// The keys of the paste shortcut, pressed as keys rather than keysyms so
// that Ctrl+V works on any layout, as applications match it.
constexpr std::uint32_t kKeyLeftCtrl = 29; // KEY_LEFTCTRL
constexpr std::uint32_t kKeyV = 47;        // KEY_V

} // namespace platform::linuxinput
