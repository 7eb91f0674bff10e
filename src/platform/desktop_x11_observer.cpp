#include "platform/desktop_x11_observer.h"
#include "platform/desktop_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace platform {

namespace {

// X button numbers: 1 left, 3 right; 4 and 5 one wheel notch up and down
// (the server sends them for smooth-scrolling wheels too, marked emulated).
constexpr int kButtonLeft = 1;
constexpr int kButtonRight = 3;
constexpr int kWheelUp = 4;
constexpr int kWheelDown = 5;
// While motion keeps coming the pointer is looked at no more often than
// this; each look is a round trip to the server (at ~740 motion events/s a
// look per batch cost 4-7 % of a core). Presses still look at once.
constexpr std::chrono::milliseconds kLookInterval{10};
// An expected press of our own typing that has not been seen for this long
// never will be (its events came before the observer listened): forgotten,
// so that it cannot hide a person's press of the same key for longer.
constexpr std::chrono::seconds kTypedPressLife{2};

void setBit(unsigned char *mask, int event)
{
    mask[event >> 3] |= static_cast<unsigned char>(1 << (event & 7));
}

} // namespace

X11InputObserver::X11InputObserver(std::string displayName, InputObserver callback, int kinds)
    : displayName_(std::move(displayName))
    , callback_(std::move(callback))
    , kinds_(kinds)
{
}

