#pragma once

// How the program ends when it is asked to from outside (Ctrl+C, kill,
// systemd's stop, the terminal or the session going away, a Windows
// console's close) and when its display goes away, in every mode: the
// window program, --play and --record.
//
// A request to end stops every run at once through the run's own stop (so
// every key and button is let go and the keymap restored), then tells the
// front end on the GUI thread, which ends the way it ends a stop and exits
// with 128 + the signal number. A lost display ends the process with the
// front end's own last words (a recording written) and exit code 2.

#include <functional>

namespace programend {

/// Starts catching requests to end. Each one stops every run (and makes
/// any run started later stop at once), then calls `onRequest` on the GUI
/// thread with the signal number. Call once, with the application object
/// in place.
void catchRequests(std::function<void(int signal)> onRequest);
/// The signal of the first request caught, 0 when none came.
int caughtSignal();
/// The exit code after a request to end: 128 + the signal number.
int exitCodeFor(int signal);
/// Tells the platform that the request has been dealt with (a closing
/// Windows console waits for it).
void requestHandled();

/// Ends the process through `onLost` when the display goes away: when one
/// of the desktop's own connections breaks, and when the toolkit exits the
/// process because its connection broke. `onLost` says so, keeps what must
/// be kept and returns the exit code; it runs on whichever thread found out
/// and must not wait for another. Call with the application object and the
/// desktop in place.
void watchDisplay(std::function<int()> onLost);
/// Called just before main returns: an exit from then on is the
/// program's own.
void leavingMain();

} // namespace programend
