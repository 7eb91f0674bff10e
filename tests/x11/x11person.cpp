#include "x11person.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>

namespace {

// Characters of the US layout that need Shift.
const QString kShifted = QStringLiteral("~!@#$%^&*()_+{}|:\"<>?");

} // namespace

X11Person::X11Person() : dpy_(XOpenDisplay(nullptr)) {}

X11Person::~X11Person()
{
    if (dpy_)
        XCloseDisplay(dpy_);
}

void X11Person::key(unsigned long keysym, bool down)
{
    const KeyCode kc = XKeysymToKeycode(dpy_, KeySym(keysym));
    XTestFakeKeyEvent(dpy_, kc, down ? True : False, CurrentTime);
    XSync(dpy_, False);
}

void X11Person::tap(const QList<unsigned long> &keysyms)
{
    for (unsigned long sym : keysyms)
        key(sym, true);
    for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it)
        key(*it, false);
}

void X11Person::type(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool shift = (u >= 'A' && u <= 'Z') || kShifted.contains(c);
        // The key's plain keysym: the letter in lower case, or the keysym
        // XKeysymToKeycode finds for the character itself.
        const unsigned long sym = u >= 'A' && u <= 'Z' ? unsigned(u - 'A' + 'a') : u;
        if (shift)
            tap({XK_Shift_L, sym});
        else
            tap({sym});
    }
}

void X11Person::moveTo(int x, int y)
{
    XTestFakeMotionEvent(dpy_, -1, x, y, CurrentTime);
    XSync(dpy_, False);
}

void X11Person::button(int xbutton, bool down)
{
    XTestFakeButtonEvent(dpy_, unsigned(xbutton), down ? True : False, CurrentTime);
    XSync(dpy_, False);
}

void X11Person::click(int xbutton)
{
    button(xbutton, true);
    button(xbutton, false);
}

void X11Person::turnWheel(int notches)
{
    const unsigned xbutton = notches > 0 ? 4 : 5;
    for (int i = 0; i < std::abs(notches); ++i) {
        XTestFakeButtonEvent(dpy_, xbutton, True, CurrentTime);
        XTestFakeButtonEvent(dpy_, xbutton, False, CurrentTime);
    }
    XSync(dpy_, False);
}

QList<int> X11Person::keysDown() const
{
    char keys[32] = {};
    XQueryKeymap(dpy_, keys);
    QList<int> down;
    for (int kc = 0; kc < 256; ++kc) {
        if (keys[kc / 8] & (1 << (kc % 8)))
            down << kc;
    }
    return down;
}
