#include "gui/mainwindow/tervalo.h"
#include "gui/widgets/hoverhidewindow.h"
#include "gui/widgets/pictureselector.h"
#include "project/pagekinds.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {
// A sim desktop whose native events carry hot keys: a message equal to the
// address of `hotKeyMessage` is the registered hot key 1001.
class NativeSimDesktop : public platform::SimDesktop {
public:
    int hotKeyFromNativeEvent(const char *eventType, void *message) override
    {
        lastType = eventType;
        return message == &hotKeyMessage ? 1001 : 0;
    }
    int hotKeyMessage = 0;
    std::string lastType;
};

// The notice "press Ctrl+Alt+G" while one is on screen or about to be.
HoverHideWindow *notice()
{
    const QList<HoverHideWindow *> notices = windowparts::topLevels<HoverHideWindow>();
    return notices.size() == 1 ? notices.first() : nullptr;
}
int hoverWindowCount()
{
    return int(windowparts::topLevels<HoverHideWindow>().size());
}
} // namespace

class TestPointerCapture : public QObject {
    Q_OBJECT

    std::unique_ptr<tervalo> makeWindow(const CommandRecord &record)
    {
        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
        w->project().setCommands(RecordList{record});
        w->project().setConditions(RecordList{PageKinds::blankCondition()});
        w->project().setCurrentPage(1);
        w->renderPage();
        w->show();
        return w;
    }

private slots:
    void initTestCase()
    {
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }
    void init() { fixture = std::make_unique<SimFixture>(); }
    void cleanup()
    {
        QTRY_COMPARE(hoverWindowCount(), 0); // no notice outlives its test
        fixture.reset();
    }

    void hotKeyWritesThePointer_data()
    {
        QTest::addColumn<QStringList>("record");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("mouse pointer")
            << QStringList{"マウスポインター", "0", "0"} << 1920 << 540 << QStringList{"マウスポインター", "1920", "540"};
        QTest::newRow("mouse pointer with extra elements")
            << QStringList{"マウスポインター", "5", "6", "junk"} << 7 << 8 << QStringList{"マウスポインター", "7", "8"};
        QTest::newRow("monitor left of the primary")
            << QStringList{"マウスポインター", "0", "0"} << -1280 << 300 << QStringList{"マウスポインター", "-1280", "300"};
        QTest::newRow("smooth move keeps its other elements")
            << QStringList{"スムーズムーブ", "1", "2", "0.75"} << 640 << 480 << QStringList{"スムーズムーブ", "640", "480", "0.75"};
        QTest::newRow("short smooth move is extended, not overrun")
            << QStringList{"スムーズムーブ"} << 10 << 20 << QStringList{"スムーズムーブ", "10", "20"};
    }
    void hotKeyWritesThePointer()
    {
        QFETCH(QStringList, record);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QStringList, expected);
        auto &sim = *fixture->sim;
        auto w = makeWindow(record);
        w->getCoordinate();
        QVERIFY(notice());
        QVERIFY(notice()->isVisible());
        QVERIFY(!w->isVisible());
        QCOMPARE(sim.registeredHotKeys(), std::vector<int>{1001});

        sim.movePointer(x, y);
        sim.tapCombination({162, 164, 71});
        QCOMPARE(w->project().commands().first(), record); // queued: nothing yet inside the key press
        QTRY_COMPARE(w->project().commands().first(), expected);
        QVERIFY(w->isVisible());
        QTRY_COMPARE(hoverWindowCount(), 0);
        QVERIFY(sim.registeredHotKeys().empty());
        QVERIFY(!w->isHotkeyRegistered());

