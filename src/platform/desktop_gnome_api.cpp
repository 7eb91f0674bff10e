#include "platform/desktop_gnome_api.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QObject>
#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <future>

#include <unistd.h>

namespace platform {
namespace {

bool ok(const QDBusMessage &reply, std::string *why)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return true;
    if (why)
        *why = (reply.errorName() + QStringLiteral(": ") + reply.errorMessage()).toStdString();
    return false;
}

QDBusMessage callOn(const QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                    const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message);
}

// --- Mutter's own API ---

const QString kMutterDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kMutterCast = QStringLiteral("org.gnome.Mutter.ScreenCast");
const QString kMutterSession = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
const QString kMutterCastSession = QStringLiteral("org.gnome.Mutter.ScreenCast.Session");

class MutterApi final : public RemoteApi {
public:
    explicit MutterApi(QDBusConnection bus) : bus_(std::move(bus)) {}

    bool open(OpenedSession &into, const Steps &steps, std::string *why) override
    {
        QDBusMessage reply = callOn(bus_, kMutterDesktop, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                    kMutterDesktop, QStringLiteral("CreateSession"), {});
        if (!ok(reply, why))
            return false;
        into.path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        steps.made(into.path);
        reply = callOn(bus_, kMutterDesktop, into.path, QStringLiteral("org.freedesktop.DBus.Properties"),
                       QStringLiteral("Get"), {kMutterSession, QStringLiteral("SessionId")});
        if (!ok(reply, why))
            return false;
        const QString sessionId = reply.arguments().value(0).value<QDBusVariant>().variant().toString();
        // A stream per monitor gives absolute pointer positions their
        // coordinates; the primary's (first) also shows the screen. Without
        // the display configuration, the primary alone ("" names it).
        into.places = monitorLayout(bus_);
        if (into.places.empty())
            into.places.push_back({QString(), Rect{}, true});
        QVariantMap castOptions;
        castOptions.insert(QStringLiteral("remote-desktop-session-id"), sessionId);
        reply = callOn(bus_, kMutterCast, QStringLiteral("/org/gnome/Mutter/ScreenCast"), kMutterCast,
                       QStringLiteral("CreateSession"), {castOptions});
        if (!ok(reply, why))
            return false;
        const QString castPath = reply.arguments().value(0).value<QDBusObjectPath>().path();
        for (const MonitorPlace &place : into.places) {
            reply = callOn(bus_, kMutterCast, castPath, kMutterCastSession, QStringLiteral("RecordMonitor"),
                           {place.connector, QVariantMap()});
            if (!ok(reply, why))
                return false;
            into.streams.push_back(reply.arguments().value(0).value<QDBusObjectPath>().path());
        }
        // The stream's PipeWire node is named once the session has started,
        // maybe before Start answers: the streams are known before that.
        steps.streamsKnown(into);
        reply = callOn(bus_, kMutterDesktop, into.path, kMutterSession, QStringLiteral("Start"), {});
        if (!ok(reply, why))
            return false;
        // Characters outside the layout are pasted: without the clipboard
        // they cannot be typed at all.
        into.clipboard = callOn(bus_, kMutterDesktop, into.path, kMutterSession, QStringLiteral("EnableClipboard"),
                                {QVariantMap()}).type() != QDBusMessage::ErrorMessage;
        return true;
    }

    void close(const QString &path) override { notify(path, QStringLiteral("Stop"), {}); }
    bool asksConsent() const override { return false; }
    QString service() const override { return kMutterDesktop; }
    QString sessionInterface() const override { return kMutterSession; }

