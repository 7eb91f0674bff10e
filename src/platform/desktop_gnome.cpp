#include "platform/desktop_gnome.h"

#include "platform/desktop_gnome_api.h"
#include "platform/desktop_gnome_frames.h"
#include "platform/desktop_gnome_layout.h"
#include "platform/desktop_x11_vk.h"
#include "platform/linuxinput.h"
#include "platform/textruns.h"

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
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDebug>
#include <QLoggingCategory>
#include <QMap>
#include <QThread>
#include <QVariantMap>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include <xkbcommon/xkbcommon.h>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

namespace platform {
namespace {

using namespace linuxinput;

const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kScreenCast = QStringLiteral("org.gnome.Mutter.ScreenCast");
const QString kRemoteSession = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
const QString kCastStream = QStringLiteral("org.gnome.Mutter.ScreenCast.Stream");
// How long a read of the screen waits for the stream's first frame: Mutter
// names the stream's node a moment after the session starts, and sends the
// first frame a refresh or two later.
constexpr auto kFirstFrameWait = std::chrono::milliseconds(200);

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

// The path of a process's shortcut; `variant` > 0 for the same combination
// with more modifiers held.
QString shortcutOf(qint64 pid, int variant = 0)
{
    return kOurShortcuts + QString::number(pid) + (variant ? QLatin1Char('-') + QString::number(variant) : QString())
        + QLatin1Char('/');
}

// The process a shortcut path of ours belongs to; empty for another's path.
QString ownerOf(const QString &path)
{
    if (!path.startsWith(kOurShortcuts))
        return QString();
    const QString rest = path.mid(kOurShortcuts.size()).chopped(1);
    return rest.section(QLatin1Char('-'), 0, 0);
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
        const QString pid = ownerOf(path);
        if (!pid.isEmpty() && !QFileInfo::exists(QStringLiteral("/proc/") + pid))
            left << path;
    }
    removeShortcuts(left);
}

// The text goes to the clipboard under these types: what Wayland and
// XWayland applications ask for when they paste text.
const QStringList kTextTypes{QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain")};
// How long a paste waits for the window to ask for the text; a window that
// does not paste on Ctrl+V never asks.
constexpr auto kPasteWait = std::chrono::milliseconds(2000);
// Reading the person's clipboard: at most this long without a byte, and at
// most this much in all (the clipboard may hold a large picture).
constexpr int kReadSilenceMs = 1000;
constexpr qsizetype kReadLimit = 64 * 1024 * 1024;

// The first keyboard layout of GNOME's input sources ("de+nodeadkeys"),
// empty when none is set (Mutter then uses the default layout).
QString firstLayout()
{
    QString sources;
    if (!gsettings({QStringLiteral("get"), QStringLiteral("org.gnome.desktop.input-sources"), QStringLiteral("sources")}, &sources))
        return QString();
    static const QRegularExpression xkb(QStringLiteral("\\('xkb',\\s*'([^']*)'\\)"));
    return xkb.match(sources).captured(1);
}

// What each character of the layout's first group is typed with: Mutter
// types a keysym only when a key of the current group has it, at any level,
// and drops it otherwise.
std::unordered_map<char32_t, unsigned> layoutCharacters()
{
    std::unordered_map<char32_t, unsigned> characters;
    const QString layout = firstLayout();
    const QByteArray name = layout.section(QLatin1Char('+'), 0, 0).toUtf8();
    const QByteArray variant = layout.section(QLatin1Char('+'), 1).toUtf8();
    xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return characters;
    xkb_rule_names names{};
    names.layout = name.isEmpty() ? nullptr : name.constData();
    names.variant = variant.isEmpty() ? nullptr : variant.constData();
    if (xkb_keymap *keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
            for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap, key, 0); ++level) {
                const xkb_keysym_t *syms = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, level, &syms);
                for (int i = 0; i < count; ++i) {
                    if (const char32_t cp = xkb_keysym_to_utf32(syms[i]); cp >= 0x20)
                        characters.emplace(cp, syms[i]); // the first (lowest level) wins
                }
            }
        }
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return characters;
}

