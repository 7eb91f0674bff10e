#include "run/run.h"

#include "input/keycombination.h"
#include "platform/desktop.h"
#include "run/conditions.h"

#include <QCoreApplication>
#include <QDebug>
#include <QtGlobal>

#include <chrono>
#include <thread>

namespace {
// The key observer sees the stop command within a millisecond or two; the
// poll is its fallback for an event that never comes (a desktop that cannot
// be observed, a hook the system dropped), and costs at most this long.
constexpr auto kPollInterval = std::chrono::milliseconds(50);
} // namespace

Run::StopKey Run::stopKeyOf(const QString &stopCommand)
{
    StopKey k;
    const KeyCombination::Parsed p = KeyCombination::parse(stopCommand);
    if (p.keyConverts)
        k.key = p.vk;
    if (p.maskConverts)
        k.modifiers = p.mask;
    return k;
}

void Run::parseStopCommand()
{
    const StopKey k = stopKeyOf(stopCommand);
    stopKey = k.key;
    stopModifiers = k.modifiers;
}

bool Run::stopByPollOnly()
{
    return qEnvironmentVariable("TERVALO_STOP_BY_POLL_ONLY") == QLatin1String("1");
}

void Run::startStopChecker()
{
    if (checkerThread && checkerThread->joinable())
        return; // never more than one watcher
    if (stopKey == 0)
        return;
    checkerRunning.store(true);
    try {
        checkerThread = std::make_unique<std::thread>([this] { stopCheckerBody(); });
    } catch (const std::system_error &e) {
        checkerRunning.store(false);
        qWarning() << "[Run] could not start the stop-command watcher:" << e.what();
        return;
    }
    if (!stopByPollOnly())
        startStopObserver();
}

void Run::startStopObserver()
{
    using namespace platform::vk;
    auto desktop = platform::currentDesktop();
    // Keys held since before the watch began count as well. They are read
    // before the observer's thread starts: from then on only that thread
    // touches the tracker. Side-specific codes only, as observers report them.
    stopKeysHeld = CombinationTracker(stopKey, stopModifiers);
    for (int vk : {LShift, RShift, LControl, RControl, LMenu, RMenu, LWin, RWin}) {
        if (desktop->isKeyDown(vk))
            stopKeysHeld.follow(vk, true);
    }
    if (!KeyCombination::isModifierKey(stopKey) && desktop->isKeyDown(stopKey))
        stopKeysHeld.follow(stopKey, true);
    const int handle = desktop->startInputObserver(
        [this](const platform::InputEvent &e) { observeStopKeys(e); }, platform::observe::Keys);
    if (!handle) {
        // A desktop that lets no program hear keys may run a command for a
        // shortcut: the stop command then runs `tervalo_free --stop`.
        const QString stop = QStringLiteral("'") + QCoreApplication::applicationFilePath() + QStringLiteral("' --stop");
        if (const int binding = desktop->bindShortcutCommand(stopModifiers, stopKey, stop.toStdString())) {
            stopShortcut.store(binding);
            stopObserverDesktop = std::move(desktop);
            return;
        }
        qWarning() << "[Run] cannot observe the keys (error" << desktop->lastError()
                   << "); the stop command is seen by polling only";
        return;
    }
    stopObserverDesktop = std::move(desktop);
    stopObserver.store(handle);
}

void Run::observeStopKeys(const platform::InputEvent &e)
{
    using Kind = platform::InputEvent::Kind;
    if (e.kind != Kind::KeyDown && e.kind != Kind::KeyUp)
        return;
    // The observer reports the run's own keys too: they count exactly as the
    // poll counts them, with the run's own modifiers excused.
    stopKeysHeld.follow(e.vk, e.kind == Kind::KeyDown);
    if (stopKeysHeld.isDown(ownModifierMask()))
        stopCommandSeen();
}

bool Run::endStopWatch()
{
    bool wasWatching = false;
    {
        std::lock_guard<std::mutex> lock(checkerMutex);
        wasWatching = checkerRunning.exchange(false);
    }
    checkerWake.notify_all();
    return wasWatching;
}

void Run::stopCommandSeen()
{
    if (!endStopWatch())
        return; // seen by the other eye already, or the run is over
    requestStop();
    qDebug() << "[Run] stop command detected: vk=" << stopKey << " mask=" << stopModifiers;
}

void Run::inputTakenAway()
{
    // Ends the watch as the stop command does, whichever came first.
    endStopWatch();
    requestStop();
    qDebug() << "[Run] the desktop took input away: stopping";
}

void Run::stopStopChecker()
{
    endStopWatch();
    if (const int handle = stopObserver.exchange(0)) {
        // Returns once the observer's thread has ended.
        stopObserverDesktop->stopInputObserver(handle);
        stopObserverDesktop.reset();
    }
    if (const int binding = stopShortcut.exchange(0)) {
        stopObserverDesktop->unbindShortcutCommand(binding);
        stopObserverDesktop.reset();
    }
    if (checkerThread && checkerThread->joinable())
        checkerThread->join();
    checkerThread.reset();
}

void Run::holdOwnModifiers(int mask, bool held)
{
    for (int i = 0; i < 4; ++i) {
        if (mask & (1 << i))
            ownModifierHolds[i].fetch_add(held ? 1 : -1);
    }
}

int Run::ownModifierMask() const
{
    int mask = 0;
    for (int i = 0; i < 4; ++i) {
        if (ownModifierHolds[i].load() > 0)
            mask |= 1 << i;
    }
    return mask;
}

void Run::stopCheckerBody()
{
    auto desktop = platform::currentDesktop();
    std::unique_lock<std::mutex> lock(checkerMutex);
    while (checkerRunning.load()) {
        lock.unlock();
        if (conditions::combinationDown(*desktop, stopKey, stopModifiers, ownModifierMask()))
            stopCommandSeen();
        lock.lock();
        checkerWake.wait_for(lock, kPollInterval, [this] { return !checkerRunning.load(); });
    }
}
