#pragma once

// What a Wayland session supports, feature by feature, for the input
// backend the program chose there: the notice of the first start on such a
// session says it (the README has the same table for every platform).

#include <QString>

#include <string>

namespace waylandsupport {

/// Features the notice covers.
constexpr int kFeatures = 7;

/// The notice in both languages at once (it can come before the reader has
/// chosen one): what works, per feature, with the backend of that name (as
/// the desktop names itself): GNOME's remote desktop ("gnome"), KWin's fake
/// input ("kde"), or else X11 through XWayland.
QString notice(const std::string &backend);

} // namespace waylandsupport
