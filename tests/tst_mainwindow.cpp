#include "gui/mainwindow/tervalo.h"
#include "project/pagekinds.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QToolTip>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Skip the first-start greeting in these tests.
        settings.reset(new TempSettings);
        writeSettings("{\"is_used_this\": true}");
    }

    void startScreen()
    {
        tervalo w;
        QCOMPARE(w.windowTitle(), QString("Tervalo Free"));
        QCOMPARE(w.minimumSize(), QSize(630, 585));
        QCOMPARE(w.maximumSize(), QSize(630, 585));
        QVERIFY(!windowparts::get<QGroupBox>(w, "operationGroup")->isVisibleTo(&w));
        QCOMPARE(w.project().commands(), RecordList{{"なし"}});
        QCOMPARE(w.project().conditions(), (RecordList{{"終わるまで待つ", "0.1"}}));
        QVERIFY(!w.hasUnsavedChanges());
        w.show();
        QVERIFY(windowparts::get<QPushButton>(w, "newProjectButton")->isVisible());
        QVERIFY(windowparts::get<QPushButton>(w, "loadProjectButton")->isVisible());
        QVERIFY(windowparts::get<QPushButton>(w, "languageButton")->isVisible());
        QCOMPARE(windowparts::get<QPushButton>(w, "newProjectButton")->text(), QString("新しいプロジェクトを作成"));
    }

    void closeConfirmation_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("ja yes") << true << int(QMessageBox::Yes) << true;
        QTest::newRow("ja no") << true << int(QMessageBox::No) << false;
        QTest::newRow("en yes") << false << int(QMessageBox::Yes) << true;
        QTest::newRow("en no") << false << int(QMessageBox::No) << false;
    }
    void closeConfirmation()
    {
        QFETCH(bool, japanese);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFile::remove(settings->settingsFile());
        writeSettings("{\"is_used_this\": true}");
        tervalo w;
        w.settings().is_japanese = japanese;
        w.project().setCommandAt(0, PageKinds::createdCommand(PageKinds::kClick));
        QVERIFY(w.hasUnsavedChanges());
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::StandardButton(answer));
        QCloseEvent event;
        QApplication::sendEvent(&w, &event);
        QTRY_COMPARE(answerer.seen.size(), 1);
        const auto seen = answerer.seen.first();
        QCOMPARE(seen.title, japanese ? QString("最終確認") : QString("Warning"));
        QCOMPARE(seen.text, japanese ? QString("プロジェクトが保存されていません。\n終了しますか？")
                                     : QString("The project has not been saved.\nDo you want to exit?"));
        QCOMPARE(seen.defaultButton, QMessageBox::No);
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(event.isAccepted(), closes);
        // Settings are written only by an accepted close.
        QCOMPARE(QFile::exists(settings->settingsFile()) && readSettings().contains("stert_time"), closes);
        QCOMPARE(w.project().commands()[0], PageKinds::createdCommand(PageKinds::kClick)); // the changes stay either way
    }

    void closeWithoutQuestion_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("askFlag");
        QTest::newRow("unchanged") << false << true;
        QTest::newRow("changed, flag off") << true << false;
        QTest::newRow("changed back") << false << true;
    }
    void closeWithoutQuestion()
    {
        QFETCH(bool, changed);
        QFETCH(bool, askFlag);
        QFile::remove(settings->settingsFile());
        writeSettings("{\"is_used_this\": true}");
        tervalo w;
        w.settings().is_message_file = askFlag;
        w.project().setCommandAt(0, PageKinds::createdCommand(PageKinds::kClick));
        if (!changed)
            w.project().setCommandAt(0, PageKinds::createdCommand(PageKinds::kNone));
        DialogAnswerer answerer;
        QCloseEvent event;
        QApplication::sendEvent(&w, &event);
        QVERIFY(event.isAccepted());
        QVERIFY(answerer.seen.isEmpty());
        QVERIFY(readSettings().contains("stert_time"));
    }

private:
    void writeSettings(const QByteArray &json) { QVERIFY(settings->write(json)); }
    QByteArray readSettings()
    {
        QFile f(settings->settingsFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
