#pragma once

// Installs a fresh simulated desktop for the lifetime of a test object, and
// the tray icon and beep the program installs at start.

#include "gui/widgets/trayicon.h"
#include "platform/desktop.h"
#include "platform/desktop_sim.h"

#include <QString>
#include <QStringList>

#include <memory>

struct SimFixture {
    SimFixture()
        : sim(std::make_shared<platform::SimDesktop>())
    {
        platform::setDesktop(sim);
        installDesktopShell();
    }
    std::shared_ptr<platform::SimDesktop> sim;
};

/// The simulated person plays a key script: "+162 +71 -71 -162" presses left
/// Ctrl and G and lets them go (+ down, - up, virtual-key codes).
inline void playKeys(platform::SimDesktop &sim, const QString &script)
{
    for (const QString &step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int vk = step.mid(1).toInt();
        if (step.startsWith(QLatin1Char('+')))
            sim.pressKey(vk);
        else
            sim.releaseKey(vk);
    }
}
