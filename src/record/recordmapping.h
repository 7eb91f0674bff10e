#pragma once

// Turns what a person did at the desktop (observed input events) into
// ordinary pages: a plain unit without widgets, threads or a desktop.
//
// Actions, each one page (a click two): a pointer travel (Smooth Move, or
// Mouse Pointer when glides are off), a button press (Mouse Pointer at the
// point, then Click with the side and the held time), a key with Ctrl, Alt
// or Win, or one that types no character (Key with the combination and the
// held time; a modifier pressed and let go on its own is its own key),
// characters typed one after another without Ctrl, Alt or Win (one Enter
// Text page with the text and the time it took), notches of the wheel in one
// direction, each closer to the last than kShortestPause (one Wheel page
// turning them all). A page's condition is Time
// with the time from its action's start to the next action's start (for the
// last page: to the end of the recording), since a run counts a condition
// from the start of the page's operation; a shorter pause than
// kShortestPause moves on Immediately. Without pauses, a page whose
// operation takes time waits until it is over, so that a held button does
// not turn into a drag, and the others move on Immediately.

#include "platform/desktop.h"
#include "project/records.h"

#include <vector>

class RecordMapping {
public:
    using Clock = std::chrono::steady_clock;

    /// The recording switches of the record dialog.
    struct Options {
        bool glides = true;     ///< pointer travel as Smooth Move pages
        bool joinText = true;   ///< typed characters into Enter Text pages
        bool keepPauses = true; ///< pauses as Time conditions
    };

    struct Pages {
        RecordList commands;
        RecordList conditions;
        int count() const { return int(commands.size()); }
    };

    /// Pauses shorter than this are not kept (seconds).
    static constexpr double kShortestPause = 0.05;

    /// The pages for a recording of `events` (oldest first) that ended at
    /// `end`: keys and buttons still down then count as let go at `end`.
    static Pages pagesFor(const std::vector<platform::InputEvent> &events, Clock::time_point end,
                          const Options &options);
};
