#pragma once

// The operations a page can perform. Each of clickButton, smoothMove,
// pressKey and typeText is the whole body of a worker thread; the pointer
// jump runs on the runner thread. All input goes through the platform seam.
// Every operation returns promptly once the run's stop is requested, and one
// that has pressed a button or keys always lets them go before it returns.

#include "platform/desktop.h"

#include <QString>
#include <QStringList>

#include <future>
#include <cstdint>

class Run;

namespace operations {

/// Starts a page's operation: on a worker thread for the kinds that take
/// time, at once on the runner thread for the pointer jump. "なし" and kinds
/// that are not in the table do nothing.
void start(Run &run, const QStringList &command);

/// A Key operation's parameter text "code,mask,seconds" read back.
struct KeyPress {
    bool valid = false;        ///< false: nothing is pressed
    int vk = 0;
    int mods = 0;              ///< Alt 1, Ctrl 2, Shift 4, Win 8
    std::uint32_t holdMs = 0;  ///< 1000 x seconds, truncated
};

/// The parameter text a Key page hands its worker: the key and the mask of
/// the code, and the hold time read as a float and written with 6 significant
/// digits ("71,3" and "0.5" give "71,3,0.5"). A code that names no usable key
/// gives key 0, which presses nothing.
QString keyParameterText(const QString &code, const QString &holdText);
/// Reads a parameter text; an empty, "なし", non-numeric or 0 key is invalid,
/// a missing or bad hold time is 0.
KeyPress parseKeyParameter(const QString &parameter);

/// Presses a mouse button where the pointer is, holds it for `seconds`
/// (interruptible) and always releases it.
void clickButton(Run &run, platform::MouseButton button, double seconds);
/// Waits up to `seconds` for the picture to be on the screen, then puts the
/// pointer on its centre and clicks there; ends the run with `page` as the
/// one whose picture was not found when it does not come in time.
void clickImage(Run &run, const QString &pictureText, int tolerance, platform::MouseButton button, double seconds,
                int page);
/// Puts the pointer at (x, y) at once.
void mousePointer(int x, int y);
/// Glides the pointer in a straight line to (x, y) over `seconds`, timed by
/// the clock; ends exactly on the target, or where it is when stopped.
/// A duration of 0 or less jumps.
void smoothMove(Run &run, int x, int y, double seconds);
/// Presses Ctrl, Alt, Shift, Win (as the mask says) and the key, holds them in
/// 10 ms steps and releases them in reverse order. `pressed`, when given, is
/// fulfilled once the keys are down, or when nothing will be pressed.
void pressKey(Run &run, const QString &parameter, std::promise<void> *pressed = nullptr);
/// Types every UTF-16 code unit as a character event (down, then up), spread
/// evenly over `seconds` on a schedule fixed from the start.
void typeText(Run &run, const QString &text, double seconds);

} // namespace operations
