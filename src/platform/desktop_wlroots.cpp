#include "platform/desktop_wlroots.h"

#include "platform/desktop_wlroots_ipc.h"
#include "platform/desktop_x11_vk.h"
#include "platform/linuxinput.h"
#include "platform/waylandflush.h"

#include "virtual-keyboard-unstable-v1.h"
#include "wlr-screencopy-unstable-v1.h"
#include "wlr-virtual-pointer-unstable-v1.h"

#include <QProcess>
#include <QStringList>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {
namespace {

using namespace linuxinput;
// The length one wheel notch stands for on the axis, as libinput reports a
// mouse wheel's click (degrees).
constexpr int kNotchLength = 15;
// wlroots drops the first event of a device it has just made: this long a
// pause after making them, before the first real event.
constexpr auto kNewDevicePause = std::chrono::milliseconds(50);
// How long a read of the screen waits for the compositor's copy.
constexpr auto kCopyWait = std::chrono::milliseconds(2000);
// XKB keycodes are evdev codes + 8; X clients (XWayland) see no key above 255.
constexpr xkb_keycode_t kFirstKey = 9;
constexpr xkb_keycode_t kLastKey = 255;

std::uint32_t nowMs()
{
    return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now().time_since_epoch()).count());
}

struct Output {
    wl_output *output = nullptr;
    std::uint32_t name = 0;
    int x = 0, y = 0;           // in the layout
    int modeWidth = 0, modeHeight = 0;
    int scale = 1;
    Rect logical() const { return Rect{x, y, modeWidth / std::max(scale, 1), modeHeight / std::max(scale, 1)}; }
};

// One screencopy frame in flight: filled by its events on the connection's
// thread, waited for by the reader.
struct Copy {
    std::mutex lock;
    std::condition_variable changed;
    wl_shm *shm = nullptr;
    zwlr_screencopy_frame_v1 *frame = nullptr;
    int version = 1;
    std::uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool haveShm = false;
    bool yInvert = false;
    bool done = false, ok = false;
    int fd = -1;
    void *data = nullptr;
    size_t size = 0;
    wl_shm_pool *pool = nullptr;
    wl_buffer *buffer = nullptr;

    void startCopy()
    {
        if (!haveShm) {
            finish(false);
            return;
        }
        size = size_t(stride) * height;
        fd = ::memfd_create("tervalo-screencopy", MFD_CLOEXEC);
        if (fd < 0 || ::ftruncate(fd, off_t(size)) != 0) {
            finish(false);
            return;
        }
        data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            data = nullptr;
            finish(false);
            return;
        }
        pool = wl_shm_create_pool(shm, fd, int(size));
        buffer = wl_shm_pool_create_buffer(pool, 0, int(width), int(height), int(stride), format);
        zwlr_screencopy_frame_v1_copy(frame, buffer);
    }
    void finish(bool success)
    {
        std::lock_guard<std::mutex> guard(lock);
        done = true;
        ok = success;
        changed.notify_all();
    }
    ~Copy()
    {
        if (buffer)
            wl_buffer_destroy(buffer);
        if (pool)
            wl_shm_pool_destroy(pool);
        if (frame)
            zwlr_screencopy_frame_v1_destroy(frame);
        if (data)
            ::munmap(data, size);
        if (fd >= 0)
            ::close(fd);
    }
};

bool readableFormat(std::uint32_t format)
{
    return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888 || format == WL_SHM_FORMAT_XBGR8888
        || format == WL_SHM_FORMAT_ABGR8888;
}

const zwlr_screencopy_frame_v1_listener kFrameListener = {
    // buffer: the compositor offers one of these; we take the first we can read.
    [](void *data, zwlr_screencopy_frame_v1 *, std::uint32_t format, std::uint32_t width, std::uint32_t height,
       std::uint32_t stride) {
        auto *copy = static_cast<Copy *>(data);
        if (copy->haveShm || !readableFormat(format))
            return;
        copy->haveShm = true;
        copy->format = format;
        copy->width = width;
        copy->height = height;
        copy->stride = stride;
        if (copy->version < 3)
            copy->startCopy(); // before version 3 no buffer_done follows
    },
    [](void *data, zwlr_screencopy_frame_v1 *, std::uint32_t flags) {
        static_cast<Copy *>(data)->yInvert = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
    },
    [](void *data, zwlr_screencopy_frame_v1 *, std::uint32_t, std::uint32_t, std::uint32_t) {
        static_cast<Copy *>(data)->finish(true);
    },
    [](void *data, zwlr_screencopy_frame_v1 *) { static_cast<Copy *>(data)->finish(false); },
    [](void *, zwlr_screencopy_frame_v1 *, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void *, zwlr_screencopy_frame_v1 *, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void *data, zwlr_screencopy_frame_v1 *) { static_cast<Copy *>(data)->startCopy(); },
};

