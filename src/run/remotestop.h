#pragma once

// Stopping a run from outside the program: `tervalo_free --stop`, a desktop
// shortcut that runs it, a script. While a run plays, its program listens on
// a local socket of that run's own in the user's runtime folder (a folder
// only the user can open; the socket itself is the user's alone too), and
// --stop asks every socket it finds there. A socket whose program is gone is
// removed by the next --stop.

#include <QString>

class QObject;
class Run;

namespace remotestop {

/// Listens for stop requests from now until `run` finishes; a request then
/// stops it as the stop key would. Call in `owner`'s thread, which must run
/// an event loop; the listener is a child of `owner`. Without a usable
/// runtime folder the run plays as before, with a warning in the log.
void listen(Run *run, QObject *owner);

/// Asks every run of this user that is playing to stop, and waits up to
/// `timeoutMs` for each to answer. Returns how many were stopped, or -1
/// when the runtime folder cannot be used.
int stopAll(int timeoutMs = 2000);

/// The folder that holds the sockets.
QString folder();

} // namespace remotestop
