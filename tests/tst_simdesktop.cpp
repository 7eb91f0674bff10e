#include "platform/desktop_sim.h"

#include <QtTest>

#include <mutex>
#include <thread>

using platform::MouseButton;
using platform::SimDesktop;
using platform::InputEvent;
using Kind = platform::InputEvent::Kind;

namespace {

struct Seen {
    std::mutex mutex;
    std::vector<InputEvent> events;
    std::vector<std::thread::id> threads;
    platform::InputObserver observer()
    {
        return [this](const InputEvent &e) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(e);
            threads.push_back(std::this_thread::get_id());
        };
    }
    QStringList lines()
    {
        std::lock_guard<std::mutex> lock(mutex);
        QStringList out;
        for (const InputEvent &e : events) {
            switch (e.kind) {
            case Kind::KeyDown:
                out << QStringLiteral("v%1 %2%3").arg(e.vk).arg(uint(e.character)).arg(e.repeat ? " repeat" : "");
                break;
            case Kind::KeyUp: out << QStringLiteral("^%1").arg(e.vk); break;
            case Kind::ButtonDown: out << QStringLiteral("press %1 %2,%3").arg(int(e.button)).arg(e.pos.x).arg(e.pos.y); break;
            case Kind::ButtonUp: out << QStringLiteral("release %1").arg(int(e.button)); break;
            case Kind::Motion: out << QStringLiteral("move %1,%2").arg(e.pos.x).arg(e.pos.y); break;
            case Kind::Wheel: out << QStringLiteral("wheel %1").arg(e.wheel); break;
            }
        }
        return out;
    }
};

} // namespace

class TestSimDesktop : public QObject {
    Q_OBJECT
private slots:
    void hookSeesPersonFirstAndMaySwallow()
    {
        SimDesktop sim;
        std::vector<std::pair<int, bool>> seen;
        bool swallow = true;
        const int h = sim.installKeyboardHook([&](int vk, bool down) {
            seen.emplace_back(vk, down);
            return swallow;
        });
        QVERIFY(h > 0);
        QVERIFY(sim.keyboardCaptured());
        sim.setKeyboardHookActive(h, false);
        QVERIFY(!sim.keyboardCaptured());
        sim.setKeyboardHookActive(h, true);
        QVERIFY(sim.pressKey(65));
        QVERIFY(!sim.isKeyDown(65)); // swallowed: the key state does not change
        QVERIFY(sim.delivered().empty());
        swallow = false;
        QVERIFY(!sim.pressKey(66));
        QVERIFY(sim.isKeyDown(66));
        sim.releaseKey(66);
        QCOMPARE(int(seen.size()), 3);
        QVERIFY(sim.removeKeyboardHook(h));
        QVERIFY(!sim.removeKeyboardHook(h));
        QVERIFY(!sim.keyboardCaptured());
        QCOMPARE(sim.hookCount(), 0);
    }

    void hookInstallFailure()
    {
        SimDesktop sim;
        sim.setHookInstallFails(true, 1428);
        QCOMPARE(sim.installKeyboardHook([](int, bool) { return false; }), 0);
        QCOMPARE(sim.lastError(), 1428ul);
    }

    void hotKeyFiresOnceRegistered()
    {
        SimDesktop sim;
        QList<int> fired;
        sim.setHotKeyListener([&](int id) { fired << id; });
        sim.tapCombination({17, 18, 71});
        QVERIFY(fired.isEmpty()); // not registered: nothing fires
        QVERIFY(sim.registerHotKey(1001, 3, 71));
        QVERIFY(!sim.registerHotKey(7, 3, 71)); // one owner per combination
        sim.tapCombination({162, 164, 71});
        QCOMPARE(fired, QList<int>{1001});
        sim.tapCombination({162, 164, 160, 71}); // extra Shift: not the hot key
        QCOMPARE(fired.size(), 1);
        sim.setHotKeyRegistrationFails(true);
        QVERIFY(!sim.registerHotKey(5, 2, 65));
    }

    void syntheticInputIsLoggedInOrder()
    {
        SimDesktop sim;
        sim.mouseButton(MouseButton::Left, true);
        QVERIFY(sim.isKeyDown(platform::vk::LButton));
        sim.mouseButton(MouseButton::Left, false);
        sim.setCursorPos(-5, 7);
        QCOMPARE(sim.cursorPos(), (platform::Point{-5, 7}));
        sim.key(17, true);
        sim.unicodeUnit(u'あ', true);
        sim.key(17, false);
        const auto ev = sim.syntheticEvents();
        QCOMPARE(int(ev.size()), 6);
        QCOMPARE(ev[0].kind, SimDesktop::Event::ButtonDown);
        QCOMPARE(ev[2].kind, SimDesktop::Event::Move);
        QCOMPARE(ev[2].a, -5);
        QCOMPARE(ev[4].kind, SimDesktop::Event::CharDown);
        QCOMPARE(ev[4].a, int(u'あ'));
        for (size_t i = 1; i < ev.size(); ++i)
            QVERIFY(ev[i - 1].time <= ev[i].time);
        QVERIFY(sim.keysDown().empty());
    }

