#pragma once

// What kind of graphical session the program runs in, as far as global keys
// and synthetic input care. On Linux the X11 backend needs Qt's xcb
// platform: it reaches X11 and XWayland windows only, and its global keys
// work only where the X server sees the keyboard.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

class DisplaySession {
public:
    /// The platform list to ask Qt for before the application object exists:
    /// xcb first (Wayland only when no X server can be reached) on Linux
    /// when the user has not chosen one with QT_QPA_PLATFORM; otherwise
    /// empty (leave Qt's choice alone). `kernelType` as QSysInfo gives it.
    static QByteArray platformRequest(const QProcessEnvironment &env, const QString &kernelType);
    /// Applies platformRequest to this process's environment.
    static void requestPlatform();

    /// True when the session is a Wayland session (XDG_SESSION_TYPE says so
    /// or WAYLAND_DISPLAY is set).
    static bool isWayland(const QProcessEnvironment &env);

    /// True on Linux when the session is not X11: Qt runs on another
    /// platform than xcb, or the desktop is Wayland. `qtPlatform` as
    /// QGuiApplication::platformName gives it.
    static bool notX11(const QProcessEnvironment &env, const QString &kernelType, const QString &qtPlatform);
    /// notX11 for this process.
    static bool currentNotX11();

    /// Which input backend a Linux session gets.
    enum class Backend {
        X11,         ///< X11 and XWayland windows through the X server
        Gnome,       ///< Mutter's remote desktop, asked for by name
        GnomeIfThere, ///< Mutter's remote desktop when its service is on the session bus, else X11
        Wlroots,      ///< a wlroots compositor's virtual keyboard and pointer, asked for by name
        WlrootsIfThere, ///< those when the compositor offers them, else X11
        Kde,          ///< KWin's fake input, asked for by name
        KdeIfThere    ///< KWin's fake input when KWin offers it to this program, else X11
    };
    struct BackendChoice {
        Backend backend = Backend::X11;
        /// A TERVALO_BACKEND value that names no backend (said once in the
        /// log; the automatic choice applies), else empty.
        QString unknownRequest;
    };
    /// The backend for the session the environment describes: GNOME on a
    /// GNOME Wayland session, KDE on a KDE Plasma Wayland session, wlroots on
    /// another Wayland session, X11 elsewhere;
    /// TERVALO_BACKEND=x11|gnome|kde|wlroots overrides.
    static BackendChoice backendChoice(const QProcessEnvironment &env);
};