    // Mutter takes the position within a stream's monitor, named by the
    // stream's object path as a string, and the button as a signed number.
    QDBusMessage pointerAt(const QString &path, const QVariant &stream, double x, double y) override
    {
        return notify(path, QStringLiteral("NotifyPointerMotionAbsolute"), {stream.toString(), x, y});
    }
    QDBusMessage pointerBy(const QString &path, double dx, double dy) override
    {
        return notify(path, QStringLiteral("NotifyPointerMotionRelative"), {dx, dy});
    }
    QDBusMessage button(const QString &path, int code, bool down) override
    {
        return notify(path, QStringLiteral("NotifyPointerButton"), {code, down});
    }
    QDBusMessage axisSteps(const QString &path, unsigned axis, int steps) override
    {
        return notify(path, QStringLiteral("NotifyPointerAxisDiscrete"), {axis, steps});
    }
    QDBusMessage keysym(const QString &path, unsigned keysym, bool down) override
    {
        return notify(path, QStringLiteral("NotifyKeyboardKeysym"), {keysym, down});
    }
    QDBusMessage keycode(const QString &path, unsigned code, bool down) override
    {
        return notify(path, QStringLiteral("NotifyKeyboardKeycode"), {code, down});
    }

private:
    QDBusMessage notify(const QString &path, const QString &method, const QVariantList &arguments)
    {
        return callOn(bus_, kMutterDesktop, path, kMutterSession, method, arguments);
    }

    QDBusConnection bus_;
};

// --- The RemoteDesktop portal ---

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kPortalCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kPortalSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kPortalRequest = QStringLiteral("org.freedesktop.portal.Request");

// Device and source bits of the portal.
constexpr uint kKeyboard = 1;
constexpr uint kPointer = 2;
constexpr uint kMonitor = 1;
// A request's answer normally comes in milliseconds; Start's waits for the
// person to read GNOME's dialog and answer it.
constexpr auto kAnswerWait = std::chrono::seconds(25);
constexpr auto kConsentWait = std::chrono::minutes(5);

} // namespace

// Takes a request's Response signal on the signals' thread, for the thread
// that waits for it.
class PortalAnswer : public QObject {
    Q_OBJECT
public:
    struct Answer {
        uint code = 2; // 0 allowed, 1 the person said no, 2 otherwise ended
        QVariantMap results;
    };
    std::promise<Answer> promise;

public slots:
    void response(uint code, const QVariantMap &results)
    {
        if (!answered_.exchange(true))
            promise.set_value({code, results});
    }

private:
    std::atomic<bool> answered_{false};
};

namespace {

// Reads a (ii) pair of a stream's properties.
std::optional<std::pair<int, int>> pairOf(const QVariant &value)
{
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    int first = 0;
    int second = 0;
    argument.beginStructure();
    argument >> first >> second;
    argument.endStructure();
    return std::make_pair(first, second);
}

class PortalApi final : public RemoteApi {
public:
    PortalApi(QDBusConnection bus, QObject *signalThread) : bus_(std::move(bus)), signalThread_(signalThread) {}

    bool open(OpenedSession &into, const Steps &steps, std::string *why) override
    {
        QVariantMap answer;
        QVariantMap options{{QStringLiteral("session_handle_token"), token()}};
        if (!request(kPortalDesktop, QStringLiteral("CreateSession"), {}, options, kAnswerWait, &answer, why))
            return false;
        into.path = answer.value(QStringLiteral("session_handle")).toString();
        if (into.path.isEmpty()) {
            if (why)
                *why = "the portal made no session";
            return false;
        }
        steps.made(into.path);
        const QVariant session = QVariant::fromValue(QDBusObjectPath(into.path));
        const bool started =
            request(kPortalDesktop, QStringLiteral("SelectDevices"), {session},
                    {{QStringLiteral("types"), kKeyboard | kPointer}}, kAnswerWait, nullptr, why)
            // Every monitor: absolute positions need the stream of the
            // monitor they are on.
            && request(kPortalCast, QStringLiteral("SelectSources"), {session},
                       {{QStringLiteral("types"), kMonitor}, {QStringLiteral("multiple"), true}}, kAnswerWait, nullptr,
                       why)
            && request(kPortalDesktop, QStringLiteral("Start"), {session, QString()}, {}, kConsentWait, &answer, why);
        if (!started) {
            close(into.path);
            return false;
        }
        const uint devices = answer.value(QStringLiteral("devices")).toUInt();
        if ((devices & (kKeyboard | kPointer)) != (kKeyboard | kPointer)) {
            if (why)
                *why = "remote interaction (keyboard and pointer) was not allowed";
            close(into.path);
            return false;
        }
        readStreams(answer.value(QStringLiteral("streams")), into);
        if (into.streams.empty()) {
            if (why)
                *why = "the portal gave no monitor";
            close(into.path);
            return false;
        }
        steps.streamsKnown(into);
        into.node = into.streams[into.primary].toUInt();
        const QDBusMessage remote = call(kPortalCast, QStringLiteral("OpenPipeWireRemote"), {session, QVariantMap()});
        if (remote.type() != QDBusMessage::ErrorMessage)
            into.pipeWireFd = ::dup(remote.arguments().value(0).value<QDBusUnixFileDescriptor>().fileDescriptor());
        return true;
    }

