#include "platform/desktop_kde.h"

#include "platform/desktop_x11_vk.h"
#include "platform/linuxinput.h"
#include "platform/textruns.h"
#include "platform/waylandflush.h"

#include "kde-data-control.h"
#include "kde-fake-input.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDebug>
#include <QImage>
#include <QSettings>
#include <QStandardPaths>
#include <QVariantMap>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {
namespace {

using namespace linuxinput;
// Keys go one at a time. KWin reads a client's requests 4 KiB (about 180
// keys) per turn of its loop, and a Qt text field answers every key with its
// whole line (about 1 KiB per 1,000 characters, three times). Keys that pile
// up while KWin draws a frame would reach the field in one turn; its answers
// then fill its socket before KWin reads them, and libwayland ends the
// field's connection: the application loses its window. So each key waits
// until KWin has handled it (a round trip), and after each release a pause
// lets KWin read the field's answers. A headless KWin took 470 characters/s
// this way, a line of 1,000 intact even on a loaded machine; much longer
// lines need the page's own time to space the keys (libwayland 1.23 and
// later grow the socket's buffer instead of failing).
constexpr auto kKeyGap = std::chrono::microseconds(200);
// xkb key codes are Linux key codes plus 8.
constexpr uint32_t kXkbOffset = 8;
// Wayland clients take 10 units of axis motion for one wheel notch when
// no discrete step comes with it (Qt makes it 120 eighths of a degree,
// GTK one step); the vertical axis counts down.
constexpr double kAxisPerNotch = 10.0;
// The first input of a new fake-input device is lost while KWin sets it
// up: a pause after authenticating, before the real input.
constexpr auto kWarmUp = std::chrono::milliseconds(100);
// The text goes to the clipboard under these types, what Wayland and
// XWayland applications ask for when they paste text, and a private one
// that tells our own selections from the person's.
const char *const kTextTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING"};
const std::string kOurType = "application/x-tervalo-free-paste";
// How long a paste waits for the window to ask for the text.
constexpr int kPasteWaitMs = 2000;
// Reading the person's clipboard: at most this long without a byte, and at
// most this much in all (it may hold a large picture).
constexpr int kReadSilenceMs = 1000;
constexpr size_t kReadLimit = 64 * 1024 * 1024;
// A screenshot: how long KWin may take to render and send it.
constexpr int kShotWaitMs = 3000;

bool writeAll(int fd, const std::string &data)
{
    for (size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// Reads a pipe to its end; false when it went silent or too long first.
bool readAll(int fd, std::string &into, int silenceMs, size_t limit)
{
    char buffer[65536];
    while (into.size() < limit) {
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, silenceMs) <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        into.append(buffer, size_t(n));
    }
    return false;
}

// How a key code types something: the key, and the modifier keys its
// level needs (Shift, AltGr), pressed before it and released after it in
// reverse.
struct Stroke {
    uint32_t key = 0; // Linux key code
    std::vector<uint32_t> modifiers;
};

// What the current keymap types, from its first layout.
struct Layout {
    std::unordered_map<char32_t, Stroke> characters;
    std::unordered_map<uint32_t, uint32_t> keysymKeys; // keysym -> Linux key code, lowest level first
};

Layout layoutOf(xkb_keymap *keymap)
{
    Layout layout;
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
    const xkb_mod_index_t level3 = xkb_keymap_mod_get_index(keymap, "Mod5");
    // Each key's keysym at each level of the first layout, lower levels
    // first, so that the simplest stroke wins.
    struct Entry {
        xkb_keycode_t key;
        xkb_level_index_t level;
        xkb_keysym_t sym;
    };
    std::vector<Entry> entries;
    for (xkb_level_index_t level = 0; level < 4; ++level) {
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
            const xkb_keysym_t *syms = nullptr;
            if (key >= kXkbOffset && level < xkb_keymap_num_levels_for_key(keymap, key, 0)
                && xkb_keymap_key_get_syms_by_level(keymap, key, 0, level, &syms) == 1)
                entries.push_back({key, level, syms[0]});
        }
    }
    for (const Entry &e : entries)
        layout.keysymKeys.emplace(e.sym, e.key - kXkbOffset);
    auto keyOf = [&](xkb_keysym_t sym) -> uint32_t {
        const auto found = layout.keysymKeys.find(sym);
        return found == layout.keysymKeys.end() ? 0 : found->second;
    };
    const uint32_t shiftKey = keyOf(XKB_KEY_Shift_L);
    const uint32_t level3Key = keyOf(XKB_KEY_ISO_Level3_Shift);
    for (const auto &[key, level, sym] : entries) {
        const char32_t cp = xkb_keysym_to_utf32(sym);
        if (cp < 0x20 || layout.characters.count(cp))
            continue;
        xkb_mod_mask_t masks[4] = {};
        const size_t count = xkb_keymap_key_get_mods_for_level(keymap, key, 0, level, masks, 4);
        for (size_t i = 0; i < count; ++i) {
            // Only levels that Shift and AltGr reach, with keys for them.
            const xkb_mod_mask_t rest = masks[i] & ~((1u << shift) | (level3 == XKB_MOD_INVALID ? 0 : 1u << level3));
            const bool needsShift = masks[i] & (1u << shift);
            const bool needsLevel3 = level3 != XKB_MOD_INVALID && (masks[i] & (1u << level3));
            if (rest || (needsShift && !shiftKey) || (needsLevel3 && !level3Key))
                continue;
            Stroke stroke;
            stroke.key = key - kXkbOffset;
            if (needsLevel3)
                stroke.modifiers.push_back(level3Key);
            if (needsShift)
                stroke.modifiers.push_back(shiftKey);
            layout.characters.emplace(cp, stroke);
            break;
        }
    }
    return layout;
}

// The first layout of KDE's keyboard settings ("de"), for a seat that
// sends no keymap; empty for the default.
xkb_keymap *configuredKeymap(xkb_context *context)
{
    const QString file = QStandardPaths::locate(QStandardPaths::GenericConfigLocation, QStringLiteral("kxkbrc"));
    QByteArray layout, variant;
    if (!file.isEmpty()) {
        QSettings settings(file, QSettings::IniFormat);
        layout = settings.value(QStringLiteral("Layout/LayoutList")).toString().section(QLatin1Char(','), 0, 0).toUtf8();
        variant = settings.value(QStringLiteral("Layout/VariantList")).toString().section(QLatin1Char(','), 0, 0).toUtf8();
    }
    xkb_rule_names names{};
    names.layout = layout.isEmpty() ? nullptr : layout.constData();
    names.variant = variant.isEmpty() ? nullptr : variant.constData();
    return xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

class KdeDesktop;

// A clipboard content we offer: its types and bytes.
struct Offer {
    std::map<std::string, std::string> content;
    unsigned long served = 0; // transfers asked for
};

class KdeDesktop final : public Desktop {
public:
    ~KdeDesktop() override
    {
        quit_ = true;
        const char byte = 1;
        (void)!::write(wake_[1], &byte, 1);
        if (events_.joinable())
            events_.join();
        if (paceQueue_)
            wl_event_queue_destroy(paceQueue_);
        if (display_)
            wl_display_disconnect(display_);
        ::close(wake_[0]);
        ::close(wake_[1]);
        if (keymap_)
            xkb_keymap_unref(keymap_);
        if (context_)
            xkb_context_unref(context_);
    }

    const char *name() const override { return "kde"; }

    bool open(std::string *why)
    {
        display_ = wl_display_connect(nullptr);
        if (!display_) {
            *why = "no Wayland display";
            return false;
        }
        if (::pipe2(wake_, O_CLOEXEC) != 0) {
            *why = "no pipe";
            return false;
        }
        context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        wl_registry *registry = wl_display_get_registry(display_);
        wl_registry_add_listener(registry, &kRegistryListener, this);
        wl_display_roundtrip(display_);
        if (!fakeInput_) {
            *why = "KWin offers this program no fake input (its .desktop file must name org_kde_kwin_fake_input)";
            return false;
        }
        org_kde_kwin_fake_input_authenticate(fakeInput_, "Tervalo Free", "plays a project's mouse and keyboard input");
        if (seat_) {
            keyboard_ = wl_seat_get_keyboard(seat_);
            wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
            if (dataControl_) {
                device_ = zwlr_data_control_manager_v1_get_data_device(dataControl_, seat_);
                zwlr_data_control_device_v1_add_listener(device_, &kDeviceListener, this);
            }
        }
        // The outputs' modes, the keymap and the clipboard's offer come now.
        wl_display_roundtrip(display_);
        wl_display_roundtrip(display_);
        {
            std::lock_guard<std::mutex> guard(stateLock_);
            if (!keymap_) {
                keymap_ = configuredKeymap(context_);
                if (keymap_)
                    layout_ = layoutOf(keymap_);
            }
        }
        paceQueue_ = wl_display_create_queue(display_);
        events_ = std::thread([this] { dispatch(); });
        std::this_thread::sleep_for(kWarmUp);
        return true;
    }

    // --- Input. ---

    void mouseButton(MouseButton button, bool down) override
    {
        org_kde_kwin_fake_input_button(fakeInput_, button == MouseButton::Right ? kButtonRight : kButtonLeft,
                                       down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        flush();
    }

    void setCursorPos(int x, int y) override
    {
        org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput_, wl_fixed_from_int(x), wl_fixed_from_int(y));
        flush();
        std::lock_guard<std::mutex> guard(stateLock_);
        pointer_ = {x, y};
    }

    // Wayland tells no client where the pointer is: the last place set.
    Point cursorPos() override
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        return pointer_;
    }

    void key(int vkCode, bool down) override
    {
        if (const uint32_t code = keyOfVk(vkCode))
            pressKey(code, down);
    }

    void wheel(int notches) override
    {
        // Positive notches turn up (away from the user); the axis counts down.
        org_kde_kwin_fake_input_axis(fakeInput_, WL_POINTER_AXIS_VERTICAL_SCROLL,
                                     wl_fixed_from_double(-notches * kAxisPerNotch));
        flush();
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

    // Characters of the layout are typed as key codes with the modifiers of
    // their level. A run of characters it lacks is pasted at its first one,
    // as a whole (order kept: the keys after it wait until the window took
    // the text), and its other units are passed over. Only downs act; an up
    // lets go of what its down pressed, in reverse.
    void unicodeUnit(char16_t unit, bool down) override
    {
        std::unique_lock<std::mutex> guard(typeLock_);
        if (!down) {
            if (pressed_.key) {
                pressKey(pressed_.key, false);
                for (auto m = pressed_.modifiers.rbegin(); m != pressed_.modifiers.rend(); ++m)
                    pressKey(*m, false);
            }
            pressed_ = Stroke{};
            return;
        }
        const TextRuns::Step step = runs_.down(unit, [this](char32_t cp) { return strokeOf(cp).has_value(); });
        if (step.kind == TextRuns::Step::Kind::Key) {
            const Stroke stroke = *strokeOf(step.codePoint);
            for (uint32_t m : stroke.modifiers)
                pressKey(m, true);
            pressKey(stroke.key, true);
            pressed_ = stroke;
        } else if (step.kind == TextRuns::Step::Kind::Paste) {
            guard.unlock();
            paste(step.run, step.stop);
        }
    }

    std::u16string untypable(const std::u16string &text) override
    {
        if (pastesOutsideLayout())
            return {};
        return untypableIn(text, [this](char32_t cp) { return strokeOf(cp).has_value(); });
    }

    bool pastesOutsideLayout() const override { return device_ != nullptr; }
    // KWin lets no client hear other windows' keys, nor grab a hot key.
    bool ownWindowKeysOnly() const override { return true; }

    // --- Screen. ---

    Rect screenRect() override
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        Rect all;
        for (const auto &[output, o] : outputs_)
            all = all.united(Rect{o.x, o.y, o.width, o.height});
        return all;
    }

    // KWin's screenshot service draws the area into a pipe; it serves only
    // programs whose .desktop file names it
    // (X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2).
    bool grab(const Rect &area, ScreenImage &into) override
    {
        const Rect part = area.intersected(screenRect());
        if (part.empty())
            return false;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
            QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("CaptureArea"));
        QVariantMap options;
        options.insert(QStringLiteral("native-resolution"), true);
        message.setArguments({part.x, part.y, uint(part.width), uint(part.height), options,
                              QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))});
        QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(message, kShotWaitMs);
        // Every copy of the writing end but KWin's closed: its copy ends the
        // pipe when it is done.
        message = QDBusMessage();
        ::close(fds[1]);
        // Read while KWin writes: a large area fills the pipe before it
        // answers. The answer says how many bytes make the picture (the pipe
        // need not end: the bus library may keep a copy of its writing end).
        std::string bytes;
        size_t need = 0;
        QVariantMap results;
        bool failed = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kShotWaitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (!need && pending.isFinished()) {
                QDBusPendingReply<QVariantMap> reply(pending);
                if (reply.isError()) {
                    warnOnce(reply.error().message());
                    failed = true;
                    break;
                }
                results = reply.value();
                need = size_t(results.value(QStringLiteral("stride")).toUInt())
                    * results.value(QStringLiteral("height")).toUInt();
                if (!need) {
                    failed = true;
                    break;
                }
            }
            if (need && bytes.size() >= need)
                break;
            pollfd wait{fds[0], POLLIN, 0};
            if (::poll(&wait, 1, 10) > 0) {
                char buffer[65536];
                const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
                if (n > 0)
                    bytes.append(buffer, size_t(n));
                else if (n == 0 && !pending.isFinished())
                    pending.waitForFinished();
            }
        }
        ::close(fds[0]);
        if (failed || !need || bytes.size() < need)
            return false;
        const int width = results.value(QStringLiteral("width")).toInt();
        const int height = results.value(QStringLiteral("height")).toInt();
        const int stride = results.value(QStringLiteral("stride")).toInt();
        const auto format = QImage::Format(results.value(QStringLiteral("format")).toInt());
        if (width <= 0 || height <= 0 || stride < width)
            return false;
        const QImage shot = QImage(reinterpret_cast<const uchar *>(bytes.data()), width, height, stride, format)
                                .convertToFormat(QImage::Format_RGB32)
                                .scaled(part.width, part.height);
        into.area = part;
        into.pixels.resize(size_t(part.width) * part.height);
        for (int y = 0; y < part.height; ++y) {
            const auto *row = reinterpret_cast<const std::uint32_t *>(shot.constScanLine(y));
            for (int x = 0; x < part.width; ++x)
                into.pixels[size_t(y) * part.width + x] = row[x] & 0xFFFFFFu;
        }
        return true;
    }

    // --- Keys, hooks, shortcuts. ---

    bool isKeyDown(int) override { return false; }
    bool hasKey(int vkCode) override { return keyOfVk(vkCode) != 0; }
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
        return kdeshortcut::bind(modifiers, vkCode, command);
    }
    void unbindShortcutCommand(int handle) override { kdeshortcut::unbind(handle); }

    bool displayGone() override { return gone_.load(); }

