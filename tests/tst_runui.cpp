#include "gui/dialogs/rundialog.h"
#include "gui/mainwindow/tervalo.h"
#include "project/projectfile.h"
#include "run/stoprule.h"
#include "settings/settingsfile.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QtTest>

#include <functional>
#include <memory>

// Starting a run from the Run button and getting the window back.
class TestRunUi : public QObject {
    Q_OBJECT

    // Acts on the run settings dialog as soon as it is open and modal.
    void whenDialogOpens(std::function<void(RunDialog &)> act)
    {
        auto *poll = new QTimer(this);
        poll->setInterval(10);
        connect(poll, &QTimer::timeout, this, [poll, act] {
            if (auto *d = qobject_cast<RunDialog *>(QApplication::activeModalWidget())) {
                poll->stop();
                poll->deleteLater();
                act(*d);
            }
        });
        poll->start();
    }
    std::unique_ptr<tervalo> makeWindow()
    {
        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
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
        fixture.reset();
        StopRule::setTrayAvailableForTesting(std::nullopt);
    }

    void runProjectName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("never saved") << SettingsFile::desktopPath() << "新規プロジェクト";
        QTest::newRow("saved") << "/home/user/plan.cmdat" << "plan";
        QTest::newRow("two dots") << "/home/user/plan.old.cmdat" << "plan";
        QTest::newRow("Japanese name") << "/home/user/作業.cmdat" << "作業";
    }
    void runProjectName()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(ProjectFile::runProjectName(path), name);
    }

    void cancelStartsNothing_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::newRow("ja") << true;
        QTest::newRow("en") << false;
    }
    void cancelStartsNothing()
    {
        QFETCH(bool, japanese);
        auto w = makeWindow();
        w->settings().is_japanese = japanese;
        w->settings().stertTime = 7;
        w->settings().runNumber = 114514;
        w->settings().stopCommand = "なし";
        bool offered = false;
        whenDialogOpens([&offered, japanese](RunDialog &d) {
            offered = d.startDelaySpin->value() == 7 && d.repeatCheck->isChecked()
                && d.noExitCommandCheck->isChecked() && d.japanese == japanese;
            d.startDelaySpin->setValue(1);
            d.repeatCheck->setChecked(false);
            d.reject();
        });
        windowparts::get<QPushButton>(*w, "runButton")->click();
        QVERIFY(offered);
        QVERIFY(w->isVisible());
        QCOMPARE(w->settings().stertTime, 7);
        QCOMPARE(w->settings().runNumber, 114514);
        QCOMPARE(w->settings().stopCommand, QString("なし"));
        QVERIFY(!w->settings().is_used_stert);
        QCOMPARE(w->settings().is_japanese, japanese);
        QVERIFY(w->findChildren<QThread *>().isEmpty());
        QTest::qWait(50);
        QVERIFY(fixture->sim->syntheticEvents().empty());
    }

    void noTrayStartsNoRunWithoutExitCommand()
    {
        StopRule::setTrayAvailableForTesting(false);
        auto w = makeWindow();
        w->project().setCommands(RecordList{{"マウスポインター", "300", "400"}});
        w->project().setConditions(RecordList{{"即時"}});
        w->renderPage();
        w->settings().stertTime = 1;
        w->settings().runNumber = 114514;
        w->settings().stopCommand = "なし";
        w->settings().is_used_stert = true;
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        bool stillOpen = false;
        whenDialogOpens([&stillOpen, &answerer](RunDialog &d) {
            d.startButton->click(); // refused: the box is answered inside
            stillOpen = d.isVisible() && answerer.seen.size() == 1;
            d.reject();
        });
        windowparts::get<QPushButton>(*w, "runButton")->click();
        QVERIFY(stillOpen);
        QCOMPARE(answerer.seen.first().title, QString("終了コマンドが必要です"));
        QVERIFY(w->isVisible());
        QVERIFY(w->findChildren<QThread *>().isEmpty());
        QCOMPARE(w->settings().stopCommand, QString("なし"));
    }

    void wholeRunHidesAndReturns()
    {
        auto &sim = *fixture->sim;
        auto w = makeWindow();
        w->project().setCommands(RecordList{{"マウスポインター", "300", "400"}});
        w->project().setConditions(RecordList{{"即時"}});
        w->renderPage();
        w->settings().stertTime = 3;
        w->settings().runNumber = 5;
        w->settings().stopCommand = "116,6";

        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok); // the one-time notice
        int offeredDelay = 0;
        whenDialogOpens([&offeredDelay](RunDialog &d) {
            offeredDelay = d.startDelaySpin->value();
            d.startDelaySpin->setValue(1);
            d.runCountSpin->setValue(1);
            d.startButton->click();
        });
        windowparts::get<QPushButton>(*w, "runButton")->click();
        QCOMPARE(offeredDelay, 3);
        QVERIFY(!w->isVisible()); // hidden while the run plays
        QCOMPARE(w->settings().stertTime, 1);
        QCOMPARE(w->settings().runNumber, 1);
        QCOMPARE(w->settings().stopCommand, QString("116,6"));
        QVERIFY(w->settings().is_used_stert);
        QCOMPARE(answerer.seen.size(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 30000);
        QCOMPARE(sim.cursorPos(), (platform::Point{300, 400})); // the page was played
        QTRY_VERIFY_WITH_TIMEOUT(w->findChildren<QThread *>().isEmpty(), 10000); // the thread deleted itself

        // The chosen values are offered again, and the notice stays away.
        int offeredAgain = 0;
        whenDialogOpens([&offeredAgain](RunDialog &d) {
            offeredAgain = d.startDelaySpin->value() * 10 + d.runCountSpin->value();
            d.reject();
        });
        windowparts::get<QPushButton>(*w, "runButton")->click();
        QCOMPARE(offeredAgain, 11);
        QCOMPARE(answerer.seen.size(), 1);

        // ... and saved with the settings.
        w->settings().is_message_file = false;
        QCloseEvent close;
        QApplication::sendEvent(w.get(), &close);
        QFile f(settings->settingsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject saved = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(saved.value("stert_time").toInt(), 1);
        QCOMPARE(saved.value("run_number").toInt(), 1);
        QCOMPARE(saved.value("stop_command").toString(), QString("116,6"));
        QCOMPARE(saved.value("is_used_stert").toBool(), true);
    }

private:
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<SimFixture> fixture;
};

QTEST_MAIN(TestRunUi)
#include "tst_runui.moc"
