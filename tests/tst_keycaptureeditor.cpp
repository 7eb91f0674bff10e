#include "gui/mainwindow/tervalo.h"
#include "project/pagekinds.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

// The editor's key capture, driven through the Add buttons with the sim
// desktop acting as the person at the keyboard.
class TestKeyCaptureEditor : public QObject {
    Q_OBJECT

    std::unique_ptr<tervalo> makeWindow()
    {
        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
        w->show();
        return w;
    }
    static void startCapture(tervalo &w, bool forCondition)
    {
        if (forCondition) {
            windowparts::chooseCondition(w, PageKinds::kKey);
            windowparts::get<QPushButton>(w, "addConditionButton")->click();
        } else {
            windowparts::chooseOperation(w, PageKinds::kKey);
            windowparts::get<QPushButton>(w, "addCommandButton")->click();
        }
    }
    // The controls capture mode disables, and those it leaves alone.
    static QList<QWidget *> lockedControls(tervalo &w)
    {
        return {windowparts::get<QGroupBox>(w, "pageGroup"), windowparts::get<QComboBox>(w, "commandKindCombo"), windowparts::get<QPushButton>(w, "addCommandButton"), windowparts::get<QComboBox>(w, "conditionKindCombo"),
                windowparts::get<QPushButton>(w, "addConditionButton"), windowparts::get<QPushButton>(w, "runButton"), w.menuBar()};
    }

private slots:
    void initTestCase()
    {
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }
    void init() { fixture = std::make_unique<SimFixture>(); }
    void cleanup() { fixture.reset(); }

    void captures_data()
    {
        QTest::addColumn<bool>("forCondition");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("during");
        QTest::addColumn<QString>("code");
        for (bool condition : {false, true}) {
            const char *target = condition ? "condition" : "operation";
            QTest::addRow("%s: Ctrl+Alt+G", target) << condition << "" << "+162 +164 +71 -71 -164 -162" << "71,3";
            QTest::addRow("%s: Shift held before, A", target) << condition << "+160" << "+65 -65 -160" << "65,4";
            QTest::addRow("%s: Ctrl+Shift, Shift up first", target) << condition << "" << "+162 +160 -160 -162" << "162,0";
        }
    }
    void captures()
    {
        QFETCH(bool, forCondition);
        QFETCH(QString, before);
        QFETCH(QString, during);
        QFETCH(QString, code);
        auto &sim = *fixture->sim;
        auto w = makeWindow();
        playKeys(sim, before);
        sim.clearEvents();
        startCapture(*w, forCondition);
        QVERIFY(w->captureWaiting());
        QCOMPARE(windowparts::get<QTimer>(*w, "pollTimer")->interval(), 50);
        QVERIFY(sim.keyboardCaptured());

        // Capture mode: the panel being captured for has its frame greyed.
        QCOMPARE(windowparts::get<QGroupBox>(*w, "operationGroup")->isEnabled(), forCondition);
        QCOMPARE(windowparts::get<QGroupBox>(*w, "conditionGroup")->isEnabled(), !forCondition);
        for (QWidget *c : lockedControls(*w))
            QVERIFY2(!c->isEnabled(), c->metaObject()->className());
        QLabel *keyLabel = forCondition ? windowparts::get<QLabel>(*w, "conditionKeyLabel") : windowparts::get<QLabel>(*w, "commandKeyLabel");
        QCOMPARE(keyLabel->text(), QString("単一または複数キーを押してください"));
        QVERIFY(!(forCondition ? windowparts::get<QDoubleSpinBox>(*w, "conditionTimeSpin") : windowparts::get<QDoubleSpinBox>(*w, "commandTimeSpin"))->isVisible());
        QVERIFY(!(forCondition ? windowparts::get<QLabel>(*w, "conditionSecLabel") : windowparts::get<QLabel>(*w, "commandSecLabel"))->isVisible());

        playKeys(sim, during);
        QVERIFY2(sim.delivered().empty(), "a keystroke reached a window during the capture");
        QTRY_VERIFY(!w->captureWaiting());
        if (forCondition)
            QCOMPARE(w->project().conditions().first(), (QStringList{"キー", code}));
        else
            QCOMPARE(w->project().commands().first(), (QStringList{"キー", code, "0.01"}));
        for (QWidget *c : lockedControls(*w))
            QVERIFY(c->isEnabled());
        QVERIFY(windowparts::get<QGroupBox>(*w, "operationGroup")->isEnabled());
        QVERIFY(windowparts::get<QGroupBox>(*w, "conditionGroup")->isEnabled());

        // The hook is gone at once; typing works again.
        QCOMPARE(sim.hookCount(), 0);
        QVERIFY(!sim.keyboardCaptured());
        sim.clearEvents();
        sim.tapCombination({65});
        QCOMPARE(int(sim.delivered().size()), 2);
    }

    void englishPrompt()
    {
        auto w = makeWindow();
        windowparts::get<QAction>(*w, "languageAction")->trigger();
        QVERIFY(!w->settings().is_japanese);
        startCapture(*w, false);
        QCOMPARE(windowparts::get<QLabel>(*w, "commandKeyLabel")->text(), QString("Press one or more keys"));
        fixture->sim->tapCombination({65});
        QTRY_COMPARE(w->project().commands().first(), (QStringList{"キー", "65,0", "0.01"}));
    }