// Which modifier a modifier key's keysym sets.
const char *modifierOf(xkb_keysym_t keysym)
{
    switch (keysym) {
    case XKB_KEY_Shift_L:
    case XKB_KEY_Shift_R: return "Shift";
    case XKB_KEY_Control_L:
    case XKB_KEY_Control_R: return "Control";
    case XKB_KEY_Alt_L:
    case XKB_KEY_Alt_R:
    case XKB_KEY_Meta_L:
    case XKB_KEY_Meta_R: return "Mod1";
    case XKB_KEY_Super_L:
    case XKB_KEY_Super_R: return "Mod4";
    case XKB_KEY_Caps_Lock: return "Lock";
    case XKB_KEY_Num_Lock: return "Mod2";
    case XKB_KEY_ISO_Level3_Shift: return "Mod5";
    default: return nullptr;
    }
}

class WlrootsDesktop final : public Desktop {
public:
    WlrootsDesktop() = default;
    ~WlrootsDesktop() override
    {
        binding_.unbind();
        if (dispatcher_.joinable()) {
            const char wake = 1;
            (void)!::write(wake_[1], &wake, 1);
            dispatcher_.join();
        }
        if (keymap_)
            xkb_keymap_unref(keymap_);
        if (state_)
            xkb_state_unref(state_);
        if (xkb_)
            xkb_context_unref(xkb_);
        if (display_)
            wl_display_disconnect(display_);
        for (int fd : wake_)
            if (fd >= 0)
                ::close(fd);
    }

    const char *name() const override { return "wlroots"; }

