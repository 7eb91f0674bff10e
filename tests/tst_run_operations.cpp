// The page operations and the advance conditions on their own, against the
// simulated desktop: exact event order and content, timing with tolerances
// that hold on a loaded machine, and prompt, clean ends on a stop.

#include "run/conditions.h"
#include "run/operations.h"
#include "run/run.h"
#include "support/simfixture.h"

#include <QTime>
#include <QtTest>

#include <thread>

using Event = platform::SimDesktop::Event;
using Clock = std::chrono::steady_clock;

namespace {
double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Key events as signed codes: +vk down, -vk up.
QList<int> keyTrace(const std::vector<Event> &events)
{
    QList<int> out;
    for (const Event &e : events) {
        if (e.kind == Event::KeyDown)
            out << e.a;
        else if (e.kind == Event::KeyUp)
            out << -e.a;
    }
    return out;
}

// Runs a blocking call on a thread of its own so that the test can act as
// the person meanwhile; tells whether and when it returned.
class Background {
public:
    template<typename F>
    explicit Background(F f)
        : thread_([this, f] {
              f();
              endedAt_.store(Clock::now().time_since_epoch().count());
              ended_.store(true);
          })
    {
    }
    ~Background() { thread_.join(); }
    bool ended() const { return ended_.load(); }
    Clock::time_point endedAt() const { return Clock::time_point(Clock::duration(endedAt_.load())); }
    bool waitEnded(int ms) const
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (!ended_.load() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return ended_.load();
    }

private:
    std::atomic<bool> ended_{false};
    std::atomic<Clock::rep> endedAt_{0};
    std::thread thread_;
};

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

class TestRunOperations : public QObject {
    Q_OBJECT
private slots:
    void keyParameter_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("hold");
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("vk");
        QTest::addColumn<int>("mods");
        QTest::addColumn<uint>("holdMs");
        QTest::newRow("ctrl+alt+g half a second") << "71,3" << "0.5" << "71,3,0.5" << true << 71 << 3 << 500u;
        QTest::newRow("float rounding of 2.01") << "71,3" << "2.01" << "71,3,2.01" << true << 71 << 3 << 2009u;
        QTest::newRow("shortest hold") << "162,0" << "0.01" << "162,0,0.01" << true << 162 << 0 << 10u;
        QTest::newRow("integer seconds") << "13,6" << "3" << "13,6,3" << true << 13 << 6 << 3000u;
        QTest::newRow("no key set") << "" << "0.01" << "0,0,0.01" << false << 0 << 0 << 0u;
        // The hold time never takes the key's place: these pressed Enter,
        // the left mouse button and Esc.
        QTest::newRow("no key set, 13 s") << "" << "13" << "0,0,13" << false << 0 << 0 << 0u;
        QTest::newRow("no key set, 1 s") << "なし" << "1" << "0,0,1" << false << 0 << 0 << 0u;
        QTest::newRow("lone comma, 27 s") << "," << "27" << "0,0,27" << false << 0 << 0 << 0u;
        QTest::newRow("key without mask keeps its hold") << "71" << "0.5" << "71,0,0.5" << true << 71 << 0 << 500u;
        QTest::newRow("extra part does not become the hold") << "71,3,9" << "0.5" << "71,3,0.5" << true << 71 << 3 << 500u;
        QTest::newRow("key not a number") << "abc" << "1" << "0,0,1" << false << 0 << 0 << 0u;
        QTest::newRow("key 0") << "0,2" << "1" << "0,0,1" << false << 0 << 0 << 0u;
        QTest::newRow("bad hold counts as 0") << "65,0" << "soon" << "65,0,0" << true << 65 << 0 << 0u;
        QTest::newRow("negative hold counts as 0") << "65,0" << "-2" << "65,0,-2" << true << 65 << 0 << 0u;
        QTest::newRow("bad mask counts as 0") << "65,x" << "1" << "65,0,1" << true << 65 << 0 << 1000u;
        QTest::newRow("huge hold is capped") << "65,0" << "1e12" << "65,0,1e+12" << true << 65 << 0 << 4294967295u;
        QTest::newRow("percent text in the code") << "%2,%1" << "1" << "0,0,1" << false << 0 << 0 << 0u;
    }
    void keyParameter()
    {
        QFETCH(QString, code);
        QFETCH(QString, hold);
        QFETCH(QString, parameter);
        QFETCH(bool, valid);
        QFETCH(int, vk);
        QFETCH(int, mods);
        QFETCH(uint, holdMs);
        QCOMPARE(operations::keyParameterText(code, hold), parameter);
        const operations::KeyPress k = operations::parseKeyParameter(parameter);
        QCOMPARE(k.valid, valid);
        if (valid) {
            QCOMPARE(k.vk, vk);
            QCOMPARE(k.mods, mods);
            QCOMPARE(uint(k.holdMs), holdMs);
        }
    }

