#pragma once

// The virtual-key code of a key as Qt reports it in one of the program's own
// windows. Where no program may hear other windows' keys (Wayland), the
// editor's key capture reads them there; everything past this point speaks
// virtual-key codes, as the desktop hooks do.

#include <Qt>

namespace qtkeycode {

/// The virtual-key code for Qt's key (QKeyEvent::key()) with the modifiers
/// the event carried (only Qt::KeypadModifier matters here); 0 for a key
/// with no virtual-key code. A symbol that needs Shift on a US keyboard
/// ("!", "?") gives the key it is on, as a hook would see it.
int vkOf(int qtKey, Qt::KeyboardModifiers modifiers);

} // namespace qtkeycode
