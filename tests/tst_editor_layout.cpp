// The main window's controls as built: what the start screen shows, where the
// editor's controls sit, their ranges and the menus.

#include "gui/mainwindow/tervalo.h"
#include "project/pagekinds.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTextEdit>
#include <QtTest>

class TestEditorLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        settings.reset(new TempSettings);
        writeSettings("{\"is_used_this\": true}");
    }

    void startScreenShowsOnlyTheThreeButtons()
    {
        tervalo w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QList<QWidget *> visible;
        for (QWidget *child : w.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisible() && child != w.menuBar())
                visible << child;
        }
        QCOMPARE(visible.size(), 3);
        QVERIFY(visible.contains(windowparts::get<QPushButton>(w, "newProjectButton")));
        QVERIFY(visible.contains(windowparts::get<QPushButton>(w, "loadProjectButton")));
        QVERIFY(visible.contains(windowparts::get<QPushButton>(w, "languageButton")));
        QVERIFY(!w.menuBar()->isVisible());
        QCOMPARE(windowparts::get<QPushButton>(w, "languageButton")->text(), QString("English"));
        QVERIFY(!w.captureWaiting());
        QCOMPARE(w.findChildren<QGroupBox *>(Qt::FindDirectChildrenOnly).size(), 3);
    }

    void spinRanges_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("tooLow");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("tooHigh");
        QTest::addColumn<int>("high");
        QTest::addColumn<bool>("arrows");
        QTest::newRow("x1") << "xSpin1" << -10000000 << -9999999 << 10000000 << 9999999 << false;
        QTest::newRow("y1") << "ySpin1" << -10000000 << -9999999 << 100000000 << 99999999 << false;
        QTest::newRow("x2") << "xSpin2" << -10000000 << -9999999 << 10000000 << 9999999 << false;
        QTest::newRow("y2") << "ySpin2" << -10000000 << -9999999 << 100000000 << 99999999 << false;
        QTest::newRow("hour") << "hourSpin" << -1 << 0 << 25 << 24 << true;
        QTest::newRow("minute") << "minuteSpin" << -1 << 0 << 60 << 59 << true;
    }
    void spinRanges()
    {
        QFETCH(QString, name);
        QFETCH(int, tooLow);
        QFETCH(int, low);
        QFETCH(int, tooHigh);
        QFETCH(int, high);
        QFETCH(bool, arrows);
        tervalo w;
        auto *spin = qobject_cast<QSpinBox *>(widgetByName(w, name));
        QVERIFY(spin);
        spin->setValue(tooLow);
        QCOMPARE(spin->value(), low);
        spin->setValue(tooHigh);
        QCOMPARE(spin->value(), high);
        QCOMPARE(spin->buttonSymbols() != QAbstractSpinBox::NoButtons, arrows);
    }

    void timeSpins_data()
    {
        QTest::addColumn<bool>("condition");
        QTest::addColumn<double>("afterOneStep");
        QTest::newRow("operation") << false << 0.02;
        QTest::newRow("condition") << true << 0.11;
    }
    void timeSpins()
    {
        QFETCH(bool, condition);
        QFETCH(double, afterOneStep);
        tervalo w;
        QDoubleSpinBox *spin = condition ? windowparts::get<QDoubleSpinBox>(w, "conditionTimeSpin") : windowparts::get<QDoubleSpinBox>(w, "commandTimeSpin");
        QCOMPARE(spin->value(), 0.01);
        spin->stepUp();
        QCOMPARE(spin->value(), afterOneStep);
        spin->setValue(0);
        QCOMPARE(spin->value(), 0.01);
        spin->setValue(5000);
        QCOMPARE(spin->value(), 1000.0);
        spin->setValue(1.234);
        QCOMPARE(spin->value(), 1.23);
    }

    void menus()
    {
        tervalo w;
        QStringList titles;
        QList<QStringList> entries;
        for (QAction *menuAction : w.menuBar()->actions()) {
            titles << menuAction->text();
            QStringList texts;
            for (QAction *a : menuAction->menu()->actions())
                texts << a->text();
            entries << texts;
        }
        // The six designed menus, then the recorder's, last.
        QCOMPARE(titles, (QStringList{"ファイル", "報告", "設定", "バージョン", "ヘルプ", "その他", "記録"}));
        QCOMPARE(entries.at(6), QStringList{"操作を記録..."});
        QCOMPARE(entries.at(0), (QStringList{"新規作成", "開く", "上書き保存", "名前を付けて保存"}));
        QCOMPARE(entries.at(2), (QStringList{"ファイルを保存するか確認する", "ページにペーストするか確認する",
                                             "ページを削除するか確認する"}));
        QCOMPARE(entries.at(4), (QStringList{"ヘルプモード", "使い方を質問する"}));
        QCOMPARE(entries.at(5).size(), 5);
        for (QAction *checkable : {windowparts::get<QAction>(w, "askSaveAction"), windowparts::get<QAction>(w, "askPasteAction"), windowparts::get<QAction>(w, "askDeleteAction"), windowparts::get<QAction>(w, "helpModeAction")})
            QVERIFY(checkable->isCheckable());
        QVERIFY(!windowparts::get<QAction>(w, "newAction")->isCheckable());
    }

    void checkMarksFollowSettings_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QList<bool>>("marks"); // help, file, paste, delete
        QTest::newRow("defaults") << QByteArray("{\"is_used_this\": true}") << QList<bool>{false, true, false, true};
        QTest::newRow("inverted") << QByteArray("{\"is_used_this\": true, \"is_help\": true, \"is_message_file\": false,"
                                                " \"is_message_paste\": true, \"is_message_delete\": false}")
                                  << QList<bool>{true, false, true, false};
    }
    void checkMarksFollowSettings()
    {
        QFETCH(QByteArray, json);
        QFETCH(QList<bool>, marks);
        writeSettings(json);
        tervalo w;
        QCOMPARE((QList<bool>{windowparts::get<QAction>(w, "helpModeAction")->isChecked(), windowparts::get<QAction>(w, "askSaveAction")->isChecked(),
                              windowparts::get<QAction>(w, "askPasteAction")->isChecked(), windowparts::get<QAction>(w, "askDeleteAction")->isChecked()}),
                 marks);
        // Toggling an entry writes its flag.
        windowparts::get<QAction>(w, "askPasteAction")->toggle();
        QCOMPARE(w.settings().is_message_paste, !marks.at(2));
        windowparts::get<QAction>(w, "askDeleteAction")->toggle();
        QCOMPARE(w.settings().is_message_delete, !marks.at(3));
        windowparts::get<QAction>(w, "askSaveAction")->toggle();
        QCOMPARE(w.settings().is_message_file, !marks.at(1));
        windowparts::get<QAction>(w, "helpModeAction")->trigger();
        QCOMPARE(w.settings().is_help, !marks.at(0));
        writeSettings("{\"is_used_this\": true}");
    }

    void firstStartTurnsHelpOn()
    {
        writeSettings("{}");
        DialogAnswerer answerer; // the welcome box, where it is shown
        answerer.answerMessageBox(QMessageBox::Ok);
        tervalo w;
        QVERIFY(w.settings().is_used_this);
        QVERIFY(w.settings().is_help);
        QVERIFY(windowparts::get<QAction>(w, "helpModeAction")->isChecked());
        writeSettings("{\"is_used_this\": true}");
    }

    void languageButtonToggles()
    {
        tervalo w;
        windowparts::get<QPushButton>(w, "languageButton")->click();
        QVERIFY(!w.settings().is_japanese);
        windowparts::get<QAction>(w, "languageAction")->trigger();
        QVERIFY(w.settings().is_japanese);
    }

    void stripItemsMeasureLikeTheDefault()
    {
        tervalo w;
        w.addNewCommand();
        w.project().setCommands(RecordList(120, QStringList{"なし"}));
        w.project().setCommandAt(7, QStringList{"マウスポインター", "1", "2"});
        w.project().setCommandAt(118, QStringList{"マウスポインター", "1", "2"});
        w.project().setConditions(RecordList(120, PageKinds::blankCondition()));
        w.project().setCurrentPage(60);
        w.renderPage();
        QStyledItemDelegate reference;
        QStyleOptionViewItem option;
        option.initFrom(windowparts::get<QListWidget>(w, "pageList"));
        option.font = windowparts::get<QListWidget>(w, "pageList")->font();
        QSet<QString> shapes;
        for (int row = 0; row < windowparts::get<QListWidget>(w, "pageList")->count(); ++row) {
            const QModelIndex index = windowparts::get<QListWidget>(w, "pageList")->model()->index(row, 0);
            QCOMPARE(windowparts::get<QListWidget>(w, "pageList")->itemDelegate()->sizeHint(option, index), reference.sizeHint(option, index));
            shapes.insert(index.data().toString().section('.', 1));
        }
        QCOMPARE(shapes.size(), 3); // "+" (no dot part), なし, マウスポインター
    }

    void buttonsReachTheirSlots()
    {
        tervalo w;
        w.addNewCommand();
        windowparts::get<QPushButton>(w, "nextButton")->click();
        QCOMPARE(w.project().currentPage(), 2);
        windowparts::get<QPushButton>(w, "previousButton")->click();
        QCOMPARE(w.project().currentPage(), 1);
        windowparts::get<QComboBox>(w, "commandKindCombo")->setCurrentIndex(1);
        windowparts::get<QPushButton>(w, "addCommandButton")->click();
        QCOMPARE(w.project().commands().first().first(), QString("クリック"));
        windowparts::get<QComboBox>(w, "conditionKindCombo")->setCurrentIndex(2);
        windowparts::get<QPushButton>(w, "addConditionButton")->click();
        QCOMPARE(w.project().conditions().first(), QStringList{"即時"});
        windowparts::get<QPushButton>(w, "undoButton")->click();
        QCOMPARE(w.project().conditions().first(), (QStringList{"終わるまで待つ", "0.1"}));
        windowparts::get<QPushButton>(w, "redoButton")->click();
        QCOMPARE(w.project().conditions().first(), QStringList{"即時"});
        w.settings().is_message_file = false;
        windowparts::get<QAction>(w, "newAction")->trigger();
        QCOMPARE(w.project().conditions().first(), (QStringList{"終わるまで待つ", "0.1"}));
    }

private:
    static QWidget *widgetByName(tervalo &w, const QString &name)
    {
        const QHash<QString, QWidget *> byName{{"minuteSpin", windowparts::get<QSpinBox>(w, "minuteSpin")}, {"xSpin1", windowparts::get<QSpinBox>(w, "xSpin1")},
                                               {"ySpin1", windowparts::get<QSpinBox>(w, "ySpin1")},         {"xSpin2", windowparts::get<QSpinBox>(w, "xSpin2")},
                                               {"ySpin2", windowparts::get<QSpinBox>(w, "ySpin2")},         {"hourSpin", windowparts::get<QSpinBox>(w, "hourSpin")}};
        return byName.value(name);
    }
    void writeSettings(const QByteArray &json) { QVERIFY(settings->write(json)); }
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestEditorLayout)
#include "tst_editor_layout.moc"
