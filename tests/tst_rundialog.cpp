#include "gui/dialogs/rundialog.h"
#include "input/keycombination.h"
#include "run/stoprule.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
const QString kNoticeTextJa = QStringLiteral(
    "現在の停止コマンドは「%1」です。\nこのコマンドは変更可能です。\nこれを入力することでいかなる時でも\n"
    "0.2秒以内で実行中のプロジェクトを停止可能です。\n忘れないで下さい。");
const QString kWarningTitleJa = QStringLiteral("このメッセージを無効化することはできません。");
const QString kWarningTitleEn = QStringLiteral("This message cannot be disabled.");

// Shown or hidden as the dialog decides, independent of whether the dialog
// itself is on screen.
bool shown(const QWidget *w) { return !w->isHidden(); }
} // namespace

class TestRunDialog : public QObject {
    Q_OBJECT

private slots:
    // A desktop with a system tray unless a test says otherwise.
    void initTestCase() { StopRule::setTrayAvailableForTesting(true); }
    void cleanupTestCase() { StopRule::setTrayAvailableForTesting(std::nullopt); }
    void init() { fixture = std::make_unique<SimFixture>(); }
    void cleanup()
    {
        fixture.reset();
        StopRule::setTrayAvailableForTesting(true);
    }

    void constructorBounds_data()
    {
        QTest::addColumn<int>("stert");
        QTest::addColumn<int>("runs");
        QTest::addColumn<int>("stertField");
        QTest::addColumn<int>("stertSpin");
        QTest::addColumn<int>("runField");
        QTest::addColumn<int>("runSpin");
        QTest::addColumn<bool>("repeat");
        QTest::newRow("ordinary") << 5 << 3 << 5 << 5 << 3 << 3 << false;
        QTest::newRow("zero") << 0 << 0 << 1 << 1 << 1 << 1 << false;
        QTest::newRow("negative") << -4 << -1 << 1 << 1 << 1 << 1 << false;
        QTest::newRow("too large") << 20000 << 20000 << 9999 << 9999 << 20000 << 9999 << false;
        QTest::newRow("limits") << 9999 << 9999 << 9999 << 9999 << 9999 << 9999 << false;
        QTest::newRow("repeat until stopped") << 1 << 114514 << 1 << 1 << 114514 << 1 << true;
        QTest::newRow("past repeat") << 1 << 200000 << 1 << 1 << 114514 << 1 << true;
    }
    void constructorBounds()
    {
        QFETCH(int, stert);
        QFETCH(int, runs);
        QFETCH(int, stertField);
        QFETCH(int, stertSpin);
        QFETCH(int, runField);
        QFETCH(int, runSpin);
        QFETCH(bool, repeat);
        RunDialog d(stert, runs, "83,3", true, true);
        QCOMPARE(d.stertTime, stertField);
        QCOMPARE(d.startDelaySpin->value(), stertSpin);
        QCOMPARE(d.runNumber, runField);
        QCOMPARE(d.runCountSpin->value(), runSpin);
        QCOMPARE(d.repeatCheck->isChecked(), repeat);
        QCOMPARE(shown(d.runCountSpin), !repeat);
        QCOMPARE(shown(d.timesLabel), !repeat);
    }

