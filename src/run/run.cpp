#include "run/run.h"

#include "input/keycombination.h"
#include "platform/desktop.h"
#include "project/pagekinds.h"
#include "run/conditions.h"
#include "run/desktopshell.h"
#include "run/operations.h"
#include "run/stoprule.h"
#include "settings/text.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <set>
#include <system_error>
#include <utility>

namespace {
using Clock = std::chrono::steady_clock;

// A wait wakes the moment a stop is asked for (requestStop); the slice only
// bounds it should a wake ever be lost, like the stop watcher's 50 ms poll.
// Shorter slices cost CPU for nothing: a colour condition waiting with 5 ms
// slices kept the process at about 1.1 % of a core, with 50 ms at 0.4 %.
constexpr auto kWaitSlice = std::chrono::milliseconds(50);
} // namespace

std::atomic<int> Run::instances{0};

namespace {
// Every run alive, for requestStopAll.
std::mutex g_liveRunsMutex;
std::set<Run *> g_liveRuns;
bool g_stopAllRequested = false; // under g_liveRunsMutex
} // namespace

Run::Run(QObject *parent)
    : QObject(parent)
{
    instances.fetch_add(1);
    std::lock_guard<std::mutex> lock(g_liveRunsMutex);
    g_liveRuns.insert(this);
    if (g_stopAllRequested)
        stopRequested.store(true); // the program is ending: nothing more plays
}

void Run::requestStopAll()
{
    std::lock_guard<std::mutex> lock(g_liveRunsMutex);
    g_stopAllRequested = true;
    for (Run *run : g_liveRuns)
        run->requestStop();
}

Run::~Run()
{
    {
        std::lock_guard<std::mutex> lock(g_liveRunsMutex);
        g_liveRuns.erase(this);
    }
    // Whatever happens to be in progress ends now: the runner sees the stop,
    // its workers let go of what they hold, and it stops the watcher itself.
    requestStop();
    if (runnerThread && runnerThread->joinable())
        runnerThread->join();
    runnerThread.reset();
    joinWorkers();
    // Only finds a watcher when the run was never started.
    stopStopChecker();
    if (trayIcon) {
        // Set up but never started: the icon is still ours to remove.
        removeTrayIcon();
    }
    instances.fetch_sub(1);
}

void Run::setup(int startDelay_, int runCount_, QString stopCommand_, QList<QStringList> commands_,
                QList<QStringList> conditions_, QString projectName_)
{
    startDelay = startDelay_;
    runCount = runCount_;
    stopCommand = std::move(stopCommand_);
    commands = std::move(commands_);
    conditions = std::move(conditions_);
    projectName = std::move(projectName_);
    // A project read from a file may have short records or lists of unequal
    // length; the runner reads by index and must never run past an end.
    PageKinds::repair(commands, conditions);

    if (stopCommand != KeyCombination::noneCode()) {
        parseStopCommand();
        startStopChecker();
    }

    if (!trayIcon)
        trayIcon = desktopshell::showStopIcon(QStringLiteral("「%1」を終了").arg(projectName), this,
                                              [this] { requestStop(); });

    // Emitted from the runner thread; the beep must sound from the GUI thread.
    connect(this, &Run::requestBeep, QCoreApplication::instance(), [] { desktopshell::beep(); },
            Qt::QueuedConnection);
}

QString Run::untypableRefusal(const QList<QStringList> &commands, bool japanese)
{
    auto desktop = platform::currentDesktop();
    QString missing;
    for (const QStringList &record : commands) {
        if (record.value(0) != PageKinds::kEnterText)
            continue;
        const QString found = QString::fromStdU16String(desktop->untypable(record.value(1).toStdU16String()));
        for (const QChar *c = found.constBegin(); c != found.constEnd(); ++c) {
            // Whole characters: a pair of surrogates is one.
            const qsizetype length = c->isHighSurrogate() && c + 1 != found.constEnd() ? 2 : 1;
            const QString character(c, length);
            if (!missing.contains(character))
                missing += character;
            c += length - 1;
        }
    }
    if (missing.isEmpty())
        return QString();
    return Text{"このデスクトップでは次の文字を入力できません（クリップボードを使えません）: %1",
                "this desktop cannot type these characters (its clipboard cannot be used): %1"}
        .in(japanese)
        .arg(missing);
}

QString Run::consentExplanation(bool japanese)
{
    if (!platform::currentDesktop()->asksConsent())
        return QString();
    return Text{"このあと GNOME が、リモート操作を許可するかどうかを尋ねます。Tervalo Free がキーボードとマウスの"
                "入力を再生するには、この許可が必要です（リモート操作をオンにして「共有」を押してください）。"
                "尋ねられるのは、プログラムを起動するごとに一度です。",
                "GNOME will now ask you to allow remote interaction. Tervalo Free needs it to play keyboard and "
                "mouse input (turn remote interaction on, then press Share). It asks once each time the program "
                "starts."}
        .in(japanese);
}

bool Run::canStopWithoutStopCommand()
{
    return StopRule::trayAvailable();
}

void Run::requestStop()
{
    {
        // Taken so that a waiter between its look at the flag and its wait
        // cannot miss the wake.
        std::lock_guard<std::mutex> lock(waitMutex);
        stopRequested.store(true);
    }
    stopWake.notify_all();
}

