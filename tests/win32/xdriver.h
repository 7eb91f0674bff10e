#pragma once

// The X server side of the Wine tests: finds Wine's top-level windows by
// title and moves, clicks and types through XTest (xdotool), as a person at
// the display would. Without a window manager Wine draws no frames, so a
// window's X geometry is its client area.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

class XDriver
{
public:
    struct Window {
        QString id;
        QRect geometry; ///< screen pixels of the client area
    };

    explicit XDriver(QString xdotool);

    /// The first visible window whose title matches the regular expression.
    std::optional<Window> find(const QString &titlePattern) const;
    /// Waits up to `ms` for such a window; nothing when none came.
    std::optional<Window> waitFor(const QString &titlePattern, int ms) const;
    /// Waits up to `ms` until no visible window matches; false if one stays.
    bool waitGone(const QString &titlePattern, int ms) const;

    void moveTo(QPoint screen) const;
    /// Moves there and clicks the left button.
    void clickAt(QPoint screen) const;
    /// Clicks a point of a window's client area.
    void clickIn(const Window &window, QPoint client) const;
    /// One notch of the mouse wheel towards the user, where the pointer is.
    void wheelDown() const;
    /// Presses and releases a combination such as "ctrl+alt+s". X sends
    /// keys to the window under the pointer (no window manager sets a
    /// focus), so callers first move the pointer onto the window meant.
    void key(const QString &combination) const;
    /// Presses a combination and keeps it down until keyUp, as a person
    /// holds keys: programs that poll the key state see only held keys.
    void keyDown(const QString &combination) const;
    void keyUp(const QString &combination) const;
    /// Types text with a short pause between characters.
    void type(const QString &text) const;
    QPoint pointer() const;
    /// Every visible window: title and geometry, for failure messages.
    QString describeWindows() const;
    /// The pixels of part of a window's client area, as the X server has
    /// them (needs a QGuiApplication on the xcb platform).
    QImage grab(const Window &window, QRect client) const;
    /// Waits up to `ms` until that part looks different from `before`:
    /// the sign that the program has handled what came before.
    bool waitForChange(const Window &window, QRect client, const QImage &before, int ms) const;
    /// Waits up to `ms` until that part looks exactly like `look` again.
    bool waitForLook(const Window &window, QRect client, const QImage &look, int ms) const;

private:
    QString run(const QStringList &arguments) const;

    QString xdotool;
};
