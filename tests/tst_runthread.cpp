// A run on its own thread, as the main window starts it: whichever of the
// two threads gets to the end of the run first, the owner hears of the end
// once, and the run and its thread are deleted. The test holds one thread or
// the other around the run's end to force each order.

#include "run/remotestop.h"
#include "run/run.h"
#include "run/runthread.h"
#include "support/simfixture.h"

#include <QDir>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace {

enum class Held {
    None,
    RunThread, // the GUI thread handles the end first
    GuiThread, // the run's thread handles the end first
};

// Waits without serving the calling thread's events; false after 10 s.
bool holdUntil(const std::function<bool()> &done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

Q_DECLARE_METATYPE(Held)

class TestRunThread : public QObject {
    Q_OBJECT

private slots:
    void deletedInEitherOrder_data()
    {
        QTest::addColumn<Held>("held");
        QTest::addColumn<bool>("stopped");
        QTest::newRow("neither thread held, stopped") << Held::None << true;
        QTest::newRow("neither thread held, ends by itself") << Held::None << false;
        QTest::newRow("run's thread held: GUI first, stopped") << Held::RunThread << true;
        QTest::newRow("run's thread held: GUI first, ends by itself") << Held::RunThread << false;
        QTest::newRow("GUI thread held: run's thread first, stopped") << Held::GuiThread << true;
        QTest::newRow("GUI thread held: run's thread first, ends by itself") << Held::GuiThread << false;
    }

    void deletedInEitherOrder()
    {
        QFETCH(Held, held);
        QFETCH(bool, stopped);
        SimFixture fx;
        QObject owner;
        const int runsBefore = Run::instanceCount();

        // Moves the pointer, then waits for a click of the simulated person
        // (or for the stop): the test decides when the run ends.
        auto *run = new Run;
        run->setup(0, 1, QStringLiteral("なし"), {{QStringLiteral("マウスポインター"), "5", "6"}},
                   {{QStringLiteral("クリック"), QStringLiteral("左")}}, QStringLiteral("p"));
        QPointer<Run> alive = run;
        QPointer<QSystemTrayIcon> icon = run->systemTrayIcon();
        QVERIFY(icon);
        std::atomic<int> calls{0};
        std::atomic<bool> inOwnerThread{false};
        QPointer<QThread> thread = runthread::start(run, &owner, [&] {
            inOwnerThread.store(QThread::currentThread() == owner.thread());
            calls.fetch_add(1);
        });
        QVERIFY(thread);
        QCOMPARE(thread->parent(), &owner);
        QCOMPARE(icon->thread(), QThread::currentThread()); // the icon stays with the GUI
        QTRY_COMPARE_WITH_TIMEOUT(fx.sim->cursorPos(), (platform::Point{5, 6}), 5000);

        // Lives in the run's thread: what the test queues to it runs in
        // that thread's event loop, behind whatever was queued before.
        auto probe = std::make_unique<QObject>();
        probe->moveToThread(thread);
        std::atomic<bool> holding{false};
        std::atomic<bool> letGo{false};
        std::atomic<bool> finishedEmitted{false};
        if (held == Held::RunThread) {
            QMetaObject::invokeMethod(
                probe.get(),
                [&] {
                    holding.store(true);
                    holdUntil([&] { return letGo.load(); });
                },
                Qt::QueuedConnection);
            QVERIFY(holdUntil([&] { return holding.load(); }));
        } else if (held == Held::GuiThread) {
            // Connected after runthread's own connections, so this direct
            // call comes once all of finished's queued calls are posted.
            QObject::connect(run, &Run::finished, [&] { finishedEmitted.store(true); });
        }

        if (stopped) {
            run->requestStop();
        } else {
            // Held until the end: the wait looks at the button now and then.
            fx.sim->pressButton(platform::MouseButton::Left);
        }

        if (held == Held::RunThread) {
            // The GUI thread quits the run's event loop and hears of the end
            // while that loop is still busy.
            QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 10000);
            QVERIFY(alive);
            letGo.store(true);
        } else if (held == Held::GuiThread) {
            // The GUI thread serves no event until the run's thread has
            // handled everything that finished queued to it.
            QVERIFY(holdUntil([&] { return finishedEmitted.load(); }));
            std::atomic<bool> marked{false};
            QMetaObject::invokeMethod(probe.get(), [&] { marked.store(true); }, Qt::QueuedConnection);
            QVERIFY(holdUntil([&] { return marked.load(); }));
            QCOMPARE(calls.load(), 0);
        }

        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull() && thread.isNull(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(icon.isNull(), 10000);
        QCOMPARE(calls.load(), 1);
        QVERIFY(inOwnerThread.load());
        QCOMPARE(Run::instanceCount(), runsBefore);
        QVERIFY(owner.findChildren<QThread *>().isEmpty());
        if (!stopped)
            fx.sim->releaseButton(platform::MouseButton::Left);
    }

    // `tervalo_free --stop` from another process: a run played as the window
    // and the player play it stops at once, the stop is answered only while
    // it plays, and its socket goes with it.
    void stoppedFromOutside()
    {
        QTemporaryDir runtime; // not the person's own: their runs must not stop
        QVERIFY(runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        SimFixture fx;
        QObject owner;
        auto *run = new Run;
        run->setup(0, 1, QStringLiteral("なし"), {{QStringLiteral("なし")}}, {{QStringLiteral("時間"), "600"}},
                   QStringLiteral("p"));
        QPointer<Run> alive = run;
        std::atomic<int> calls{0};
        runthread::start(run, &owner, [&] { calls.fetch_add(1); });

        // Asked from a thread of its own, as another process asks: the run's
        // listener answers in this thread's event loop.
        auto ask = [] {
            auto answer = std::async(std::launch::async, [] { return remotestop::stopAll(); });
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                if (std::chrono::steady_clock::now() > deadline)
                    return -2; // never answered (stopAll gives up after 2 s)
                QTest::qWait(10);
            }
            return answer.get();
        };
        QCOMPARE(ask(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 10000);
        QCOMPARE(ask(), 0);
        QCOMPARE(QDir(remotestop::folder()).entryList(QDir::Files | QDir::System), QStringList());
        qunsetenv("XDG_RUNTIME_DIR");
    }
};

QTEST_MAIN(TestRunThread)
#include "tst_runthread.moc"