    bool open(std::string *why)
    {
        display_ = wl_display_connect(nullptr);
        if (!display_) {
            *why = "no Wayland display";
            return false;
        }
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &kRegistryListener, this);
        // The globals, then the outputs' geometry and modes.
        wl_display_roundtrip(display_);
        wl_display_roundtrip(display_);
        if (!keyboards_ || !pointers_ || !seat_) {
            *why = "the compositor offers no virtual keyboard and pointer (zwp_virtual_keyboard_manager_v1, "
                   "zwlr_virtual_pointer_manager_v1)";
            return false;
        }
        xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        if (!xkb_ || !planKeys()) {
            *why = "no keyboard layout to start from (xkb data)";
            return false;
        }
        if (::pipe2(wake_, O_CLOEXEC) != 0) {
            *why = "no pipe";
            return false;
        }
        dispatcher_ = std::thread([this] { dispatch(); });
        return true;
    }

    // --- Pointer ---

    void setCursorPos(int x, int y) override
    {
        std::lock_guard<std::mutex> guard(inputLock_);
        if (!devices())
            return;
        // Absolute motion without an output spans the whole layout.
        const Rect layout = screenRect();
        if (!layout.empty()) {
            const int px = std::clamp(x - layout.x, 0, layout.width - 1);
            const int py = std::clamp(y - layout.y, 0, layout.height - 1);
            zwlr_virtual_pointer_v1_motion_absolute(pointer_, nowMs(), std::uint32_t(px), std::uint32_t(py),
                                                    std::uint32_t(layout.width), std::uint32_t(layout.height));
            zwlr_virtual_pointer_v1_frame(pointer_);
            flush();
        }
        std::lock_guard<std::mutex> at(cursorLock_);
        cursor_ = {x, y};
    }

    // Wayland tells no client where the pointer is: the last place set.
    Point cursorPos() override
    {
        std::lock_guard<std::mutex> guard(cursorLock_);
        return cursor_;
    }

    void mouseButton(MouseButton button, bool down) override
    {
        std::lock_guard<std::mutex> guard(inputLock_);
        if (!devices())
            return;
        zwlr_virtual_pointer_v1_button(pointer_, nowMs(), button == MouseButton::Right ? kButtonRight : kButtonLeft,
                                       down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer_);
        flush();
    }

    void wheel(int notches) override
    {
        std::lock_guard<std::mutex> guard(inputLock_);
        if (!devices() || notches == 0)
            return;
        // Positive notches turn up (away from the user); the axis counts down.
        zwlr_virtual_pointer_v1_axis_source(pointer_, WL_POINTER_AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(pointer_, nowMs(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                              wl_fixed_from_int(-kNotchLength * notches), -notches);
        zwlr_virtual_pointer_v1_frame(pointer_);
        flush();
    }

    // --- Keyboard ---

    void key(int vkCode, bool down) override
    {
        std::lock_guard<std::mutex> guard(inputLock_);
        if (!devices())
            return;
        for (unsigned long keysym : x11vk::keysymsForVk(vkCode)) {
            const auto found = vkKeys_.find(xkb_keysym_t(keysym));
            if (found != vkKeys_.end()) {
                press(found->second, down);
                return;
            }
        }
    }

    void textBegins(const std::u16string &text, const std::atomic<bool> *) override
    {
        std::lock_guard<std::mutex> guard(inputLock_);
        text_ = codePoints(text);
        next_ = 0;
        if (devices())
            bindAhead(0, 0);
    }

    void textDone() override
    {
        std::lock_guard<std::mutex> guard(inputLock_);
        text_.clear();
        next_ = 0;
    }

    // A character of the layout's first level is typed with its key; any
    // other with a spare key it was bound to ahead of time, in batches of as
    // many as there are spare keys. A new batch is a new keymap, which the
    // compositor passes on between the keys in order: nothing is lost.
    void unicodeUnit(char16_t unit, bool down) override
    {
        std::lock_guard<std::mutex> guard(inputLock_);
        if (!devices())
            return;
        if (!down) {
            if (const xkb_keycode_t key = std::exchange(textKey_, 0))
                press(key, false);
            return;
        }
        char32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            highSurrogate_ = unit;
            return;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            const char16_t high = std::exchange(highSurrogate_, 0);
            if (!high)
                return;
            cp = 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(unit) - 0xDC00);
        }
        // Where the caller is in the announced text.
        if (next_ < text_.size() && text_[next_] == cp)
            ++next_;
        const xkb_keysym_t keysym = xkb_keysym_t(x11vk::keysymForCodePoint(cp));
        if (!keysym) {
            failures_.fetch_add(1);
            return;
        }
        xkb_keycode_t key = keyForKeysym(keysym);
        if (!key) {
            bindAhead(next_ > 0 ? next_ - 1 : 0, keysym);
            key = keyForKeysym(keysym);
        }
        if (!key) {
            failures_.fetch_add(1);
            return;
        }
        if (const xkb_keycode_t held = std::exchange(textKey_, 0))
            press(held, false);
        press(key, true);
        textKey_ = key;
    }

    std::u16string untypable(const std::u16string &text) override
    {
        std::u16string missing;
        for (char32_t cp : codePoints(text)) {
            if (x11vk::keysymForCodePoint(cp))
                continue;
            std::u16string one;
            if (cp >= 0x10000) {
                one += char16_t(0xD800 + ((cp - 0x10000) >> 10));
                one += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                one += char16_t(cp);
            }
            if (missing.find(one) == std::u16string::npos)
                missing += one;
        }
        return missing;
    }

    // --- Screen ---

    Rect screenRect() override
    {
        std::lock_guard<std::mutex> guard(outputLock_);
        Rect all;
        for (const Output &o : outputs_)
            all = all.united(o.logical());
        return all;
    }

    bool grab(const Rect &area, ScreenImage &into) override
    {
        if (!screencopy_ || !shm_)
            return false;
        const Rect wanted = area.intersected(screenRect());
        if (wanted.empty())
            return false;
        std::vector<Output> outputs;
        {
            std::lock_guard<std::mutex> guard(outputLock_);
            outputs = outputs_;
        }
        into.area = wanted;
        into.pixels.assign(size_t(wanted.width) * size_t(wanted.height), 0);
        bool any = false;
        for (const Output &o : outputs) {
            const Rect part = wanted.intersected(o.logical());
            if (!part.empty() && copyPart(o, part, wanted, into))
                any = true;
            else if (!part.empty())
                return false;
        }
        return any;
    }

    // Wayland: no keys of other windows, no global hot keys.
    bool ownWindowKeysOnly() const override { return true; }
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

    int beginInput(InputTaken) override
    {
        std::lock_guard<std::mutex> guard(inputLock_);
        return devices() ? 1 : 0;
    }

    // sway runs `nop <tag>` for the keys and tells its IPC subscribers, and
    // we run the command ourselves: as this user, in this environment (sway
    // may run as another user, with another runtime folder, where
    // `tervalo_free --stop` would not find this run), and through the one
    // stop path every desktop shortcut takes. A nop that a killed run leaves
    // behind does nothing when pressed, and the next run's binding replaces it.
    int bindShortcutCommand(int modifiers, int vkCode, const std::string &command) override
    {
        const std::vector<unsigned long> keysyms = x11vk::keysymsForVk(vkCode);
        char keyName[64] = {};
        if (keysyms.empty() || xkb_keysym_get_name(xkb_keysym_t(keysyms.front()), keyName, sizeof keyName) <= 0)
            return 0;
        std::string combo;
        if (modifiers & mod::Ctrl)
            combo += "Ctrl+";
        if (modifiers & mod::Alt)
            combo += "Mod1+";
        if (modifiers & mod::Shift)
            combo += "Shift+";
        if (modifiers & mod::Win)
            combo += "Mod4+";
        combo += keyName;
        const std::string tag = "tervalo-free-stop-" + std::to_string(::getpid());
        const bool bound = binding_.bind(combo, tag, [command] {
            QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(command)});
        });
        return bound ? 1 : 0;
    }

    void unbindShortcutCommand(int handle) override
    {
        if (handle)
            binding_.unbind();
    }

