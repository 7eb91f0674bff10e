#pragma once

// Where GNOME's monitors lie. Mutter takes an absolute pointer position only
// within one monitor's screen-cast stream, so a position of the whole
// desktop is sent to the stream of the monitor that holds it.

#include "platform/desktop.h"

#include <QDBusConnection>
#include <QString>

#include <vector>

namespace platform {

struct MonitorPlace {
    QString connector; ///< "Meta-0", "DP-1": what RecordMonitor takes
    Rect area;         ///< in the desktop's layout, logical pixels
    bool primary = false;
};

/// The monitors as Mutter's display configuration has them now, the
/// primary first; empty when it cannot be asked.
std::vector<MonitorPlace> monitorLayout(const QDBusConnection &bus);

/// The index of the monitor that holds `p`, else of the one nearest to it
/// (a position off every monitor lands on its nearest edge). `places` must
/// not be empty.
std::size_t monitorAt(const std::vector<MonitorPlace> &places, Point p);

} // namespace platform
