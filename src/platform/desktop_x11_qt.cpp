// The parts of the X11 backend that need Qt: the hot-key grabs, made on the
// connection Qt reads so that the key press reaches its native event filter,
// and the message log.

#include "platform/desktop_x11.h"
#include "platform/desktop_x11_vk.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstring>

Q_LOGGING_CATEGORY(lcX11, "tervalo.x11")
Q_LOGGING_CATEGORY(lcUntyped, "tervalo.untyped")

namespace platform {

namespace {

xcb_connection_t *qtConnection()
{
    if (!qGuiApp)
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Num Lock and Caps Lock change the state of a key press; the grab must hold
// in every combination of them.
std::vector<unsigned int> lockVariants(unsigned int numLockMask)
{
    return {0u, numLockMask, unsigned(XCB_MOD_MASK_LOCK), numLockMask | XCB_MOD_MASK_LOCK};
}

} // namespace

void X11Desktop::logWarning(const std::string &text) const
{
    qCWarning(lcX11).noquote() << QString::fromStdString(text);
}

void X11Desktop::logOnce(const std::string &key, const std::string &text)
{
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        if (!logged_.insert(key).second)
            return;
    }
    logWarning(text);
}

void X11Desktop::logUntypedOnce(const std::string &key, const std::string &text)
{
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        if (!logged_.insert(key).second)
            return;
    }
    qCWarning(lcUntyped).noquote() << QString::fromStdString(text);
}

bool X11Desktop::registerHotKey(int id, int modifiers, int vkCode)
{
    xcb_connection_t *conn = qtConnection();
    if (!conn) {
        logOnce("hotkey-no-xcb", "Global hot keys need the xcb platform of Qt; none is registered.");
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(hotKeyMutex_);
        if (hotKeys_.count(id))
            return false;
    }
    HotKey hk;
    unsigned int numLock = 0;
    {
        std::lock_guard<std::mutex> lock(inputMutex_);
        readModifierMapLocked();
        X11Keymap keymap;
        keymap.load(input_);
        for (unsigned long sym : x11vk::keysymsForVk(vkCode)) {
            const auto kcs = keymap.keycodesOf(sym);
            if (!kcs.empty()) {
                hk.keycode = kcs.front();
                break;
            }
        }
        if (modifiers & mod::Alt)
            hk.modifiers |= altMask_;
        if (modifiers & mod::Ctrl)
            hk.modifiers |= XCB_MOD_MASK_CONTROL;
        if (modifiers & mod::Shift)
            hk.modifiers |= XCB_MOD_MASK_SHIFT;
        if (modifiers & mod::Win)
            hk.modifiers |= superMask_;
        numLock = numLockMask_;
        hk.relevantMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | altMask_ | superMask_;
    }
    if (!hk.keycode) {
        logWarning("No key on the X keymap for the hot key's virtual-key code " + std::to_string(vkCode) + ".");
        return false;
    }
    hk.numLockMask = numLock;
    hk.root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    hk.connection = conn;

    std::vector<unsigned int> grabbed;
    for (unsigned int extra : lockVariants(numLock)) {
        const xcb_void_cookie_t cookie = xcb_grab_key_checked(conn, 1, hk.root, uint16_t(hk.modifiers | extra),
                                                              xcb_keycode_t(hk.keycode), XCB_GRAB_MODE_ASYNC,
                                                              XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t *error = xcb_request_check(conn, cookie)) {
            // BadAccess: another client owns the combination.
            free(error);
            for (unsigned int done : grabbed)
                xcb_ungrab_key(conn, xcb_keycode_t(hk.keycode), hk.root, uint16_t(hk.modifiers | done));
            xcb_flush(conn);
            return false;
        }
        grabbed.push_back(extra);
    }
    std::lock_guard<std::mutex> lock(hotKeyMutex_);
    hotKeys_[id] = hk;
    return true;
}

void X11Desktop::unregisterHotKey(int id)
{
    HotKey hk;
    {
        std::lock_guard<std::mutex> lock(hotKeyMutex_);
        auto it = hotKeys_.find(id);
        if (it == hotKeys_.end())
            return;
        hk = it->second;
        hotKeys_.erase(it);
    }
    // After Qt has closed its connection the grabs are gone with it.
    xcb_connection_t *conn = qtConnection();
    if (!conn || static_cast<void *>(conn) != hk.connection)
        return;
    for (unsigned int extra : lockVariants(hk.numLockMask))
        xcb_ungrab_key(conn, xcb_keycode_t(hk.keycode), hk.root, uint16_t(hk.modifiers | extra));
    xcb_flush(conn);
}

int X11Desktop::hotKeyFromNativeEvent(const char *eventType, void *message)
{
    if (!eventType || !message || std::strcmp(eventType, "xcb_generic_event_t") != 0)
        return 0;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return 0;
    const auto *press = static_cast<const xcb_key_press_event_t *>(message);
    std::lock_guard<std::mutex> lock(hotKeyMutex_);
    for (const auto &[id, hk] : hotKeys_) {
        // Lock keys and buttons do not count; the four named modifiers must match exactly.
        if (press->detail == hk.keycode && (press->state & hk.relevantMask) == hk.modifiers)
            return id;
    }
    return 0;
}

} // namespace platform