private:
    static const wl_registry_listener kRegistryListener;
    static const wl_output_listener kOutputListener;

    void global(std::uint32_t name, const char *interface, std::uint32_t version)
    {
        const std::string which = interface;
        if (which == wl_seat_interface.name && !seat_)
            seat_ = static_cast<wl_seat *>(wl_registry_bind(registry_, name, &wl_seat_interface, 1));
        else if (which == wl_shm_interface.name && !shm_)
            shm_ = static_cast<wl_shm *>(wl_registry_bind(registry_, name, &wl_shm_interface, 1));
        else if (which == zwp_virtual_keyboard_manager_v1_interface.name)
            keyboards_ = static_cast<zwp_virtual_keyboard_manager_v1 *>(
                wl_registry_bind(registry_, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        else if (which == zwlr_virtual_pointer_manager_v1_interface.name)
            pointers_ = static_cast<zwlr_virtual_pointer_manager_v1 *>(
                wl_registry_bind(registry_, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
        else if (which == zwlr_screencopy_manager_v1_interface.name) {
            screencopyVersion_ = int(std::min<std::uint32_t>(version, 3));
            screencopy_ = static_cast<zwlr_screencopy_manager_v1 *>(
                wl_registry_bind(registry_, name, &zwlr_screencopy_manager_v1_interface, std::uint32_t(screencopyVersion_)));
        } else if (which == wl_output_interface.name) {
            auto *output = static_cast<wl_output *>(wl_registry_bind(registry_, name, &wl_output_interface,
                                                                     std::min<std::uint32_t>(version, 2)));
            {
                std::lock_guard<std::mutex> guard(outputLock_);
                outputs_.push_back(Output{output, name});
            }
            wl_output_add_listener(output, &kOutputListener, this);
        }
    }

    void globalRemoved(std::uint32_t name)
    {
        std::lock_guard<std::mutex> guard(outputLock_);
        for (auto it = outputs_.begin(); it != outputs_.end(); ++it) {
            if (it->name == name) {
                wl_output_destroy(it->output);
                outputs_.erase(it);
                return;
            }
        }
    }

    template <typename F>
    void withOutput(wl_output *output, F change)
    {
        std::lock_guard<std::mutex> guard(outputLock_);
        for (Output &o : outputs_)
            if (o.output == output)
                change(o);
    }

    // The connection's own thread: reads and dispatches events until the
    // desktop goes.
    void dispatch()
    {
        for (;;) {
            while (wl_display_prepare_read(display_) != 0) {
                std::lock_guard<std::mutex> guard(frameLock_);
                wl_display_dispatch_pending(display_);
            }
            wl_display_flush(display_);
            pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {wake_[0], POLLIN, 0}};
            const int n = ::poll(fds, 2, -1);
            if (n < 0 && errno == EINTR) {
                wl_display_cancel_read(display_);
                continue;
            }
            if (n < 0 || fds[1].revents) {
                wl_display_cancel_read(display_);
                return;
            }
            if (wl_display_read_events(display_) != 0) {
                lost_.store(true);
                return;
            }
            std::lock_guard<std::mutex> guard(frameLock_);
            wl_display_dispatch_pending(display_);
        }
    }

    // Sends what was asked; waits while the socket is full. A connection
    // that broke counts every later request as lost.
    void flush()
    {
        if (!wayland::flushAll(display_)) {
            lost_.store(true);
            failures_.fetch_add(1);
        }
    }

    // --- Keys and the keymap (inputLock_ held) ---

    // The keys of a US layout at their usual codes for the virtual-key codes
    // (so that Shift+1 is '!' and programs that read key codes see the keys
    // they expect), the keysyms it lacks on keys of their own, and every
    // code left over spare for characters.
    bool planKeys()
    {
        xkb_rule_names names{};
        names.layout = "us";
        xkb_keymap *us = xkb_keymap_new_from_names(xkb_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!us)
            return false;
        std::set<xkb_keycode_t> used;
        std::vector<xkb_keysym_t> lacking;
        for (int vk = 1; vk < 255; ++vk) {
            for (unsigned long sym : x11vk::keysymsForVk(vk)) {
                const xkb_keysym_t keysym = xkb_keysym_t(sym);
                if (vkKeys_.count(keysym))
                    continue;
                xkb_keycode_t at = 0;
                for (xkb_keycode_t key = kFirstKey; key <= kLastKey && !at; ++key) {
                    const xkb_keysym_t *syms = nullptr;
                    if (!used.count(key) && xkb_keymap_key_get_syms_by_level(us, key, 0, 0, &syms) == 1 && syms[0] == keysym)
                        at = key;
                }
                if (!at) {
                    lacking.push_back(keysym);
                    vkKeys_[keysym] = 0;
                    continue;
                }
                used.insert(at);
                vkKeys_[keysym] = at;
                std::vector<xkb_keysym_t> &levels = baseKeys_[at];
                for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(us, at, 0) && level < 2; ++level) {
                    const xkb_keysym_t *syms = nullptr;
                    levels.push_back(xkb_keymap_key_get_syms_by_level(us, at, 0, level, &syms) == 1 ? syms[0] : XKB_KEY_NoSymbol);
                }
            }
        }
        xkb_keymap_unref(us);
        xkb_keycode_t next = kFirstKey;
        auto nextFree = [&] {
            while (next <= kLastKey && used.count(next))
                ++next;
            return next <= kLastKey ? next++ : 0;
        };
        for (xkb_keysym_t keysym : lacking) {
            const xkb_keycode_t key = nextFree();
            if (!key)
                return false;
            vkKeys_[keysym] = key;
            baseKeys_[key] = {keysym};
            used.insert(key);
        }
        for (auto it = vkKeys_.begin(); it != vkKeys_.end();)
            it = it->second ? std::next(it) : vkKeys_.erase(it);
        for (xkb_keycode_t key = nextFree(); key; key = nextFree())
            spare_.push_back(key);
        return !spare_.empty();
    }

    // The key that types the keysym with no modifier: a key of the layout's
    // first level, or a spare key bound to it.
    xkb_keycode_t keyForKeysym(xkb_keysym_t keysym) const
    {
        for (const auto &[key, levels] : baseKeys_)
            if (!levels.empty() && levels.front() == keysym)
                return key;
        const auto bound = bound_.find(keysym);
        return bound == bound_.end() ? 0 : bound->second;
    }

    // Binds the spare keys to what the text needs from `from` on (`first`
    // before all), as many as there are spare keys, and uploads the keymap
    // when that changed anything.
    void bindAhead(size_t from, xkb_keysym_t first)
    {
        std::vector<xkb_keysym_t> wanted;
        auto want = [&](xkb_keysym_t keysym) {
            if (keysym && wanted.size() < spare_.size() && std::find(wanted.begin(), wanted.end(), keysym) == wanted.end()) {
                for (const auto &[key, levels] : baseKeys_)
                    if (!levels.empty() && levels.front() == keysym)
                        return;
                wanted.push_back(keysym);
            }
        };
        want(first);
        for (size_t i = from; i < text_.size() && wanted.size() < spare_.size(); ++i)
            want(xkb_keysym_t(x11vk::keysymForCodePoint(text_[i])));
        bool changed = false;
        for (xkb_keysym_t keysym : wanted)
            changed = changed || !bound_.count(keysym);
        if (!changed && keymap_)
            return;
        // Keys still bound that are wanted again stay on their keys; the
        // rest of the spare keys are taken over.
        std::map<xkb_keysym_t, xkb_keycode_t> bound;
        std::set<xkb_keycode_t> taken;
        for (xkb_keysym_t keysym : wanted) {
            const auto was = bound_.find(keysym);
            if (was != bound_.end() && was->second != textKey_) {
                bound[keysym] = was->second;
                taken.insert(was->second);
            }
        }
        size_t spare = 0;
        for (xkb_keysym_t keysym : wanted) {
            if (bound.count(keysym))
                continue;
            while (spare < spare_.size() && (taken.count(spare_[spare]) || spare_[spare] == textKey_))
                ++spare;
            if (spare == spare_.size())
                break;
            bound[keysym] = spare_[spare];
            taken.insert(spare_[spare]);
        }
        bound_ = std::move(bound);
        uploadKeymap();
    }

    std::string keymapText() const
    {
        std::string text = "xkb_keymap {\nxkb_keycodes \"tervalo\" {\nminimum = 8;\nmaximum = 255;\n";
        for (xkb_keycode_t key = kFirstKey; key <= kLastKey; ++key)
            text += "<K" + std::to_string(key) + "> = " + std::to_string(key) + ";\n";
        text += "};\nxkb_types \"tervalo\" { include \"complete\" };\nxkb_compatibility \"tervalo\" { include \"complete\" };\n"
                "xkb_symbols \"tervalo\" {\n";
        char hex[16];
        auto symbol = [&](xkb_keysym_t keysym) {
            std::snprintf(hex, sizeof hex, "0x%08x", unsigned(keysym));
            return std::string(hex);
        };
        std::map<std::string, std::vector<xkb_keycode_t>> modifiers;
        for (const auto &[key, levels] : baseKeys_) {
            text += "key <K" + std::to_string(key) + "> { [ ";
            for (size_t i = 0; i < levels.size(); ++i)
                text += (i ? ", " : "") + symbol(levels[i]);
            text += " ] };\n";
            if (const char *modifier = levels.empty() ? nullptr : modifierOf(levels.front()))
                modifiers[modifier].push_back(key);
        }
        for (const auto &[keysym, key] : bound_)
            text += "key <K" + std::to_string(key) + "> { [ " + symbol(keysym) + " ] };\n";
        for (const auto &[modifier, keys] : modifiers) {
            text += "modifier_map " + modifier + " { ";
            for (size_t i = 0; i < keys.size(); ++i)
                text += (i ? ", <K" : "<K") + std::to_string(keys[i]) + ">";
            text += " };\n";
        }
        return text + "};\n};\n";
    }

    // Compiles the keymap here (so the compositor gets one without includes)
    // and hands it over in a memfd; the modifier state starts again from the
    // keys still held.
    void uploadKeymap()
    {
        xkb_keymap *keymap = xkb_keymap_new_from_string(xkb_, keymapText().c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!keymap) {
            failures_.fetch_add(1);
            return;
        }
        char *text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        const size_t size = std::strlen(text) + 1; // read as a C string: with its end
        const int fd = ::memfd_create("tervalo-keymap", MFD_CLOEXEC);
        bool written = fd >= 0;
        for (size_t done = 0; written && done < size;) {
            const ssize_t n = ::write(fd, text + done, size - done);
            written = n > 0 || (n < 0 && errno == EINTR);
            done += n > 0 ? size_t(n) : 0;
        }
        std::free(text);
        if (!written) {
            if (fd >= 0)
                ::close(fd);
            xkb_keymap_unref(keymap);
            failures_.fetch_add(1);
            return;
        }
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, std::uint32_t(size));
        ::close(fd); // sent: the compositor has its own copy of the descriptor
        if (keymap_)
            xkb_keymap_unref(keymap_);
        keymap_ = keymap;
        if (state_)
            xkb_state_unref(state_);
        state_ = xkb_state_new(keymap_);
        for (xkb_keycode_t key : held_)
            xkb_state_update_key(state_, key, XKB_KEY_DOWN);
        sendModifiers();
        flush();
    }

    // The virtual keyboard passes keys on as they are; the modifiers they
    // make are ours to say.
    void sendModifiers()
    {
        const std::array<std::uint32_t, 4> now{
            xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED), xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
            xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED), xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE)};
        if (now == sentModifiers_)
            return;
        sentModifiers_ = now;
        zwp_virtual_keyboard_v1_modifiers(keyboard_, now[0], now[1], now[2], now[3]);
    }

    void press(xkb_keycode_t key, bool down)
    {
        if (!down && !held_.count(key))
            return; // up without a down: nothing to let go of
        zwp_virtual_keyboard_v1_key(keyboard_, nowMs(), key - 8,
                                    down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        if (down)
            held_.insert(key);
        else
            held_.erase(key);
        xkb_state_update_key(state_, key, down ? XKB_KEY_DOWN : XKB_KEY_UP);
        sendModifiers();
        flush();
    }

    // Makes the virtual devices on first use; they live as long as the
    // desktop (inputLock_ held). False when the connection is gone.
    bool devices()
    {
        if (lost_.load() || wl_display_get_error(display_)) {
            failures_.fetch_add(1);
            return false;
        }
        if (keyboard_)
            return true;
        keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards_, seat_);
        pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers_, seat_);
        uploadKeymap();
        // The pause counts from when the compositor has made them, which on
        // a busy machine may be well after we asked.
        waitForCompositor();
        std::this_thread::sleep_for(kNewDevicePause);
        return keymap_ != nullptr;
    }

    // Returns once the compositor has handled every request sent so far (its
    // answer to a sync comes after them), or after kCopyWait.
    void waitForCompositor()
    {
        struct Answer {
            std::mutex lock;
            std::condition_variable came;
            bool done = false;
        };
        static const wl_callback_listener listener = {[](void *data, wl_callback *, std::uint32_t) {
            auto *answer = static_cast<Answer *>(data);
            std::lock_guard<std::mutex> guard(answer->lock);
            answer->done = true;
            answer->came.notify_all();
        }};
        Answer answer;
        wl_callback *callback = nullptr;
        {
            std::lock_guard<std::mutex> guard(frameLock_);
            callback = wl_display_sync(display_);
            wl_callback_add_listener(callback, &listener, &answer);
        }
        flush();
        {
            std::unique_lock<std::mutex> guard(answer.lock);
            answer.came.wait_for(guard, kCopyWait, [&] { return answer.done; });
        }
        // Destroyed while no event is dispatched: a late answer is dropped.
        std::lock_guard<std::mutex> guard(frameLock_);
        wl_callback_destroy(callback);
    }

    bool copyPart(const Output &output, const Rect &part, const Rect &wanted, ScreenImage &into)
    {
        auto copy = std::make_unique<Copy>();
        copy->shm = shm_;
        copy->version = screencopyVersion_;
        {
            // Made and given its listener before the connection's thread can
            // dispatch any of its events.
            std::lock_guard<std::mutex> guard(frameLock_);
            copy->frame = zwlr_screencopy_manager_v1_capture_output_region(screencopy_, 0, output.output, part.x - output.x,
                                                                          part.y - output.y, part.width, part.height);
            zwlr_screencopy_frame_v1_add_listener(copy->frame, &kFrameListener, copy.get());
        }
        flush();
        // Its proxies go while no event is dispatched: once destroyed, the
        // events the compositor still sends for them are dropped.
        auto drop = [this](std::unique_ptr<Copy> &c) {
            std::lock_guard<std::mutex> guard(frameLock_);
            c.reset();
        };
        bool copied = false;
        {
            std::unique_lock<std::mutex> guard(copy->lock);
            copied = copy->changed.wait_for(guard, kCopyWait, [&] { return copy->done; }) && copy->ok;
        }
        if (!copied) {
            drop(copy);
            return false;
        }
        const bool swap = copy->format == WL_SHM_FORMAT_XBGR8888 || copy->format == WL_SHM_FORMAT_ABGR8888;
        const auto *bytes = static_cast<const unsigned char *>(copy->data);
        for (int y = 0; y < part.height; ++y) {
            int sy = int(std::int64_t(y) * copy->height / std::uint32_t(part.height));
            if (copy->yInvert)
                sy = int(copy->height) - 1 - sy;
            const auto *row = reinterpret_cast<const std::uint32_t *>(bytes + size_t(sy) * copy->stride);
            std::uint32_t *out = into.pixels.data() + size_t(part.y - wanted.y + y) * size_t(wanted.width) + size_t(part.x - wanted.x);
            for (int x = 0; x < part.width; ++x) {
                std::uint32_t p = row[std::int64_t(x) * copy->width / std::uint32_t(part.width)];
                if (swap)
                    p = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
                out[x] = p & 0xFFFFFFu;
            }
        }
        drop(copy);
        return true;
    }

    static std::vector<char32_t> codePoints(const std::u16string &text)
    {
        std::vector<char32_t> points;
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t u = text[i];
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                points.push_back(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
                ++i;
            } else {
                points.push_back(u);
            }
        }
        return points;
    }

    wl_display *display_ = nullptr;
    wl_registry *registry_ = nullptr;
    wl_seat *seat_ = nullptr;
    wl_shm *shm_ = nullptr;
    zwp_virtual_keyboard_manager_v1 *keyboards_ = nullptr;
    zwlr_virtual_pointer_manager_v1 *pointers_ = nullptr;
    zwlr_screencopy_manager_v1 *screencopy_ = nullptr;
    int screencopyVersion_ = 1;
    std::thread dispatcher_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> lost_{false};
    std::atomic<unsigned long> failures_{0};

    std::mutex outputLock_;
    std::vector<Output> outputs_;
    std::mutex frameLock_; // held while events are dispatched, while a proxy gets its listener and while one is destroyed

    std::mutex cursorLock_;
    Point cursor_;

    std::mutex inputLock_; // the devices, the keymap and the text below
    zwp_virtual_keyboard_v1 *keyboard_ = nullptr;
    zwlr_virtual_pointer_v1 *pointer_ = nullptr;
    xkb_context *xkb_ = nullptr;
    xkb_keymap *keymap_ = nullptr;
    xkb_state *state_ = nullptr;
    std::map<xkb_keycode_t, std::vector<xkb_keysym_t>> baseKeys_;
    std::unordered_map<xkb_keysym_t, xkb_keycode_t> vkKeys_;
    std::vector<xkb_keycode_t> spare_;
    std::map<xkb_keysym_t, xkb_keycode_t> bound_;
    std::set<xkb_keycode_t> held_;
    std::array<std::uint32_t, 4> sentModifiers_{~0u, ~0u, ~0u, ~0u};
    std::vector<char32_t> text_;
    size_t next_ = 0;
    char16_t highSurrogate_ = 0;
    xkb_keycode_t textKey_ = 0;

    SwayBinding binding_;
};