X11InputObserver::~X11InputObserver()
{
    quit_ = true;
    if (wakePipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &byte, 1);
    }
    if (thread_.joinable())
        thread_.join();
    if (xkb_)
        XkbFreeKeyboard(xkb_, XkbAllComponentsMask, True);
    if (dpy_)
        X11Desktop::closeConnection(dpy_);
    for (int fd : wakePipe_) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool X11InputObserver::start(std::string *why)
{
    dpy_ = X11Desktop::openConnection(displayName_);
    if (!dpy_) {
        *why = "cannot open a connection to the X display " + displayName_;
        return false;
    }
    int event = 0, error = 0;
    if (!XQueryExtension(dpy_, "XInputExtension", &xiOpcode_, &event, &error)) {
        *why = "the X display has no XInputExtension";
        return false;
    }
    // 2.1 and later deliver raw events to every client that selects them,
    // also while another client holds a grab.
    int major = 2, minor = 2;
    if (XIQueryVersion(dpy_, &major, &minor) != Success || (major == 2 && minor < 1)) {
        *why = "the X display's XInputExtension is older than 2.1";
        return false;
    }
    if (kinds_ & observe::Keys) {
        int xkbOpcode = 0, xkbError = 0, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
        if (XkbQueryExtension(dpy_, &xkbOpcode, &xkbEvent_, &xkbError, &xkbMajor, &xkbMinor)) {
            XkbSelectEvents(dpy_, XkbUseCoreKbd, XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
                            XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
            XkbSelectEventDetails(dpy_, XkbUseCoreKbd, XkbStateNotify, XkbAllStateComponentsMask,
                                  XkbModifierStateMask | XkbGroupStateMask);
            XkbStateRec state;
            if (XkbGetState(dpy_, XkbUseCoreKbd, &state) == Success) {
                mods_ = state.mods;
                group_ = state.group;
            }
        } else {
            xkbEvent_ = -1;
        }
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (kinds_ & observe::Keys) {
        setBit(bits, XI_RawKeyPress);
        setBit(bits, XI_RawKeyRelease);
    }
    if (kinds_ & observe::Buttons) {
        setBit(bits, XI_RawButtonPress);
        setBit(bits, XI_RawButtonRelease);
    }
    // Motion is also what tells whether the position last asked for still
    // holds when a button goes down.
    if (kinds_ & (observe::Motion | observe::Buttons))
        setBit(bits, XI_RawMotion);
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices; // every slave once, through its master
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    XISelectEvents(dpy_, DefaultRootWindow(dpy_), &mask, 1);
    syncClock(); // a round trip: from here on the selection is in force
    if (::pipe(wakePipe_) != 0) {
        *why = "cannot make a pipe: " + std::string(std::strerror(errno));
        return false;
    }
    ::fcntl(wakePipe_[0], F_SETFL, O_NONBLOCK);
    ::fcntl(wakePipe_[1], F_SETFL, O_NONBLOCK);
    thread_ = std::thread(&X11InputObserver::run, this);
    return true;
}

void X11InputObserver::syncClock()
{
    // A property change on a window of our own comes back with the server's
    // time of that moment, which lies between the two readings of ours.
    XSetWindowAttributes attributes;
    attributes.event_mask = PropertyChangeMask;
    const Window w = XCreateWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 1, 1, 0, 0, InputOnly, nullptr,
                                   CWEventMask, &attributes);
    const Atom atom = XInternAtom(dpy_, "_TERVALO_CLOCK", False);
    XSync(dpy_, False);
    const auto before = std::chrono::steady_clock::now();
    XChangeProperty(dpy_, w, atom, XA_INTEGER, 32, PropModeAppend, nullptr, 0);
    XEvent ev;
    XWindowEvent(dpy_, w, PropertyChangeMask, &ev);
    const auto after = std::chrono::steady_clock::now();
    serverBase_ = ev.xproperty.time;
    clockBase_ = before + (after - before) / 2;
    XDestroyWindow(dpy_, w);
    XSync(dpy_, False);
}

std::chrono::steady_clock::time_point X11InputObserver::timeOf(unsigned long serverTime) const
{
    // Server time is 32 bits of milliseconds and wraps; the difference does not.
    const auto ms = std::int32_t(std::uint32_t(serverTime) - std::uint32_t(serverBase_));
    return clockBase_ + std::chrono::milliseconds(ms);
}

void X11InputObserver::run()
{
    while (!quit_) {
        // Only this thread uses the connection, so whatever Xlib has queued
        // is seen here before the next wait.
        while (!quit_ && XPending(dpy_)) {
            XEvent ev;
            XNextEvent(dpy_, &ev);
            handle(&ev);
        }
        if (quit_)
            break;
        // Motion waiting to be told of: look now if the last look is old
        // enough, else wake when it is (the final look after motion stops).
        int timeoutMs = -1;
        if (motionPending_) {
            const auto wait = lastLook_ + kLookInterval - std::chrono::steady_clock::now();
            if (wait <= std::chrono::steady_clock::duration::zero()) {
                flushMotion();
                continue; // the round trip may have queued more events
            }
            timeoutMs = int(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
        }
        pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        ::poll(fds, 2, timeoutMs); // nothing to do until the server or stop speaks
    }
}

void X11InputObserver::handle(void *xevent)
{
    auto *ev = static_cast<XEvent *>(xevent);
    if (ev->type == MappingNotify) {
        XRefreshKeyboardMapping(&ev->xmapping);
        keymapStale_ = true;
        return;
    }
    if (xkbEvent_ > 0 && ev->type == xkbEvent_) {
        const auto *any = reinterpret_cast<const XkbAnyEvent *>(ev);
        if (any->xkb_type == XkbStateNotify) {
            const auto *state = reinterpret_cast<const XkbStateNotifyEvent *>(ev);
            mods_ = state->mods;
            group_ = unsigned(state->group);
        } else {
            keymapStale_ = true; // read again when a key needs it
        }
        return;
    }
    if (ev->type != GenericEvent || ev->xcookie.extension != xiOpcode_)
        return;
    if (!XGetEventData(dpy_, &ev->xcookie))
        return;
    const auto *raw = static_cast<const XIRawEvent *>(ev->xcookie.data);
    switch (ev->xcookie.evtype) {
    case XI_RawKeyPress:
        keyEvent(raw->detail, true, raw->time);
        break;
    case XI_RawKeyRelease:
        keyEvent(raw->detail, false, raw->time);
        break;
    case XI_RawButtonPress:
        buttonEvent(raw->detail, true, raw->time);
        break;
    case XI_RawButtonRelease:
        buttonEvent(raw->detail, false, raw->time);
        break;
    case XI_RawMotion:
        motionPending_ = true;
        motionTime_ = raw->time;
        break;
    default:
        break;
    }
    XFreeEventData(dpy_, &ev->xcookie);
}

void X11InputObserver::loadKeymap()
{
    keymapStale_ = false;
    keymap_.load(dpy_);
    numLockMask_ = keymap_.modifierMaskHolding(dpy_, {XK_Num_Lock});
    ignoredMask_ = ControlMask | keymap_.modifierMaskHolding(dpy_, {XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R})
                   | keymap_.modifierMaskHolding(dpy_, {XK_Super_L, XK_Super_R});
    if (xkbEvent_ > 0) {
        if (xkb_)
            XkbFreeKeyboard(xkb_, XkbAllComponentsMask, True);
        xkb_ = XkbGetMap(dpy_, XkbAllClientInfoMask, XkbUseCoreKbd);
    }
}

char32_t X11InputObserver::characterOf(int keycode) const
{
    KeySym sym = NoSymbol;
    if (xkb_) {
        unsigned int consumed = 0;
        const unsigned int state = XkbBuildCoreState(mods_ & ~ignoredMask_, group_);
        if (!XkbTranslateKeyCode(xkb_, KeyCode(keycode), state, &consumed, &sym))
            sym = NoSymbol;
    } else {
        // No XKB: the core rule, Shift or Caps Lock picks the second column.
        sym = keymap_.keysym(keycode, (mods_ & (ShiftMask | LockMask)) ? 1 : 0);
    }
    if (sym == NoSymbol)
        return 0;
    return xkb_keysym_to_utf32(xkb_keysym_t(sym));
}

void X11InputObserver::expectTypedTap(const std::vector<int> &modifiers, int keycode)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(typedMutex_);
    for (int kc : modifiers)
        typed_.push_back(TypedPress{kc, true, now});
    typed_.push_back(TypedPress{keycode, false, now});
}

bool X11InputObserver::takeTypedPress(int keycode, bool *modifier)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(typedMutex_);
    while (!typed_.empty() && now - typed_.front().at > kTypedPressLife)
        typed_.pop_front();
    for (auto it = typed_.begin(); it != typed_.end(); ++it) {
        if (it->keycode == keycode) {
            *modifier = it->modifier;
            typed_.erase(it);
            return true;
        }
    }
    return false;
}

