#include "input/keycombination.h"
#include "record/keycapture.h"
#include "support/simfixture.h"

#include <QtTest>

#include <memory>

// The hook procedure driven by the simulated person at the keyboard: the sim
// desktop calls installed hooks first, exactly as a system-wide hook sees
// physical keys.
class TestKeyCapture : public QObject {
    Q_OBJECT

    static QString result(const KeyCapture &capture)
    {
        if (capture.capturedKey() == 0)
            return QString();
        return KeyCombination::format(capture.capturedKey(),
                                      KeyCombination::maskFromHookBits(capture.capturedModifiers()));
    }

private slots:
    void init() { fixture = std::make_unique<SimFixture>(); }
    void cleanup() { fixture.reset(); }

    void captures_data()
    {
        QTest::addColumn<QString>("before"); // keys the person holds before arming
        QTest::addColumn<QString>("during");
        QTest::addColumn<QString>("code");   // empty: nothing captured
        QTest::newRow("Ctrl+Alt+G") << "" << "+162 +164 +71 -71 -164 -162" << "71,3";
        QTest::newRow("right Ctrl+right Alt+G") << "" << "+163 +165 +71" << "71,3";
        QTest::newRow("left Ctrl alone") << "" << "+162 -162" << "162,0";
        QTest::newRow("right Ctrl alone") << "" << "+163 -163" << "163,0";
        QTest::newRow("Alt alone") << "" << "+164 -164" << "164,0";
        QTest::newRow("generic Shift alone") << "" << "+16 -16" << "16,0";
        QTest::newRow("Win alone") << "" << "+91 -91" << "91,0";
        QTest::newRow("Shift held before, then A") << "+160" << "+65 -65" << "65,4";
        QTest::newRow("Ctrl+Alt held before, then G") << "+162 +164" << "+71" << "71,3";
        QTest::newRow("Ctrl+Shift, Shift released first") << "" << "+162 +160 -160 -162" << "162,0";
        QTest::newRow("Ctrl+Shift, Ctrl released first") << "" << "+162 +160 -162 -160" << "160,0";
        QTest::newRow("Ctrl+Shift held, nothing released") << "" << "+162 +160" << "";
        QTest::newRow("Ctrl+Shift+F5") << "" << "+162 +160 +116 -116 -160 -162" << "116,6";
        QTest::newRow("Win+E") << "" << "+91 +69" << "69,8";
        QTest::newRow("all four + Enter") << "" << "+162 +164 +160 +92 +13" << "13,15";
        QTest::newRow("plain key") << "" << "+65 -65" << "65,0";
        QTest::newRow("later key overwrites") << "" << "+65 +66" << "66,0";
        QTest::newRow("modifier released after the key keeps the key") << "" << "+162 +71 -71 -162" << "71,2";
        QTest::newRow("held modifier released alone: not seen going down") << "+160" << "-160" << "";
        QTest::newRow("key-up of a plain key alone") << "+65" << "-65" << "";
    }
    void captures()
    {
        QFETCH(QString, before);
        QFETCH(QString, during);
        QFETCH(QString, code);
        auto &sim = *fixture->sim;
        playKeys(sim, before);
        KeyCapture capture;
        capture.arm();
        QVERIFY(capture.install());
        playKeys(sim, during);
        QCOMPARE(result(capture), code);
    }

