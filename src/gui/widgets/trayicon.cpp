#include "gui/widgets/trayicon.h"

#include "files/datafiles.h"
#include "run/desktopshell.h"

#include <QApplication>
#include <QIcon>
#include <QSystemTrayIcon>

#include <mutex>

namespace {

desktopshell::Hooks toolkitHooks()
{
    desktopshell::Hooks hooks;
    hooks.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    hooks.showStopIcon = [](const QString &toolTip, QObject *context, std::function<void()> clicked) {
        auto *icon = new QSystemTrayIcon(QIcon(DataFiles::image(QStringLiteral("SystemTrayIcon.png"))));
        icon->setToolTip(toolTip);
        icon->show();
        QObject::connect(icon, &QSystemTrayIcon::activated, context,
                         [clicked = std::move(clicked)](QSystemTrayIcon::ActivationReason reason) {
                             // A single click only: a context menu or a double
                             // click must not end a run by accident.
                             if (reason == QSystemTrayIcon::Trigger)
                                 clicked();
                         });
        return icon;
    };
    // Deleting the icon takes it out of the tray; deleteLater does that in
    // the icon's own (GUI) thread, from whichever thread the run ends in.
    // Only the pointer crosses threads: a functor queued to the GUI thread
    // would be written here and read there through Qt's event queue, a
    // hand-over that ThreadSanitizer cannot follow.
    hooks.removeStopIcon = [](QSystemTrayIcon *icon) { icon->deleteLater(); };
    hooks.beep = [] { QApplication::beep(); };
    return hooks;
}

} // namespace

void installDesktopShell()
{
    // Once: runs read the hooks from their own threads, so they are never
    // written again (the tests call this for every simulated desktop).
    static std::once_flag once;
    std::call_once(once, [] { desktopshell::install(toolkitHooks()); });
}