    void close(const QString &path) override
    {
        callOn(bus_, kPortal, path, kPortalSession, QStringLiteral("Close"), {});
    }
    bool asksConsent() const override { return true; }
    QString service() const override { return kPortal; }
    QString sessionInterface() const override { return kPortalSession; }

    // The portal names the session and takes options first, the stream by
    // its PipeWire node, and key and button states as numbers.
    QDBusMessage pointerAt(const QString &path, const QVariant &stream, double x, double y) override
    {
        return notify(path, QStringLiteral("NotifyPointerMotionAbsolute"), {stream.toUInt(), x, y});
    }
    QDBusMessage pointerBy(const QString &path, double dx, double dy) override
    {
        return notify(path, QStringLiteral("NotifyPointerMotion"), {dx, dy});
    }
    QDBusMessage button(const QString &path, int code, bool down) override
    {
        return notify(path, QStringLiteral("NotifyPointerButton"), {code, uint(down)});
    }
    QDBusMessage axisSteps(const QString &path, unsigned axis, int steps) override
    {
        return notify(path, QStringLiteral("NotifyPointerAxisDiscrete"), {axis, steps});
    }
    QDBusMessage keysym(const QString &path, unsigned keysym, bool down) override
    {
        return notify(path, QStringLiteral("NotifyKeyboardKeysym"), {int(keysym), uint(down)});
    }
    QDBusMessage keycode(const QString &path, unsigned code, bool down) override
    {
        return notify(path, QStringLiteral("NotifyKeyboardKeycode"), {int(code), uint(down)});
    }

private:
    QString token()
    {
        static std::atomic<unsigned> next{0};
        return QStringLiteral("tervalo%1_%2").arg(::getpid()).arg(next.fetch_add(1));
    }

    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &arguments)
    {
        return callOn(bus_, kPortal, kPortalPath, interface, method, arguments);
    }

    QDBusMessage notify(const QString &path, const QString &method, QVariantList arguments)
    {
        arguments.prepend(QVariantMap());
        arguments.prepend(QVariant::fromValue(QDBusObjectPath(path)));
        return call(kPortalDesktop, method, arguments);
    }

