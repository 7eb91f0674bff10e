#pragma once

// One run of a project: waits out the start delay, plays the pages pass after
// pass on a runner thread of its own, and ends when the passes are done or a
// stop is requested (stop command, click on the tray icon, destruction).
//
// The runner, the operation workers and the stop watcher are plain threads
// without event loops. They share nothing but the three atomic flags below
// (plus one "done" flag per worker); the only mutex is the one that lets the
// stop watcher sleep until it is woken. They reach other threads only
// through the queued signals requestBeep and finished.
//
// The stop watcher has two eyes: a key observer of the desktop, which sees
// the stop command the moment its key goes down, and a poll of the key state
// every 50 ms, which sees it even when an event was missed.

#include "input/combinationtracker.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QSystemTrayIcon;

namespace platform {
class Desktop;
struct InputEvent;
} // namespace platform

class Run : public QObject {
    Q_OBJECT
public:
    /// The run-count value that means: repeat until stopped.
    static constexpr int kRepeatForever = 114514;
    /// Most seconds before the first page, and most passes, a person can
    /// ask for (the run settings dialog's spin boxes end there).
    static constexpr int kMaxStartDelay = 9999;
    static constexpr int kMaxRunCount = 9999;

    /// True when a run without a stop command can still be stopped by hand:
    /// by a click on its tray icon, which needs a system tray. Without one,
    /// such a run could only be killed, so it must not start.
    static bool canStopWithoutStopCommand();

    /// Empty when this desktop can type every text of the project;
    /// otherwise why the run must not start, naming the characters it
    /// cannot type (a run would drop them).
    static QString untypableRefusal(const QList<QStringList> &commands, bool japanese);

    /// Empty unless the desktop is about to ask the person to allow this
    /// program's input (GNOME's dialog through the portal); then why it
    /// asks, to say before the dialog comes.
    static QString consentExplanation(bool japanese);

    explicit Run(QObject *parent = nullptr);
    ~Run() override;

    /// Stores copies of the settings and the project, starts the stop watcher
    /// (unless the stop command is "なし") and shows the tray icon. Call in
    /// the GUI thread, before the object is moved to its thread.
    void setup(int startDelay, int runCount, QString stopCommand, QList<QStringList> commands,
               QList<QStringList> conditions, QString projectName);

    /// Body of the runner thread.
    void runLoop();

    /// True once the run has to end as soon as possible.
    bool isStopRequested() const { return stopRequested.load(); }
    /// The flag behind isStopRequested, for calls that wait below the run
    /// (the desktop's typing) and must give up at a stop.
    const std::atomic<bool> &stopFlag() const { return stopRequested; }
    /// Asks the run to end; safe from any thread. A wait in progress
    /// (interruptibleWait) wakes at once.
    void requestStop();
    /// Asks every run of the process to end, and every run made later to
    /// end at once (the program is asked to end). Safe from any thread.
    static void requestStopAll();
    /// True between start() and the end of the run loop.
    bool isRunning() const { return running.load(); }
    /// Passes played to their end so far (a stopped pass does not count).
    int passesPlayed() const { return passes.load(); }

    /// Sleeps for `seconds` on the steady clock until the deadline; wakes
    /// at once and returns false when a stop is requested (true when the whole
    /// time passed). Nothing for 0 or less. Every wait of a run uses it.
    bool interruptibleWait(double seconds) const;
    /// Longer times than this come only from hand-edited files; capping
    /// them keeps the clock arithmetic finite (about 31 years is "until
    /// stopped" in practice).
    static constexpr double kLongestSeconds = 1e9;

    // Stop-command watcher.
    /// The key and modifier mask the watcher looks for; key 0 means none.
    struct StopKey {
        int key = 0;
        int modifiers = 0;
    };
    static StopKey stopKeyOf(const QString &stopCommand);
    void parseStopCommand();
    void startStopChecker();
    void stopStopChecker();
    int stopKeyCode() const { return stopKey; }
    int stopModifierMask() const { return stopModifiers; }
    bool hasStopChecker() const { return checkerThread != nullptr; }
    /// True while the watcher also observes key events (not when the desktop
    /// cannot be observed, nor with TERVALO_STOP_BY_POLL_ONLY=1).
    bool hasStopObserver() const { return stopObserver.load() != 0; }
    /// True when TERVALO_STOP_BY_POLL_ONLY is 1: the watcher only polls.
    /// Read each time a watcher starts, so that a benchmark can compare both
    /// ways in one process.
    static bool stopByPollOnly();
    /// Key operations note the modifiers (mask Alt 1, Ctrl 2, Shift 4, Win 8)
    /// they hold while they hold them. The watcher does not count those
    /// against the stop command: a page holding Shift must not keep the
    /// person's Ctrl+Alt+S from stopping the run. Safe from any thread.
    void holdOwnModifiers(int mask, bool held);
    /// The modifiers that some Key operation of this run holds now.
    int ownModifierMask() const;

