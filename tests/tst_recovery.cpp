// Unsaved work kept for recovery: how the window ends decides whether a
// copy is left, and the next start offers it.

#include "gui/mainwindow/tervalo.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QtTest>

class TestRecovery : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }
    void cleanup() { settings.reset(); }

    void endingAndRecovery_data()
    {
        QTest::addColumn<QStringList>("steps"); // before the window ends
        QTest::addColumn<QString>("ending");    // "session", or "close" answered Yes
        QTest::addColumn<int>("answer");        // to the offer at the next start
        QTest::addColumn<bool>("restored");
        QTest::newRow("session end keeps the typing") << QStringList{} << "session" << int(QMessageBox::Yes) << true;
        QTest::newRow("saved and changed: the path is kept")
            << QStringList{"save", "next"} << "session" << int(QMessageBox::Yes) << true;
        QTest::newRow("saved: nothing to keep") << QStringList{"save"} << "session" << int(QMessageBox::Yes) << false;
        QTest::newRow("closed without saving, knowingly") << QStringList{} << "close" << int(QMessageBox::Yes) << false;
        QTest::newRow("restore declined") << QStringList{} << "session" << int(QMessageBox::No) << false;
    }
    void endingAndRecovery()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, ending);
        QFETCH(int, answer);
        QFETCH(bool, restored);
        QTemporaryDir dir;
        RecordList commands, conditions;
        QString path;
        {
            tervalo w;
            w.addNewCommand();
            w.show();
            windowparts::chooseOperation(w, PageKinds::kClick);
            windowparts::get<QPushButton>(w, "addCommandButton")->click();
            windowparts::get<QDoubleSpinBox>(w, "commandTimeSpin")->setValue(2.5); // typed, no refresh yet
            DialogAnswerer answerer;
            for (const QString &step : steps) {
                if (step == "save") {
                    answerer.answerFileDialog(dir.filePath("kept.cmdat"));
                    windowparts::get<QAction>(w, "saveAction")->trigger();
                } else {
                    windowparts::get<QPushButton>(w, "nextButton")->click();
                }
            }
            commands = w.project().commands();
            conditions = w.project().conditions();
            path = w.settings().projectPath;
            w.settings().stertTime = 7;
            answerer.answerMessageBox(QMessageBox::Yes);
            if (ending == "session")
                w.endSession();
            else
                w.close();
            QVERIFY(!w.isVisible());
            QCOMPARE(answerer.pending(), ending == "session" ? 1 : 0); // the session's end asks nothing
        }
        SettingsValues saved;
        SettingsFile::read(saved);
        QCOMPARE(saved.stertTime, 7);

        tervalo again;
        again.show();
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::StandardButton(answer));
        answerer.answerMessageBox(QMessageBox::No); // for a third start, which must not ask
        QCOMPARE(again.offerRecovery(), restored);
        QCOMPARE(answerer.pending(), restored || answer == QMessageBox::No ? 1 : 2);
        if (restored) {
            QCOMPARE(again.project().commands(), commands);
            QCOMPARE(again.project().conditions(), conditions);
            QCOMPARE(again.settings().projectPath, path);
            QVERIFY(again.hasUnsavedChanges());
            QVERIFY(windowparts::get<QPushButton>(again, "runButton")->isVisible()); // the editor shows it
        }
        // Restored, the copy is the running window's; declined, it is gone.
        tervalo third;
        QVERIFY(!third.offerRecovery());
        QCOMPARE(answerer.pending(), restored || answer == QMessageBox::No ? 1 : 2);
    }

private:
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