class GnomeDesktop;

// The command line opens the desktop before it makes the application, and
// an event loop cannot run without one: the thread that hears the stream
// starts its loop once the application is there. What came before waits
// in its queue.
class StreamThread : public QThread {
protected:
    void run() override
    {
        while (!QCoreApplication::instance())
            QThread::msleep(10);
        exec();
    }
};

// Hears the session's signals. QtDBus delivers them in the receiver's
// thread: a thread of its own, since a paste waits for a transfer that must
// be answered even while the window's thread is busy.
class SessionSignals : public QObject {
    Q_OBJECT
public:
    explicit SessionSignals(std::weak_ptr<GnomeDesktop> desktop) : desktop_(std::move(desktop)) {}
public slots:
    void closed(const QDBusMessage &message);
    void transfer(const QString &mimeType, uint serial);
    void ownerChanged(const QVariantMap &options);
    void streamAdded(const QDBusMessage &message);

private:
    std::weak_ptr<GnomeDesktop> desktop_;
};

class GnomeDesktop final : public Desktop, public std::enable_shared_from_this<GnomeDesktop> {
public:
    // The session ends with the connection, which ends with the process
    // however it ends (a call here could come after Qt's D-Bus thread has
    // gone, at the static destructors, and would never return).
    explicit GnomeDesktop(QDBusConnection bus) : bus_(std::move(bus)) {}

    const char *name() const override { return "gnome"; }

    void startThreads()
    {
        if (signals_)
            return;
        // Never deleted: they must outlive every call of the connection,
        // which lives until the process ends.
        auto *thread = new QThread;
        thread->setObjectName(QStringLiteral("tervalo-gnome-signals"));
        thread->start();
        signals_ = new SessionSignals(weak_from_this());
        signals_->moveToThread(thread);
        auto *streamThread = new StreamThread;
        streamThread->setObjectName(QStringLiteral("tervalo-gnome-stream"));
        streamThread->start();
        streamSignals_ = new SessionSignals(weak_from_this());
        streamSignals_->moveToThread(streamThread);
    }

    /// Ways into a session: Mutter's own API, or the portal (which asks
    /// the person). Chosen once, before the first session.
    void useApi(bool portal)
    {
        startThreads();
        api_ = portal ? portalApi(bus_, signals_) : mutterApi(bus_);
    }

