#pragma once

// Records what the person does at the desktop until the stop combination:
// an input observer (platform seam) feeds the events to this object on the
// backend's thread, which keeps them, watches for the stop combination and
// then tells the GUI thread. It can watch before it keeps (the start delay,
// during which the stop combination cancels). The stop combination's own key
// presses are not kept, and nothing is kept while a run plays. The pages are
// made from the events afterwards (RecordMapping).

#include "input/combinationtracker.h"
#include "record/recordmapping.h"

#include <QObject>

#include <atomic>
#include <mutex>
#include <vector>

class Recorder : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit Recorder(QObject *parent = nullptr);
    /// Stops observing (on every path: the window closed, the program quit).
    ~Recorder() override;

    /// Starts observing and watching for the combination (virtual-key code
    /// and modifier mask), keeping nothing yet. False when a run plays, the
    /// desktop cannot be observed, or it observes already.
    bool watch(int stopVk, int stopMask);
    /// From now on keeps what it observes, until the combination. False when
    /// the combination was pressed first (or it does not observe).
    bool keep();
    /// watch() and keep() at once.
    bool start(int stopVk, int stopMask);
    /// Stops observing; what was recorded is kept. Safe to call again.
    void stop();
    /// Ends the recording for a click on its tray icon, as the stop
    /// combination would: that click and the way to it are not kept. False
    /// when it had ended already.
    bool stopForIconClick();
    bool isObserving() const { return observer_ != 0; }
    /// Observing and keeping.
    bool isRecording() const { return observer_ != 0 && keeping_.load(); }
    /// keep() was called (whether or not it still observes).
    bool hasKept() const { return keeping_.load(); }
    /// True once the stop combination was pressed.
    bool stopPressed() const { return stopped_.load(); }
    /// True when the stop combination came before keep().
    bool stoppedBeforeKeeping() const { return stopped_.load() && !keeping_.load(); }

    /// The recording so far (stop first for the final one).
    std::vector<platform::InputEvent> events() const;
    /// When the recording ended: the stop combination, or stop().
    Clock::time_point endTime() const;
    /// Seconds from start to end.
    double seconds() const;
    /// Seconds from start to the stop combination, or to now while it still
    /// records (safe from any thread, with no need to stop first).
    double secondsSoFar() const;
    /// The pages of the recording.
    RecordMapping::Pages pages(const RecordMapping::Options &options) const;

signals:
    /// The stop combination was pressed (emitted on the observer's thread;
    /// connect with a queued or automatic connection).
    void stopCombinationPressed();

private:
    void observe(const platform::InputEvent &event);
    /// Drops the presses of the stop combination's modifiers that came after
    /// the last other input (lock held).
    void dropStopModifiersLocked();

    int stopMask_ = 0;
    int observer_ = 0;
    std::shared_ptr<platform::Desktop> desktop_;
    mutable std::mutex mutex_;
    std::vector<platform::InputEvent> events_;
    CombinationTracker stopKeys_; // the modifiers held, as observed
    Clock::time_point start_;
    Clock::time_point end_;
    std::atomic<bool> stopped_{false};
    std::atomic<bool> keeping_{false};
};
