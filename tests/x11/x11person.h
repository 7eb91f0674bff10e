#pragma once

// The person at an X server, played through a connection of its own with
// XTest: the backend under test sees this input as a person's.

#include <QList>
#include <QString>

typedef struct _XDisplay Display;

class X11Person {
public:
    /// Opens $DISPLAY; ok() is false when it cannot.
    X11Person();
    ~X11Person();
    X11Person(const X11Person &) = delete;
    X11Person &operator=(const X11Person &) = delete;

    bool ok() const { return dpy_ != nullptr; }
    Display *display() const { return dpy_; }

    /// Presses or releases the key of a keysym (its first keycode).
    void key(unsigned long keysym, bool down);
    /// Presses the keysyms in order and releases them in reverse order.
    void tap(const QList<unsigned long> &keysyms);
    /// Types ASCII text key by key on the US layout, Shift where needed.
    void type(const QString &text);
    void moveTo(int x, int y);
    /// X button numbers: 1 left, 3 right, 4 and 5 the wheel.
    void button(int xbutton, bool down);
    void click(int xbutton);
    /// Turns the wheel by whole notches (positive up) in one go: every
    /// press and release goes out before the one round trip.
    void turnWheel(int notches);
    /// Keycodes down on the server now, anyone's.
    QList<int> keysDown() const;

private:
    Display *dpy_ = nullptr;
};
