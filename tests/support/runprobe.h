#pragma once

// Watches a Run from a test: counts beeps and finished signals as they are
// emitted (on the runner thread) and remembers when finished came.

#include "run/run.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>

struct RunProbe {
    using Clock = std::chrono::steady_clock;

    std::unique_ptr<Run> run = std::make_unique<Run>();
    std::atomic<int> beeps{0};
    std::atomic<int> finishedCount{0};
    std::atomic<Clock::rep> finishedAt{0};

    RunProbe()
    {
        // No context object: a direct call in the emitting thread.
        QObject::connect(run.get(), &Run::requestBeep, [this] { beeps.fetch_add(1); });
        QObject::connect(run.get(), &Run::finished, [this] {
            finishedAt.store(Clock::now().time_since_epoch().count());
            finishedCount.fetch_add(1);
        });
    }

    /// Processes events until finished was emitted or `ms` passed.
    bool waitFinished(int ms)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (finishedCount.load() == 0 && Clock::now() < deadline)
            QTest::qWait(2);
        return finishedCount.load() > 0;
    }

    Clock::time_point finishedTime() const { return Clock::time_point(Clock::duration(finishedAt.load())); }
};