    void pressKey_data()
    {
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<QList<int>>("trace");
        QTest::addColumn<int>("holdMs");
        QTest::newRow("ctrl+alt+g") << "71,3,0.1" << QList<int>{17, 18, 71, -71, -18, -17} << 100;
        QTest::newRow("left ctrl alone") << "162,0,0" << QList<int>{162, -162} << 0;
        QTest::newRow("all four modifiers") << "65,15,0" << QList<int>{17, 18, 16, 91, 65, -65, -91, -16, -18, -17} << 0;
        QTest::newRow("shift+f5") << "116,4,0.05" << QList<int>{16, 116, -116, -16} << 50;
        QTest::newRow("none") << "なし" << QList<int>{} << 0;
        QTest::newRow("empty") << "" << QList<int>{} << 0;
        QTest::newRow("only commas") << ",," << QList<int>{} << 0;
    }
    void pressKey()
    {
        QFETCH(QString, parameter);
        QFETCH(QList<int>, trace);
        QFETCH(int, holdMs);
        SimFixture fx;
        Run run;
        operations::pressKey(run, parameter);
        const auto ev = fx.sim->syntheticEvents();
        QCOMPARE(keyTrace(ev), trace);
        if (!trace.isEmpty()) {
            // The hold lies between the last press and the first release.
            const int presses = int(trace.size() / 2);
            const double held = msBetween(ev[presses - 1].time, ev[presses].time);
            QVERIFY2(held >= holdMs - 1 && held < holdMs + 900, qPrintable(QString::number(held)));
        }
        QVERIFY(fx.sim->keysDown().empty());
    }

    void pressKeyStoppedReleasesInReverse()
    {
        SimFixture fx;
        Run run;
        Background worker([&] { operations::pressKey(run, QStringLiteral("71,7,30")); });
        sleepMs(150);
        QCOMPARE(fx.sim->keysDown(), (std::vector<int>{16, 17, 18, 71}));
        const auto stopAt = Clock::now();
        run.requestStop();
        QVERIFY(worker.waitEnded(500));
        QVERIFY(msBetween(stopAt, worker.endedAt()) < 600);
        QCOMPARE(keyTrace(fx.sim->syntheticEvents()), (QList<int>{17, 18, 16, 71, -71, -16, -18, -17}));
    }

    void pressKeyAfterStopPressesNothing()
    {
        SimFixture fx;
        Run run;
        run.requestStop();
        operations::pressKey(run, QStringLiteral("71,3,1"));
        QVERIFY(fx.sim->syntheticEvents().empty());
    }

