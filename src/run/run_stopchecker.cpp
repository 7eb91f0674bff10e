#include "run/run.h"

#include "input/keycombination.h"
#include "run/conditions.h"

#include <QDebug>

#include <chrono>
#include <thread>

namespace {
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
    }
}

void Run::stopStopChecker()
{
    checkerRunning.store(false);
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
    bool detected = false;
    while (checkerRunning.load()) {
        if (stopKey != 0 && conditions::combinationDown(*desktop, stopKey, stopModifiers, ownModifierMask())) {
            detected = true;
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    if (!detected) {
        checkerRunning.store(false);
        return;
    }
    stopRequested.store(true);
    qDebug() << "[Run] stop command detected: vk=" << stopKey << " mask=" << stopModifiers;
    checkerRunning.store(false);
}
