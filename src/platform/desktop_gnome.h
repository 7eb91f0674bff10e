#pragma once

// The desktop of a GNOME Wayland session, reached through Mutter's remote
// desktop service on the session bus (org.gnome.Mutter.RemoteDesktop with a
// ScreenCast stream for absolute pointer positions). Wayland gives a client
// no way to inject input or read the keyboard elsewhere; Mutter's service
// does the first without asking the person, and is what GNOME's own screen
// sharing uses.
//
// What it does today: pointer moves, buttons, the wheel, keys by keysym,
// text by keysym (characters of the current layout) or pasted through the
// session's clipboard (the others), the screen's pixels from the stream's
// frames (PipeWire), the stop key as a GNOME custom shortcut
// (the keys are grabbed by gnome-shell, the command `tervalo_free --stop`
// run by gsd-media-keys), and a run's stop when the person closes the
// session with the sharing indicator's ×. What it does not do yet:
// read keys or the pointer, observe input, register the window's
// hot keys. It is chosen on a GNOME Wayland session whose session bus has
// Mutter's service or the desktop portal, or when TERVALO_BACKEND=gnome
// asks for it.
//
// Where Mutter refuses its API (AccessDenied) or lacks it, or when
// TERVALO_GNOME_API=portal asks, the same session comes through the
// RemoteDesktop portal instead: GNOME asks the person first, so there is one
// session per program start, opened at the first input and kept until the
// program ends (or the person ends it). The portal has no clipboard here,
// so characters outside the layout cannot be typed through it.

#include "platform/desktop.h"

#include <memory>
#include <string>

namespace platform {

/// The GNOME backend, or null with the reason in `why` (no session bus, no
/// Mutter remote-desktop service, a session that cannot start).
std::shared_ptr<Desktop> createGnomeDesktop(std::string *why);

/// True when the session bus has Mutter's remote desktop service or the
/// desktop portal.
bool gnomeRemoteDesktopOnBus();

} // namespace platform
