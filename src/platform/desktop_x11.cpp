#include "platform/desktop_x11.h"
#include "platform/desktop_x11_vk.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace platform {

namespace {

// Xlib's default error handler ends the process; an error on one of our
// requests (a keycode that vanished with a layout switch, say) must not.
int quietErrorHandler(Display *, XErrorEvent *)
{
    return 0;
}

// The connection broke (the server went away): Xlib's default handler
// calls exit(), whose exit handlers then talk to the dead connections again
// from several threads at once. Never returns.
int lostConnectionHandler(Display *)
{
    displayLost();
}

std::once_flag g_errorHandlerInstalled;

std::atomic<int> g_openConnections{0};

int firstKeycodeOf(const X11Keymap &keymap, const std::vector<unsigned long> &syms)
{
    for (unsigned long sym : syms) {
        const auto kcs = keymap.keycodesOf(sym);
        if (!kcs.empty())
            return kcs.front();
    }
    return 0;
}

} // namespace

X11Desktop::X11Desktop(Display *inputDisplay)
    : input_(inputDisplay)
{
    std::call_once(g_errorHandlerInstalled, [] { XSetErrorHandler(quietErrorHandler); });
    watchDisplayLoss();
    displayName_ = DisplayString(input_);
    // Our own presses must not be held up by a grab of another client.
    XTestGrabControl(input_, True);
    std::lock_guard<std::mutex> lock(inputMutex_);
    readModifierMapLocked();
}

X11Desktop::~X11Desktop()
{
    {
        std::map<int, std::unique_ptr<X11InputObserver>> observers;
        {
            std::lock_guard<std::mutex> lock(observerMutex_);
            observers.swap(observers_);
        }
    } // each one's thread has ended here
    {
        std::lock_guard<std::mutex> lock(hookMutex_);
        hooks_.clear();
        updateGrabLocked();
        hookQuit_ = true;
    }
    wakeHookThread();
    if (hookThread_.joinable())
        hookThread_.join();
    if (hookDisplay_)
        closeConnection(hookDisplay_);
    for (int fd : wakePipe_) {
        if (fd >= 0)
            ::close(fd);
    }

    {
        std::lock_guard<std::mutex> lock(grabMutex_);
        grabber_.reset();
    }
    {
        std::lock_guard<std::mutex> lock(queryMutex_);
        for (Display *dpy : queryConnections_)
            closeConnection(dpy);
        queryConnections_.clear();
        freeQueries_.clear();
    }

    std::vector<int> ids;
    {
        std::lock_guard<std::mutex> lock(hotKeyMutex_);
        for (const auto &[id, hk] : hotKeys_)
            ids.push_back(id);
    }
    for (int id : ids)
        unregisterHotKey(id);

    {
        std::lock_guard<std::mutex> lock(inputMutex_);
        restoreQuit_ = true;
    }
    restoreWake_.notify_all();
    if (restoreThread_.joinable())
        restoreThread_.join();
    std::unique_lock<std::mutex> lock(inputMutex_);
    flushLocked(lock); // what the engine has sent is typed
    // A row changed back too soon could be read with the wrong keysym by a
    // client that has not caught up with the last characters.
    if (const auto latest = lastBindingUseLocked()) {
        const auto due = *latest + settle_;
        typingWake_.wait_until(lock, due, [&] { return Clock::now() >= due; });
    }
    restoreBindingsLocked();
    releaseEverythingLocked();
    closeConnection(input_);
    input_ = nullptr;
}

void X11Desktop::readModifierMapLocked()
{
    X11Keymap keymap;
    keymap.load(input_);
    altMask_ = keymap.modifierMaskHolding(input_, {XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R});
    superMask_ = keymap.modifierMaskHolding(input_, {XK_Super_L, XK_Super_R});
    numLockMask_ = keymap.modifierMaskHolding(input_, {XK_Num_Lock});
    if (!altMask_)
        altMask_ = Mod1Mask;
    if (!superMask_)
        superMask_ = Mod4Mask;
    if (!numLockMask_)
        numLockMask_ = Mod2Mask;
    level3Keycode_ = firstKeycodeOf(keymap, {XK_ISO_Level3_Shift, XK_Mode_switch});
    shiftKeycode_ = firstKeycodeOf(keymap, {XK_Shift_L, XK_Shift_R});
}

std::mutex &X11Desktop::connectionMutex()
{
    static std::mutex m;
    return m;
}

Display *X11Desktop::openConnection(const std::string &name)
{
    std::lock_guard<std::mutex> lock(connectionMutex());
    Display *dpy = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (dpy)
        g_openConnections.fetch_add(1);
    return dpy;
}

