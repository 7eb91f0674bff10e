#pragma once

// KWin gives its fake input and screenshots only to a program whose menu
// entry asks for them and names the program's own path, as the installed
// menu entry does for tervalo_free. Tests and benchmarks write one for each
// program of theirs into the session's own data folder (scripts/kde-session
// points XDG_DATA_HOME at a private one), before the program connects.

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

namespace testsupport {

inline bool grantKwinInterfaces(const QString &program, const QString &entry)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/applications";
    QDir().mkpath(folder);
    QFile file(folder + "/" + entry + ".desktop");
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = ("[Desktop Entry]\nType=Application\nName=" + entry + "\nExec=" + program
                             + "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n"
                               "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n")
                                .toUtf8();
    return file.write(text) == text.size();
}

} // namespace testsupport