void X11InputObserver::keyEvent(int keycode, bool down, unsigned long serverTime)
{
    if (keycode < 0 || keycode > 255)
        return;
    if (keymapStale_)
        loadKeymap();
    // Motion before the key is told of first, so events stay in time order.
    if (motionPending_)
        flushMotion();
    InputEvent e;
    e.kind = down ? InputEvent::Kind::KeyDown : InputEvent::Kind::KeyUp;
    bool modifier = false;
    if (down && takeTypedPress(keycode, &modifier))
        typedDown_[keycode] = modifier ? 2 : 1;
    if (typedDown_[keycode]) {
        // Our own typing: a character, and nothing of the keys held for it.
        const bool held = typedDown_[keycode] == 2;
        if (!down)
            typedDown_[keycode] = 0;
        if (held)
            return;
        e.vk = vk::Packet;
        e.character = down ? characterOf(keycode) : 0;
        deliver(e, serverTime);
        return;
    }
    if (down) {
        e.vk = keymap_.vkOf(keycode, numLockMask_ && (mods_ & numLockMask_));
        e.character = characterOf(keycode);
        if (!e.vk && e.character)
            e.vk = vk::Packet;
        if (!e.vk)
            return; // types nothing and has no code: nothing a hook would report
        e.repeat = downVk_[keycode] != 0;
        downVk_[keycode] = e.vk;
    } else {
        // The code it went down with, even if the keymap changed meanwhile.
        e.vk = downVk_[keycode] ? downVk_[keycode] : keymap_.vkOf(keycode, numLockMask_ && (mods_ & numLockMask_));
        downVk_[keycode] = 0;
        if (!e.vk)
            return;
    }
    deliver(e, serverTime);
}

void X11InputObserver::buttonEvent(int xbutton, bool down, unsigned long serverTime)
{
    InputEvent e;
    if (xbutton == kButtonLeft || xbutton == kButtonRight) {
        e.kind = down ? InputEvent::Kind::ButtonDown : InputEvent::Kind::ButtonUp;
        e.button = xbutton == kButtonLeft ? MouseButton::Left : MouseButton::Right;
    } else if ((xbutton == kWheelUp || xbutton == kWheelDown) && down) {
        e.kind = InputEvent::Kind::Wheel;
        e.wheel = xbutton == kWheelUp ? 1 : -1;
    } else {
        return; // middle, horizontal wheel, extra buttons; a wheel's release
    }
    // Asked for at every button, never taken from the last look: a pointer
    // can move without a single motion event (warped by another program, a
    // remote desktop, a tablet or touch screen in absolute mode).
    Point at = pointer();
    // The look sees the pointer as it is now, which may be after a move that
    // followed the button (the person clicked and went on before this thread
    // got here). The look's reply comes after every event before it, so such
    // a move is in the queue by now; with no motion between the last look and
    // the button, the last look is where the button happened.
    if (!motionPending_ && pointerKnown_ && motionQueued())
        at = lastPointer_;
    if (motionPending_) {
        motionPending_ = false;
        if ((kinds_ & observe::Motion) && (!pointerKnown_ || !(at == lastPointer_))) {
            InputEvent m;
            m.kind = InputEvent::Kind::Motion;
            m.pos = at;
            deliver(m, motionTime_);
        }
    }
    lastPointer_ = at;
    pointerKnown_ = true;
    e.pos = at;
    deliver(e, serverTime);
}

void X11InputObserver::flushMotion()
{
    motionPending_ = false;
    const Point at = pointer();
    const bool changed = !pointerKnown_ || !(at == lastPointer_);
    lastPointer_ = at;
    pointerKnown_ = true;
    if (!changed || !(kinds_ & observe::Motion))
        return;
    InputEvent e;
    e.kind = InputEvent::Kind::Motion;
    e.pos = at;
    deliver(e, motionTime_);
}

bool X11InputObserver::motionQueued()
{
    struct Scan {
        int opcode;
        bool found;
    } scan{xiOpcode_, false};
    XEvent unused;
    // Looks through what is queued and takes nothing (the predicate never
    // says yes); only the event's header is read, its data stays unfetched.
    XCheckIfEvent(
        dpy_, &unused,
        [](Display *, XEvent *ev, XPointer arg) -> Bool {
            auto *s = reinterpret_cast<Scan *>(arg);
            if (ev->type == GenericEvent && ev->xcookie.extension == s->opcode && ev->xcookie.evtype == XI_RawMotion)
                s->found = true;
            return False;
        },
        reinterpret_cast<XPointer>(&scan));
    return scan.found;
}

Point X11InputObserver::pointer()
{
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    XQueryPointer(dpy_, DefaultRootWindow(dpy_), &root, &child, &rootX, &rootY, &winX, &winY, &mask);
    lastLook_ = std::chrono::steady_clock::now();
    return Point{rootX, rootY};
}

void X11InputObserver::deliver(InputEvent &event, unsigned long serverTime)
{
    event.time = timeOf(serverTime);
    if (callback_)
        callback_(event);
}

} // namespace platform
