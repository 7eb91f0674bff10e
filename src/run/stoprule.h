#pragma once

// Whether a run may start with a given stop command. A run without one can
// be stopped only from its tray icon (or ends after its passes): where the
// desktop has no system tray, such a run must not start at all. The run
// settings dialog and any other way of starting a run ask here.

#include <QString>

#include <optional>

class StopRule {
public:
    /// True when the desktop shows a system tray now, unless a test said
    /// otherwise with setTrayAvailableForTesting.
    static bool trayAvailable();
    /// True when a run with this stop command ("なし" for none) may start:
    /// it has a usable stop command, or there is a tray to stop it from.
    static bool mayStart(const QString &stopCommand);
    /// True when `stopCommand` names a key a run can watch for.
    static bool isUsableStopCommand(const QString &stopCommand);

    /// Tests pretend a tray is there (true) or missing (false); nullopt asks
    /// the desktop again.
    static void setTrayAvailableForTesting(std::optional<bool> available);
};