    // A portal method answers with a request object and later with its
    // Response signal. The signal is heard before the call, at the path the
    // request will have (it is made of our bus name and the token), so that
    // an early answer is not missed.
    bool request(const QString &interface, const QString &method, QVariantList arguments, QVariantMap options,
                 std::chrono::seconds wait, QVariantMap *results, std::string *why)
    {
        const QString handle = token();
        options.insert(QStringLiteral("handle_token"), handle);
        const QString sender = bus_.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString requestPath = kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + handle;
        auto *answer = new PortalAnswer;
        std::future<PortalAnswer::Answer> answered = answer->promise.get_future();
        answer->moveToThread(signalThread_->thread());
        bus_.connect(kPortal, requestPath, kPortalRequest, QStringLiteral("Response"), answer,
                     SLOT(response(uint, QVariantMap)));
        arguments.append(options);
        const QDBusMessage reply = call(interface, method, arguments);
        bool done = ok(reply, why);
        if (done && answered.wait_for(wait) != std::future_status::ready) {
            // Nobody answered: the dialog goes away with its request.
            callOn(bus_, kPortal, reply.arguments().value(0).value<QDBusObjectPath>().path(), kPortalRequest,
                   QStringLiteral("Close"), {});
            if (why)
                *why = (method + QStringLiteral(": no answer")).toStdString();
            done = false;
        }
        if (done) {
            const PortalAnswer::Answer got = answered.get();
            if (got.code != 0) {
                if (why)
                    *why = (method + (got.code == 1 ? QStringLiteral(": the person said no")
                                                    : QStringLiteral(": ended without an answer")))
                               .toStdString();
                done = false;
            } else if (results) {
                *results = got.results;
            }
        }
        bus_.disconnect(kPortal, requestPath, kPortalRequest, QStringLiteral("Response"), answer,
                        SLOT(response(uint, QVariantMap)));
        answer->deleteLater();
        return done;
    }

    // The streams of Start's answer, a(ua{sv}): each monitor's node, place
    // and size (logical pixels). The primary is the one the display
    // configuration calls so, else the first.
    void readStreams(const QVariant &value, OpenedSession &into)
    {
        if (!value.canConvert<QDBusArgument>())
            return;
        const std::vector<MonitorPlace> layout = monitorLayout(bus_);
        const QDBusArgument argument = value.value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            uint node = 0;
            QVariantMap properties;
            argument.beginStructure();
            argument >> node >> properties;
            argument.endStructure();
            MonitorPlace place;
            if (const auto position = pairOf(properties.value(QStringLiteral("position"))))
                place.area.x = position->first, place.area.y = position->second;
            if (const auto size = pairOf(properties.value(QStringLiteral("size"))))
                place.area.width = size->first, place.area.height = size->second;
            for (const MonitorPlace &known : layout) {
                if (known.primary && known.area.x == place.area.x && known.area.y == place.area.y) {
                    place.primary = true;
                    into.primary = into.places.size();
                }
            }
            into.places.push_back(place);
            into.streams.push_back(node);
        }
        argument.endArray();
    }

    QDBusConnection bus_;
    QObject *signalThread_;
};

} // namespace

std::unique_ptr<RemoteApi> mutterApi(QDBusConnection bus)
{
    return std::make_unique<MutterApi>(std::move(bus));
}

std::unique_ptr<RemoteApi> portalApi(QDBusConnection bus, QObject *signalThread)
{
    return std::make_unique<PortalApi>(std::move(bus), signalThread);
}

bool serviceReachable(const QDBusConnection &bus, const QString &name)
{
    QDBusConnectionInterface *daemon = bus.interface();
    return daemon
        && (daemon->isServiceRegistered(name).value() || daemon->activatableServiceNames().value().contains(name));
}

bool portalOffersRemoteDesktop(const QDBusConnection &bus, std::string *why)
{
    if (!serviceReachable(bus, kPortal)) {
        if (why)
            *why = "no desktop portal on the session bus";
        return false;
    }
    const QDBusMessage reply = callOn(bus, kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                      QStringLiteral("Get"), {kPortalDesktop, QStringLiteral("AvailableDeviceTypes")});
    if (!ok(reply, why))
        return false;
    const uint types = reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
    if ((types & (kKeyboard | kPointer)) != (kKeyboard | kPointer)) {
        if (why)
            *why = "the portal offers no keyboard and pointer";
        return false;
    }
    return true;
}

} // namespace platform
#include "desktop_gnome_api.moc"
