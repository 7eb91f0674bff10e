#pragma once

// What a run and a recording show of themselves on the desktop besides their
// input: an icon in the system tray, a click on which stops the run, and a
// beep. Both belong to the widget toolkit, which this layer does not link:
// the program installs the desktop's own at start (gui/widgets/trayicon.h).
// Without one (headless tools and tests) there is no tray and no beep.

#include <QString>

#include <functional>

class QObject;
class QSystemTrayIcon;

namespace desktopshell {

struct Hooks {
    /// True when the desktop shows a system tray now.
    std::function<bool()> trayAvailable;
    /// Shows an icon with this tooltip; a single click on it calls `clicked`
    /// in the thread of `context`, for as long as `context` lives.
    std::function<QSystemTrayIcon *(const QString &toolTip, QObject *context, std::function<void()> clicked)> showStopIcon;
    /// Takes the icon away; safe from any thread (the icon is deleted in its own).
    std::function<void(QSystemTrayIcon *icon)> removeStopIcon;
    /// Sounds the desktop's beep (GUI thread).
    std::function<void()> beep;
};

/// Installs the desktop's hooks, before any run or recording starts; they
/// are read from the runs' threads without a lock.
void install(Hooks hooks);

bool trayAvailable();
/// Null when nothing was installed.
QSystemTrayIcon *showStopIcon(const QString &toolTip, QObject *context, std::function<void()> clicked);
void removeStopIcon(QSystemTrayIcon *icon);
void beep();

} // namespace desktopshell