    void texts_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("ja") << true
                            << QStringList{"実行設定", "開始までの秒数:", "秒", "実行回数:", "回",
                                           "終了コマンドまで繰り返す", "終了コマンド:", "変更",
                                           "単一または複数キーを押してください", "終了コマンドを設定しない", "開始"};
        QTest::newRow("en") << false
                            << QStringList{"Execution Settings", "Seconds until start:", "sec", "Number of runs:",
                                           "times", "Repeat until exit command", "Exit command:", "Change",
                                           "Press one or more keys", "Do not set an exit command", "Start"};
    }
    // Only a desktop that pastes characters outside the keyboard layout gets
    // the note saying so, below the start button, with its explanation.
    void pasteNote_data()
    {
        QTest::addColumn<bool>("pastes");
        QTest::addColumn<bool>("japanese");
        QTest::newRow("pastes, Japanese") << true << true;
        QTest::newRow("pastes, English") << true << false;
        QTest::newRow("types everything") << false << true;
    }
    void pasteNote()
    {
        QFETCH(bool, pastes);
        QFETCH(bool, japanese);
        struct PastingDesktop : platform::SimDesktop {
            bool pastesOutsideLayout() const override { return true; }
        };
        if (pastes)
            platform::setDesktop(std::make_shared<PastingDesktop>());
        RunDialog d(5, 1, "83,3", true, japanese);
        RunDialog other(5, 1, "83,3", true, !japanese);
        QCOMPARE(d.pasteNote != nullptr, pastes);
        if (!pastes) {
            QCOMPARE(d.size(), QSize(300, 430));
            return;
        }
        QVERIFY(d.height() > 430);
        QVERIFY(!d.pasteNote->text().isEmpty());
        QVERIFY(!d.pasteNote->toolTip().isEmpty());
        QVERIFY(d.pasteNote->text() != other.pasteNote->text());
        QVERIFY(d.pasteNote->geometry().top() >= d.startButton->geometry().bottom());
        QVERIFY(d.rect().contains(d.pasteNote->geometry()));
    }

    void texts()
    {
        QFETCH(bool, japanese);
        QFETCH(QStringList, texts);
        RunDialog d(5, 1, "83,3", true, japanese);
        const QStringList actual{d.windowTitle(), d.startDelayLabel->text(), d.secLabel->text(),
                                 d.runCountLabel->text(), d.timesLabel->text(), d.repeatCheck->text(),
                                 d.exitCommandLabel->text(), d.changeButton->text(), d.pressKeysLabel->text(),
                                 d.noExitCommandCheck->text(), d.startButton->text()};
        QCOMPARE(actual, texts);
        QCOMPARE(d.hotKeyLabel->text(), QString("Ctrl+Alt+S"));
        QCOMPARE(d.size(), QSize(300, 430));
        QVERIFY(d.isModal());
        QVERIFY(d.startButton->isDefault());
        QVERIFY(!shown(d.pressKeysLabel));
        QVERIFY(!d.noExitCommandCheck->icon().isNull()); // image/danger.png beside the program
    }

    void startVisibility_data()
    {
        QTest::addColumn<QString>("stop");
        QTest::addColumn<bool>("start");
        QTest::addColumn<QString>("label");
        QTest::newRow("usable") << "83,3" << true << "Ctrl+Alt+S";
        QTest::newRow("key only") << "65" << true << "A";
        QTest::newRow("empty") << "" << false << "なし";
        QTest::newRow("garbage") << "abc" << false << "無効なキー";
        QTest::newRow("only commas") << ",," << false << "無効なキー";
        // Key 0 never goes down: a run would have no working exit command.
        QTest::newRow("key zero") << "0,3" << false << "Ctrl+Alt+VK0";
        QTest::newRow("out of key range") << "300,0" << false << "VK300";
        QTest::newRow("negative key") << "-5,0" << false << "VK-5";
    }
    void startVisibility()
    {
        QFETCH(QString, stop);
        QFETCH(bool, start);
        QFETCH(QString, label);
        RunDialog d(5, 1, stop, true, true);
        QCOMPARE(d.stopCommandValid, start);
        QCOMPARE(shown(d.startButton), start);
        QCOMPARE(d.hotKeyLabel->text(), label);
        if (!start) {
            // A captured combination makes the dialog usable again.
            d.changeButton->click();
            fixture->sim->tapCombination({162, 164, 83});
            d.pollHotKey();
            QVERIFY(shown(d.startButton));
            QCOMPARE(d.stopCommand, QString("83,3"));
        }
    }

    void accepts_data()
    {
        QTest::addColumn<int>("runs");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<bool>("toggleRepeat");
        QTest::addColumn<bool>("toggleNoExit");
        QTest::addColumn<int>("runsBack");
        QTest::addColumn<QString>("stopBack");
        QTest::addColumn<bool>("warned");
        QTest::newRow("plain") << 3 << "83,3" << false << false << 3 << "83,3" << false;
        QTest::newRow("repeat kept") << 114514 << "83,3" << false << false << 114514 << "83,3" << false;
        QTest::newRow("repeat unchecked gives the spin value") << 114514 << "83,3" << true << false << 1 << "83,3" << false;
        QTest::newRow("repeat checked") << 7 << "83,3" << true << false << 114514 << "83,3" << false;
        QTest::newRow("none kept") << 2 << "なし" << false << false << 2 << "なし" << true;
        QTest::newRow("none unchecked offers Ctrl+Alt+S") << 2 << "なし" << false << true << 2 << "83,3" << false;
        QTest::newRow("none chosen") << 2 << "116,6" << false << true << 2 << "なし" << true;
    }
    void accepts()
    {
        QFETCH(int, runs);
        QFETCH(QString, stop);
        QFETCH(bool, toggleRepeat);
        QFETCH(bool, toggleNoExit);
        QFETCH(int, runsBack);
        QFETCH(QString, stopBack);
        QFETCH(bool, warned);
        RunDialog d(5, runs, stop, true, true);
        if (toggleRepeat)
            d.repeatCheck->toggle();
        if (toggleNoExit)
            d.noExitCommandCheck->toggle();
        const bool noExit = d.noExitCommandCheck->isChecked();
        QCOMPARE(shown(d.hotKeyLabel), !noExit);
        QCOMPARE(shown(d.changeButton), !noExit);
        if (!noExit)
            QCOMPARE(d.hotKeyLabel->text(), KeyCombination::stopLabel(stopBack));
        d.startDelaySpin->setValue(12);

        DialogAnswerer answerer;
        if (warned)
            answerer.answerMessageBox(QMessageBox::Yes);
        d.startButton->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(answerer.seen.size(), warned ? 1 : 0);
        QCOMPARE(d.stertTime, 12);
        QCOMPARE(d.runNumber, runsBack);
        QCOMPARE(d.stopCommand, stopBack);
        QVERIFY(d.japanese);
    }

    void warningAnsweredNoKeepsTheDialogOpen_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<int>("answer");
        QTest::newRow("ja no") << true << int(QMessageBox::No);
        QTest::newRow("en no") << false << int(QMessageBox::No);
        QTest::newRow("closed") << true << -1;
    }
    void warningAnsweredNoKeepsTheDialogOpen()
    {
        QFETCH(bool, japanese);
        QFETCH(int, answer);
        RunDialog d(5, 4, "なし", false, japanese);
        d.startDelaySpin->setValue(30);
        QSignalSpy finished(&d, &QDialog::finished);
        DialogAnswerer answerer;
        if (answer < 0)
            answerer.closeMessageBox();
        else
            answerer.answerMessageBox(QMessageBox::StandardButton(answer));
        d.startButton->click();
        QCOMPARE(answerer.seen.size(), 1);
        const auto seen = answerer.seen.first();
        QCOMPARE(seen.title, japanese ? kWarningTitleJa : kWarningTitleEn);
        QVERIFY(seen.text.startsWith(japanese ? "終了コマンドが設定されていません。\n" : "No termination command has been set. \n"));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(seen.defaultButton, QMessageBox::No);
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(d.stertTime, 5); // nothing is read back
        QCOMPARE(d.stopCommand, QString("83,3"));
        QVERIFY(!d.noticeShown); // the warning is no notice

        // It comes again on the next Start: there is no way to switch it off.
        answerer.answerMessageBox(QMessageBox::Yes);
        d.startButton->click();
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.stopCommand, QString("なし"));
        QCOMPARE(d.stertTime, 30);
    }

    void noTrayRefusesARunWithoutExitCommand_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<bool>("chooseNone"); // tick the box in the dialog
        QTest::newRow("ja, none stored") << true << "なし" << false;
        QTest::newRow("en, none stored") << false << "なし" << false;
        QTest::newRow("ja, none chosen") << true << "116,6" << true;
        QTest::newRow("en, none chosen, repeat") << false << "116,6" << true;
    }
    void noTrayRefusesARunWithoutExitCommand()
    {
        QFETCH(bool, japanese);
        QFETCH(QString, stop);
        QFETCH(bool, chooseNone);
        StopRule::setTrayAvailableForTesting(false);
        RunDialog d(5, chooseNone ? 114514 : 3, stop, true, japanese);
        if (chooseNone)
            d.noExitCommandCheck->setChecked(true);
        QVERIFY(d.noExitCommandCheck->isChecked());
        QSignalSpy finished(&d, &QDialog::finished);
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        d.startButton->click();
        QCOMPARE(answerer.seen.size(), 1); // the refusal, not the question whether to risk it
        const auto seen = answerer.seen.first();
        QCOMPARE(seen.title, japanese ? QString("終了コマンドが必要です") : QString("Exit command required"));
        QVERIFY2(seen.text.contains(japanese ? "システムトレイがない" : "no system tray"), qPrintable(seen.text));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(seen.buttons, QMessageBox::Ok);
        QCOMPARE(finished.size(), 0);
        QVERIFY(shown(d.startButton));

        // With an exit command the same dialog starts the run.
        d.noExitCommandCheck->setChecked(false);
        d.startButton->click();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.stopCommand, chooseNone ? stop : QString("83,3"));
    }

    void stopRule_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<bool>("mayStart");
        QTest::newRow("tray, none") << true << "なし" << true;
        QTest::newRow("no tray, none") << false << "なし" << false;
        QTest::newRow("no tray, empty") << false << "" << false;
        QTest::newRow("no tray, key 0") << false << "0,3" << false;
        QTest::newRow("no tray, not a key") << false << "x,3" << false;
        QTest::newRow("no tray, Ctrl+Alt+S") << false << "83,3" << true;
        QTest::newRow("tray, Ctrl+Alt+S") << true << "83,3" << true;
    }
    void stopRule()
    {
        QFETCH(bool, tray);
        QFETCH(QString, stop);
        QFETCH(bool, mayStart);
        StopRule::setTrayAvailableForTesting(tray);
        QCOMPARE(StopRule::mayStart(stop), mayStart);
    }

    void noticeShownOnce_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::newRow("ja") << true;
        QTest::newRow("en") << false;
    }
    void noticeShownOnce()
    {
        QFETCH(bool, japanese);
        bool noticeShown = false;
        DialogAnswerer answerer;
        for (int round = 0; round < 2; ++round) {
            RunDialog d(5, 1, "116,6", noticeShown, japanese);
            if (round == 0)
                answerer.answerMessageBox(QMessageBox::Ok);
            d.startButton->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QVERIFY(d.noticeShown);
            noticeShown = d.noticeShown; // kept by the main window
        }
        QCOMPARE(answerer.seen.size(), 1);
        const auto seen = answerer.seen.first();
        QCOMPARE(seen.icon, QMessageBox::Information);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        if (japanese) {
            QCOMPARE(seen.title, QString("次回からは表示されません。"));
            QCOMPARE(seen.text, kNoticeTextJa.arg("Ctrl+Shift+F5"));
        } else {
            QCOMPARE(seen.title, QString("This will not be displayed next time."));
            QVERIFY(seen.text.startsWith("The current stop command is \"Ctrl+Shift+F5\".\n"));
        }
    }

    void captureCtrlShiftF5()
    {
        auto &sim = *fixture->sim;
        RunDialog d(5, 1, "83,3", true, true);
        d.changeButton->click();
        QVERIFY(d.capturing());
        QVERIFY(sim.keyboardCaptured());
        QVERIFY(!shown(d.changeButton));
        QVERIFY(!shown(d.startButton));
        QVERIFY(!shown(d.noExitCommandCheck));
        QVERIFY(shown(d.pressKeysLabel));
        QVERIFY(d.hotKeyLabel->text().isEmpty());
        QVERIFY(!d.startDelaySpin->isEnabled());
        QVERIFY(!d.runCountSpin->isEnabled());
        QVERIFY(d.pollTimer->isActive());
        QCOMPARE(d.pollTimer->interval(), 50);

        sim.tapCombination({162, 160, 116});
        QVERIFY2(sim.delivered().empty(), "keys reached a window during the capture");
        QTRY_VERIFY(!d.capturing()); // the poll timer picks the combination up
        QCOMPARE(d.stopCommand, QString("116,6"));
        QCOMPARE(d.hotKeyLabel->text(), QString("Ctrl+Shift+F5"));
        QVERIFY(shown(d.changeButton));
        QVERIFY(shown(d.startButton));
        QVERIFY(shown(d.noExitCommandCheck));
        QVERIFY(!shown(d.pressKeysLabel));
        QVERIFY(d.startDelaySpin->isEnabled());
        QVERIFY(d.runCountSpin->isEnabled());
        QVERIFY(!d.pollTimer->isActive());
        QCOMPARE(d.keyCapture().capturedKey(), 0);

        // Between captures the hook stays installed but lets the keyboard go.
        QCOMPARE(sim.hookCount(), 1);
        QVERIFY(!sim.keyboardCaptured());
        QVERIFY(!sim.pressKey(65));

        // A second capture reuses it.
        sim.releaseKey(65);
        d.changeButton->click();
        QCOMPARE(sim.hookCount(), 1);
        QVERIFY(sim.keyboardCaptured());
        sim.tapCombination({164, 112});
        d.pollHotKey();
        QCOMPARE(d.stopCommand, QString("112,1"));
        QCOMPARE(d.hotKeyLabel->text(), QString("Alt+F1"));
    }

    void cancelRestoresTheOldCommand()
    {
        auto &sim = *fixture->sim;
        RunDialog d(5, 1, "116,6", true, false);
        d.changeButton->click();
        sim.pressKey(162); // half a combination
        QVERIFY(d.capturing());
        d.onHotKeyButtonPressed(); // the change button is the cancel
        QVERIFY(!d.capturing());
        QVERIFY(!d.pollTimer->isActive());
        QVERIFY(!sim.keyboardCaptured());
        QCOMPARE(d.stopCommand, QString("116,6"));
        QCOMPARE(d.hotKeyLabel->text(), QString("Ctrl+Shift+F5"));
        QVERIFY(shown(d.changeButton));
        QVERIFY(shown(d.startButton));
        QVERIFY(shown(d.noExitCommandCheck));
        QVERIFY(!shown(d.pressKeysLabel));
        QVERIFY(d.startDelaySpin->isEnabled());
        sim.pressKey(71);
        d.pollHotKey();
        QCOMPARE(d.stopCommand, QString("116,6")); // a key after the cancel changes nothing
    }

    void hookFailure()
    {
        auto &sim = *fixture->sim;
        sim.setHookInstallFails(true, 1428);
        RunDialog d(5, 1, "83,3", true, true);
        QTest::ignoreMessage(QtWarningMsg, "Failed to install keyboard hook. Error: 1428");
        d.changeButton->click();
        QCOMPARE(d.hotKeyLabel->text(), QString("フック失敗"));
        QVERIFY(!d.capturing());
        QVERIFY(!d.pollTimer->isActive());
        QVERIFY(shown(d.changeButton));
        QVERIFY(shown(d.startButton));
        QVERIFY(d.startDelaySpin->isEnabled());
        QVERIFY(!sim.keyboardCaptured());
        QVERIFY(!sim.pressKey(65));

        sim.setHookInstallFails(false);
        d.changeButton->click(); // trying again works once the hook can be installed
        QVERIFY(d.capturing());
    }

    void keyboardFreedWhateverTheEnd_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("ending");
        for (const char *state : {"capturing", "captured"}) {
            for (const char *ending : {"destroyed", "rejected"})
                QTest::addRow("%s, %s", state, ending) << state << ending;
        }
    }
    void keyboardFreedWhateverTheEnd()
    {
        QFETCH(QString, state);
        QFETCH(QString, ending);
        auto &sim = *fixture->sim;
        auto d = std::make_unique<RunDialog>(5, 1, "83,3", true, true);
        d->changeButton->click();
        if (state == "captured") {
            sim.tapCombination({65});
            d->pollHotKey();
        }
        QCOMPARE(sim.hookCount(), 1);
        if (ending == "rejected") {
            d->reject();
            QVERIFY(!d->pollTimer->isActive());
        } else {
            d.reset();
        }
        QCOMPARE(sim.hookCount(), 0);
        QVERIFY(!sim.keyboardCaptured());
        QVERIFY(!sim.pressKey(66));
    }

private:
    std::unique_ptr<SimFixture> fixture;
};

QTEST_MAIN(TestRunDialog)
#include "tst_rundialog.moc"