    void holdTimeBecomesDefault()
    {
        auto w = makeWindow();
        w->project().setCommandAt(0, QStringList{"キー", "65,0", "2"});
        w->renderPage();
        startCapture(*w, false);
        fixture->sim->tapCombination({66});
        QTRY_COMPARE(w->project().commands().first(), (QStringList{"キー", "66,0", "0.01"}));
    }

    void addDuringCaptureDoesNothing_data()
    {
        QTest::addColumn<bool>("forCondition");
        QTest::newRow("capturing for the operation") << false;
        QTest::newRow("capturing for the condition") << true;
    }
    void addDuringCaptureDoesNothing()
    {
        QFETCH(bool, forCondition);
        auto &sim = *fixture->sim;
        auto w = makeWindow();
        startCapture(*w, forCondition);
        const RecordList commands = w->project().commands();
        const RecordList conditions = w->project().conditions();
        // Neither the (disabled) buttons nor the slots themselves start anything.
        windowparts::chooseOperation(*w, PageKinds::kClick);
        windowparts::chooseCondition(*w, PageKinds::kTime);
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        windowparts::get<QPushButton>(*w, "addConditionButton")->click();
        w->addCommand();
        w->addCondition();
        QCOMPARE(w->project().commands(), commands);
        QCOMPARE(w->project().conditions(), conditions);
        QCOMPARE(sim.hookCount(), 1);
        QVERIFY(w->captureWaiting());
        // The prompt stays in the panel the capture was started for.
        QCOMPARE(windowparts::get<QLabel>(*w, forCondition ? "conditionKeyLabel" : "commandKeyLabel")->text(),
                 QString("単一または複数キーを押してください"));
        sim.tapCombination({72});
        QTRY_VERIFY(!w->captureWaiting());
        QCOMPARE(forCondition ? w->project().conditions().first().value(1) : w->project().commands().first().value(1), QString("72,0"));
    }