private:
    struct Output {
        int x = 0, y = 0, width = 0, height = 0;
    };

    // --- The connection's events, on its own thread. ---

    void dispatch()
    {
        while (!quit_) {
            while (wl_display_prepare_read(display_) != 0)
                wl_display_dispatch_pending(display_);
            wl_display_flush(display_);
            pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
                wl_display_cancel_read(display_);
                break;
            }
            if (fds[0].revents & POLLIN) {
                if (wl_display_read_events(display_) != 0)
                    break;
            } else {
                wl_display_cancel_read(display_);
            }
            if (fds[0].revents & (POLLHUP | POLLERR))
                break;
            if (wl_display_dispatch_pending(display_) < 0)
                break;
        }
        if (!quit_)
            gone_ = true;
    }

    // Sends what was asked; waits while the socket is full.
    void flush()
    {
        if (!wayland::flushAll(display_))
            failures_.fetch_add(1);
    }

    void global(wl_registry *registry, uint32_t id, const char *interface, uint32_t version)
    {
        if (!std::strcmp(interface, org_kde_kwin_fake_input_interface.name) && version >= 4) {
            fakeInput_ = static_cast<org_kde_kwin_fake_input *>(
                wl_registry_bind(registry, id, &org_kde_kwin_fake_input_interface, 4));
        } else if (!std::strcmp(interface, wl_seat_interface.name) && !seat_) {
            seat_ = static_cast<wl_seat *>(wl_registry_bind(registry, id, &wl_seat_interface, 1));
        } else if (!std::strcmp(interface, zwlr_data_control_manager_v1_interface.name)) {
            dataControl_ = static_cast<zwlr_data_control_manager_v1 *>(
                wl_registry_bind(registry, id, &zwlr_data_control_manager_v1_interface, 1));
        } else if (!std::strcmp(interface, wl_output_interface.name)) {
            auto *output = static_cast<wl_output *>(wl_registry_bind(registry, id, &wl_output_interface, std::min(version, 2u)));
            wl_output_add_listener(output, &kOutputListener, this);
            std::lock_guard<std::mutex> guard(stateLock_);
            outputs_[output];
        }
    }

    void keymap(uint32_t format, int fd, uint32_t size)
    {
        if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
            ::close(fd);
            return;
        }
        void *text = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        ::close(fd);
        if (text == MAP_FAILED)
            return;
        xkb_keymap *keymap = xkb_keymap_new_from_buffer(context_, static_cast<const char *>(text), strnlen(static_cast<const char *>(text), size),
                                                        XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
        ::munmap(text, size);
        if (!keymap)
            return;
        Layout layout = layoutOf(keymap);
        std::lock_guard<std::mutex> guard(stateLock_);
        if (keymap_)
            xkb_keymap_unref(keymap_);
        keymap_ = keymap;
        layout_ = std::move(layout);
    }

    // The clipboard: a new offer announces its types, then becomes the
    // selection (or is dropped unused).
    void offerType(zwlr_data_control_offer_v1 *offer, const char *type)
    {
        std::lock_guard<std::mutex> guard(clipLock_);
        offerTypes_[offer].push_back(type);
    }
    void selection(zwlr_data_control_offer_v1 *offer)
    {
        std::lock_guard<std::mutex> guard(clipLock_);
        if (current_ && current_ != offer) {
            offerTypes_.erase(current_);
            zwlr_data_control_offer_v1_destroy(current_);
        }
        current_ = offer;
    }
    void send(zwlr_data_control_source_v1 *source, const char *type, int fd)
    {
        std::string data;
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            const auto found = sources_.find(source);
            if (found != sources_.end()) {
                data = found->second.content[type];
                ++found->second.served;
            }
        }
        clipWake_.notify_all();
        // A window that reads slowly must not stop this thread for long.
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        writeAll(fd, data);
        ::close(fd);
    }
    void cancelled(zwlr_data_control_source_v1 *source)
    {
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            sources_.erase(source);
        }
        zwlr_data_control_source_v1_destroy(source);
        clipWake_.notify_all();
    }
    void outputGeometry(wl_output *output, int x, int y)
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        outputs_[output].x = x;
        outputs_[output].y = y;
    }
    void outputMode(wl_output *output, uint32_t flags, int width, int height)
    {
        if (!(flags & WL_OUTPUT_MODE_CURRENT))
            return;
        std::lock_guard<std::mutex> guard(stateLock_);
        outputs_[output].width = width;
        outputs_[output].height = height;
    }

    // --- Keys. ---

    void pressKey(uint32_t code, bool down)
    {
        org_kde_kwin_fake_input_keyboard_key(fakeInput_, code,
                                             down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        flush();
        pace();
        if (!down)
            std::this_thread::sleep_for(kKeyGap);
    }

    // Waits until KWin has handled what was sent (its answer comes on a
    // queue of its own, read by whichever thread reads the socket).
    void pace()
    {
        std::lock_guard<std::mutex> guard(paceLock_);
        if (!gone_ && wl_display_roundtrip_queue(display_, paceQueue_) < 0)
            failures_.fetch_add(1);
    }

    // The key code of a virtual-key code on this keymap; 0 when it has none.
    uint32_t keyOfVk(int vkCode)
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        for (unsigned long sym : x11vk::keysymsForVk(vkCode)) {
            const auto found = layout_.keysymKeys.find(uint32_t(sym));
            if (found != layout_.keysymKeys.end())
                return found->second;
        }
        return 0;
    }

    std::optional<Stroke> strokeOf(char32_t codePoint)
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (codePoint < 0x20 || codePoint == 0x7f) {
            // Enter, Tab, Backspace, Esc, Delete: keys of every keyboard.
            const auto found = layout_.keysymKeys.find(uint32_t(x11vk::keysymForCodePoint(codePoint)));
            if (found == layout_.keysymKeys.end())
                return std::nullopt;
            return Stroke{found->second, {}};
        }
        const auto found = layout_.characters.find(codePoint);
        if (found == layout_.characters.end())
            return std::nullopt;
        return found->second;
    }

    // --- Pasting. ---

    // A source of ours on the seat's selection, offering `content`.
    zwlr_data_control_source_v1 *offer(std::map<std::string, std::string> content)
    {
        content[kOurType] = std::string();
        zwlr_data_control_source_v1 *source = zwlr_data_control_manager_v1_create_data_source(dataControl_);
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            sources_[source].content = content;
        }
        zwlr_data_control_source_v1_add_listener(source, &kSourceListener, this);
        for (const auto &[type, bytes] : content)
            zwlr_data_control_source_v1_offer(source, type.c_str());
        zwlr_data_control_device_v1_set_selection(device_, source);
        flush();
        return source;
    }

    // What the person has on the clipboard: every type of the current
    // offer, unless that offer is ours (the person's content we gave back).
    void keepPersons()
    {
        zwlr_data_control_offer_v1 *offer = nullptr;
        std::vector<std::string> types;
        {
            std::lock_guard<std::mutex> guard(clipLock_);
            offer = current_;
            if (offer)
                types = offerTypes_[offer];
        }
        if (std::find(types.begin(), types.end(), kOurType) != types.end())
            return;
        person_.clear();
        for (const std::string &type : types) {
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) != 0)
                continue;
            zwlr_data_control_offer_v1_receive(offer, type.c_str(), fds[1]);
            flush();
            ::close(fds[1]);
            std::string bytes;
            if (readAll(fds[0], bytes, kReadSilenceMs, kReadLimit))
                person_[type] = std::move(bytes);
            ::close(fds[0]);
        }
    }

    // Puts the text on the clipboard, presses Ctrl+V, waits until the
    // window asked for it, and gives the person's clipboard back. A text
    // that nobody took counts as lost input.
    void paste(const std::u16string &text, const std::atomic<bool> *stop)
    {
        std::lock_guard<std::mutex> pasting(pasteLock_);
        if (!device_) {
            failures_.fetch_add(1);
            return;
        }
        keepPersons();
        const std::string utf8 = QString::fromStdU16String(text).toStdString();
        std::map<std::string, std::string> content;
        for (const char *type : kTextTypes)
            content[type] = utf8;
        zwlr_data_control_source_v1 *source = offer(content);
        // The window learns of the new selection before the keys arrive:
        // both go through KWin in the order sent, and it tells the focused
        // window of a selection at once.
        pressKey(kKeyLeftCtrl, true);
        pressKey(kKeyV, true);
        pressKey(kKeyV, false);
        pressKey(kKeyLeftCtrl, false);
        bool taken = false;
        {
            std::unique_lock<std::mutex> guard(clipLock_);
            taken = clipWake_.wait_for(guard, std::chrono::milliseconds(kPasteWaitMs), [&] {
                const auto found = sources_.find(source);
                return found == sources_.end() || found->second.served > 0 || (stop && stop->load()) || gone_;
            });
            const auto found = sources_.find(source);
            taken = found != sources_.end() && found->second.served > 0;
        }
        if (!taken && !(stop && stop->load()))
            failures_.fetch_add(1);
        if (person_.empty()) {
            zwlr_data_control_device_v1_set_selection(device_, nullptr);
            flush();
        } else {
            offer(person_);
        }
    }

    void warnOnce(const QString &why)
    {
        if (!warned_.exchange(true))
            qWarning().noquote() << "[kde] cannot read the screen:" << why;
    }

    static const wl_registry_listener kRegistryListener;
    static const wl_keyboard_listener kKeyboardListener;
    static const zwlr_data_control_device_v1_listener kDeviceListener;
    static const zwlr_data_control_offer_v1_listener kOfferListener;
    static const zwlr_data_control_source_v1_listener kSourceListener;
    static const wl_output_listener kOutputListener;

    wl_display *display_ = nullptr;
    int wake_[2] = {-1, -1};
    std::thread events_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> gone_{false};
    std::mutex paceLock_;                 // one round trip at a time
    wl_event_queue *paceQueue_ = nullptr; // where the round trips' answers come
    org_kde_kwin_fake_input *fakeInput_ = nullptr;
    wl_seat *seat_ = nullptr;
    wl_keyboard *keyboard_ = nullptr;
    zwlr_data_control_manager_v1 *dataControl_ = nullptr;
    zwlr_data_control_device_v1 *device_ = nullptr;
    xkb_context *context_ = nullptr;

    std::mutex stateLock_; // keymap_, layout_, pointer_, outputs_
    xkb_keymap *keymap_ = nullptr;
    Layout layout_;
    Point pointer_;
    std::map<wl_output *, Output> outputs_;

    std::mutex typeLock_; // the text being typed
    TextRuns runs_;
    Stroke pressed_; // what a unicodeUnit down pressed

    std::mutex pasteLock_; // one paste at a time; person_
    std::map<std::string, std::string> person_;
    std::mutex clipLock_; // the offers and sources below
    std::condition_variable clipWake_;
    std::map<zwlr_data_control_offer_v1 *, std::vector<std::string>> offerTypes_;
    zwlr_data_control_offer_v1 *current_ = nullptr;
    std::map<zwlr_data_control_source_v1 *, Offer> sources_;

    std::atomic<unsigned long> failures_{0};
    std::atomic<bool> warned_{false};
};