        // Afterwards Ctrl+Alt+G belongs to whichever program has the focus.
        sim.clearEvents();
        sim.tapCombination({162, 164, 71});
        QCOMPARE(int(sim.delivered().size()), 6);
        QTest::qWait(20);
        QCOMPARE(w->project().commands().first(), expected);
    }

    void getTwiceMakesOneNotice()
    {
        auto &sim = *fixture->sim;
        auto w = makeWindow({"マウスポインター", "0", "0"});
        w->getCoordinate();
        HoverHideWindow *first = notice();
        QVERIFY(first);
        w->settings().is_japanese = false;
        w->getCoordinate();
        QCOMPARE(notice(), first);
        QCOMPARE(hoverWindowCount(), 1);
        QCOMPARE(first->text(), QString("Getting mouse pointer coordinates\nPress Ctrl+Alt+G."));
        QCOMPARE(sim.registeredHotKeys(), std::vector<int>{1001});
        sim.movePointer(3, 4);
        sim.tapCombination({163, 165, 71});
        QTRY_COMPARE(w->project().commands().first(), (QStringList{"マウスポインター", "3", "4"}));
    }

    void registrationFailureWarnsAndStays_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("kind");
        QTest::newRow("ja, Mouse Pointer") << true << "マウスポインター";
        QTest::newRow("en, Smooth Move") << false << "スムーズムーブ";
    }
    void registrationFailureWarnsAndStays()
    {
        QFETCH(bool, japanese);
        QFETCH(QString, kind);
        auto &sim = *fixture->sim;
        sim.setHotKeyRegistrationFails(true);
        const CommandRecord record = kind == "マウスポインター" ? CommandRecord{kind, "1", "2"}
                                                                 : CommandRecord{kind, "1", "2", "3"};
        auto w = makeWindow(record);
        w->settings().is_japanese = japanese;
        w->changeLanguage();
        QPushButton *get = kind == "マウスポインター" ? windowparts::get<QPushButton>(*w, "getButton1") : windowparts::get<QPushButton>(*w, "getButton2");
        QVERIFY(get->isVisible());
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        QTest::ignoreMessage(QtWarningMsg, "RegisterHotKey failed.");
        QTest::mouseClick(get, Qt::LeftButton);
        QCOMPARE(answerer.seen.size(), 1);
        const auto seen = answerer.seen.first();
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(seen.buttons, QMessageBox::Ok);
        QCOMPARE(seen.title, japanese ? QString("座標を取得できません") : QString("Cannot get the position"));
        QVERIFY2(seen.text.startsWith(japanese ? "Ctrl+Alt+G は他のプログラムが使用中のため"
                                               : "Ctrl+Alt+G is in use by another program"),
                 qPrintable(seen.text));
        // This suite runs on Qt's offscreen platform: on Linux not an X11 session.
        const bool linux = QSysInfo::kernelType() == "linux";
        QCOMPARE(seen.text.contains(japanese ? "X11 のセッションではない" : "not an X11 session"), linux);
        QVERIFY(!w->isHotkeyRegistered());
        QVERIFY(sim.registeredHotKeys().empty());
        QCOMPARE(hoverWindowCount(), 0);
        QVERIFY(w->isVisible());
        QCOMPARE(w->project().commands().first(), record);

        // Once the key is free again, Get works as ever.
        sim.setHotKeyRegistrationFails(false);
        QTest::mouseClick(get, Qt::LeftButton);
        QVERIFY(notice() && notice()->isVisible());
        QVERIFY(!w->isVisible());
        sim.movePointer(50, 60);
        sim.tapCombination({162, 164, 71});
        QTRY_VERIFY(w->isVisible());
        QCOMPARE(w->project().commands().first().mid(1, 2), (QStringList{"50", "60"}));
        QCOMPARE(answerer.seen.size(), 1);
    }

    void noticeClosedOtherwiseBringsTheWindowBack()
    {
        auto &sim = *fixture->sim;
        auto w = makeWindow({"マウスポインター", "1", "2"});
        w->getCoordinate();
        QVERIFY(!w->isVisible());
        QVERIFY(notice());
        notice()->close(); // e.g. a close request from the system
        QTRY_COMPARE(hoverWindowCount(), 0);
        QVERIFY(sim.registeredHotKeys().empty());
        QVERIFY(w->isVisible());
        QCOMPARE(w->project().commands().first(), (QStringList{"マウスポインター", "1", "2"}));
    }

    void noticeGoesWithTheMainWindow()
    {
        auto &sim = *fixture->sim;
        auto w = makeWindow({"マウスポインター", "1", "2"});
        w->getCoordinate();
        w.reset();
        QVERIFY(sim.registeredHotKeys().empty());
        QTRY_COMPARE(hoverWindowCount(), 0);
    }

    void nativeEventFilter_data()
    {
        QTest::addColumn<bool>("hotKeyMessage");
        QTest::addColumn<int>("filterId");
        QTest::addColumn<bool>("consumed");
        QTest::newRow("our hot key") << true << 1001 << true;
        QTest::newRow("other message") << false << 1001 << false;
        QTest::newRow("another id") << true << 7 << false;
    }
    void nativeEventFilter()
    {
        QFETCH(bool, hotKeyMessage);
        QFETCH(int, filterId);
        QFETCH(bool, consumed);
        auto desktop = std::make_shared<NativeSimDesktop>();
        platform::setDesktop(desktop);
        int other = 0;
        tervalo::GlobalHotkeyFilter filter(filterId);
        int calls = 0;
        filter.callback = [&calls] { ++calls; };
        qintptr result = 0;
        void *message = hotKeyMessage ? &desktop->hotKeyMessage : &other;
        const bool r = filter.nativeEventFilter("windows_dispatcher_MSG", message, &result);
        QCOMPARE(r, consumed);
        QCOMPARE(calls, consumed ? 1 : 0);
        QCOMPARE(desktop->lastType, std::string("windows_dispatcher_MSG"));
        tervalo::GlobalHotkeyFilter empty(filterId); // no callback set: still safe
        QCOMPARE(empty.nativeEventFilter("windows_generic_MSG", message, &result), consumed);
    }

    // Where no hot key can be heard over other windows, Get shows the screen
    // and one click on it is the point; Esc or the right button keeps the
    // page as it was.
    void clickOnTheScreenWritesThePoint_data()
    {
        QTest::addColumn<QStringList>("record");
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("mouse pointer") << QStringList{"マウスポインター", "0", "0"} << int(Qt::LeftButton)
                                       << QStringList{"マウスポインター", "300", "200"};
        QTest::newRow("smooth move keeps its time") << QStringList{"スムーズムーブ", "1", "2", "0.75"} << int(Qt::LeftButton)
                                                    << QStringList{"スムーズムーブ", "300", "200", "0.75"};
        QTest::newRow("right button cancels") << QStringList{"マウスポインター", "5", "6"} << int(Qt::RightButton)
                                              << QStringList{"マウスポインター", "5", "6"};
        QTest::newRow("Esc cancels") << QStringList{"マウスポインター", "5", "6"} << 0
                                     << QStringList{"マウスポインター", "5", "6"};
    }
    void clickOnTheScreenWritesThePoint()
    {
        QFETCH(QStringList, record);
        QFETCH(int, button);
        QFETCH(QStringList, expected);
        auto &sim = *fixture->sim;
        sim.setOwnWindowKeysOnly(true);
        auto w = makeWindow(record);
        w->getCoordinate();
        QVERIFY(!w->isVisible());
        QCOMPARE(hoverWindowCount(), 0);
        QVERIFY(sim.registeredHotKeys().empty());
        QTRY_COMPARE(windowparts::topLevels<PictureSelector>().size(), 1);
        PictureSelector *selector = windowparts::topLevels<PictureSelector>().first();
        QTRY_VERIFY(selector->isVisible());
        if (button)
            QTest::mouseClick(selector, Qt::MouseButton(button), {}, QPoint(300, 200));
        else
            QTest::keyClick(selector, Qt::Key_Escape);
        QTRY_VERIFY(w->isVisible());
        QCOMPARE(w->project().commands().first(), expected);
        QTRY_VERIFY(windowparts::topLevels<PictureSelector>().isEmpty());
    }

    void nativeHotKeyReachesGetCoordinate2()
    {
        auto desktop = std::make_shared<NativeSimDesktop>();
        platform::setDesktop(desktop);
        auto w = makeWindow({"マウスポインター", "0", "0"});
        w->getCoordinate();
        desktop->movePointer(11, 22);
        // What the event dispatcher does with a native message.
        qintptr result = 0;
        QVERIFY(QAbstractEventDispatcher::instance()->filterNativeEvent("windows_dispatcher_MSG",
                                                                        &desktop->hotKeyMessage, &result));
        QTRY_COMPARE(w->project().commands().first(), (QStringList{"マウスポインター", "11", "22"}));
        QTRY_COMPARE(hoverWindowCount(), 0);
        // The filter went with the hot key: the same message now passes by.
        QVERIFY(!QAbstractEventDispatcher::instance()->filterNativeEvent("windows_dispatcher_MSG",
                                                                         &desktop->hotKeyMessage, &result));
    }

    void testMovesThePointerAfterASecond_data()
    {
        QTest::addColumn<QStringList>("record");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("mouse pointer") << QStringList{"マウスポインター", "100", "200"} << 100 << 200;
        QTest::newRow("not numbers") << QStringList{"スムーズムーブ", "abc", "", "1"} << 0 << 0;
    }
    void testMovesThePointerAfterASecond()
    {
        QFETCH(QStringList, record);
        QFETCH(int, x);
        QFETCH(int, y);
        auto &sim = *fixture->sim;
        sim.movePointer(5, 5);
        auto w = makeWindow(record);
        QElapsedTimer clock;
        clock.start();
        w->moveMousePointer();
        QVERIFY(!w->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(sim.cursorPos() == (platform::Point{x, y}), 10000);
        const qint64 moved = clock.elapsed();
        QVERIFY(!w->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 10000);
        const qint64 back = clock.elapsed();
        // Timers never fire much early; late is allowed on a busy machine.
        QVERIFY2(moved >= 900, qPrintable(QString::number(moved)));
        QVERIFY2(back - moved >= 900, qPrintable(QString::number(back - moved)));
        QCOMPARE(w->project().commands().first(), record);
    }

private:
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<SimFixture> fixture;
};

QTEST_MAIN(TestPointerCapture)
#include "tst_pointercapture.moc"