bool Run::interruptibleWait(double seconds) const
{
    if (!(seconds > 0))
        return !stopRequested.load();
    const auto deadline = Clock::now()
        + std::chrono::duration_cast<Clock::duration>(
              std::chrono::duration<double>(std::min(seconds, kLongestSeconds)));
    std::unique_lock<std::mutex> lock(waitMutex);
    // Woken by requestStop the moment a stop arrives (see kWaitSlice).
    while (!stopRequested.load()) {
        const auto now = Clock::now();
        if (now >= deadline)
            return true;
        stopWake.wait_for(lock, std::min<Clock::duration>(deadline - now, kWaitSlice));
    }
    return false;
}

void Run::start()
{
    if (running.exchange(true))
        return;
    if (runnerThread && runnerThread->joinable())
        runnerThread->join();
    runnerThread.reset();
    joinWorkers();
    try {
        runnerThread = std::make_unique<std::thread>([this] { runLoop(); });
    } catch (const std::system_error &e) {
        qWarning() << "[Run] could not start the runner thread:" << e.what();
        inputFailure.store(true);
        // Nothing will play; still end the run the usual way so that the
        // window comes back.
        stopStopChecker();
        removeTrayIcon();
        running.store(false);
        emit finished();
    }
}

void Run::runLoop()
{
    // stopRequested is deliberately not cleared here: a stop that arrived
    // between setup and this point (tray click, stop command, destruction)
    // must still end the run, and each run object plays only once.
    desktop = platform::currentDesktop();
    inputSession = desktop->beginInput([this] { inputTakenAway(); });
    if (!inputSession)
        failInput();
    failuresAtStart = desktop->inputFailures();
    interruptibleWait(double(startDelay));
    if (!stopRequested.load())
        emit requestBeep();

    for (int pass = 0; pass < runCount && !stopRequested.load(); ++pass) {
        if (runCount == kRepeatForever)
            --pass; // never reaches the limit: repeats until stopped
        for (qsizetype i = 0; i < commands.size() && !stopRequested.load(); ++i)
            playPage(int(i));
        if (!stopRequested.load())
            passes.fetch_add(1);
    }

    joinWorkers();
    checkInputArrived(); // an operation that ended after the last page
    // The watcher has nothing left to stop; it ends before the pause.
    stopStopChecker();
    if (const int session = std::exchange(inputSession, 0))
        desktop->endInput(session);
    if (!stopRequested.load())
        std::this_thread::sleep_for(std::chrono::seconds(1));
    emit requestBeep();
    removeTrayIcon();
    running.store(false);
    emit finished();
}

void Run::playPage(int index)
{
    pageNumber = index + 1;
    operations::start(*this, commands.at(index));
    conditions::waitFor(*this, index < conditions.size() ? conditions.at(index) : QStringList());
    checkInputArrived();
}

void Run::checkInputArrived()
{
    if (desktop->inputFailures() != failuresAtStart)
        failInput();
}

bool Run::startWorker(std::function<void()> body)
{
    // A long run of pages that never wait for their operations would
    // otherwise keep every ended thread until the end of the run.
    reclaimEndedWorkers();
    if (workers.size() >= kMaxWorkers) {
        // Hundreds of overlapping operations (pages that move on at once)
        // would each hold a thread and the desktop's resources: the next
        // one starts when one of them ends.
        std::unique_lock<std::mutex> lock(waitMutex);
        stopWake.wait(lock, [this] {
            return stopRequested.load()
                || std::any_of(workers.begin(), workers.end(), [](const Worker &w) { return w.done->load(); });
        });
        lock.unlock();
        reclaimEndedWorkers();
        if (stopRequested.load())
            return false;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        std::thread thread([this, body = std::move(body), done] {
            body();
            {
                // Under the lock, so that a runner waiting for a free place
                // cannot miss it.
                std::lock_guard<std::mutex> lock(waitMutex);
                done->store(true);
            }
            stopWake.notify_all();
        });
        workers.push_back(Worker{std::move(thread), std::move(done)});
        peakWorkers = std::max(peakWorkers, int(workers.size()));
        return true;
    } catch (const std::system_error &e) {
        qWarning() << "[Run] could not start a worker thread:" << e.what();
        failInput();
        return false;
    }
}

void Run::failInput()
{
    // A run that cannot play what was built must not end as if it had.
    inputFailure.store(true);
    requestStop();
}

void Run::failPictureNotFound(int page)
{
    int none = 0;
    pictureMissing.compare_exchange_strong(none, page);
    requestStop();
}

void Run::reclaimEndedWorkers()
{
    auto ended = std::stable_partition(workers.begin(), workers.end(),
                                       [](const Worker &w) { return !w.done->load(); });
    for (auto it = ended; it != workers.end(); ++it) {
        if (it->thread.joinable())
            it->thread.join(); // already past its body: returns at once
    }
    workers.erase(ended, workers.end());
}

void Run::joinWorkers()
{
    for (Worker &w : workers) {
        if (w.thread.joinable())
            w.thread.join();
    }
    workers.clear();
}

void Run::removeTrayIcon()
{
    desktopshell::removeStopIcon(std::exchange(trayIcon, nullptr));
}
