// From what the person does to pages, rule by rule: the simulated person
// acts on a clock the test moves by hand, the recorder observes it through
// the desktop seam until the stop combination, and the pages it makes are
// compared with the expected ones.

#include "record/recorder.h"
#include "run/run.h"
#include "support/simfixture.h"

#include <QtTest>

using platform::MouseButton;
using Options = RecordMapping::Options;

namespace {

// The stop combination of every row: Ctrl+Alt+S.
constexpr int kStopVk = 83;
constexpr int kStopMask = 3;

/// Plays a script: "move X,Y", "wait MS", "press left|right",
/// "release left|right", "down VK", "up VK", "tap VK" (down and up),
/// "wheel N", "stop" (Ctrl+Alt+S), separated by " / ".
void play(platform::SimDesktop &sim, const QString &script)
{
    for (const QString &step : script.split(QStringLiteral(" / "), Qt::SkipEmptyParts)) {
        const QStringList w = step.split(QLatin1Char(' '));
        const QString &verb = w[0];
        const QString arg = w.value(1);
        if (verb == QLatin1String("move")) {
            sim.movePointer(arg.section(QLatin1Char(','), 0, 0).toInt(), arg.section(QLatin1Char(','), 1, 1).toInt());
        } else if (verb == QLatin1String("wait")) {
            sim.advanceClock(std::chrono::milliseconds(arg.toInt()));
        } else if (verb == QLatin1String("press") || verb == QLatin1String("release")) {
            const MouseButton b = arg == QLatin1String("left") ? MouseButton::Left : MouseButton::Right;
            verb == QLatin1String("press") ? sim.pressButton(b) : sim.releaseButton(b);
        } else if (verb == QLatin1String("down")) {
            sim.pressKey(arg.toInt());
        } else if (verb == QLatin1String("up")) {
            sim.releaseKey(arg.toInt());
        } else if (verb == QLatin1String("tap")) {
            sim.pressKey(arg.toInt());
            sim.releaseKey(arg.toInt());
        } else if (verb == QLatin1String("wheel")) {
            sim.turnWheel(arg.toInt());
        } else if (verb == QLatin1String("stop")) {
            sim.pressKey(162);
            sim.pressKey(164);
            sim.pressKey(kStopVk);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
}

/// One page as "command fields | condition fields", fields joined by ";".
QStringList describe(const RecordMapping::Pages &pages)
{
    QStringList out;
    for (int i = 0; i < pages.count(); ++i)
        out << pages.commands[i].join(QLatin1Char(';')) + QStringLiteral(" | ") + pages.conditions[i].join(QLatin1Char(';'));
    return out;
}

// Counts the recorder's stop signal in this thread. The signal comes from
// the observer's thread; like the recording session, the count takes it
// queued (a QSignalSpy would append from that thread while the test reads).
struct StopCount : QObject {
    explicit StopCount(Recorder &recorder)
    {
        connect(&recorder, &Recorder::stopCombinationPressed, this, [this] { ++count; }, Qt::QueuedConnection);
    }
    int count = 0;
};

} // namespace

class TestRecordMapping : public QObject {
    Q_OBJECT

private slots:
    void personBecomesPages_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("switches"); // 1 glides, 2 join text, 4 keep pauses
        QTest::addColumn<QStringList>("expected");
        const int all = 7;

        QTest::newRow("a click at one point")
            << "move 100,200 / wait 300 / press left / wait 120 / release left / wait 1000 / stop" << all
            << QStringList{"マウスポインター;100;200 | 時間;0.3", "マウスポインター;100;200 | 即時",
                           "クリック;左;0.12 | 時間;1.12"};
        QTest::newRow("a right-button hold")
            << "press right / wait 500 / release right / wait 200 / stop" << all
            << QStringList{"マウスポインター;0;0 | 即時", "クリック;右;0.5 | 時間;0.7"};
        QTest::newRow("travel glides for as long as it took")
            << "move 10,10 / wait 100 / move 50,50 / wait 100 / move 100,100 / wait 400 / stop" << all
            << QStringList{"スムーズムーブ;100;100;0.2 | 時間;0.6"};
        QTest::newRow("travel jumps when glides are off, when it ends")
            << "move 10,10 / wait 100 / move 50,50 / wait 100 / move 100,100 / wait 400 / stop" << 6
            << QStringList{"マウスポインター;100;100 | 時間;0.4"};
        QTest::newRow("travel back to where it was is no move")
            << "move 40,40 / wait 100 / tap 112 / move 41,40 / wait 20 / move 40,40 / wait 100 / tap 113 / stop" << all
            << QStringList{"マウスポインター;40;40 | 時間;0.1", "キー;112,0;0 | 時間;0.12", "キー;113,0;0 | 即時"};
        QTest::newRow("a drag holds the button through the travel")
            << "move 10,10 / wait 100 / press left / wait 100 / move 60,10 / wait 100 / move 90,10 / wait 50 / release left / stop" << all
            << QStringList{"マウスポインター;10;10 | 時間;0.1", "マウスポインター;10;10 | 即時",
                           "クリック;左;0.25 | 時間;0.1", "スムーズムーブ;90;10;0.1 | 時間;0.15"};
        QTest::newRow("typed characters with Shift are one text")
            << "down 160 / tap 72 / up 160 / wait 100 / tap 69 / wait 100 / tap 76 / wait 100 / tap 76 / wait 100 / tap 79 / wait 100 / tap 188 / wait 500 / stop" << all
            << QStringList{"入力;Hello,;0.6 | 時間;1"};
        QTest::newRow("Enter and Tab are typed when joined")
            << "tap 65 / wait 100 / tap 13 / wait 100 / tap 9 / wait 100 / tap 66 / stop" << all
            << QStringList{"入力;a\n\tb;0.4 | 時間;0.3"};
        QTest::newRow("not joined, every key is a Key page")
            << "tap 65 / wait 100 / down 160 / tap 66 / up 160 / wait 100 / tap 13 / wait 100 / stop" << 5
            << QStringList{"キー;65,0;0 | 時間;0.1", "キー;66,4;0 | 時間;0.1", "キー;13,0;0 | 時間;0.1"};
        QTest::newRow("a combination with the time it was held")
            << "down 162 / wait 50 / down 83 / wait 80 / up 83 / up 162 / wait 300 / stop" << all
            << QStringList{"キー;83,2;0.08 | 時間;0.38"};
        QTest::newRow("keys that type nothing break the text")
            << "tap 65 / wait 60 / down 116 / wait 100 / up 116 / tap 66 / wait 200 / down 27 / wait 40 / up 27 / stop" << all
            << QStringList{"入力;a;0.001 | 時間;0.06", "キー;116,0;0.1 | 時間;0.1", "入力;b;0.001 | 時間;0.2",
                           "キー;27,0;0.04 | 即時"};
        QTest::newRow("Ctrl with a letter is not text")
            << "tap 65 / wait 100 / down 163 / tap 67 / up 163 / wait 100 / tap 66 / stop" << all
            << QStringList{"入力;a;0.001 | 時間;0.1", "キー;67,2;0 | 時間;0.1", "入力;b;0.001 | 即時"};
        QTest::newRow("a modifier on its own is a key held as long")
            << "down 160 / wait 200 / up 160 / wait 100 / down 162 / wait 50 / press left / release left / wait 50 / up 162 / stop" << all
            << QStringList{"キー;160,0;0.2 | 時間;0.3", "キー;162,0;0.1 | 時間;0.05",
                           "マウスポインター;0;0 | 即時", "クリック;左;0 | 時間;0.05"};
        QTest::newRow("a pause shorter than 0.05 s is dropped")
            << "tap 112 / wait 49 / tap 113 / wait 50 / tap 114 / stop" << all
            << QStringList{"キー;112,0;0 | 即時", "キー;113,0;0 | 時間;0.05", "キー;114,0;0 | 即時"};
        QTest::newRow("without pauses, what takes time is waited for")
            << "move 5,5 / wait 300 / press left / wait 100 / release left / wait 300 / tap 112 / wait 500 / stop" << 3
            << QStringList{"マウスポインター;5;5 | 即時", "マウスポインター;5;5 | 即時", "クリック;左;0.1 | 終わるまで待つ;0",
                           "キー;112,0;0 | 終わるまで待つ;0"};
        QTest::newRow("the stop combination is never recorded")
            << "tap 112 / wait 100 / stop" << all << QStringList{"キー;112,0;0 | 時間;0.1"};
        QTest::newRow("a modifier used before the stop stays")
            << "down 162 / tap 83 / wait 200 / down 164 / down 83" << all << QStringList{"キー;83,2;0 | 時間;0.2"};
        QTest::newRow("nothing done, nothing recorded") << "wait 500 / stop" << all << QStringList{};
        QTest::newRow("a key held when the recording ends is held until then")
            << "down 112 / wait 300 / stop" << all << QStringList{"キー;112,0;0.3 | 時間;0.3"};
        QTest::newRow("a key let go after the start only") << "up 65 / release left / wait 10 / stop" << all << QStringList{};
        QTest::newRow("notches close together are one turn")
            << "move 30,40 / wait 100 / wheel 1 / wait 20 / wheel 1 / wait 49 / wheel 1 / wait 300 / stop" << all
            << QStringList{"マウスポインター;30;40 | 時間;0.1", "ホイール;上;3 | 時間;0.369"};
        QTest::newRow("a kept pause between notches makes two turns")
            << "wheel -1 / wait 50 / wheel -2 / wait 100 / stop" << all
            << QStringList{"ホイール;下;1 | 時間;0.05", "ホイール;下;2 | 時間;0.1"};
        QTest::newRow("turning back is a turn of its own")
            << "wheel 1 / wait 10 / wheel 1 / wait 10 / wheel -1 / wait 200 / stop" << all
            << QStringList{"ホイール;上;2 | 即時", "ホイール;下;1 | 時間;0.2"};
        QTest::newRow("a click or a key between notches ends the turn")
            << "wheel -1 / wait 10 / press left / release left / wait 10 / wheel -1 / wait 10 / tap 112 / wait 10 / wheel -1 / stop"
            << all
            << QStringList{"ホイール;下;1 | 即時", "マウスポインター;0;0 | 即時", "クリック;左;0 | 即時",
                           "ホイール;下;1 | 即時", "キー;112,0;0 | 即時", "ホイール;下;1 | 即時"};
        QTest::newRow("travel before a turn lands first")
            << "move 10,10 / wait 100 / move 200,100 / wait 30 / wheel 1 / wait 60 / move 210,100 / wait 100 / move 220,100 / wait 100 / stop"
            << all
            << QStringList{"スムーズムーブ;200;100;0.1 | 時間;0.13", "ホイール;上;1 | 時間;0.06",
                           "スムーズムーブ;220;100;0.1 | 時間;0.2"};
        QTest::newRow("typing around a turn")
            << "tap 65 / wait 60 / wheel -3 / wait 60 / tap 66 / stop" << all
            << QStringList{"入力;a;0.001 | 時間;0.06", "ホイール;下;3 | 時間;0.06", "入力;b;0.001 | 即時"};
        QTest::newRow("Ctrl held through a turn is a key held as long")
            << "down 162 / wait 100 / wheel 1 / wait 100 / up 162 / stop" << all
            << QStringList{"キー;162,0;0.2 | 時間;0.1", "ホイール;上;1 | 時間;0.1"};
        QTest::newRow("without pauses a turn moves on at once")
            << "wheel 2 / wait 300 / wheel -1 / wait 300 / stop" << 3
            << QStringList{"ホイール;上;2 | 即時", "ホイール;下;1 | 即時"};
        QTest::newRow("more notches than a page turns take more pages")
            << "wheel 60 / wait 10 / wheel 60 / wait 10 / wheel 5 / wait 100 / stop" << all
            << QStringList{"ホイール;上;100 | 即時", "ホイール;上;25 | 時間;0.12"};
        QTest::newRow("a held letter types again and again")
            << "down 65 / wait 50 / down 65 / wait 50 / down 65 / up 65 / stop" << all << QStringList{"入力;aaa;0.15 | 時間;0.1"};
    }

    void personBecomesPages()
    {
        QFETCH(QString, script);
        QFETCH(int, switches);
        QFETCH(QStringList, expected);
        SimFixture f;
        f.sim->useManualClock();
        Recorder recorder;
        StopCount stopped(recorder);
        QVERIFY(recorder.start(kStopVk, kStopMask));
        play(*f.sim, script);
        QTRY_COMPARE(stopped.count, 1);
        recorder.stop();
        QVERIFY(recorder.stopPressed());
        Options options;
        options.glides = switches & 1;
        options.joinText = switches & 2;
        options.keepPauses = switches & 4;
        QCOMPARE(describe(recorder.pages(options)), expected);
    }

    // The stop combination of the row matches as the run's stop watcher
    // matches: modifiers exactly, a generic modifier code for either side.
    void stopCombinationMatchesLikeTheRun_data()
    {
        QTest::addColumn<int>("stopVk");
        QTest::addColumn<int>("stopMask");
        QTest::addColumn<QList<int>>("presses");
        QTest::addColumn<bool>("stops");
        QTest::newRow("Ctrl+Alt+S") << 83 << 3 << QList<int>{163, 165, 83} << true;
        QTest::newRow("Ctrl+Alt+Shift+S is not it") << 83 << 3 << QList<int>{162, 164, 160, 83} << false;
        QTest::newRow("S alone is not it") << 83 << 3 << QList<int>{83} << false;
        QTest::newRow("F9 alone") << 120 << 0 << QList<int>{120} << true;
        QTest::newRow("F9 with Ctrl is not it") << 120 << 0 << QList<int>{162, 120} << false;
        QTest::newRow("left Ctrl alone") << 162 << 0 << QList<int>{162} << true;
        QTest::newRow("generic Ctrl, right side") << 17 << 0 << QList<int>{163} << true;
        QTest::newRow("right Ctrl is not left Ctrl") << 162 << 0 << QList<int>{163} << false;
    }

    void stopCombinationMatchesLikeTheRun()
    {
        QFETCH(int, stopVk);
        QFETCH(int, stopMask);
        QFETCH(QList<int>, presses);
        QFETCH(bool, stops);
        SimFixture f;
        Recorder recorder;
        StopCount stopped(recorder);
        QVERIFY(recorder.start(stopVk, stopMask));
        for (int vk : presses)
            f.sim->pressKey(vk);
        f.sim->settleObservers();
        QCoreApplication::processEvents();
        QCOMPARE(recorder.stopPressed(), stops);
        QTRY_COMPARE(stopped.count, stops ? 1 : 0);
        // Nothing of the stop combination is in the recording; anything else is.
        const auto events = recorder.events();
        QCOMPARE(int(events.size()), stops ? 0 : int(presses.size()));
    }

    void nothingIsRecordedWhileARunPlays()
    {
        SimFixture f;
        Recorder recorder;
        {
            Run run;
            QVERIFY(!recorder.start(kStopVk, kStopMask)); // a run exists: no recording
            QVERIFY(!recorder.isRecording());
        }
        QVERIFY(recorder.start(kStopVk, kStopMask));
        f.sim->movePointer(10, 10);
        f.sim->settleObservers();
        {
            Run run; // a run plays: its input is not the person's
            f.sim->key(112, true);
            f.sim->key(112, false);
            f.sim->settleObservers();
        }
        f.sim->movePointer(20, 20);
        f.sim->settleObservers();
        recorder.stop();
        QCOMPARE(int(recorder.events().size()), 2);
        QCOMPARE(recorder.events()[1].pos, (platform::Point{20, 20}));
    }

    void stoppingEndsTheObserverOnEveryPath()
    {
        SimFixture f;
        {
            Recorder recorder;
            QVERIFY(recorder.start(kStopVk, kStopMask));
            QCOMPARE(f.sim->observerCount(), 1);
            QVERIFY(!recorder.start(kStopVk, kStopMask)); // one recording at a time
            recorder.stop();
            QCOMPARE(f.sim->observerCount(), 0);
            recorder.stop(); // again: nothing happens
            f.sim->pressKey(65);
            f.sim->releaseKey(65);
            QVERIFY(recorder.events().empty());
            QVERIFY(recorder.start(kStopVk, kStopMask)); // and again
            QCOMPARE(f.sim->observerCount(), 1);
        } // destroyed while recording
        QCOMPARE(f.sim->observerCount(), 0);
    }
};

QTEST_MAIN(TestRecordMapping)
#include "tst_recordmapping.moc"
