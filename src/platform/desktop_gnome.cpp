#include "platform/desktop_gnome.h"

#include "platform/desktop_x11_vk.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QCoreApplication>
#include <QDBusVariant>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <xkbcommon/xkbcommon.h>

namespace platform {
namespace {

const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kScreenCast = QStringLiteral("org.gnome.Mutter.ScreenCast");
const QString kRemoteSession = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
const QString kCastSession = QStringLiteral("org.gnome.Mutter.ScreenCast.Session");

// Linux input button codes (BTN_LEFT, BTN_RIGHT).
constexpr int kButtonLeft = 0x110;
constexpr int kButtonRight = 0x111;
// Keysym of the key tapped to wake a new session (Shift_L).
constexpr unsigned kWakeKeysym = 0xffe1;
// Mutter drops the first key of a new session, and gnome-shell its first
// pointer events for about 200 ms more: a tap and this long a pause before
// the real input.
constexpr auto kWarmUp = std::chrono::milliseconds(500);

// GNOME runs a command for a custom keyboard shortcut (gnome-shell grabs
// the keys for gsd-media-keys). Ours live among the person's own, at a path
// named after the process, so that two programs that play at once do not
// take each other's; the next start removes those whose process is gone.
const QString kMediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString kCustomKeys = QStringLiteral("custom-keybindings");
const QString kCustomSchema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
const QString kOurShortcuts = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/tervalo-free-stop-");

QString shortcutOf(qint64 pid)
{
    return kOurShortcuts + QString::number(pid) + QLatin1Char('/');
}

// Runs gsettings; its output (trimmed) in `out`. False when it failed.
bool gsettings(const QStringList &arguments, QString *out = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("gsettings"), arguments);
    if (!process.waitForFinished(5000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return false;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return true;
}

// A text as gsettings reads a string value (GVariant text format): quoted,
// so that quotes and spaces inside stay part of it.
QString stringValue(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The custom shortcut paths: "['/a/', '/b/']", or "@as []" for none.
std::optional<QStringList> customShortcuts()
{
    QString text;
    if (!gsettings({QStringLiteral("get"), kMediaKeys, kCustomKeys}, &text))
        return std::nullopt;
    static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
    QStringList paths;
    for (const QRegularExpressionMatch &m : quoted.globalMatch(text))
        paths << m.captured(1);
    return paths;
}

bool setCustomShortcuts(const QStringList &paths)
{
    QStringList quoted;
    for (const QString &path : paths)
        quoted << QLatin1Char('\'') + path + QLatin1Char('\'');
    const QString value = paths.isEmpty() ? QStringLiteral("@as []") : QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
    return gsettings({QStringLiteral("set"), kMediaKeys, kCustomKeys, value});
}

// "<Control><Alt>s" for the hot-key mask and virtual-key code; empty when
// the key has no keysym.
QString acceleratorOf(int modifiers, int vkCode)
{
    const std::vector<unsigned long> keysyms = x11vk::keysymsForVk(vkCode);
    char name[64] = {};
    if (keysyms.empty() || xkb_keysym_get_name(xkb_keysym_t(keysyms.front()), name, sizeof name) <= 0)
        return QString();
    QString accelerator;
    if (modifiers & 2)
        accelerator += QStringLiteral("<Control>");
    if (modifiers & 1)
        accelerator += QStringLiteral("<Alt>");
    if (modifiers & 4)
        accelerator += QStringLiteral("<Shift>");
    if (modifiers & 8)
        accelerator += QStringLiteral("<Super>");
    return accelerator + QString::fromLatin1(name);
}

void removeShortcuts(const QStringList &ours)
{
    if (ours.isEmpty())
        return;
    if (const std::optional<QStringList> paths = customShortcuts()) {
        QStringList rest = *paths;
        for (const QString &path : ours)
            rest.removeAll(path);
        if (rest != *paths)
            setCustomShortcuts(rest);
    }
    for (const QString &path : ours) {
        for (const char *key : {"name", "command", "binding"})
            gsettings({QStringLiteral("reset"), kCustomSchema + QLatin1Char(':') + path, QString::fromLatin1(key)});
    }
}

// Stop shortcuts of programs that ended without removing theirs (killed).
void removeLeftShortcuts()
{
    const std::optional<QStringList> paths = customShortcuts();
    if (!paths)
        return;
    QStringList left;
    for (const QString &path : *paths) {
        if (!path.startsWith(kOurShortcuts))
            continue;
        const QString pid = path.mid(kOurShortcuts.size()).chopped(1);
        if (!QFileInfo::exists(QStringLiteral("/proc/") + pid))
            left << path;
    }
    removeShortcuts(left);
}

class GnomeDesktop final : public Desktop {
public:
    // The session ends with the connection, which ends with the process
    // however it ends (a call here could come after Qt's D-Bus thread has
    // gone, at the static destructors, and would never return).
    explicit GnomeDesktop(QDBusConnection bus) : bus_(std::move(bus)) {}

    const char *name() const override { return "gnome"; }

    /// Opens the remote-desktop session with its screen-cast stream; the
    /// reason in `why` when it cannot.
    bool open(std::string *why)
    {
        QDBusMessage reply = call(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kRemoteDesktop, kRemoteDesktop,
                                  QStringLiteral("CreateSession"), {});
        if (!ok(reply, why))
            return false;
        remotePath_ = reply.arguments().value(0).value<QDBusObjectPath>().path();
        reply = call(remotePath_, kRemoteDesktop, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                     {kRemoteSession, QStringLiteral("SessionId")});
        if (!ok(reply, why))
            return false;
        const QString sessionId = reply.arguments().value(0).value<QDBusVariant>().variant().toString();
        // The stream gives absolute pointer positions their coordinates: those
        // of the primary monitor ("" names it).
        QVariantMap castOptions;
        castOptions.insert(QStringLiteral("remote-desktop-session-id"), sessionId);
        reply = call(QStringLiteral("/org/gnome/Mutter/ScreenCast"), kScreenCast, kScreenCast,
                     QStringLiteral("CreateSession"), {castOptions});
        if (!ok(reply, why))
            return false;
        const QString castPath = reply.arguments().value(0).value<QDBusObjectPath>().path();
        reply = call(castPath, kScreenCast, kCastSession, QStringLiteral("RecordMonitor"), {QString(), QVariantMap()});
        if (!ok(reply, why))
            return false;
        stream_ = reply.arguments().value(0).value<QDBusObjectPath>().path();
        reply = call(remotePath_, kRemoteDesktop, kRemoteSession, QStringLiteral("Start"), {});
        if (!ok(reply, why))
            return false;
        notify(QStringLiteral("NotifyKeyboardKeysym"), {kWakeKeysym, true});
        notify(QStringLiteral("NotifyKeyboardKeysym"), {kWakeKeysym, false});
        std::this_thread::sleep_for(kWarmUp);
        return true;
    }

    void mouseButton(MouseButton button, bool down) override
    {
        notify(QStringLiteral("NotifyPointerButton"), {button == MouseButton::Right ? kButtonRight : kButtonLeft, down});
    }

    void setCursorPos(int x, int y) override
    {
        // Mutter takes the position within the stream's monitor, named by the
        // stream's object path as a string.
        notify(QStringLiteral("NotifyPointerMotionAbsolute"), {stream_, double(x), double(y)});
        std::lock_guard<std::mutex> guard(pointerLock_);
        pointer_ = {x, y};
    }

    // Wayland tells no client where the pointer is: the last place set.
    Point cursorPos() override
    {
        std::lock_guard<std::mutex> guard(pointerLock_);
        return pointer_;
    }

    void key(int vkCode, bool down) override
    {
        const std::vector<unsigned long> keysyms = x11vk::keysymsForVk(vkCode);
        if (keysyms.empty())
            return;
        notify(QStringLiteral("NotifyKeyboardKeysym"), {unsigned(keysyms.front()), down});
    }

    void unicodeUnit(char16_t unit, bool down) override
    {
        // A character outside the basic plane comes as two units: the first
        // waits for the second.
        char32_t codePoint = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            highSurrogate_.store(unit);
            return;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            const char16_t high = highSurrogate_.exchange(0);
            if (!high)
                return;
            codePoint = 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(unit) - 0xDC00);
        }
        const unsigned long keysym = x11vk::keysymForCodePoint(codePoint);
        if (keysym)
            notify(QStringLiteral("NotifyKeyboardKeysym"), {unsigned(keysym), down});
    }

    void wheel(int notches) override
    {
        // Positive notches turn up (away from the user); the axis counts down.
        notify(QStringLiteral("NotifyPointerAxisDiscrete"), {0u, -notches});
    }

    // No frames are read from the screen cast yet: the screen shows nothing.
    Rect screenRect() override { return Rect{}; }
    bool grab(const Rect &, ScreenImage &) override { return false; }
    bool isKeyDown(int) override { return false; }
    bool hasKey(int vkCode) override { return !x11vk::keysymsForVk(vkCode).empty(); }
    int installKeyboardHook(KeyboardHookCallback) override { return 0; }
    bool removeKeyboardHook(int) override { return false; }
    void setKeyboardHookActive(int, bool) override {}
    int startInputObserver(InputObserver, int) override { return 0; }
    bool stopInputObserver(int) override { return false; }
    bool registerHotKey(int, int, int) override { return false; }
    void unregisterHotKey(int) override {}
    unsigned long inputFailures() const override { return failures_.load(); }

    int bindShortcutCommand(int modifiers, int vkCode, const std::string &command) override
    {
        const QString accelerator = acceleratorOf(modifiers, vkCode);
        std::optional<QStringList> paths = customShortcuts();
        if (accelerator.isEmpty() || !paths)
            return 0;
        const QString ours = shortcutOf(QCoreApplication::applicationPid());
        const QString schema = kCustomSchema + QLatin1Char(':') + ours;
        if (!gsettings({QStringLiteral("set"), schema, QStringLiteral("name"), stringValue(QStringLiteral("Tervalo Free: 実行を停止 / stop the run"))})
            || !gsettings({QStringLiteral("set"), schema, QStringLiteral("command"), stringValue(QString::fromStdString(command))})
            || !gsettings({QStringLiteral("set"), schema, QStringLiteral("binding"), stringValue(accelerator)}))
            return 0;
        if (!paths->contains(ours) && !setCustomShortcuts(*paths << ours))
            return 0;
        return 1;
    }

    void unbindShortcutCommand(int handle) override
    {
        if (handle)
            removeShortcuts({shortcutOf(QCoreApplication::applicationPid())});
    }

private:
    QDBusMessage call(const QString &path, const QString &service, const QString &interface, const QString &method,
                      const QVariantList &arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return bus_.call(message);
    }
    static bool ok(const QDBusMessage &reply, std::string *why)
    {
        if (reply.type() != QDBusMessage::ErrorMessage)
            return true;
        if (why)
            *why = (reply.errorName() + QStringLiteral(": ") + reply.errorMessage()).toStdString();
        return false;
    }
    // One input event into the session; a refused one counts as lost input.
    void notify(const QString &method, const QVariantList &arguments)
    {
        const QDBusMessage reply = call(remotePath_, kRemoteDesktop, kRemoteSession, method, arguments);
        if (reply.type() == QDBusMessage::ErrorMessage)
            failures_.fetch_add(1);
    }

    QDBusConnection bus_;
    QString remotePath_;
    QString stream_;
    std::mutex pointerLock_;
    Point pointer_;
    std::atomic<char16_t> highSurrogate_{0};
    std::atomic<unsigned long> failures_{0};
};

} // namespace

std::shared_ptr<Desktop> createGnomeDesktop(std::string *why)
{
    // A connection of its own: the session belongs to the connection that
    // made it and ends with it.
    static std::atomic<int> connections{0};
    QDBusConnection bus = QDBusConnection::connectToBus(
        QDBusConnection::SessionBus, QStringLiteral("tervalo-gnome-%1").arg(connections.fetch_add(1)));
    if (!bus.isConnected()) {
        if (why)
            *why = "no session bus";
        return nullptr;
    }
    if (!bus.interface() || !bus.interface()->isServiceRegistered(kRemoteDesktop).value()) {
        if (why)
            *why = "no Mutter remote desktop service on the session bus";
        QDBusConnection::disconnectFromBus(bus.name());
        return nullptr;
    }
    auto desktop = std::make_shared<GnomeDesktop>(bus);
    if (!desktop->open(why))
        return nullptr;
    removeLeftShortcuts();
    return desktop;
}

} // namespace platform
