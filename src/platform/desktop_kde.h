#pragma once

// The desktop of a KDE Plasma Wayland session, reached through KWin.
// Input goes through KWin's fake-input protocol on a Wayland connection of
// our own: pointer moves, buttons, the wheel and keys by key code, which
// the keyboard layout KWin sends to every keyboard of the seat translates.
// KWin offers that protocol only to programs whose .desktop file names it
// (X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input) and runs the program
// at the Exec= path, so the installed menu entry carries that line.
//
// What it does: pointer moves, buttons, the wheel, keys; text as key codes
// for the characters of the layout, the others pasted through the seat's
// clipboard (data-control protocol), which is given back afterwards; the
// screen's pixels through KWin's screenshot service (D-Bus, also granted by
// the .desktop file); the stop key as a KDE global shortcut (KGlobalAccel).
// What it does not do: read keys or the pointer, observe input, register
// the window's hot keys. It is chosen on a KDE Wayland session, or when
// TERVALO_BACKEND=kde asks for it.

#include "platform/desktop.h"

#include <memory>
#include <string>

namespace platform {

/// The KDE backend, or null with the reason in `why` (no Wayland display,
/// no fake-input protocol offered to this program).
std::shared_ptr<Desktop> createKdeDesktop(std::string *why);

/// KDE's global shortcuts (KGlobalAccel over D-Bus): binds the stop key of
/// a run to a command that KGlobalAccel's signal starts. Used by the KDE
/// backend; one binding per process.
namespace kdeshortcut {
/// The key as KGlobalAccel stores it (a Qt key code with Qt's modifier
/// bits) for the hot-key modifier mask and virtual-key code; 0 when the key
/// has no Qt code.
int qtKeyOf(int modifiers, int vkCode);
/// Binds the combination to the command; a handle > 0, or 0 when
/// KGlobalAccel is not there or refuses it.
int bind(int modifiers, int vkCode, const std::string &command);
/// Removes the binding again.
void unbind(int handle);
} // namespace kdeshortcut

} // namespace platform