    void observerSeesPersonAndProgramOnItsOwnThread()
    {
        SimDesktop sim;
        Seen seen;
        const int handle = sim.startInputObserver(seen.observer(), platform::observe::All);
        QVERIFY(handle > 0);
        // A hook that swallows keys does not hide them from the observer.
        const int hook = sim.installKeyboardHook([](int, bool) { return true; });
        sim.movePointer(5, 6);
        sim.movePointer(5, 6); // not moved: nothing to tell
        sim.pressButton(MouseButton::Right);
        sim.releaseButton(MouseButton::Right);
        sim.turnWheel(-2);
        QVERIFY(sim.pressKey(65));
        sim.releaseKey(65);
        sim.removeKeyboardHook(hook);
        sim.setCursorPos(7, 8);
        sim.key(160, true);
        sim.key(49, true);
        sim.key(49, true);
        sim.key(49, false);
        sim.key(160, false);
        sim.unicodeUnit(u'あ', true);
        sim.unicodeUnit(u'あ', false);
        sim.settleObservers();
        QCOMPARE(seen.lines(),
                 (QStringList{"move 5,6", "press 1 5,6", "release 1", "wheel -2", "v65 97", "^65", "move 7,8",
                              "v160 0", "v49 33", "v49 33 repeat", "^49", "^160", "v231 12354", "^231"}));
        for (const auto &id : seen.threads)
            QVERIFY(id != std::this_thread::get_id());
        QVERIFY(sim.stopInputObserver(handle));
        QVERIFY(!sim.stopInputObserver(handle));
        sim.pressKey(66);
        sim.settleObservers();
        QCOMPARE(seen.lines().size(), 14); // nothing after the stop
        QCOMPARE(sim.observerCount(), 0);
    }

    void observerIsToldOnlyWhatItAskedFor_data()
    {
        QTest::addColumn<int>("kinds");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("keys") << platform::observe::Keys << QStringList{"v90 122", "^90"};
        QTest::newRow("buttons and wheel") << platform::observe::Buttons << QStringList{"press 0 3,4", "release 0", "wheel 1"};
        QTest::newRow("motion") << platform::observe::Motion << QStringList{"move 3,4"};
    }

    void observerIsToldOnlyWhatItAskedFor()
    {
        QFETCH(int, kinds);
        QFETCH(QStringList, expected);
        SimDesktop sim;
        Seen seen;
        QVERIFY(sim.startInputObserver(seen.observer(), kinds) > 0);
        sim.movePointer(3, 4);
        sim.pressButton(MouseButton::Left);
        sim.releaseButton(MouseButton::Left);
        sim.turnWheel(1);
        sim.pressKey(90);
        sim.releaseKey(90);
        sim.settleObservers();
        QCOMPARE(seen.lines(), expected);
    }

    void usLayoutCharacters_data()
    {
        QTest::addColumn<QList<int>>("held");
        QTest::addColumn<int>("vk");
        QTest::addColumn<uint>("character");
        QTest::newRow("a") << QList<int>{} << 65 << uint('a');
        QTest::newRow("Shift a") << QList<int>{161} << 65 << uint('A');
        QTest::newRow("Caps Lock a") << QList<int>{20} << 65 << uint('A');
        QTest::newRow("Shift 2") << QList<int>{160} << 50 << uint('@');
        QTest::newRow("slash") << QList<int>{} << 0xBF << uint('/');
        QTest::newRow("Shift quote") << QList<int>{16} << 0xDE << uint('"');
        QTest::newRow("keypad 7") << QList<int>{} << 0x67 << uint('7');
        QTest::newRow("Enter") << QList<int>{} << 13 << uint('\r');
        QTest::newRow("F1") << QList<int>{} << 112 << 0u;
        QTest::newRow("Ctrl does not count") << QList<int>{162} << 83 << uint('s');
    }

    void usLayoutCharacters()
    {
        QFETCH(QList<int>, held);
        QFETCH(int, vk);
        QFETCH(uint, character);
        SimDesktop sim;
        for (int k : held) {
            sim.pressKey(k);
            if (k == 20)
                sim.releaseKey(k); // Caps Lock stays on once tapped
        }
        QCOMPARE(uint(sim.characterFor(vk)), character);
    }

    void manualClockStampsEvents()
    {
        SimDesktop sim;
        Seen seen;
        sim.startInputObserver(seen.observer(), platform::observe::All);
        const auto start = SimDesktop::Clock::now() - std::chrono::hours(1);
        sim.useManualClock(start);
        sim.pressKey(65);
        sim.advanceClock(std::chrono::milliseconds(250));
        sim.releaseKey(65);
        sim.settleObservers();
        std::lock_guard<std::mutex> lock(seen.mutex);
        QCOMPARE(int(seen.events.size()), 2);
        QVERIFY(seen.events[0].time == start);
        QVERIFY(seen.events[1].time - seen.events[0].time == std::chrono::milliseconds(250));
    }
};

QTEST_APPLESS_MAIN(TestSimDesktop)
#include "tst_simdesktop.moc"
