#pragma once

// What the X server holds down now, asked on a test's own connection: the
// tests check that nothing stays pressed after a run or a stop.

#include <QList>

#include <X11/Xlib.h>

/// Keycodes the server holds down now.
inline QList<int> keycodesDown(Display *dpy)
{
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    QList<int> down;
    for (int kc = 0; kc < 256; ++kc) {
        if (keys[kc / 8] & (1 << (kc % 8)))
            down << kc;
    }
    return down;
}
