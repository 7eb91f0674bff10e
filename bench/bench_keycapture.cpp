// Measures the key-capture hook: the cost of one keyboard event while the
// hook is installed (every keystroke of the desktop pays it), and how long
// the editor takes from the key press to the page holding the new code
// (bounded by the 50 ms poll interval). Prints medians and ratios.

#include "gui/mainwindow/tervalo.h"
#include "platform/desktop_sim.h"
#include "project/pagekinds.h"
#include "record/keycapture.h"
#include "settings/settingsfile.h"
#include "support/windowparts.h"

#include "benchstats.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

using benchstats::median;

// Nanoseconds per hook call, median over batches.
template <typename F>
double nsPerCall(F &&call)
{
    constexpr int kBatches = 200;
    constexpr int kPerBatch = 2000;
    std::vector<double> samples;
    for (int b = 0; b < kBatches; ++b) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kPerBatch; ++i)
            call(i);
        const auto t1 = Clock::now();
        samples.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count() / kPerBatch);
    }
    return median(samples);
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto sim = std::make_shared<platform::SimDesktop>();
    platform::setDesktop(sim);

    // 1. Cost of one event in the hook procedure.
    KeyCapture capture;
    capture.install();
    volatile bool sink = false;
    capture.disarm();
    const double disarmed = nsPerCall([&](int i) { sink = capture.hookProcedure(65 + i % 26, i % 2 == 0); });
    capture.arm();
    const double modifier = nsPerCall([&](int i) { sink = capture.hookProcedure(162, i % 2 == 0); });
    sim->pressKey(162);
    sim->releaseKey(162);
    capture.arm();
    capture.hookProcedure(162, true); // a modifier held: no key-state queries
    const double keyWithHeld = nsPerCall([&](int i) { sink = capture.hookProcedure(65 + i % 26, true); });
    capture.arm();
    const double keyWithSnapshot = nsPerCall([&](int i) { sink = capture.hookProcedure(65 + i % 26, true); });
    capture.disarm();
    capture.remove();
    (void)sink;
    std::printf("hook procedure, median ns per event (sim key state):\n");
    std::printf("  disarmed (passes on)          %8.1f\n", disarmed);
    std::printf("  armed, modifier down/up       %8.1f\n", modifier);
    std::printf("  armed, key with held modifier %8.1f\n", keyWithHeld);
    std::printf("  armed, key with snapshot      %8.1f  (%.1fx the held case: key-state queries)\n",
                keyWithSnapshot, keyWithSnapshot / keyWithHeld);

    // 2. Key press to record, through the editor's poll timer.
    QTemporaryDir dir;
    QStandardPaths::setTestModeEnabled(true);
    SettingsFile::setDirectoriesForTesting(dir.path() + "/config", dir.path() + "/app");
    QDir().mkpath(dir.path() + "/config");
    QDir().mkpath(dir.path() + "/app");
    {
        QFile f(dir.path() + "/config/tervalo_free.json");
        if (f.open(QIODevice::WriteOnly))
            f.write("{\"is_used_this\": true}"); // no first-start greeting
    }
    tervalo w;
    w.addNewCommand();
    w.show();
    QPushButton *add = windowparts::get<QPushButton>(w, "addCommandButton");
    std::vector<double> latencies;
    constexpr int kCaptures = 40;
    for (int i = 0; i < kCaptures; ++i) {
        windowparts::chooseOperation(w, PageKinds::kKey);
        add->click();
        // Press at a random phase of the poll timer.
        QElapsedTimer wait;
        wait.start();
        const int phase = QRandomGenerator::global()->bounded(60);
        while (wait.elapsed() < phase)
            app.processEvents(QEventLoop::AllEvents, 1);
        QElapsedTimer clock;
        clock.start();
        sim->tapCombination({65 + i % 26});
        while (w.captureWaiting() && clock.elapsed() < 2000) {
            app.processEvents(QEventLoop::WaitForMoreEvents, 1);
        }
        latencies.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("editor capture, key press to record (ms, %d captures, poll interval 50):\n", kCaptures);
    std::printf("  median %.1f  p90 %.1f  max %.1f  (median / interval = %.2f)\n", median(latencies),
                latencies[size_t(kCaptures * 0.9)], latencies.back(), median(latencies) / 50.0);
    SettingsFile::setDirectoriesForTesting(QString(), QString());
    return 0;
}
