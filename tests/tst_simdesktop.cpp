#include "platform/desktop_sim.h"

#include <QtTest>

using platform::MouseButton;
using platform::SimDesktop;

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
};

QTEST_APPLESS_MAIN(TestSimDesktop)
#include "tst_simdesktop.moc"
