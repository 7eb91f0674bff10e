#pragma once

// What a Wayland session supports, feature by feature, for the input
// backend the program chose there: the notice of the first start on such a
// session says it (the README has the same table for every platform).

#include <QString>

namespace waylandsupport {

/// Features the notice covers.
constexpr int kFeatures = 7;

/// The input backends of a Wayland session.
enum class Backend {
    XWayland, ///< X11 through XWayland
    Gnome,    ///< GNOME's remote desktop (Mutter)
    Kde,      ///< KWin's fake input (KDE Plasma)
    Wlroots   ///< a wlroots compositor's virtual devices and screencopy (sway)
};

/// The backend of a desktop by its name (platform::Desktop::name).
Backend backendNamed(const char *desktopName);

/// The notice in both languages at once (it can come before the reader has
/// chosen one): what works, per feature, with the backend.
QString notice(Backend backend);

} // namespace waylandsupport
