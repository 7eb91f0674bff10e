#include "platform/displaysession.h"

#include <QGuiApplication>
#include <QStringList>
#include <QSysInfo>

namespace {
const QString kLinux = QStringLiteral("linux");
constexpr const char *kPlatformVariable = "QT_QPA_PLATFORM";
}

QByteArray DisplaySession::platformRequest(const QProcessEnvironment &env, const QString &kernelType)
{
    if (kernelType != kLinux || !env.value(QString::fromLatin1(kPlatformVariable)).isEmpty())
        return QByteArray();
    // Qt tries the list in order: a session without any X server still starts.
    return QByteArrayLiteral("xcb;wayland");
}

void DisplaySession::requestPlatform()
{
    const QByteArray request = platformRequest(QProcessEnvironment::systemEnvironment(), QSysInfo::kernelType());
    if (!request.isEmpty())
        qputenv(kPlatformVariable, request);
}

bool DisplaySession::isWayland(const QProcessEnvironment &env)
{
    return env.value(QStringLiteral("XDG_SESSION_TYPE")).compare(QStringLiteral("wayland"), Qt::CaseInsensitive) == 0
        || !env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

bool DisplaySession::notX11(const QProcessEnvironment &env, const QString &kernelType, const QString &qtPlatform)
{
    return kernelType == kLinux && (qtPlatform != QStringLiteral("xcb") || isWayland(env));
}

bool DisplaySession::currentNotX11()
{
    return notX11(QProcessEnvironment::systemEnvironment(), QSysInfo::kernelType(), QGuiApplication::platformName());
}

DisplaySession::BackendChoice DisplaySession::backendChoice(const QProcessEnvironment &env)
{
    BackendChoice choice;
    const QString request = env.value(QStringLiteral("TERVALO_BACKEND"));
    if (request == QLatin1String("x11"))
        return choice;
    if (request == QLatin1String("gnome")) {
        choice.backend = Backend::Gnome;
        return choice;
    }
    if (request == QLatin1String("wlroots")) {
        choice.backend = Backend::Wlroots;
        return choice;
    }
    if (request == QLatin1String("kde")) {
        choice.backend = Backend::Kde;
        return choice;
    }
    choice.unknownRequest = request;
    // XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME").
    const QStringList desktops = env.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(QLatin1Char(':'));
    const bool gnome = desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive);
    const bool kde = desktops.contains(QStringLiteral("KDE"), Qt::CaseInsensitive);
    if (gnome && isWayland(env))
        choice.backend = Backend::GnomeIfThere;
    else if (kde && isWayland(env))
        choice.backend = Backend::KdeIfThere;
    // KWin offers none of the wlroots protocols the wlroots backend needs.
    else if (isWayland(env))
        choice.backend = Backend::WlrootsIfThere; // sway and the other wlroots compositors
    return choice;
}
