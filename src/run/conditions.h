#pragma once

// The waits that decide when a run moves on to the next page. They run on the
// runner thread, read the key state through the platform seam without taking
// any input away from the desktop, and end as soon as a stop is requested.

#include "platform/desktop.h"

#include <QString>
#include <QStringList>

class Run;

namespace conditions {

/// Waits for a page's condition on the runner thread. "即時" and kinds that
/// are not in the table go on at once.
void waitFor(Run &run, const QStringList &condition);

/// Ctrl, Alt, Shift and Win as down right now (either side, or the generic code).
struct ModifierState {
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    bool win = false;
};
ModifierState readModifierState(platform::Desktop &desktop);

/// True when `vk` is down and each modifier is down exactly when `mods`
/// (Alt 1, Ctrl 2, Shift 4, Win 8) wants it. When `vk` is itself a modifier
/// key, its own modifier is not compared. Shared with the stop watcher, which
/// passes as `excused` the modifiers the run holds itself: those may be down
/// without being wanted.
bool combinationDown(platform::Desktop &desktop, int vk, int mods, int excused = 0);

/// Sleeps `ms` milliseconds and returns false as soon as a stop is
/// requested (true when the whole time passed): Run::interruptibleWait.
bool sleepUnlessStopped(const Run &run, int ms);

/// Waits until the combination of `code` has been pressed and its key let go.
/// A key already down when the wait begins must first be released. Empty,
/// "なし", non-numeric or 0 codes do not wait.
void waitForKeyCombination(Run &run, const QString &code);
/// Waits until the left (or right) mouse button is down; a button already
/// held satisfies it at once.
void waitForClick(Run &run, bool rightButton);
/// Waits until the local clock shows hour:minute (seconds ignored).
void waitForClockTime(Run &run, int hour, int minute);

} // namespace conditions
