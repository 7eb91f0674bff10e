#pragma once

// The two ways into a GNOME remote-desktop session. Mutter's own API
// (org.gnome.Mutter.RemoteDesktop) asks nobody, but newer GNOME refuses it
// to ordinary programs; the RemoteDesktop portal of xdg-desktop-portal
// shows GNOME's consent dialog for every session it starts. Both end in the
// same Mutter session, so the GNOME backend does everything else once, and
// only opening, closing and the input calls differ.

#include "platform/desktop_gnome_layout.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QObject;

namespace platform {

/// What a session that opened has.
struct OpenedSession {
    /// The session object: its Closed signal (Mutter's or the portal's)
    /// ends it.
    QString path;
    /// Each monitor's place, and its stream as the absolute pointer calls
    /// name it (Mutter: the stream's object path; the portal: its node).
    std::vector<MonitorPlace> places;
    std::vector<QVariant> streams;
    /// The stream whose frames are the screen read: the primary monitor's.
    std::size_t primary = 0;
    /// The primary's PipeWire node when the session says it at once (the
    /// portal); Mutter names it later in a signal.
    std::optional<std::uint32_t> node;
    /// A PipeWire connection of the session's own (the portal's remote), or
    /// -1 for the PipeWire daemon of the session. Owned by whoever takes it.
    int pipeWireFd = -1;
    /// Characters outside the layout can be pasted through the session's
    /// clipboard.
    bool clipboard = false;
};

class RemoteApi {
public:
    virtual ~RemoteApi() = default;

    /// Called by open() as soon as the session object exists (before it
    /// can close), and once the streams are known (Mutter: before the
    /// session starts, since it names their nodes right after; the portal:
    /// once the person allowed it).
    struct Steps {
        std::function<void(const QString &path)> made;
        std::function<void(const OpenedSession &)> streamsKnown;
    };

    /// Opens and starts a session; false with the reason in `why`. The
    /// portal's waits for the person's answer to GNOME's dialog.
    virtual bool open(OpenedSession &into, const Steps &steps, std::string *why) = 0;
    /// Ends the session at `path`.
    virtual void close(const QString &path) = 0;
    /// True when opening a session asks the person first.
    virtual bool asksConsent() const = 0;
    /// The service and interface whose Closed signal ends a session.
    virtual QString service() const = 0;
    virtual QString sessionInterface() const = 0;

    // One input event into the session at `path`: the reply, an error when
    // refused.
    virtual QDBusMessage pointerAt(const QString &path, const QVariant &stream, double x, double y) = 0;
    virtual QDBusMessage pointerBy(const QString &path, double dx, double dy) = 0;
    virtual QDBusMessage button(const QString &path, int code, bool down) = 0;
    virtual QDBusMessage axisSteps(const QString &path, unsigned axis, int steps) = 0;
    virtual QDBusMessage keysym(const QString &path, unsigned keysym, bool down) = 0;
    virtual QDBusMessage keycode(const QString &path, unsigned code, bool down) = 0;
};

/// Mutter's own API, on `bus` (the session lives as long as the connection).
std::unique_ptr<RemoteApi> mutterApi(QDBusConnection bus);

/// The RemoteDesktop portal on `bus`. Its requests are answered by signals
/// heard on `signalThread`'s thread (not the one that waits for them).
std::unique_ptr<RemoteApi> portalApi(QDBusConnection bus, QObject *signalThread);

/// True when the session bus offers the RemoteDesktop portal with keyboard
/// and pointer devices (it starts the portal when it is only activatable);
/// the reason in `why` when not.
bool portalOffersRemoteDesktop(const QDBusConnection &bus, std::string *why);

/// True when the service name is on the bus or can be started there.
bool serviceReachable(const QDBusConnection &bus, const QString &name);

} // namespace platform