void X11Desktop::closeConnection(Display *dpy)
{
    std::lock_guard<std::mutex> lock(connectionMutex());
    XCloseDisplay(dpy);
    g_openConnections.fetch_sub(1);
}

int X11Desktop::openConnectionCount()
{
    return g_openConnections.load();
}

void X11Desktop::watchDisplayLoss()
{
    XSetIOErrorHandler(lostConnectionHandler);
}

bool X11Desktop::displayGone()
{
    // A new connection, not one of ours: those may be held by a thread that
    // is stuck on the dead server, and asking on them would end in the
    // handler above. No grab can be in progress when the server is gone, so
    // the connection lock is not needed either.
    Display *probe = XOpenDisplay(displayName_.c_str());
    if (!probe)
        return true;
    XCloseDisplay(probe);
    return false;
}

X11Desktop::QueryLease::QueryLease(X11Desktop &desktop)
    : desktop_(desktop)
{
    std::unique_lock<std::mutex> lock(desktop_.queryMutex_);
    desktop_.queryFree_.wait(lock, [&] {
        return !desktop_.freeQueries_.empty() || desktop_.queryConnections_.size() < kQueryConnections;
    });
    if (!desktop_.freeQueries_.empty()) {
        dpy_ = desktop_.freeQueries_.back();
        desktop_.freeQueries_.pop_back();
        return;
    }
    dpy_ = openConnection(desktop_.displayName_);
    if (dpy_) {
        desktop_.queryConnections_.push_back(dpy_);
        return;
    }
    if (!desktop_.queryConnections_.empty()) {
        // The server takes no more clients: the ones we have are enough.
        desktop_.queryFree_.wait(lock, [&] { return !desktop_.freeQueries_.empty(); });
        dpy_ = desktop_.freeQueries_.back();
        desktop_.freeQueries_.pop_back();
        return;
    }
    desktop_.inputFailures_.fetch_add(1);
    lock.unlock();
    desktop_.logOnce("query", "Cannot open a connection to the X display " + desktop_.displayName_
                                  + " for pointer and key queries (does it refuse new clients?).");
}

X11Desktop::QueryLease::~QueryLease()
{
    if (!dpy_)
        return;
    {
        std::lock_guard<std::mutex> lock(desktop_.queryMutex_);
        desktop_.freeQueries_.push_back(dpy_);
    }
    desktop_.queryFree_.notify_one();
}

void X11Desktop::pressKeycode(int keycode, bool down)
{
    XTestFakeKeyEvent(input_, unsigned(keycode), down ? True : False, CurrentTime);
    auto it = std::find(heldKeys_.begin(), heldKeys_.end(), keycode);
    if (down && it == heldKeys_.end())
        heldKeys_.push_back(keycode);
    else if (!down && it != heldKeys_.end())
        heldKeys_.erase(it);
}

void X11Desktop::releaseEverythingLocked()
{
    // Reverse order of pressing, as a person lets go.
    while (!heldKeys_.empty())
        pressKeycode(heldKeys_.back(), false);
    vkKeycodes_.clear();
    while (!heldButtons_.empty()) {
        XTestFakeButtonEvent(input_, unsigned(heldButtons_.back()), False, CurrentTime);
        heldButtons_.pop_back();
    }
    XSync(input_, False);
}

void X11Desktop::mouseButton(MouseButton button, bool down)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    const int xButton = button == MouseButton::Left ? Button1 : Button3;
    XTestFakeButtonEvent(input_, unsigned(xButton), down ? True : False, CurrentTime);
    auto it = std::find(heldButtons_.begin(), heldButtons_.end(), xButton);
    if (down && it == heldButtons_.end())
        heldButtons_.push_back(xButton);
    else if (!down && it != heldButtons_.end())
        heldButtons_.erase(it);
    // Synchronous, so that a key-state query on another connection sees it.
    XSync(input_, False);
}

void X11Desktop::setCursorPos(int x, int y)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    // The root window starts at (0, 0): there is no screen left of or above it.
    XTestFakeMotionEvent(input_, -1, std::max(0, x), std::max(0, y), CurrentTime);
    XSync(input_, False);
}

Point X11Desktop::cursorPos()
{
    QueryLease lease(*this);
    Display *dpy = lease.display();
    if (!dpy)
        return {};
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &winX, &winY, &mask);
    return Point{rootX, rootY};
}

void X11Desktop::wheel(int notches)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    // X has no wheel axis in the core protocol: a notch is a click of
    // button 4 (up) or 5 (down).
    const unsigned button = notches > 0 ? 4u : 5u;
    for (int i = 0; i < std::abs(notches); ++i) {
        XTestFakeButtonEvent(input_, button, True, CurrentTime);
        XTestFakeButtonEvent(input_, button, False, CurrentTime);
    }
    XSync(input_, False);
}

