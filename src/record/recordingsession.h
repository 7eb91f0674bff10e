#pragma once

// One recording from start to end, as the main window and the command line
// both run it: wait out the start delay, beep, record until the exit
// command, beep, and hand over the pages. Lives on the GUI thread.

#include "record/recorddialog.h"
#include "record/recorder.h"

#include <QObject>
#include <QTimer>

class RecordingSession : public QObject {
    Q_OBJECT
public:
    explicit RecordingSession(RecordDialog::Values values, QObject *parent = nullptr);
    /// Stops the recording if it still runs (window closed, program quit).
    ~RecordingSession() override;

    /// Starts the delay. Returns false when the exit command is unusable.
    bool start();
    /// The recorder (tests look at it).
    const Recorder &recorder() const { return recorder_; }

signals:
    /// The delay is over and the recording runs (after the start beep).
    void recording();
    /// The recording ended with the exit command (after the end beep), or
    /// could not start (`ok` false, no pages). Emitted once.
    void finished(bool ok, const RecordMapping::Pages &pages, double seconds);

private:
    void begin();
    void end();

    RecordDialog::Values values_;
    Recorder recorder_;
    QTimer delay_;
    bool done_ = false;
};
