#include "platform/desktop_native.h"
#include "platform/desktop_gnome.h"
#include "platform/desktop_wlroots.h"
#include "platform/desktop_kde.h"
#include "platform/desktop_x11.h"
#include "platform/displaysession.h"

#include <QLoggingCategory>

#include <fcntl.h>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

namespace platform {

std::string pathOfOpenedFile(const char *nameBytes)
{
    // Kept open on purpose: the path below is valid only while it is.
    const int fd = ::open(nameBytes, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? std::string() : "/proc/self/fd/" + std::to_string(fd);
}

std::shared_ptr<Desktop> createNativeDesktop(std::string *why)
{
    // Made once per process (currentDesktop keeps it), so each line below is
    // said once.
    using Backend = DisplaySession::Backend;
    const DisplaySession::BackendChoice choice = DisplaySession::backendChoice(QProcessEnvironment::systemEnvironment());
    if (!choice.unknownRequest.isEmpty())
        qCWarning(lcPlatform).noquote() << "TERVALO_BACKEND=" + choice.unknownRequest
                                               + " names no backend (x11, gnome, kde or wlroots); choosing by the session.";
    if (choice.backend == Backend::Gnome)
        return createGnomeDesktop(why);
    if (choice.backend == Backend::GnomeIfThere && gnomeRemoteDesktopOnBus()) {
        std::string gnomeWhy;
        if (auto gnome = createGnomeDesktop(&gnomeWhy))
            return gnome;
        // XWayland still takes X11 input: the program's own windows and
        // other XWayland programs.
        qCWarning(lcPlatform).noquote() << "The GNOME backend cannot start (" << QString::fromStdString(gnomeWhy)
                                        << "); using X11 (XWayland windows only).";
    }
    if (choice.backend == Backend::Kde)
        return createKdeDesktop(why);
    if (choice.backend == Backend::KdeIfThere) {
        std::string kdeWhy;
        if (auto kde = createKdeDesktop(&kdeWhy))
            return kde;
        qCWarning(lcPlatform).noquote() << "The KDE backend cannot start (" << QString::fromStdString(kdeWhy)
                                        << "); using X11 (XWayland windows only).";
    }
    if (choice.backend == Backend::Wlroots)
        return createWlrootsDesktop(why);
    if (choice.backend == Backend::WlrootsIfThere && wlrootsInputOffered()) {
        std::string wlrootsWhy;
        if (auto wlroots = createWlrootsDesktop(&wlrootsWhy))
            return wlroots;
        qCWarning(lcPlatform).noquote() << "The wlroots backend cannot start (" << QString::fromStdString(wlrootsWhy)
                                        << "); using X11 (XWayland windows only).";
    }
    return createX11Desktop(why);
}

} // namespace platform