    /// Opens the remote-desktop session with its screen-cast streams; the
    /// reason in `why` when it cannot. Without `warm`, the first input may
    /// be lost (a session that only shows it can be opened).
    bool open(std::string *why, bool warm = true)
    {
        OpenedSession opened;
        RemoteApi::Steps steps;
        // Heard from before anything can close it.
        steps.made = [this](const QString &path) {
            for (const auto &[signal, slot] : sessionSignals())
                bus_.connect(api_->service(), path, api_->sessionInterface(), signal, signals_, slot);
        };
        // Mutter names the primary's PipeWire node once the session has
        // started, maybe before Start answers.
        steps.streamsKnown = [this](const OpenedSession &session) {
            const QString primary = session.streams[session.primary].toString();
            {
                std::lock_guard<std::mutex> guard(sessionLock_);
                stream_ = primary;
                places_ = session.places;
                streams_ = session.streams;
            }
            if (!session.node)
                bus_.connect(kScreenCast, primary, kCastStream, QStringLiteral("PipeWireStreamAdded"), streamSignals_,
                             SLOT(streamAdded(QDBusMessage)));
        };
        if (!api_->open(opened, steps, why))
            return false;
        const QString remotePath = opened.path;
        const bool clipboard = opened.clipboard;
        if (opened.node) {
            std::string framesWhy;
            if (!frames_.start(*opened.node, &framesWhy, opened.pipeWireFd))
                qWarning().noquote() << "[gnome] cannot read the screen:" << QString::fromStdString(framesWhy);
        }
        {
            std::lock_guard<std::mutex> guard(sessionLock_);
            remotePath_ = remotePath;
            closed_ = false;
        }
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            clipboard_ = clipboard;
            weOwn_ = false;
            ownerKnown_ = false;
        }
        loadLayout();
        if (warm) {
            for (bool down : {true, false})
                deliver([down](RemoteApi &api, const QString &path) { return api.keysym(path, kWakeKeysym, down); });
            // Mutter makes the session's pointer at its first pointer event,
            // and only then does the seat offer windows a pointer: events that
            // come before a window took it are lost. A motion that moves
            // nothing makes it during the pause.
            deliver([](RemoteApi &api, const QString &path) { return api.pointerBy(path, 0.0, 0.0); });
            std::this_thread::sleep_for(kWarmUp);
        }
        return true;
    }

    /// Reads which characters the keyboard layout types (what untypable
    /// tells before a session opens).
    void loadLayout()
    {
        std::unordered_map<char32_t, unsigned> characters = layoutCharacters();
        std::lock_guard<std::mutex> guard(typeLock_);
        layout_ = std::move(characters);
    }

    /// Ends the session we opened (GNOME's sharing indicator goes with it).
    void close()
    {
        QString path;
        {
            std::lock_guard<std::mutex> guard(sessionLock_);
            if (closed_)
                return;
            closed_ = true;
            path = remotePath_;
        }
        frames_.stop();
        clipWake_.notify_all();
        api_->close(path);
    }

    void mouseButton(MouseButton button, bool down) override
    {
        const int code = int(button == MouseButton::Right ? kButtonRight : kButtonLeft);
        deliver([code, down](RemoteApi &api, const QString &path) { return api.button(path, code, down); });
    }

    void setCursorPos(int x, int y) override
    {
        // Positions go within a stream's monitor.
        QVariant stream;
        Point within{x, y};
        {
            std::lock_guard<std::mutex> guard(sessionLock_);
            if (!places_.empty()) {
                const std::size_t at = monitorAt(places_, within);
                const Rect &area = places_[at].area;
                stream = streams_[at];
                within = {x - area.x, y - area.y};
                // Off every monitor: onto the nearest one's edge, where a
                // pointer pushed there stops.
                if (!area.empty())
                    within = {std::clamp(within.x, 0, area.width - 1), std::clamp(within.y, 0, area.height - 1)};
            }
        }
        deliver([&](RemoteApi &api, const QString &path) { return api.pointerAt(path, stream, within.x, within.y); });
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
        const unsigned keysym = unsigned(keysyms.front());
        deliver([keysym, down](RemoteApi &api, const QString &path) { return api.keysym(path, keysym, down); });
    }

    void textBegins(const std::u16string &text, const std::atomic<bool> *stop) override
    {
        std::lock_guard<std::mutex> guard(typeLock_);
        runs_.begin(text, stop);
    }

    void textDone() override
    {
        std::lock_guard<std::mutex> guard(typeLock_);
        runs_.done();
    }

    // Characters of the layout are typed as keysyms. A run of characters it
    // lacks is pasted at its first one, as a whole (order kept: the keys
    // after it wait until the window has taken the text), and its other
    // units are passed over. Only downs act; an up lets go of the keysym its
    // down pressed.
    void unicodeUnit(char16_t unit, bool down) override
    {
        std::unique_lock<std::mutex> guard(typeLock_);
        if (!down) {
            if (const unsigned keysym = std::exchange(pressed_, 0))
                deliver([keysym](RemoteApi &api, const QString &path) { return api.keysym(path, keysym, false); });
            return;
        }
        const TextRuns::Step step = runs_.down(unit, [this](char32_t cp) { return keysymOf(cp) != 0; });
        if (step.kind == TextRuns::Step::Kind::Key) {
            const unsigned keysym = keysymOf(step.codePoint);
            deliver([keysym](RemoteApi &api, const QString &path) { return api.keysym(path, keysym, true); });
            pressed_ = keysym;
        } else if (step.kind == TextRuns::Step::Kind::Paste) {
            guard.unlock();
            paste(step.run, step.stop);
        }
    }

    void wheel(int notches) override
    {
        // Positive notches turn up (away from the user); the axis counts down.
        deliver([notches](RemoteApi &api, const QString &path) { return api.axisSteps(path, 0u, -notches); });
    }

    std::u16string untypable(const std::u16string &text) override
    {
        std::u16string missing;
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            if (clipboard_)
                return missing;
        }
        std::lock_guard<std::mutex> guard(typeLock_);
        return untypableIn(text, [this](char32_t cp) { return keysymOf(cp) != 0; });
    }

    bool pastesOutsideLayout() const override
    {
        std::lock_guard<std::mutex> guard(clipLock_);
        return clipboard_;
    }

    // The screen is the stream's monitor, as its newest frame shows it.
    Rect screenRect() override
    {
        ensureSession();
        return frames_.area(kFirstFrameWait);
    }
    bool grab(const Rect &area, ScreenImage &into) override
    {
        ensureSession();
        return frames_.copy(area, into, kFirstFrameWait);
    }
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

    int beginInput(InputTaken taken) override
    {
        // Mutter's API: a session per run, since GNOME shows its sharing
        // indicator only while something plays. The portal's: one per
        // program start, opened here at its first run, since each asks the
        // person. After the person ended the last one with the indicator's
        // ×, a new run is a new consent (they pressed Play again), so it
        // gets a new session too.
        std::lock_guard<std::mutex> opening(openLock_);
        if (sessionGone()) {
            std::string why;
            if (!open(&why)) {
                qWarning().noquote() << "[gnome] cannot open a new remote desktop session:" << QString::fromStdString(why);
                return 0;
            }
        }
        std::lock_guard<std::mutex> guard(listenerLock_);
        const int handle = ++lastListener_;
        listeners_.emplace(handle, std::move(taken));
        return handle;
    }

    void endInput(int handle) override
    {
        std::lock_guard<std::mutex> opening(openLock_);
        {
            std::lock_guard<std::mutex> guard(listenerLock_);
            listeners_.erase(handle);
            if (!listeners_.empty())
                return;
        }
        // A session that asked the person stays for the next run: they
        // allowed this program start, not this run.
        if (!api_->asksConsent())
            close();
    }

    bool asksConsent() override { return api_->asksConsent() && sessionGone(); }

    int bindShortcutCommand(int modifiers, int vkCode, const std::string &command) override
    {
        std::optional<QStringList> paths = customShortcuts();
        if (acceleratorOf(modifiers, vkCode).isEmpty() || !paths)
            return 0;
        // GNOME matches a shortcut's modifiers exactly, while a run may hold
        // others itself (a page holding Shift+A): the combination is bound
        // with every set of the modifiers it lacks too, as the other
        // desktops excuse the run's own modifiers.
        const int lacking = ~modifiers & 15;
        const qint64 pid = QCoreApplication::applicationPid();
        int variant = 0;
        for (int extra = 0; extra <= 15; ++extra) {
            if (extra & ~lacking)
                continue;
            const QString ours = shortcutOf(pid, variant++);
            const QString schema = kCustomSchema + QLatin1Char(':') + ours;
            if (!gsettings({QStringLiteral("set"), schema, QStringLiteral("name"), stringValue(QStringLiteral("Tervalo Free: 実行を停止 / stop the run"))})
                || !gsettings({QStringLiteral("set"), schema, QStringLiteral("command"), stringValue(QString::fromStdString(command))})
                || !gsettings({QStringLiteral("set"), schema, QStringLiteral("binding"), stringValue(acceleratorOf(modifiers | extra, vkCode))}))
                return 0;
            if (!paths->contains(ours))
                *paths << ours;
        }
        return setCustomShortcuts(*paths) ? 1 : 0;
    }

    void unbindShortcutCommand(int handle) override
    {
        if (!handle)
            return;
        const QString pid = QString::number(QCoreApplication::applicationPid());
        if (const std::optional<QStringList> paths = customShortcuts()) {
            QStringList ours;
            for (const QString &path : *paths) {
                if (ownerOf(path) == pid)
                    ours << path;
            }
            removeShortcuts(ours);
        }
    }

    // --- From the session's signals (their thread). ---

    /// The session at `path` ended (the person closed it, or Mutter did).
    void sessionClosed(const QString &path)
    {
        {
            std::lock_guard<std::mutex> guard(sessionLock_);
            if (closed_ || path != remotePath_)
                return;
            closed_ = true;
        }
        frames_.stop(); // its last frame would not change any more
        clipWake_.notify_all();
        std::lock_guard<std::mutex> guard(listenerLock_);
        for (const auto &[handle, taken] : listeners_) {
            if (taken) // a caller that only keeps the session open names none
                taken();
        }
    }

    /// The stream at `path` is PipeWire's node `node` now.
    void streamAdded(const QString &path, uint node)
    {
        if (path != streamPath())
            return;
        std::string why;
        if (!frames_.start(node, &why))
            qWarning().noquote() << "[gnome] cannot read the screen:" << QString::fromStdString(why);
    }

    /// A window asks for what we put on the clipboard.
    void transfer(const QString &mimeType, uint serial)
    {
        QByteArray data;
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            data = offer_.value(mimeType);
        }
        const QString path = sessionPath();
        int fd = -1;
        {
            const QDBusMessage reply = call(path, kRemoteDesktop, kRemoteSession, QStringLiteral("SelectionWrite"), {serial});
            if (reply.type() != QDBusMessage::ErrorMessage)
                fd = ::dup(reply.arguments().value(0).value<QDBusUnixFileDescriptor>().fileDescriptor());
        }
        bool written = fd >= 0;
        for (qsizetype done = 0; written && done < data.size();) {
            const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            written = n > 0;
            done += n > 0 ? n : 0;
        }
        if (fd >= 0)
            ::close(fd); // the reader's end of file
        call(path, kRemoteDesktop, kRemoteSession, QStringLiteral("SelectionWriteDone"), {serial, written});
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            ++served_;
        }
        clipWake_.notify_all();
    }

    /// Someone else took the clipboard, or we did.
    void ownerChanged(const QVariantMap &options)
    {
        std::lock_guard<std::mutex> guard(clipLock_);
        weOwn_ = options.value(QStringLiteral("session-is-owner")).toBool();
        if (!weOwn_) {
            // Mutter names no types when it tells a new session who owns the
            // clipboard: the owner's types are then unknown, not none.
            personTypes_ = qdbus_cast<QStringList>(options.value(QStringLiteral("mime-types")));
            ownerKnown_ = !personTypes_.isEmpty();
        }
    }

