#include "run/stoprule.h"

#include "input/keycombination.h"
#include "run/desktopshell.h"



namespace {
std::optional<bool> trayOverride;
}

bool StopRule::trayAvailable()
{
    if (trayOverride)
        return *trayOverride;
    return desktopshell::trayAvailable();
}

bool StopRule::mayStart(const QString &stopCommand)
{
    return isUsableStopCommand(stopCommand) || trayAvailable();
}

bool StopRule::isUsableStopCommand(const QString &stopCommand)
{
    const KeyCombination::Parsed p = KeyCombination::parse(stopCommand);
    if (p.none || p.parts == 0 || !p.keyConverts)
        return false;
    // Key 0 or a number outside the virtual-key range is never seen going
    // down: a run would have no working stop command.
    return p.vk >= 1 && p.vk <= 254;
}

void StopRule::setTrayAvailableForTesting(std::optional<bool> available)
{
    trayOverride = available;
}
