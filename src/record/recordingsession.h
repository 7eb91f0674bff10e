#pragma once

// One recording from start to end, as the main window and the command line
// both run it: wait out the start delay, beep, record until the exit
// command, beep, and hand over the pages. The exit command is watched from
// the start: pressed during the delay it cancels (no pages, the end beep
// only), for a person who changed their mind. Lives on the GUI thread.

#include "record/recorder.h"
#include "record/recordingoptions.h"

#include <QObject>
#include <QTimer>

class RecordingSession : public QObject {
    Q_OBJECT
public:
    explicit RecordingSession(RecordingOptions values, QObject *parent = nullptr);
    /// Stops the recording if it still runs (window closed, program quit).
    ~RecordingSession() override;

    /// Starts watching and the delay. Returns false, and nothing started,
    /// when the exit command is unusable or the input cannot be observed.
    bool start();
    /// What to tell the person when start() failed because the desktop's
    /// input cannot be observed: on a Wayland session, that no program may
    /// observe other windows there.
    static QString cannotObserveMessage(bool japanese);
    /// A click on the recording's tray icon: ends it as the exit command
    /// does (during the delay: cancels), without that click.
    void stopForIconClick();
    /// Ends it now, keeping what was recorded (the window goes away).
    void finishNow();
    /// The recorder (tests look at it).
    const Recorder &recorder() const { return recorder_; }

signals:
    /// The delay is over and the recording runs (after the start beep).
    void recording();
    /// The exit command came (after the end beep): during the delay
    /// (`cancelled`, no pages) or while recording. Emitted once.
    void finished(bool cancelled, const RecordMapping::Pages &pages, double seconds);

private:
    void begin();
    void end();

    RecordingOptions values_;
    Recorder recorder_;
    QTimer delay_;
    bool done_ = false;
};
