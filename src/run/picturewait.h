#pragma once

// Waiting for a picture on the screen, for the Image condition and the Click
// Image operation: the whole virtual screen is read through the desktop and
// searched again and again until the picture is there (or gone), the time is
// up or the run is stopped.

#include "platform/desktop.h"

#include <QString>

class Run;

namespace picturewait {

/// How often a waiting page looks at the screen, in milliseconds: a look
/// costs a few milliseconds of one core, so this keeps a wait near 5 % of a
/// core while the page still moves on within about a tenth of a second.
constexpr int kLookEveryMs = 100;

struct Result {
    enum class Outcome {
        Met,        ///< on the screen (or gone, for a vanish)
        TimedOut,   ///< not within the time
        Stopped,    ///< the run was stopped first
        Unreadable, ///< the desktop does not show its screen
    };
    Outcome outcome = Outcome::Stopped;
    /// Met while waiting for it to appear: the centre of the match first in
    /// reading order (topmost, then leftmost), virtual-screen pixels.
    platform::Point centre;
};

/// What the window and the command line say when page `page` (1-based)
/// did not find its picture and the run ended there.
QString notFoundMessage(int page, bool japanese);

/// Waits until the record's picture (`pictureText`, a base64 PNG) is on the
/// screen within `tolerance` per channel, or, with `vanish`, until it is no
/// longer anywhere on it. `seconds` < 0 waits without limit. A picture that
/// cannot be read is never on the screen.
Result wait(Run &run, const QString &pictureText, int tolerance, bool vanish, double seconds);

} // namespace picturewait