const wl_registry_listener WlrootsDesktop::kRegistryListener = {
    [](void *data, wl_registry *, std::uint32_t name, const char *interface, std::uint32_t version) {
        static_cast<WlrootsDesktop *>(data)->global(name, interface, version);
    },
    [](void *data, wl_registry *, std::uint32_t name) { static_cast<WlrootsDesktop *>(data)->globalRemoved(name); },
};

const wl_output_listener WlrootsDesktop::kOutputListener = {
    [](void *data, wl_output *output, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t, const char *,
       const char *, std::int32_t) {
        static_cast<WlrootsDesktop *>(data)->withOutput(output, [&](Output &o) {
            o.x = x;
            o.y = y;
        });
    },
    [](void *data, wl_output *output, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
        if (!(flags & WL_OUTPUT_MODE_CURRENT))
            return;
        static_cast<WlrootsDesktop *>(data)->withOutput(output, [&](Output &o) {
            o.modeWidth = width;
            o.modeHeight = height;
        });
    },
    [](void *, wl_output *) {},
    [](void *data, wl_output *output, std::int32_t factor) {
        static_cast<WlrootsDesktop *>(data)->withOutput(output, [&](Output &o) { o.scale = factor; });
    },
    [](void *, wl_output *, const char *) {}, // name and description: version 4, not bound
    [](void *, wl_output *, const char *) {},
};

} // namespace

std::shared_ptr<Desktop> createWlrootsDesktop(std::string *why)
{
    std::string reason;
    auto desktop = std::make_shared<WlrootsDesktop>();
    if (!desktop->open(&reason)) {
        if (why)
            *why = reason;
        return nullptr;
    }
    return desktop;
}

bool wlrootsInputOffered()
{
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return false;
    struct Found {
        bool keyboard = false, pointer = false;
    } found;
    static const wl_registry_listener listener = {
        [](void *data, wl_registry *, std::uint32_t, const char *interface, std::uint32_t) {
            auto *f = static_cast<Found *>(data);
            f->keyboard = f->keyboard || std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0;
            f->pointer = f->pointer || std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0;
        },
        [](void *, wl_registry *, std::uint32_t) {},
    };
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &found);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return found.keyboard && found.pointer;
}

} // namespace platform
