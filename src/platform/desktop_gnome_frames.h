#pragma once

// The pixels of a GNOME Wayland screen: Mutter shows them to a remote
// desktop session only as a ScreenCast stream, a PipeWire video node. This
// reads that node on a PipeWire thread of its own and keeps its newest frame.
// Mutter sends a frame when the screen changed (at most one per monitor
// refresh), so the newest frame is the screen as it is now.

#include "platform/desktop.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class ScreenFrames {
public:
    ScreenFrames();
    ~ScreenFrames();
    ScreenFrames(const ScreenFrames &) = delete;
    ScreenFrames &operator=(const ScreenFrames &) = delete;

    /// Reads the node from now on (in place of any earlier one); false with
    /// the reason in `why` when PipeWire cannot be reached. `remoteFd` is a
    /// PipeWire connection that a portal opened for the session (taken over
    /// and closed here), or -1 for the session's PipeWire daemon.
    bool start(std::uint32_t node, std::string *why, int remoteFd = -1);
    /// Forgets the node and its frames (the session that sent it ended).
    void stop();

    /// The frame's size at (0, 0); empty while no frame came within `wait`.
    Rect area(std::chrono::milliseconds wait);
    /// Copies the part of `area` that the newest frame holds into `into`
    /// (0x00RRGGBB), waiting up to `wait` for a first frame. False when no
    /// frame came or the area is outside it.
    bool copy(const Rect &area, ScreenImage &into, std::chrono::milliseconds wait);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
