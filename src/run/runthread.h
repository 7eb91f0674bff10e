#pragma once

// Puts a set-up run on a QThread of its own and wires its end, for every
// front end that plays runs (the main window, and any other caller).
//
// The run's `finished` quits the thread and calls `onFinished` in the
// owner's thread; the run is deleted by the thread's own `finished`, in the
// thread, after its event loop has ended, and the thread is deleted after
// that in the owner's thread. The run's deletion is thus never a queued call
// that a quitting event loop could leave undelivered.

#include <QObject>

#include <functional>

class QThread;
class Run;

namespace runthread {

/// Moves `run` (set up, without a parent) to a new thread whose parent is
/// `owner`, connects `started` to Run::start, and starts the thread with the
/// inherited priority; until the run ends, `tervalo_free --stop` stops it
/// (remotestop.h). `onFinished` runs once in `owner`'s thread when the
/// run has finished. Nothing has to be kept: the run and the thread delete
/// themselves. Returns the thread (for tests; it is gone soon after the end).
QThread *start(Run *run, QObject *owner, std::function<void()> onFinished);

} // namespace runthread