    void swallowsOnlyWhileArmed_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("letter") << "+65 -65";
        QTest::newRow("Ctrl+Alt+G") << "+162 +164 +71 -71 -164 -162";
        QTest::newRow("Shift alone") << "+160 -160";
    }
    void swallowsOnlyWhileArmed()
    {
        QFETCH(QString, script);
        auto &sim = *fixture->sim;
        KeyCapture capture;
        capture.arm();
        QVERIFY(capture.install());
        QVERIFY(sim.keyboardCaptured());
        playKeys(sim, script);
        QVERIFY2(sim.delivered().empty(), "a keystroke reached the focused window during capture");

        capture.disarm();
        QVERIFY(!sim.keyboardCaptured());
        QVERIFY(capture.isInstalled());
        const int capturedBefore = capture.capturedKey();
        sim.clearEvents();
        playKeys(sim, script);
        QCOMPARE(int(sim.delivered().size()), int(script.split(' ').size()));
        QCOMPARE(capture.capturedKey(), capturedBefore); // a disarmed hook reports nothing
        QCOMPARE(capture.heldModifiers(), 0);
    }

    void armClearsThePreviousCapture()
    {
        auto &sim = *fixture->sim;
        KeyCapture capture;
        capture.arm();
        QVERIFY(capture.install());
        playKeys(sim, "+162 +71");
        QCOMPARE(result(capture), QString("71,2"));
        capture.disarm();
        capture.arm();
        QCOMPARE(capture.capturedKey(), 0);
        QCOMPARE(capture.capturedModifiers(), 0);
        QCOMPARE(capture.heldModifiers(), 0);
        QVERIFY(sim.keyboardCaptured()); // re-arming an installed hook makes it want the keyboard again
        playKeys(sim, "-71 -162 +65");
        QCOMPARE(result(capture), QString("65,0"));
    }

    void installIsReusedAndRemoveIsSafe()
    {
        auto &sim = *fixture->sim;
        KeyCapture capture;
        QVERIFY(!capture.remove());
        QVERIFY(capture.install());
        QVERIFY(capture.install());
        QCOMPARE(sim.hookCount(), 1);
        QVERIFY(capture.remove());
        QCOMPARE(sim.hookCount(), 0);
        QVERIFY(!capture.remove());
        QVERIFY(!sim.keyboardCaptured());
    }

    void installFailure()
    {
        auto &sim = *fixture->sim;
        sim.setHookInstallFails(true, 1428);
        KeyCapture capture;
        capture.arm();
        QVERIFY(!capture.install());
        QVERIFY(!capture.isInstalled());
        QCOMPARE(sim.hookCount(), 0);
        capture.disarm();
        QVERIFY(!sim.pressKey(65)); // nothing is swallowed
        sim.setHookInstallFails(false);
        QVERIFY(capture.install()); // a later attempt may succeed
    }

    void destructionFreesTheKeyboard_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("armed");
        QTest::newRow("armed and installed") << true << true;
        QTest::newRow("installed, disarmed") << true << false;
        QTest::newRow("armed, never installed") << false << true;
    }
    void destructionFreesTheKeyboard()
    {
        QFETCH(bool, installed);
        QFETCH(bool, armed);
        auto &sim = *fixture->sim;
        {
            KeyCapture capture;
            if (armed)
                capture.arm();
            if (installed)
                QVERIFY(capture.install());
            if (!armed)
                capture.disarm();
        }
        QCOMPARE(sim.hookCount(), 0);
        QVERIFY(!sim.keyboardCaptured());
        QVERIFY(!sim.pressKey(65));
        QCOMPARE(int(sim.delivered().size()), 1);
    }

    void twoInstancesAreIndependent()
    {
        auto &sim = *fixture->sim;
        KeyCapture editor;
        KeyCapture dialog;
        QVERIFY(editor.install());
        QVERIFY(dialog.install());
        dialog.disarm();
        editor.arm();
        playKeys(sim, "+162 +71");
        QCOMPARE(result(editor), QString("71,2"));
        QCOMPARE(dialog.capturedKey(), 0);
        QCOMPARE(dialog.heldModifiers(), 0);
    }

    void snapshotReadsGenericAndSideCodes_data()
    {
        QTest::addColumn<QString>("held");
        QTest::addColumn<int>("bits");
        QTest::newRow("none") << "" << 0;
        QTest::newRow("left Ctrl") << "+162" << int(KeyCapture::HookCtrl);
        QTest::newRow("generic Ctrl") << "+17" << int(KeyCapture::HookCtrl);
        QTest::newRow("right Alt") << "+165" << int(KeyCapture::HookAlt);
        QTest::newRow("right Shift") << "+161" << int(KeyCapture::HookShift);
        QTest::newRow("right Win") << "+92" << int(KeyCapture::HookWin);
        QTest::newRow("all") << "+163 +18 +16 +91" << 15;
        QTest::newRow("a letter is no modifier") << "+65" << 0;
    }
    void snapshotReadsGenericAndSideCodes()
    {
        QFETCH(QString, held);
        QFETCH(int, bits);
        playKeys(*fixture->sim, held);
        QCOMPARE(KeyCapture::modifierSnapshot(), bits);
    }

private:
    std::unique_ptr<SimFixture> fixture;
};

QTEST_GUILESS_MAIN(TestKeyCapture)
#include "tst_keycapture.moc"
