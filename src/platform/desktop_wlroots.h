#pragma once

// The desktop of a wlroots compositor (sway and its kin): input through its
// virtual keyboard and virtual pointer protocols, the screen through its
// screencopy protocol, all on a Wayland connection and thread of our own
// (plain libwayland-client, no Qt: the command line opens the desktop before
// any application object exists). The keyboard carries a keymap of ours, so
// any character can be typed: characters are bound to spare keys ahead of
// typing. The stop key is a sway binding heard on sway's IPC socket.
// What it does not do: read keys or the pointer (Wayland tells no client),
// observe input, register the window's hot keys.

#include "platform/desktop.h"

#include <memory>
#include <string>

namespace platform {

/// The wlroots backend, or null with the reason in `why` (no Wayland
/// display, a compositor without the virtual keyboard or pointer).
std::shared_ptr<Desktop> createWlrootsDesktop(std::string *why);

/// True when the Wayland display of the environment offers both the virtual
/// keyboard and the virtual pointer managers.
bool wlrootsInputOffered();

} // namespace platform