private:
    static std::vector<std::pair<QString, const char *>> sessionSignals()
    {
        return {{QStringLiteral("Closed"), SLOT(closed(QDBusMessage))},
                {QStringLiteral("SelectionTransfer"), SLOT(transfer(QString, uint))},
                {QStringLiteral("SelectionOwnerChanged"), SLOT(ownerChanged(QVariantMap))}};
    }

    // The keysym that types the character on this layout; 0 when it has none.
    unsigned keysymOf(char32_t codePoint) const
    {
        if (codePoint < 0x20 || codePoint == 0x7f)
            return unsigned(x11vk::keysymForCodePoint(codePoint)); // Enter, Tab, Backspace, Esc, Delete: on every keyboard
        const auto found = layout_.find(codePoint);
        return found == layout_.end() ? 0 : found->second;
    }

    // What the clipboard holds now, type by type, as another program owns
    // it; the types it offers when known, else its text.
    QMap<QString, QByteArray> readClipboard(const QStringList &types)
    {
        QMap<QString, QByteArray> content;
        const QString path = sessionPath();
        for (const QString &type : types) {
            int fd = -1;
            {
                const QDBusMessage reply = call(path, kRemoteDesktop, kRemoteSession, QStringLiteral("SelectionRead"), {type});
                if (reply.type() != QDBusMessage::ErrorMessage)
                    fd = ::dup(reply.arguments().value(0).value<QDBusUnixFileDescriptor>().fileDescriptor());
            }
            if (fd < 0)
                continue;
            QByteArray bytes;
            bool complete = false;
            while (bytes.size() < kReadLimit) {
                pollfd wait{fd, POLLIN, 0};
                if (::poll(&wait, 1, kReadSilenceMs) <= 0)
                    break;
                char buffer[65536];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    complete = n == 0;
                    break;
                }
                bytes.append(buffer, n);
            }
            ::close(fd);
            if (complete)
                content.insert(type, bytes);
        }
        return content;
    }

    bool setSelection(const QMap<QString, QByteArray> &content)
    {
        QVariantMap options;
        options.insert(QStringLiteral("mime-types"), QStringList(content.keys()));
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            offer_ = content;
        }
        return call(sessionPath(), kRemoteDesktop, kRemoteSession, QStringLiteral("SetSelection"), {options}).type()
            != QDBusMessage::ErrorMessage;
    }

    // Puts the text on the clipboard, presses Ctrl+V, waits until the
    // window has taken it, and gives the person's clipboard back (we keep
    // offering it while it stays ours: Wayland has no clipboard without an
    // owner). A text that nobody took counts as lost input.
    void paste(const std::u16string &text, const std::atomic<bool> *stop)
    {
        std::lock_guard<std::mutex> pasting(pasteLock_);
        QStringList types;
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            if (!clipboard_) {
                failures_.fetch_add(1);
                return;
            }
            if (!weOwn_)
                types = ownerKnown_ ? personTypes_ : kTextTypes;
        }
        if (!types.isEmpty()) {
            QMap<QString, QByteArray> person = readClipboard(types);
            std::lock_guard<std::mutex> guard(clipLock_);
            person_ = std::move(person);
        }
        const QByteArray utf8 = QString::fromStdU16String(text).toUtf8();
        QMap<QString, QByteArray> content;
        for (const QString &type : kTextTypes)
            content.insert(type, utf8);
        if (!setSelection(content)) {
            failures_.fetch_add(1);
            return;
        }
        // Only transfers after the manager's read are the window's.
        awaitClipboardManager();
        unsigned long servedBefore = 0;
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            servedBefore = served_;
        }
        const auto keycode = [this](unsigned code, bool down) {
            deliver([code, down](RemoteApi &api, const QString &path) { return api.keycode(path, code, down); });
        };
        keycode(kKeyLeftCtrl, true);
        keycode(kKeyV, true);
        keycode(kKeyV, false);
        keycode(kKeyLeftCtrl, false);
        bool taken = false;
        {
            std::unique_lock<std::mutex> guard(clipLock_);
            taken = clipWake_.wait_for(guard, kPasteWait, [&] {
                return served_ != servedBefore || (stop && stop->load()) || sessionGone();
            }) && served_ != servedBefore;
        }
        if (!taken && !(stop && stop->load()) && !sessionGone())
            failures_.fetch_add(1);
        QMap<QString, QByteArray> person;
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            person = person_;
        }
        // Mutter keeps a copy of whatever was last on the clipboard, so an
        // empty one cannot be given back: it keeps the pasted text then.
        if (!person.isEmpty() && setSelection(person)) {
            // Ours now, holding the person's content: the next paste must not
            // read it back as theirs before Mutter's signal says so.
            std::lock_guard<std::mutex> guard(clipLock_);
            weOwn_ = true;
        }
    }

    // Mutter's clipboard manager reads a new selection at once, to keep it
    // should its owner go; its request was sent before the reply to
    // SetSelection, so it is queued on the signals' thread before this
    // marker, and has been answered when the marker runs.
    void awaitClipboardManager()
    {
        auto marker = std::make_shared<std::promise<void>>();
        std::future<void> markerRan = marker->get_future();
        QMetaObject::invokeMethod(signals_, [marker] { marker->set_value(); }, Qt::QueuedConnection);
        markerRan.wait_for(kPasteWait);
    }

    // Input or a screen read outside a run (the editor's Test, a capture)
    // opens a session of its own, which the next run's end closes. Within a
    // run a closed session stays closed: the person ended it, and the run is
    // stopping.
    void ensureSession()
    {
        if (!sessionGone())
            return;
        std::lock_guard<std::mutex> opening(openLock_);
        {
            std::lock_guard<std::mutex> guard(listenerLock_);
            if (!listeners_.empty())
                return;
        }
        std::string why;
        if (sessionGone() && !open(&why)) {
            qWarning().noquote() << "[gnome] cannot open a remote desktop session:" << QString::fromStdString(why);
            failures_.fetch_add(1);
        }
    }

    bool sessionGone()
    {
        std::lock_guard<std::mutex> guard(sessionLock_);
        return closed_;
    }
    QString sessionPath()
    {
        std::lock_guard<std::mutex> guard(sessionLock_);
        return remotePath_;
    }
    QString streamPath()
    {
        std::lock_guard<std::mutex> guard(sessionLock_);
        return stream_;
    }

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
    // Nothing goes into a session the person closed: the run is stopping
    // then, and what it lets go of was let go with the session.
    void deliver(const std::function<QDBusMessage(RemoteApi &, const QString &)> &send)
    {
        ensureSession();
        QString path;
        {
            std::lock_guard<std::mutex> guard(sessionLock_);
            if (closed_)
                return;
            path = remotePath_;
        }
        const QDBusMessage reply = send(*api_, path);
        if (reply.type() != QDBusMessage::ErrorMessage)
            return;
        // The session went away before its Closed signal reached us (that
        // comes on another thread): the same as the signal.
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")
            || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
            sessionClosed(path);
            return;
        }
        failures_.fetch_add(1);
    }

    QDBusConnection bus_;
    SessionSignals *signals_ = nullptr;
    SessionSignals *streamSignals_ = nullptr; // the stream's node, on a thread of its own
    std::unique_ptr<RemoteApi> api_;
    std::mutex openLock_; // held while a session opens or closes, before the others
    std::mutex sessionLock_; // remotePath_, stream_, closed_
    QString remotePath_;
    QString stream_;                   // the primary monitor's: the screen read
    std::vector<MonitorPlace> places_; // where each monitor lies
    std::vector<QVariant> streams_;    // and its stream, as the input calls name it
    bool closed_ = true; // no session yet
    std::mutex listenerLock_; // listeners_; held while they are told
    std::map<int, InputTaken> listeners_;
    int lastListener_ = 0;
    std::mutex pointerLock_;
    Point pointer_;
    std::mutex typeLock_; // the text being typed and the layout
    std::unordered_map<char32_t, unsigned> layout_;
    TextRuns runs_;
    unsigned pressed_ = 0; // keysym a unicodeUnit down pressed
    std::mutex pasteLock_; // one paste at a time
    mutable std::mutex clipLock_; // the clipboard state below
    std::condition_variable clipWake_;
    bool clipboard_ = false;
    bool weOwn_ = false;
    bool ownerKnown_ = false;
    QStringList personTypes_;
    QMap<QString, QByteArray> person_;
    QMap<QString, QByteArray> offer_;
    unsigned long served_ = 0;
    std::atomic<unsigned long> failures_{0};
    ScreenFrames frames_; // touched by the session's signals and by reads
};