const wl_registry_listener KdeDesktop::kRegistryListener = {
    [](void *data, wl_registry *registry, uint32_t id, const char *interface, uint32_t version) {
        static_cast<KdeDesktop *>(data)->global(registry, id, interface, version);
    },
    [](void *, wl_registry *, uint32_t) {},
};

const wl_keyboard_listener KdeDesktop::kKeyboardListener = {
    [](void *data, wl_keyboard *, uint32_t format, int32_t fd, uint32_t size) {
        static_cast<KdeDesktop *>(data)->keymap(format, fd, size);
    },
    [](void *, wl_keyboard *, uint32_t, wl_surface *, wl_array *) {},
    [](void *, wl_keyboard *, uint32_t, wl_surface *) {},
    [](void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void *, wl_keyboard *, int32_t, int32_t) {},
};

const zwlr_data_control_device_v1_listener KdeDesktop::kDeviceListener = {
    [](void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
        zwlr_data_control_offer_v1_add_listener(offer, &kOfferListener, data);
    },
    [](void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
        static_cast<KdeDesktop *>(data)->selection(offer);
    },
    [](void *, zwlr_data_control_device_v1 *) {},
    [](void *, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
        // The primary selection is not ours to keep.
        if (offer)
            zwlr_data_control_offer_v1_destroy(offer);
    },
};

