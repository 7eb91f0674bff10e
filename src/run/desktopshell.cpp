#include "run/desktopshell.h"

#include <utility>

namespace desktopshell {
namespace {
// Written once at start, before any thread that reads it exists.
Hooks &hooks()
{
    static Hooks installed;
    return installed;
}
} // namespace

void install(Hooks h)
{
    hooks() = std::move(h);
}

bool trayAvailable()
{
    return hooks().trayAvailable && hooks().trayAvailable();
}

QSystemTrayIcon *showStopIcon(const QString &toolTip, QObject *context, std::function<void()> clicked)
{
    if (!hooks().showStopIcon)
        return nullptr;
    return hooks().showStopIcon(toolTip, context, std::move(clicked));
}

void removeStopIcon(QSystemTrayIcon *icon)
{
    if (icon && hooks().removeStopIcon)
        hooks().removeStopIcon(icon);
}

void beep()
{
    if (hooks().beep)
        hooks().beep();
}

} // namespace desktopshell