void SessionSignals::closed(const QDBusMessage &message)
{
    if (auto desktop = desktop_.lock())
        desktop->sessionClosed(message.path());
}

void SessionSignals::transfer(const QString &mimeType, uint serial)
{
    if (auto desktop = desktop_.lock())
        desktop->transfer(mimeType, serial);
}

void SessionSignals::ownerChanged(const QVariantMap &options)
{
    if (auto desktop = desktop_.lock())
        desktop->ownerChanged(options);
}

void SessionSignals::streamAdded(const QDBusMessage &message)
{
    if (auto desktop = desktop_.lock())
        desktop->streamAdded(message.path(), message.arguments().value(0).toUInt());
}

} // namespace

std::shared_ptr<Desktop> createGnomeDesktop(std::string *why)
{
    // A connection of its own: the session belongs to the connection that
    // made it and ends with it, however the process ends.
    static std::atomic<int> connections{0};
    QDBusConnection bus = QDBusConnection::connectToBus(
        QDBusConnection::SessionBus, QStringLiteral("tervalo-gnome-%1").arg(connections.fetch_add(1)));
    if (!bus.isConnected()) {
        if (why)
            *why = "no session bus";
        return nullptr;
    }
    // Mutter's API first: it asks nobody. The portal when that is refused
    // (newer GNOME keeps it to its own programs) or missing, or asked for.
    const bool portalAsked = qEnvironmentVariable("TERVALO_GNOME_API") == QLatin1String("portal");
    bool usePortal = portalAsked;
    std::string mutterWhy;
    if (!usePortal && bus.interface() && bus.interface()->isServiceRegistered(kRemoteDesktop).value()) {
        auto desktop = std::make_shared<GnomeDesktop>(bus);
        desktop->useApi(false);
        // Opened once to know that Mutter lets us in, then closed: each run
        // opens its own.
        if (desktop->open(&mutterWhy, false)) {
            desktop->close();
            removeLeftShortcuts();
            return desktop;
        }
        usePortal = QString::fromStdString(mutterWhy).startsWith(QLatin1String("org.freedesktop.DBus.Error.AccessDenied"));
        if (!usePortal) {
            if (why)
                *why = mutterWhy;
            return nullptr;
        }
    } else if (!usePortal) {
        mutterWhy = "no Mutter remote desktop service on the session bus";
        usePortal = true;
    }
    std::string portalWhy;
    if (!portalOffersRemoteDesktop(bus, &portalWhy)) {
        if (why)
            *why = portalAsked ? portalWhy : mutterWhy + "; " + portalWhy;
        QDBusConnection::disconnectFromBus(bus.name());
        return nullptr;
    }
    qCDebug(lcPlatform).noquote() << "[gnome] input goes through the RemoteDesktop portal"
                      << (portalAsked ? QStringLiteral("(TERVALO_GNOME_API=portal)") : QString::fromStdString("(" + mutterWhy + ")"));
    // Its session opens at the first input, since it asks the person.
    auto desktop = std::make_shared<GnomeDesktop>(bus);
    desktop->useApi(true);
    desktop->loadLayout();
    removeLeftShortcuts();
    return desktop;
}

bool gnomeRemoteDesktopOnBus()
{
    // A connection of its own, closed again: the check must leave no trace
    // on the process's shared session connection.
    const QString name = QStringLiteral("tervalo-gnome-check");
    bool there = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        there = bus.isConnected()
            && (serviceReachable(bus, kRemoteDesktop) || serviceReachable(bus, QStringLiteral("org.freedesktop.portal.Desktop")));
    }
    QDBusConnection::disconnectFromBus(name);
    return there;
}

} // namespace platform
#include "desktop_gnome.moc"
