#pragma once

// What a Wayland session supports, feature by feature, for the input
// backend the program chose there: the notice of the first start on such a
// session says it (the README has the same table for every platform).

#include <QString>

namespace waylandsupport {

/// Features the notice covers.
constexpr int kFeatures = 7;

/// The notice in both languages at once (it can come before the reader has
/// chosen one): what works, per feature, with GNOME's remote desktop
/// (`gnome` true) or with X11 through XWayland.
QString notice(bool gnome);

} // namespace waylandsupport