    /// Most operations that play at the same time. Pages that move on at
    /// once can start an operation every few microseconds; the one after the
    /// last place waits until one ends (or the stop).
    static constexpr size_t kMaxWorkers = 32;

    /// Runs `body` on a worker thread of its own (runner thread only); waits
    /// first while kMaxWorkers play. False when nothing runs: stopped while
    /// waiting, or no thread could be started (the run then fails, see
    /// failInput).
    bool startWorker(std::function<void()> body);
    /// Ends the run as a failure: what was built could not be played into
    /// the desktop (no thread for an operation, say). Safe from any thread.
    void failInput();
    /// True when the run ended, or is ending, because of failInput.
    bool inputFailed() const { return inputFailure.load(); }
    /// Ends the run because page `page` (1-based) did not find its picture
    /// on the screen in time: a click elsewhere would be a blind one. Safe
    /// from any thread; the first page to call it is the one reported.
    void failPictureNotFound(int page);
    /// The page whose picture was not found, or 0.
    int pictureNotFoundPage() const { return pictureMissing.load(); }
    /// The page the runner plays now, 1-based (runner thread).
    int currentPage() const { return pageNumber; }
    /// Waits for every worker started so far, in the order they were
    /// started (runner thread only, or once the runner has ended).
    void joinWorkers();

    /// The icon shown while the run plays (null before setup and once the run
    /// has handed it back for deletion at its end).
    QSystemTrayIcon *systemTrayIcon() const { return trayIcon; }

    /// The most worker threads this run has held at once (started and not
    /// yet reclaimed). Read it once the run has finished.
    int peakWorkerCount() const { return peakWorkers; }

    /// Run objects alive in the process. A run played through runthread is
    /// deleted when its thread ends, just after the window is back, so this
    /// drops back to 0 then; a leak shows here.
    static int instanceCount() { return instances.load(); }

signals:
    void finished();
    void requestBeep();

public slots:
    void start();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void playPage(int index);
    /// Fails the run when the desktop counted an input failure since the
    /// run began (runner thread).
    void checkInputArrived();
    void reclaimEndedWorkers();
    void stopCheckerBody();
    void startStopObserver();
    void observeStopKeys(const platform::InputEvent &event);
    /// Ends the watching and wakes the polling thread. True for the caller
    /// that ended it (each stop is reported once).
    bool endStopWatch();
    /// The stop command was seen: asks the run to end (once).
    void stopCommandSeen();
    /// The desktop took input away (the person ended its input session):
    /// the person's stop, like the stop command.
    void inputTakenAway();
    void removeTrayIcon();

    int startDelay = 0;
    int runCount = 0;
    QString stopCommand;
    QList<QStringList> commands;
    QList<QStringList> conditions;
    QString projectName;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> inputFailure{false};
    std::atomic<int> pictureMissing{0};
    int pageNumber = 0; // runner thread only
    std::shared_ptr<platform::Desktop> desktop; // the runner's, for checkInputArrived
    unsigned long failuresAtStart = 0;
    int inputSession = 0; // the desktop's beginInput handle, runner thread only
    mutable std::mutex waitMutex; // only for stopWake
    mutable std::condition_variable stopWake;
    int stopKey = 0;
    int stopModifiers = 0;
    std::unique_ptr<std::thread> checkerThread;
    std::atomic<bool> checkerRunning{false};
    std::mutex checkerMutex; // only for checkerWake
    std::condition_variable checkerWake;
    std::shared_ptr<platform::Desktop> stopObserverDesktop;
    std::atomic<int> stopObserver{0};
    /// The desktop's shortcut that runs --stop, where keys cannot be observed.
    std::atomic<int> stopShortcut{0};
    CombinationTracker stopKeysHeld; // the observer's thread only, once started
    std::atomic<int> ownModifierHolds[4] = {}; // Alt, Ctrl, Shift, Win: operations holding each
    // Not a child of the run: it must stay in the GUI thread when the run
    // moves to its own thread, since a tray icon drives platform windows.
    QSystemTrayIcon *trayIcon = nullptr;
    std::unique_ptr<std::thread> runnerThread;
    std::vector<Worker> workers;
    std::atomic<bool> running{false};
    std::atomic<int> passes{0};
    int peakWorkers = 0; // runner thread only

    static std::atomic<int> instances;
};