const zwlr_data_control_offer_v1_listener KdeDesktop::kOfferListener = {
    [](void *data, zwlr_data_control_offer_v1 *offer, const char *type) {
        static_cast<KdeDesktop *>(data)->offerType(offer, type);
    },
};

const zwlr_data_control_source_v1_listener KdeDesktop::kSourceListener = {
    [](void *data, zwlr_data_control_source_v1 *source, const char *type, int32_t fd) {
        static_cast<KdeDesktop *>(data)->send(source, type, fd);
    },
    [](void *data, zwlr_data_control_source_v1 *source) { static_cast<KdeDesktop *>(data)->cancelled(source); },
};

const wl_output_listener KdeDesktop::kOutputListener = {
    [](void *data, wl_output *output, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char *, const char *,
       int32_t) { static_cast<KdeDesktop *>(data)->outputGeometry(output, x, y); },
    [](void *data, wl_output *output, uint32_t flags, int32_t width, int32_t height, int32_t) {
        static_cast<KdeDesktop *>(data)->outputMode(output, flags, width, height);
    },
    [](void *, wl_output *) {},
    [](void *, wl_output *, int32_t) {},
    [](void *, wl_output *, const char *) {},
    [](void *, wl_output *, const char *) {},
};

} // namespace

std::shared_ptr<Desktop> createKdeDesktop(std::string *why)
{
    auto desktop = std::make_shared<KdeDesktop>();
    std::string reason;
    if (!desktop->open(&reason)) {
        if (why)
            *why = reason;
        return nullptr;
    }
    return desktop;
}

} // namespace platform