void X11Desktop::key(int vkCode, bool down)
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    const auto pressed = vkKeycodes_.find(vkCode);
    if (!down) {
        // Exactly the keycode of the press: a layout switch or a spare key
        // bound since then may put the key's symbol on another keycode now.
        // A key we did not press is left alone; someone else may hold it.
        if (pressed == vkKeycodes_.end())
            return;
        const int kc = pressed->second;
        vkKeycodes_.erase(pressed);
        pressKeycode(kc, false);
        XSync(input_, False);
        return;
    }
    if (pressed != vkKeycodes_.end()) {
        // Pressed again before its release: the same key again, as a repeat.
        pressKeycode(pressed->second, true);
        XSync(input_, False);
        return;
    }
    // A fresh copy each time: the user may have switched layouts since.
    X11Keymap keymap;
    keymap.load(input_);
    const int kc = firstKeycodeOf(keymap, x11vk::keysymsForVk(vkCode));
    if (!kc) {
        logOnce("vk" + std::to_string(vkCode),
                "No key on the X keymap for virtual-key code " + std::to_string(vkCode) + "; not pressed.");
        return;
    }
    pressKeycode(kc, true);
    vkKeycodes_[vkCode] = kc;
    XSync(input_, False);
}

bool X11Desktop::hasKey(int vkCode)
{
    if (vkCode == vk::LButton || vkCode == vk::RButton)
        return true;
    QueryLease lease(*this);
    Display *dpy = lease.display();
    if (!dpy)
        return false;
    const auto syms = x11vk::keysymsForVk(vkCode);
    if (syms.empty())
        return false;
    X11Keymap keymap;
    keymap.load(dpy);
    return firstKeycodeOf(keymap, syms) != 0;
}

bool X11Desktop::isKeyDown(int vkCode)
{
    QueryLease lease(*this);
    Display *dpy = lease.display();
    if (!dpy)
        return false;
    if (vkCode == vk::LButton || vkCode == vk::RButton || vkCode == 4) {
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned int mask = 0;
        XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &winX, &winY, &mask);
        const unsigned int bit = vkCode == vk::LButton ? Button1Mask : vkCode == vk::RButton ? Button3Mask : Button2Mask;
        return (mask & bit) != 0;
    }
    const auto syms = x11vk::keysymsForVk(vkCode);
    if (syms.empty())
        return false;
    X11Keymap keymap;
    keymap.load(dpy);
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    for (unsigned long sym : syms) {
        for (int kc : keymap.keycodesOf(sym)) {
            if (kc >= 0 && kc < 256 && (keys[kc / 8] & (1 << (kc % 8))))
                return true;
        }
    }
    return false;
}

std::vector<int> X11Desktop::heldKeycodes()
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    return heldKeys_;
}

std::vector<int> X11Desktop::heldButtons()
{
    std::lock_guard<std::mutex> lock(inputMutex_);
    return heldButtons_;
}

int X11Desktop::startInputObserver(InputObserver observer, int kinds)
{
    auto o = std::make_unique<X11InputObserver>(displayName_, std::move(observer), kinds);
    std::string why;
    if (!o->start(&why)) {
        {
            std::lock_guard<std::mutex> lock(hookMutex_);
            lastError_ = 1;
        }
        logWarning("Cannot observe the input: " + why + ".");
        return 0;
    }
    std::lock_guard<std::mutex> lock(observerMutex_);
    const int handle = nextObserver_++;
    observers_[handle] = std::move(o);
    return handle;
}

bool X11Desktop::stopInputObserver(int handle)
{
    std::unique_ptr<X11InputObserver> o;
    {
        std::lock_guard<std::mutex> lock(observerMutex_);
        auto it = observers_.find(handle);
        if (it == observers_.end() || it->second->threadId() == std::this_thread::get_id())
            return false;
        o = std::move(it->second);
        observers_.erase(it);
    }
    o.reset(); // joins its thread, outside the lock
    return true;
}

std::shared_ptr<Desktop> createX11Desktop(std::string *why)
{
    const char *name = std::getenv("DISPLAY");
    if (!name || !*name) {
        if (why)
            *why = "DISPLAY is not set";
        return nullptr;
    }
    Display *dpy = X11Desktop::openConnection(std::string());
    if (!dpy) {
        if (why)
            *why = std::string("cannot open the X display ") + name;
        return nullptr;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &event, &error, &major, &minor)) {
        X11Desktop::closeConnection(dpy);
        if (why)
            *why = std::string("the X display ") + name + " has no XTEST extension";
        return nullptr;
    }
    return std::make_shared<X11Desktop>(dpy);
}

} // namespace platform
