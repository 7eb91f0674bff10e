#pragma once

// Requests from outside to end the process, and the console of the process.
//
// On Linux these are SIGINT (Ctrl+C in a terminal), SIGTERM (kill, systemd's
// stop and timeout) and SIGHUP (the terminal or the session went away); on
// Windows the console's Ctrl+C, Ctrl+Break, close, logoff and shutdown,
// reported as the signal a Linux program would get for them (SIGINT for
// Ctrl+C, SIGTERM for Ctrl+Break and close, SIGHUP for logoff and shutdown),
// so that both programs end with the same exit code.
//
// A request is never acted on inside a signal handler: the handler only
// writes the number to a pipe, and a thread of ours reads it and calls the
// listener. Qt-free, like the rest of the seam.

#include <functional>

namespace platform {

/// The signal numbers a listener is called with (the Linux values on every
/// platform).
namespace endsignal {
constexpr int Hangup = 1;
constexpr int Interrupt = 2;
constexpr int Terminate = 15;
} // namespace endsignal

/// Called on a thread of the backend's own with the signal number, once per
/// request (a second Ctrl+C calls it again). It must return quickly; it may
/// touch atomics and queue work to another thread.
using EndRequestListener = std::function<void(int signal)>;

/// Starts catching the requests and passes each to `listener` from now on.
/// Call once, from the main thread, before other threads start. False when
/// the requests cannot be caught (they then end the process as before).
bool catchEndRequests(EndRequestListener listener);

/// Tells the backend that the process has finished what the last request
/// asked for. On Windows a console that is being closed, or a session that
/// ends, waits for this (at most a few seconds) before it ends the process.
void endRequestHandled();

/// For a program of the GUI subsystem started from a console with arguments:
/// its standard output and error go to that console unless they are
/// redirected already. Nothing on Linux, where they always do.
void attachParentConsole();

} // namespace platform
