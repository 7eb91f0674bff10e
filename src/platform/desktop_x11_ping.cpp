#include "platform/desktop_x11_ping.h"
#include "platform/desktop_x11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

#include <chrono>

namespace platform {

namespace {

bool answersPings(Display *dpy, Window w, Atom ping)
{
    Atom *atoms = nullptr;
    int count = 0;
    if (!XGetWMProtocols(dpy, w, &atoms, &count))
        return false;
    bool found = false;
    for (int k = 0; k < count && !found; ++k)
        found = atoms[k] == ping;
    XFree(atoms);
    return found;
}

} // namespace

X11ClientPing::X11ClientPing(const char *displayName)
{
    listen_ = X11Desktop::openConnection(displayName ? displayName : "");
    if (!listen_)
        return;
    protocols_ = XInternAtom(listen_, "WM_PROTOCOLS", False);
    ping_ = XInternAtom(listen_, "_NET_WM_PING", False);
    // Answers go to the root window, sent to its structure listeners (Qt)
    // or its substructure listeners (GTK, as the convention says).
    XSelectInput(listen_, DefaultRootWindow(listen_), StructureNotifyMask | SubstructureNotifyMask);
    XSync(listen_, False);
}

X11ClientPing::~X11ClientPing()
{
    if (listen_)
        X11Desktop::closeConnection(listen_);
}

unsigned long X11ClientPing::answeringReceiver(Display *input) const
{
    if (!listen_)
        return 0;
    const Window root = DefaultRootWindow(input);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(input, &focus, &revert);
    if (focus == None)
        return 0;
    if (focus == PointerRoot || focus == root) {
        // Keys go to the window under the pointer.
        Window r = 0, child = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(input, root, &r, &child, &rx, &ry, &wx, &wy, &mask) || !child)
            return 0;
        focus = child;
    }
    // The focus may be a child of the client's top-level window; a
    // reparenting window manager's frame holds the client one level down.
    for (Window w = focus; w && w != root;) {
        if (answersPings(input, w, ping_))
            return w;
        Window r = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(input, w, &r, &parent, &children, &count))
            return 0;
        if (parent == root) {
            for (unsigned int k = 0; k < count; ++k) {
                if (answersPings(input, children[k], ping_)) {
                    const Window client = children[k];
                    XFree(children);
                    return client;
                }
            }
        }
        if (children)
            XFree(children);
        w = parent;
    }
    return 0;
}

unsigned long X11ClientPing::send(Display *input, unsigned long window)
{
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window;
    ev.xclient.message_type = protocols_;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = long(ping_);
    // The timestamp field carries our number back; clients echo it.
    ev.xclient.data.l[1] = long(++sent_);
    ev.xclient.data.l[2] = long(window);
    XSendEvent(input, window, False, NoEventMask, &ev);
    XFlush(input);
    return sent_;
}

bool X11ClientPing::waitForAnswer(unsigned long number, int milliseconds)
{
    if (!listen_)
        return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (true) {
        while (XPending(listen_)) {
            XEvent ev;
            XNextEvent(listen_, &ev);
            if (ev.type == ClientMessage && ev.xclient.message_type == protocols_ && ev.xclient.format == 32 &&
                Atom(ev.xclient.data.l[0]) == ping_) {
                const unsigned long got = (unsigned long)ev.xclient.data.l[1];
                // Our numbers only; another program's pings have its own.
                if (got <= sent_ && got > answered_)
                    answered_ = got;
            }
        }
        if (answered_ >= number)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd fd{ConnectionNumber(listen_), POLLIN, 0};
        ::poll(&fd, 1, int(left));
    }
}

} // namespace platform