    void click_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("stopAfterMs"); // -1: not stopped
        QTest::addColumn<double>("minHeldMs");
        QTest::addColumn<double>("maxHeldMs");
        QTest::newRow("left, no hold") << 0 << 0.0 << -1 << 0.0 << 500.0;
        QTest::newRow("right, 0.2 s") << 1 << 0.2 << -1 << 199.0 << 900.0;
        QTest::newRow("left 2 s stopped after 0.3 s") << 0 << 2.0 << 300 << 290.0 << 1500.0;
        QTest::newRow("hand-made endless hold stopped") << 1 << 1e300 << 200 << 190.0 << 1500.0;
    }
    void click()
    {
        QFETCH(int, button);
        QFETCH(double, seconds);
        QFETCH(int, stopAfterMs);
        QFETCH(double, minHeldMs);
        QFETCH(double, maxHeldMs);
        SimFixture fx;
        Run run;
        {
            Background worker([&] {
                operations::clickButton(run, button ? platform::MouseButton::Right : platform::MouseButton::Left,
                                        seconds);
            });
            if (stopAfterMs >= 0) {
                sleepMs(stopAfterMs);
                run.requestStop();
            }
            QVERIFY(worker.waitEnded(5000));
        }
        const auto ev = fx.sim->syntheticEvents();
        QCOMPARE(ev.size(), size_t(2));
        QCOMPARE(ev[0].kind, Event::ButtonDown);
        QCOMPARE(ev[1].kind, Event::ButtonUp);
        QCOMPARE(ev[0].a, button);
        QCOMPARE(ev[1].a, button);
        const double held = msBetween(ev[0].time, ev[1].time);
        QVERIFY2(held >= minHeldMs && held < maxHeldMs, qPrintable(QString::number(held)));
    }

    void glide_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<double>("seconds");
        QTest::newRow("down right, 0.5 s") << 300 << 200 << 0.5;
        QTest::newRow("up left into negative, 0.4 s") << -250 << -90 << 0.4;
        QTest::newRow("same point") << 40 << 30 << 0.2;
        QTest::newRow("jump") << 1234 << 567 << 0.0;
        QTest::newRow("negative duration jumps") << 5 << 6 << -1.0;
    }
    void glide()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(double, seconds);
        SimFixture fx;
        fx.sim->movePointer(40, 30);
        Run run;
        const auto t0 = Clock::now();
        operations::smoothMove(run, x, y, seconds);
        const double took = msBetween(t0, Clock::now());
        const auto ev = fx.sim->syntheticEvents();
        QVERIFY(!ev.empty());
        // Always ends exactly on the target.
        QCOMPARE(ev.back().a, x);
        QCOMPARE(ev.back().b, y);
        if (seconds <= 0) {
            QCOMPARE(ev.size(), size_t(1));
            return;
        }
        QVERIFY2(took >= seconds * 1000 - 1 && took < seconds * 1000 + 900, qPrintable(QString::number(took)));
        QVERIFY(ev.size() > 5);
        // Every step lies on the straight line, in order, from the start.
        double lastF = 0;
        for (const Event &e : ev) {
            QCOMPARE(e.kind, Event::Move);
            const double f = x == 40 ? 0 : double(e.a - 40) / (x - 40);
            QVERIFY(f >= lastF - 0.01);
            QVERIFY(std::abs(30 + (y - 30) * f - e.b) <= 1.0);
            lastF = f;
        }
    }

    void glideStoppedStaysWhereItIs()
    {
        SimFixture fx;
        Run run;
        {
            Background worker([&] { operations::smoothMove(run, 1000, 0, 10); });
            sleepMs(200);
            run.requestStop();
            QVERIFY(worker.waitEnded(500));
        }
        const platform::Point p = fx.sim->cursorPos();
        QVERIFY(p.x > 0 && p.x < 200);
        QCOMPARE(fx.sim->syntheticEvents().back().a, p.x);
    }

    void typing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QList<int>>("units");
        QTest::newRow("line break and a character outside the BMP")
            << QStringLiteral("aあ\n😀") << 0.5 << QList<int>{0x61, 0x3042, 0x0a, 0xd83d, 0xde00};
        QTest::newRow("three characters over 0.3 s") << QStringLiteral("x\ty") << 0.3 << QList<int>{0x78, 0x09, 0x79};
        QTest::newRow("empty text") << QString() << 1.0 << QList<int>{};
        QTest::newRow("no time") << QStringLiteral("abc") << 0.0 << QList<int>{};
    }
    void typing()
    {
        QFETCH(QString, text);
        QFETCH(double, seconds);
        QFETCH(QList<int>, units);
        SimFixture fx;
        Run run;
        const auto t0 = Clock::now();
        operations::typeText(run, text, seconds);
        const double took = msBetween(t0, Clock::now());
        const auto ev = fx.sim->syntheticEvents();
        QCOMPARE(int(ev.size()), int(units.size()) * 2);
        const double per = units.isEmpty() ? 0 : seconds * 1000 / units.size();
        for (int i = 0; i < int(units.size()); ++i) {
            const Event &down = ev[2 * i];
            const Event &up = ev[2 * i + 1];
            QCOMPARE(down.kind, Event::CharDown);
            QCOMPARE(up.kind, Event::CharUp);
            QCOMPARE(down.a, units[i]);
            QCOMPARE(up.a, units[i]);
            // Unit i goes out at about t0 + i * per.
            const double at = msBetween(t0, down.time);
            QVERIFY2(at >= i * per - 1 && at < i * per + 500, qPrintable(QString::number(at)));
        }
        if (!units.isEmpty())
            QVERIFY2(took >= seconds * 1000 - 1 && took < seconds * 1000 + 600, qPrintable(QString::number(took)));
        else
            QVERIFY(took < 500);
    }

    void typingStoppedLeavesTheRest()
    {
        SimFixture fx;
        Run run;
        {
            Background worker([&] { operations::typeText(run, QStringLiteral("abcdefghij"), 1.0); });
            sleepMs(250); // a, b, c are out by now
            run.requestStop();
            QVERIFY(worker.waitEnded(200));
        }
        const auto ev = fx.sim->syntheticEvents();
        QVERIFY2(ev.size() >= 4 && ev.size() <= 8, qPrintable(QString::number(ev.size())));
        QCOMPARE(ev.size() % 2, size_t(0)); // every down has its up
    }

    void keyCondition_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QList<int>>("held");
        QTest::addColumn<bool>("matches");
        QTest::newRow("ctrl+g") << "71,2" << QList<int>{162, 71} << true;
        QTest::newRow("ctrl+g, generic ctrl") << "71,2" << QList<int>{17, 71} << true;
        QTest::newRow("g alone") << "71,2" << QList<int>{71} << false;
        QTest::newRow("extra shift") << "71,2" << QList<int>{162, 160, 71} << false;
        QTest::newRow("lone key with a modifier held") << "71,0" << QList<int>{164, 71} << false;
        QTest::newRow("left ctrl alone") << "162,0" << QList<int>{162} << true;
        QTest::newRow("left ctrl with shift") << "162,0" << QList<int>{160, 162} << false;
        QTest::newRow("right alt with its mask bit") << "165,1" << QList<int>{165} << true;
    }
    void keyCondition()
    {
        QFETCH(QString, code);
        QFETCH(QList<int>, held);
        QFETCH(bool, matches);
        SimFixture fx;
        Run run;
        Background wait([&] { conditions::waitForKeyCombination(run, code); });
        sleepMs(60);
        for (int k : held)
            fx.sim->pressKey(k);
        sleepMs(150);
        // Never while the key is still down: the page moves on at the release.
        QVERIFY(!wait.ended());
        const auto released = Clock::now();
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            fx.sim->releaseKey(*it);
        if (matches) {
            QVERIFY(wait.waitEnded(300));
            QVERIFY(msBetween(released, wait.endedAt()) < 700);
        } else {
            QVERIFY(!wait.waitEnded(150));
            run.requestStop();
            QVERIFY(wait.waitEnded(200));
        }
    }

    void keyConditionWithoutKeyDoesNotWait_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("empty") << "";
        QTest::newRow("none") << "なし";
        QTest::newRow("not a number") << "G,2";
        QTest::newRow("zero") << "0,2";
    }
    void keyConditionWithoutKeyDoesNotWait()
    {
        QFETCH(QString, code);
        SimFixture fx;
        Run run;
        const auto t0 = Clock::now();
        conditions::waitForKeyCombination(run, code);
        QVERIFY(msBetween(t0, Clock::now()) < 500);
    }

    void keyConditionReleaseFirst()
    {
        // The page's own Key operation still holds G: that press does not
        // count; G must be let go and pressed afresh.
        SimFixture fx;
        Run run;
        fx.sim->key(71, true);
        Background wait([&] { conditions::waitForKeyCombination(run, QStringLiteral("71,0")); });
        sleepMs(100);
        QVERIFY(!wait.ended());
        fx.sim->key(71, false);
        sleepMs(150);
        QVERIFY(!wait.ended());
        fx.sim->pressKey(71);
        sleepMs(100);
        QVERIFY(!wait.ended());
        fx.sim->releaseKey(71);
        QVERIFY(wait.waitEnded(300));
    }

    void clickCondition_data()
    {
        QTest::addColumn<QString>("side");
        QTest::addColumn<int>("held"); // -1 none, 0 left, 1 right
        QTest::addColumn<bool>("passes");
        QTest::newRow("left already held") << "左" << 0 << true;
        QTest::newRow("anything but right means left") << "Left" << 0 << true;
        QTest::newRow("right already held") << "右" << 1 << true;
        QTest::newRow("right wanted, left held") << "右" << 0 << false;
        QTest::newRow("nothing held") << "左" << -1 << false;
    }
    void clickCondition()
    {
        QFETCH(QString, side);
        QFETCH(int, held);
        QFETCH(bool, passes);
        SimFixture fx;
        if (held >= 0)
            fx.sim->pressButton(held ? platform::MouseButton::Right : platform::MouseButton::Left);
        Run run;
        Background wait([&] { conditions::waitForClick(run, side == QStringLiteral("右")); });
        QCOMPARE(wait.waitEnded(150), passes);
        if (!passes) {
            fx.sim->pressButton(side == QStringLiteral("右") ? platform::MouseButton::Right : platform::MouseButton::Left);
            QVERIFY(wait.waitEnded(200));
        }
    }

    void clockTime_data()
    {
        QTest::addColumn<int>("minutesFromNow");
        QTest::addColumn<bool>("passes");
        QTest::newRow("this minute") << 0 << true;
        QTest::newRow("the minute just past") << -1 << false;
        QTest::newRow("hour 24 never comes") << 24 * 60 << false;
    }
    void clockTime()
    {
        QFETCH(int, minutesFromNow);
        QFETCH(bool, passes);
        SimFixture fx;
        // Keep clear of a minute boundary during the check.
        while (QTime::currentTime().second() >= 58)
            QTest::qWait(200);
        const QTime now = QTime::currentTime();
        int hour = now.hour();
        int minute = now.minute();
        if (minutesFromNow == 24 * 60) {
            hour = 24;
        } else if (minutesFromNow != 0) {
            const QTime t = now.addSecs(minutesFromNow * 60);
            hour = t.hour();
            minute = t.minute();
        }
        Run run;
        Background wait([&] { conditions::waitForClockTime(run, hour, minute); });
        QCOMPARE(wait.waitEnded(150), passes);
        if (!passes) {
            const auto stopAt = Clock::now();
            run.requestStop();
            QVERIFY(wait.waitEnded(200));
            QVERIFY(msBetween(stopAt, wait.endedAt()) < 600);
        }
    }

    void interruptibleWait_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("minMs");
        QTest::addColumn<double>("maxMs");
        QTest::newRow("0.3 s") << 0.3 << 299.0 << 1000.0;
        QTest::newRow("12 ms, below two slices") << 0.012 << 11.0 << 600.0;
        QTest::newRow("zero") << 0.0 << 0.0 << 500.0;
        QTest::newRow("negative") << -3.0 << 0.0 << 500.0;
        QTest::newRow("not a number") << std::nan("") << 0.0 << 500.0;
    }
    void interruptibleWait()
    {
        QFETCH(double, seconds);
        QFETCH(double, minMs);
        QFETCH(double, maxMs);
        Run run;
        const auto t0 = Clock::now();
        QVERIFY(run.interruptibleWait(seconds)); // nobody stopped it
        const double took = msBetween(t0, Clock::now());
        QVERIFY2(took >= minMs && took < maxMs, qPrintable(QString::number(took)));
    }

    // Every wait of a run says whether it was cut short by a stop, which
    // the polling conditions use to give up at once.
    void interruptibleWaitSaysItWasStopped_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("long wait") << 60.0;
        QTest::newRow("zero") << 0.0;
    }
    void interruptibleWaitSaysItWasStopped()
    {
        QFETCH(double, seconds);
        Run run;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            run.requestStop();
        });
        if (seconds > 0)
            QVERIFY(!run.interruptibleWait(seconds));
        stopper.join();
        QVERIFY(!run.interruptibleWait(seconds)); // already stopped: no wait at all
    }
};

QTEST_MAIN(TestRunOperations)
#include "tst_run_operations.moc"