    void nothingLeavesThePageWhileCapturing_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("slot");
        QTest::addColumn<int>("stripRow"); // strip rows: 1, +, 2, +, 3
        QTest::newRow("undo") << "undoButton" << "pageBack" << -1;
        QTest::newRow("redo") << "redoButton" << "pageForward" << -1;
        QTest::newRow("previous page") << "previousButton" << "returnPage" << -1;
        QTest::newRow("next page") << "nextButton" << "nextPage" << -1;
        QTest::newRow("delete") << "deleteButton" << "deletePage" << -1;
        QTest::newRow("copy") << "copyButton" << "copy" << -1;
        QTest::newRow("paste") << "pasteButton" << "paste" << -1;
        QTest::newRow("strip: page 1") << "pageList" << "" << 0;
        QTest::newRow("strip: + above") << "pageList" << "" << 1;
        QTest::newRow("strip: page 3") << "pageList" << "" << 4;
    }
    void nothingLeavesThePageWhileCapturing()
    {
        QFETCH(QString, control);
        QFETCH(QString, slot);
        QFETCH(int, stripRow);
        auto &sim = *fixture->sim;
        auto w = makeWindow();
        w->settings().is_message_delete = false;
        w->settings().is_message_paste = false;
        // Page 2's condition has its key, so capturing for its operation
        // leaves the page unlocked: every page control is on screen.
        w->showProject({{"なし"}, {"キー", "", "0.01"}, {"なし"}}, {{"即時"}, {"キー", "65,2"}, {"即時"}});
        windowparts::get<QPushButton>(*w, "copyButton")->click(); // page 1
        // An edit on page 3, undone: both Undo and Redo are offered.
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        windowparts::chooseOperation(*w, PageKinds::kClick);
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        windowparts::get<QPushButton>(*w, "previousButton")->click();
        QCOMPARE(w->project().currentPage(), 2);
        const RecordList commands = w->project().commands();
        const RecordList conditions = w->project().conditions();
        const QStringList copied = w->project().copiedCommand();

        startCapture(*w, false);
        QVERIFY(w->captureWaiting());
        auto *widget = qobject_cast<QWidget *>(windowparts::find(*w, control));
        QVERIFY(widget);
        QVERIFY2(widget->isVisible(), "the control is not offered at all: the row tests nothing");
        QVERIFY(!widget->isEnabled());
        if (stripRow >= 0) {
            QListWidgetItem *item = windowparts::get<QListWidget>(*w, "pageList")->item(stripRow);
            QVERIFY(item);
            QTest::mouseClick(windowparts::get<QListWidget>(*w, "pageList")->viewport(), Qt::LeftButton, {},
                              windowparts::get<QListWidget>(*w, "pageList")->visualItemRect(item).center());
            windowparts::get<QListWidget>(*w, "pageList")->setCurrentRow(stripRow); // however the row gets chosen
        } else {
            QTest::mouseClick(widget, Qt::LeftButton);
            QVERIFY(QMetaObject::invokeMethod(w.get(), slot.toLatin1().constData())); // a shortcut, say
        }
        QCOMPARE(w->project().currentPage(), 2);
        QCOMPARE(w->project().commands(), commands);
        QCOMPARE(w->project().conditions(), conditions);
        QCOMPARE(w->project().copiedCommand(), copied);
        QCOMPARE(windowparts::get<QLabel>(*w, "commandKeyLabel")->text(), QString("単一または複数キーを押してください"));

        playKeys(sim, "+66 -66");
        QTRY_VERIFY(!w->captureWaiting());
        RecordList expected = commands;
        expected[1] = {"キー", "66,0", "0.01"};
        QCOMPARE(w->project().commands(), expected);
        QCOMPARE(w->project().conditions(), conditions);
        QCOMPARE(w->project().currentPage(), 2);
        QVERIFY(widget->isEnabled());
    }

    void hookFailure_data()
    {
        QTest::addColumn<bool>("forCondition");
        QTest::newRow("operation") << false;
        QTest::newRow("condition") << true;
    }
    void hookFailure()
    {
        QFETCH(bool, forCondition);
        auto &sim = *fixture->sim;
        sim.setHookInstallFails(true);
        auto w = makeWindow();
        startCapture(*w, forCondition);
        QLabel *nameLabel = forCondition ? windowparts::get<QLabel>(*w, "conditionNameLabel") : windowparts::get<QLabel>(*w, "commandNameLabel");
        QCOMPARE(nameLabel->text(), QString("キーフックに失敗"));
        QVERIFY(!w->captureWaiting());
        QVERIFY(!sim.keyboardCaptured());
        for (QWidget *c : lockedControls(*w))
            QVERIFY(c->isEnabled());
        QVERIFY(windowparts::get<QGroupBox>(*w, "operationGroup")->isEnabled() && windowparts::get<QGroupBox>(*w, "conditionGroup")->isEnabled());
        QVERIFY(!sim.pressKey(65)); // keys are not swallowed
        sim.releaseKey(65);

        // The editor stays usable: the next attempt captures.
        sim.setHookInstallFails(false);
        startCapture(*w, forCondition);
        QVERIFY(w->captureWaiting());
        sim.tapCombination({66});
        QTRY_VERIFY(!w->captureWaiting());
    }

    // A desktop that lets no program hear other windows' keys (Wayland): the
    // capture takes the keys pressed in the window itself, and keeps them
    // from the window's buttons and shortcuts.
    void capturesInTheOwnWindow_data()
    {
        QTest::addColumn<bool>("forCondition");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("code");
        QTest::newRow("operation: Ctrl+Alt+G") << false << int(Qt::Key_G) << int(Qt::ControlModifier | Qt::AltModifier) << "71,3";
        QTest::newRow("condition: Shift+F5") << true << int(Qt::Key_F5) << int(Qt::ShiftModifier) << "116,4";
        QTest::newRow("operation: Enter") << false << int(Qt::Key_Return) << 0 << "13,0";
        QTest::newRow("condition: keypad 7") << true << int(Qt::Key_7) << int(Qt::KeypadModifier) << "103,0";
        QTest::newRow("operation: Shift+1 is the 1 key") << false << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << "49,4";
    }
    void capturesInTheOwnWindow()
    {
        QFETCH(bool, forCondition);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, code);
        auto &sim = *fixture->sim;
        sim.setOwnWindowKeysOnly(true);
        auto w = makeWindow();
        startCapture(*w, forCondition);
        QVERIFY(w->captureWaiting());
        QCOMPARE(sim.hookCount(), 0);
        QVERIFY(!sim.keyboardCaptured());

        QTest::keyClick(w.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(!w->captureWaiting());
        if (forCondition)
            QCOMPARE(w->project().conditions().first(), (QStringList{"キー", code}));
        else
            QCOMPARE(w->project().commands().first(), (QStringList{"キー", code, "0.01"}));
        QCOMPARE(w->project().currentPage(), 1);

        // Once captured, the window's keys are its own again.
        QLineEdit edit;
        edit.show();
        QTest::keyClicks(&edit, "ok");
        QCOMPARE(edit.text(), QString("ok"));
    }

    void keyboardFreedWhenTheWindowGoes_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("window closed") << true;
        QTest::newRow("window destroyed") << false;
    }
    void keyboardFreedWhenTheWindowGoes()
    {
        QFETCH(bool, close);
        auto &sim = *fixture->sim;
        auto w = makeWindow();
        w->settings().is_message_file = false;
        startCapture(*w, false);
        sim.pressKey(162);
        QVERIFY(sim.keyboardCaptured());
        if (close) {
            QCloseEvent event;
            QApplication::sendEvent(w.get(), &event);
            QVERIFY(event.isAccepted());
            QVERIFY(!w->captureWaiting());
        } else {
            w.reset();
        }
        QCOMPARE(sim.hookCount(), 0);
        QVERIFY(!sim.keyboardCaptured());
        QVERIFY(!sim.pressKey(65));
    }

private:
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<SimFixture> fixture;
};

QTEST_MAIN(TestKeyCaptureEditor)
#include "tst_keycaptureeditor.moc"
