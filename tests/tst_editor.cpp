// The page editor and the page strip, driven through the main window's own
// widgets on the offscreen platform.

#include "gui/mainwindow/tervalo.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QtTest>

using Records = RecordList;
Q_DECLARE_METATYPE(RecordList)

namespace {
QStringList stripTexts(tervalo &w)
{
    QStringList texts;
    const QListWidget *strip = windowparts::get<QListWidget>(w, "pageList");
    for (int i = 0; i < strip->count(); ++i)
        texts << strip->item(i)->text();
    return texts;
}

bool shown(const tervalo &w, const QWidget *widget)
{
    return widget->isVisibleTo(&w);
}

// Five pages whose records need no completion.
RecordList fivePages()
{
    return {{"なし"}, {"クリック", "右", "2"}, {"キー", "65,2", "0.01"}, {"入力", "abc", "3"},
            {"マウスポインター", "10", "20"}};
}
RecordList fiveConditions()
{
    return {{"時間", "1"}, {"即時"}, {"クリック", "左"}, {"終わるまで待つ", "0.1"}, {"時刻", "9", "5"}};
}
} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        settings.reset(new TempSettings);
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }

    void init() { w.reset(new tervalo); w->addNewCommand(); }
    void cleanup() { w.reset(); }

    void newProjectView()
    {
        QCOMPARE(stripTexts(*w), (QStringList{"+", "1.なし", "+"}));
        QCOMPARE(windowparts::get<QListWidget>(*w, "pageList")->currentRow(), 1);
        QCOMPARE(windowparts::get<QLabel>(*w, "pageCounterLabel")->text(), QString("1/1"));
        QCOMPARE(w->windowTitle(), QString("新規プロジェクト"));
        QVERIFY(shown(*w, w->menuBar()));
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "nextButton")));
        // Nothing to go back to, nothing to delete, nothing copied, no history.
        for (QWidget *hidden : {static_cast<QWidget *>(windowparts::get<QPushButton>(*w, "previousButton")), static_cast<QWidget *>(windowparts::get<QPushButton>(*w, "deleteButton")),
                                static_cast<QWidget *>(windowparts::get<QPushButton>(*w, "pasteButton")), static_cast<QWidget *>(windowparts::get<QPushButton>(*w, "undoButton")),
                                static_cast<QWidget *>(windowparts::get<QPushButton>(*w, "redoButton")), static_cast<QWidget *>(windowparts::get<QPushButton>(*w, "newProjectButton"))})
            QVERIFY2(!shown(*w, hidden), qPrintable(hidden->metaObject()->className()));
    }

    void strip_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("counter");
        QTest::newRow("3 of 5 ja") << true << 3
            << QStringList{"1.なし", "2.クリック", "+", "3.キー", "+", "4.入力", "5.マウスポインター"} << "3/5";
        QTest::newRow("3 of 5 en") << false << 3
            << QStringList{"1.None", "2.Click", "+", "3.key", "+", "4.Enter Text", "5.Mouse Pointer"} << "3/5";
        QTest::newRow("first") << true << 1
            << QStringList{"+", "1.なし", "+", "2.クリック", "3.キー", "4.入力", "5.マウスポインター"} << "1/5";
        QTest::newRow("last") << true << 5
            << QStringList{"1.なし", "2.クリック", "3.キー", "4.入力", "+", "5.マウスポインター", "+"} << "5/5";
        QTest::newRow("past the end is pulled back") << true << 9
            << QStringList{"1.なし", "2.クリック", "3.キー", "4.入力", "+", "5.マウスポインター", "+"} << "5/5";
    }
    void strip()
    {
        QFETCH(bool, japanese);
        QFETCH(int, page);
        QFETCH(QStringList, items);
        QFETCH(QString, counter);
        w->settings().is_japanese = japanese;
        w->project().setCommands(fivePages());
        w->project().setConditions(fiveConditions());
        w->project().setCurrentPage(page);
        w->renderPage();
        QCOMPARE(stripTexts(*w), items);
        QCOMPARE(windowparts::get<QLabel>(*w, "pageCounterLabel")->text(), counter);
        QCOMPARE(windowparts::get<QListWidget>(*w, "pageList")->currentItem()->text().section('.', 0, 0).toInt(), w->project().currentPage());
        QCOMPARE(shown(*w, windowparts::get<QPushButton>(*w, "previousButton")), w->project().currentPage() != 1);
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "deleteButton")));
    }

    void nextOnLastPageAppends()
    {
        w->project().setCommands(fivePages());
        w->project().setConditions(fiveConditions());
        w->project().setCurrentPage(5);
        w->renderPage();
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        QCOMPARE(w->project().commands().size(), 6);
        QCOMPARE(w->project().commands().last(), QStringList{"なし"});
        QCOMPARE(w->project().conditions().last(), (QStringList{"終わるまで待つ", "0.1"}));
        QCOMPARE(windowparts::get<QLabel>(*w, "pageCounterLabel")->text(), QString("6/6"));
        windowparts::get<QPushButton>(*w, "previousButton")->click();
        QCOMPARE(windowparts::get<QLabel>(*w, "pageCounterLabel")->text(), QString("5/6"));
        QCOMPARE(w->project().commands().size(), 6); // moving back adds nothing
    }

    void plusInsertion_data()
    {
        QTest::addColumn<bool>("above");
        QTest::addColumn<int>("newPage");
        QTest::addColumn<int>("formerPageNow");
        QTest::newRow("above page 3") << true << 3 << 4;
        QTest::newRow("below page 3") << false << 4 << 3;
    }
    void plusInsertion()
    {
        QFETCH(bool, above);
        QFETCH(int, newPage);
        QFETCH(int, formerPageNow);
        w->project().setCommands(fivePages());
        w->project().setConditions(fiveConditions());
        w->project().setCurrentPage(3);
        w->renderPage();
        const QStringList former = w->project().commands().at(2);
        // Rows: 1, 2, +, 3, +, 4, 5.
        windowparts::get<QListWidget>(*w, "pageList")->setCurrentRow(above ? 2 : 4);
        QCOMPARE(w->project().currentPage(), newPage);
        QCOMPARE(w->project().commands().size(), 6);
        QCOMPARE(w->project().commands().at(newPage - 1), QStringList{"なし"});
        QCOMPARE(w->project().conditions().at(newPage - 1), (QStringList{"終わるまで待つ", "0.1"}));
        QCOMPARE(w->project().commands().at(formerPageNow - 1), former);
        QCOMPARE(windowparts::get<QLabel>(*w, "pageCounterLabel")->text(), QString("%1/6").arg(newPage));
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "undoButton")));
    }

    void clickingAnItemShowsItsPage()
    {
        w->project().setCommands(fivePages());
        w->project().setConditions(fiveConditions());
        w->renderPage();
        const int snapshots = w->editHistory().size();
        const auto found = windowparts::get<QListWidget>(*w, "pageList")->findItems("3.キー", Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        windowparts::get<QListWidget>(*w, "pageList")->setCurrentItem(found.first());
        QCOMPARE(w->project().currentPage(), 3);
        QCOMPARE(windowparts::get<QLabel>(*w, "pageCounterLabel")->text(), QString("3/5"));
        QCOMPARE(w->project().commands(), fivePages()); // navigation changes no record
        QCOMPARE(w->editHistory().size(), snapshots);
        QCOMPARE(windowparts::get<QLabel>(*w, "commandNameLabel")->text(), QString("キー"));
        QCOMPARE(windowparts::get<QLabel>(*w, "commandKeyLabel")->text(), QString("Ctrl+A"));
    }

    void deletePage_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<bool>("ask");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("question");
        QTest::addColumn<int>("shownAfter");
        QTest::addColumn<QString>("firstAfter");
        QTest::newRow("first, yes") << true << true << int(QMessageBox::Yes) << 1 << "1ページ目を削除しますか？" << 1 << "クリック";
        QTest::newRow("last, yes") << true << true << int(QMessageBox::Yes) << 3 << "3ページ目を削除しますか？" << 2 << "なし";
        QTest::newRow("english") << false << true << int(QMessageBox::Yes) << 2 << "Do you want to delete page 2?" << 1 << "なし";
        QTest::newRow("no keeps it") << true << true << int(QMessageBox::No) << 2 << "2ページ目を削除しますか？" << 2 << "なし";
        QTest::newRow("without asking") << true << false << 0 << 3 << QString() << 2 << "なし";
    }
    void deletePage()
    {
        QFETCH(bool, japanese);
        QFETCH(bool, ask);
        QFETCH(int, answer);
        QFETCH(int, page);
        QFETCH(QString, question);
        QFETCH(int, shownAfter);
        QFETCH(QString, firstAfter);
        w->settings().is_japanese = japanese;
        w->settings().is_message_delete = ask;
        w->project().setCommands({{"なし"}, {"クリック", "左", "0.01"}, {"マウスポインター", "1", "2"}});
        w->project().setConditions({{"即時"}, {"時間", "2"}, {"即時"}});
        const RecordList before = w->project().commands();
        w->project().setCurrentPage(page);
        w->renderPage();
        DialogAnswerer answerer;
        if (ask)
            answerer.answerMessageBox(QMessageBox::StandardButton(answer));
        windowparts::get<QPushButton>(*w, "deleteButton")->click();
        QCOMPARE(answerer.seen.size(), ask ? 1 : 0);
        if (ask) {
            QCOMPARE(answerer.seen.first().title, japanese ? QString("最終確認") : QString("Warning"));
            QCOMPARE(answerer.seen.first().text, question);
            QCOMPARE(answerer.seen.first().defaultButton, QMessageBox::No);
            QCOMPARE(answerer.seen.first().icon, QMessageBox::Warning);
        }
        const bool removed = !ask || answer == QMessageBox::Yes;
        QCOMPARE(w->project().commands().size(), removed ? 2 : 3);
        QCOMPARE(w->project().conditions().size(), w->project().commands().size());
        QCOMPARE(w->project().currentPage(), shownAfter);
        QCOMPARE(w->project().commands().first().first(), firstAfter);
        if (removed) {
            RecordList expected = before;
            expected.removeAt(page - 1);
            QCOMPARE(w->project().commands(), expected);
        }
    }

    void lastPageCannotBeDeleted()
    {
        w->settings().is_message_delete = false;
        w->deletePage(); // the button is hidden; the slot still must not empty the project
        QCOMPARE(w->project().commands().size(), 1);
        QCOMPARE(w->project().conditions().size(), 1);
    }

    void paste_data()
    {
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<bool>("ask");
        QTest::addColumn<QStringList>("targetCondition");
        QTest::addColumn<int>("answer"); // 0: no box expected
        QTest::addColumn<QString>("question");
        QTest::newRow("blank page is not empty") << true << true << QStringList{"終わるまで待つ", "0.1"}
                                                 << int(QMessageBox::Yes) << "2 ページ目を置き換えますか？";
        QTest::newRow("english") << false << true << QStringList{"終わるまで待つ", "0.1"} << int(QMessageBox::Yes)
                                 << "Do you want to replace page 2?";
        QTest::newRow("declined") << true << true << QStringList{"即時"} << int(QMessageBox::No)
                                  << "2 ページ目を置き換えますか？";
        QTest::newRow("empty page: no question") << true << true << QStringList{"時間", "0.1"} << 0 << QString();
        QTest::newRow("time 0.2 is not empty") << true << true << QStringList{"時間", "0.2"} << int(QMessageBox::Yes)
                                               << "2 ページ目を置き換えますか？";
        QTest::newRow("flag off") << true << false << QStringList{"即時"} << 0 << QString();
    }
    void paste()
    {
        QFETCH(bool, japanese);
        QFETCH(bool, ask);
        QFETCH(QStringList, targetCondition);
        QFETCH(int, answer);
        QFETCH(QString, question);
        w->settings().is_japanese = japanese;
        w->settings().is_message_paste = ask;
        w->project().setCommands({{"クリック", "右", "2"}, {"なし"}});
        w->project().setConditions({{"時刻", "23", "59"}, targetCondition});
        w->renderPage();
        QVERIFY(!shown(*w, windowparts::get<QPushButton>(*w, "pasteButton")));
        windowparts::get<QPushButton>(*w, "copyButton")->click();
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "pasteButton")));
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        QCOMPARE(w->project().currentPage(), 2);
        DialogAnswerer answerer;
        if (answer)
            answerer.answerMessageBox(QMessageBox::StandardButton(answer));
        windowparts::get<QPushButton>(*w, "pasteButton")->click();
        QCOMPARE(answerer.seen.size(), answer ? 1 : 0);
        if (answer) {
            QCOMPARE(answerer.seen.first().text, question);
            QCOMPARE(answerer.seen.first().defaultButton, QMessageBox::No);
        }
        const bool replaced = answer != QMessageBox::No;
        QCOMPARE(w->project().commands().at(1), (replaced ? QStringList{"クリック", "右", "2"} : QStringList{"なし"}));
        QCOMPARE(w->project().conditions().at(1), (replaced ? QStringList{"時刻", "23", "59"} : targetCondition));
        QCOMPARE(w->project().commands().at(0), (QStringList{"クリック", "右", "2"})); // the source is untouched
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "pasteButton"))); // the copy stays for more pastes
    }

    void addReplacesRecord_data()
    {
        QTest::addColumn<int>("kindIndex");
        QTest::addColumn<QStringList>("record");
        QTest::addColumn<QString>("label");
        QTest::newRow("click resets a right click") << 1 << QStringList{"クリック", "左", "0.01"} << "クリック";
        QTest::newRow("mouse pointer") << 2 << QStringList{"マウスポインター", "0", "0"} << "マウスポインター";
        QTest::newRow("smooth move") << 3 << QStringList{"スムーズムーブ", "0", "0", "1"} << "スムーズムーブ";
        QTest::newRow("none") << 0 << QStringList{"なし"} << "なし";
    }
    void addReplacesRecord()
    {
        QFETCH(int, kindIndex);
        QFETCH(QStringList, record);
        QFETCH(QString, label);
        w->project().setCommands({{"クリック", "右", "2"}});
        w->renderPage();
        windowparts::get<QComboBox>(*w, "commandKindCombo")->setCurrentIndex(kindIndex);
        QCOMPARE(w->project().commands().first(), (QStringList{"クリック", "右", "2"})); // choosing alone changes nothing
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        QCOMPARE(w->project().commands().first(), record);
        QCOMPARE(windowparts::get<QLabel>(*w, "commandNameLabel")->text(), label);
    }

    void fieldsShowTheRecord()
    {
        w->project().setCommands({{"スムーズムーブ", "-5", "99999999", "2.5"}});
        w->project().setConditions({{"時刻", "24", "7"}});
        w->renderPage();
        for (QWidget *visible : std::initializer_list<QWidget *>{windowparts::get<QSpinBox>(*w, "xSpin2"), windowparts::get<QSpinBox>(*w, "ySpin2"), windowparts::get<QPushButton>(*w, "getButton2"),
                                                                  windowparts::get<QDoubleSpinBox>(*w, "commandTimeSpin"), windowparts::get<QPushButton>(*w, "testButton"), windowparts::get<QSpinBox>(*w, "hourSpin"),
                                                                  windowparts::get<QSpinBox>(*w, "minuteSpin"), windowparts::get<QLabel>(*w, "colonLabel")})
            QVERIFY(shown(*w, visible));
        for (QWidget *hidden : std::initializer_list<QWidget *>{windowparts::get<QSpinBox>(*w, "xSpin1"), windowparts::get<QTextEdit>(*w, "textEdit"), windowparts::get<QComboBox>(*w, "commandSideCombo"),
                                                                 windowparts::get<QDoubleSpinBox>(*w, "conditionTimeSpin"), windowparts::get<QLabel>(*w, "conditionKeyLabel")})
            QVERIFY(!shown(*w, hidden));
        QCOMPARE(windowparts::get<QSpinBox>(*w, "xSpin2")->value(), -5);
        QCOMPARE(windowparts::get<QSpinBox>(*w, "ySpin2")->value(), 99999999);
        QCOMPARE(windowparts::get<QDoubleSpinBox>(*w, "commandTimeSpin")->value(), 2.5);
        QCOMPARE(windowparts::get<QSpinBox>(*w, "hourSpin")->value(), 24);
        QCOMPARE(windowparts::get<QSpinBox>(*w, "minuteSpin")->value(), 7);
        QCOMPARE(windowparts::get<QLabel>(*w, "conditionNameLabel")->text(), QString("時刻"));
    }

    void smoothMoveTimeEditRewritesCoordinates()
    {
        w->project().setCommands({{"スムーズムーブ", "abc", "12", "1"}});
        w->renderPage();
        windowparts::get<QDoubleSpinBox>(*w, "commandTimeSpin")->setValue(1.5);
        // Every field of the kind is rewritten from the widgets: the
        // unconvertible X is shown, and now stored, as 0.
        QCOMPARE(w->project().commands().first(), (QStringList{"スムーズムーブ", "0", "12", "1.5"}));
        QCOMPARE(w->project().conditions().first(), (QStringList{"終わるまで待つ", "0.1"}));
    }

    void displayDoesNotChangeRecords()
    {
        // Values the widgets cannot show stay in the record until a field is edited.
        w->project().setCommands({{"クリック", "右", "0.005"}, {"マウスポインター", "-99999999", "5"}});
        w->project().setConditions({{"時間", "5000"}, {"時間", "x"}});
        const RecordList commands = w->project().commands();
        const RecordList conditions = w->project().conditions();
        w->renderPage();
        QCOMPARE(windowparts::get<QDoubleSpinBox>(*w, "commandTimeSpin")->value(), 0.01);
        QCOMPARE(windowparts::get<QDoubleSpinBox>(*w, "conditionTimeSpin")->value(), 1000.0);
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        QCOMPARE(windowparts::get<QSpinBox>(*w, "xSpin1")->value(), -9999999);
        QCOMPARE(w->project().commands(), commands);
        QCOMPARE(w->project().conditions(), conditions);
    }

    void englishModeStoresJapanese_data()
    {
        QTest::addColumn<bool>("condition");
        QTest::addColumn<QString>("side");
        QTest::addColumn<QString>("stored");
        QTest::newRow("operation right") << false << "Right" << "右";
        QTest::newRow("operation left") << false << "Left" << "左";
        QTest::newRow("condition right") << true << "Right" << "右";
    }
    void englishModeStoresJapanese()
    {
        QFETCH(bool, condition);
        QFETCH(QString, side);
        QFETCH(QString, stored);
        w->settings().is_japanese = false;
        // The English item texts, as the language switch writes them.
        const QStringList commandItems{"None", "Click", "Mouse Pointer", "Smooth Move", "Key", "Enter Text"};
        const QStringList conditionItems{"Wait until over", "Time", "Immediately", "Click", "Key", "Clock Time"};
        for (int i = 0; i < 6; ++i) {
            windowparts::get<QComboBox>(*w, "commandKindCombo")->setItemText(i, commandItems[i]);
            windowparts::get<QComboBox>(*w, "conditionKindCombo")->setItemText(i, conditionItems[i]);
        }
        for (QComboBox *c : {windowparts::get<QComboBox>(*w, "commandSideCombo"), windowparts::get<QComboBox>(*w, "conditionSideCombo")}) {
            c->setItemText(0, "Left");
            c->setItemText(1, "Right");
        }
        windowparts::get<QComboBox>(*w, "commandKindCombo")->setCurrentIndex(2);
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        QCOMPARE(w->project().commands().first(), (QStringList{"マウスポインター", "0", "0"}));
        QCOMPARE(windowparts::get<QLabel>(*w, "commandNameLabel")->text(), QString("Mouse Pointer"));
        QCOMPARE(stripTexts(*w).at(1), QString("1.Mouse Pointer"));

        QComboBox *kindCombo = condition ? windowparts::get<QComboBox>(*w, "conditionKindCombo") : windowparts::get<QComboBox>(*w, "commandKindCombo");
        kindCombo->setCurrentIndex(condition ? 3 : 1);
        (condition ? windowparts::get<QPushButton>(*w, "addConditionButton") : windowparts::get<QPushButton>(*w, "addCommandButton"))->click();
        QComboBox *sideCombo = condition ? windowparts::get<QComboBox>(*w, "conditionSideCombo") : windowparts::get<QComboBox>(*w, "commandSideCombo");
        QVERIFY(shown(*w, sideCombo));
        sideCombo->setCurrentText(side == "Left" ? "Right" : "Left");
        sideCombo->setCurrentText(side);
        const QStringList &record = condition ? w->project().conditions().first() : w->project().commands().first();
        QCOMPARE(record.at(1), stored);
        QCOMPARE(record.at(0), QString("クリック"));
        w->renderPage();
        QCOMPARE(sideCombo->currentText(), side);
    }

    void enterTextCompletionLock()
    {
        w->project().setCommands({{"なし"}, {"なし"}});
        w->project().setConditions({{"即時"}, {"即時"}});
        w->project().setCurrentPage(2);
        w->copy();
        windowparts::get<QComboBox>(*w, "commandKindCombo")->setCurrentIndex(5);
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        QCOMPARE(w->project().commands().at(1), (QStringList{"入力", "", "3"}));
        const QList<QWidget *> lockWidgets{windowparts::get<QPushButton>(*w, "runButton"), windowparts::get<QPushButton>(*w, "nextButton"), windowparts::get<QPushButton>(*w, "previousButton"), windowparts::get<QPushButton>(*w, "deleteButton"),
                                           windowparts::get<QPushButton>(*w, "addCommandButton"), windowparts::get<QPushButton>(*w, "addConditionButton"), w->menuBar(), windowparts::get<QListWidget>(*w, "pageList"),
                                           windowparts::get<QPushButton>(*w, "copyButton"), windowparts::get<QPushButton>(*w, "pasteButton")};
        for (QWidget *lw : lockWidgets)
            QVERIFY(!shown(*w, lw));
        // The fields and the undo button stay usable.
        QVERIFY(shown(*w, windowparts::get<QTextEdit>(*w, "textEdit")));
        QVERIFY(shown(*w, windowparts::get<QComboBox>(*w, "commandKindCombo")));
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "undoButton")));

        windowparts::get<QTextEdit>(*w, "textEdit")->insertPlainText("x");
        QCOMPARE(w->project().commands().at(1), (QStringList{"入力", "x", "3"}));
        for (QWidget *lw : lockWidgets)
            QVERIFY(shown(*w, lw));

        windowparts::get<QTextEdit>(*w, "textEdit")->clear();
        QCOMPARE(w->project().commands().at(1).at(1), QString());
        for (QWidget *lw : lockWidgets)
            QVERIFY(!shown(*w, lw));

        // Undo leaves a page without the text operation, free to leave.
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        QCOMPARE(w->project().commands().at(1), QStringList{"なし"});
        for (QWidget *lw : lockWidgets)
            QVERIFY(shown(*w, lw));
    }

    void lockFollowsPageOnRender_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("condition");
        QTest::addColumn<bool>("locked");
        QTest::newRow("key operation without key") << QStringList{"キー", "", "0.01"} << QStringList{"即時"} << true;
        QTest::newRow("key operation none") << QStringList{"キー", "なし", "0.01"} << QStringList{"即時"} << true;
        QTest::newRow("key operation set") << QStringList{"キー", "65,0", "0.01"} << QStringList{"即時"} << false;
        QTest::newRow("key condition without key") << QStringList{"なし"} << QStringList{"キー", ""} << true;
        QTest::newRow("key condition set, empty text")
            << QStringList{"入力", "", "3"} << QStringList{"キー", "65,0"} << false;
        QTest::newRow("empty text") << QStringList{"入力", "", "3"} << QStringList{"即時"} << true;
        QTest::newRow("unknown kind") << QStringList{"Click"} << QStringList{"謎"} << false;
    }
    void lockFollowsPageOnRender()
    {
        QFETCH(QStringList, command);
        QFETCH(QStringList, condition);
        QFETCH(bool, locked);
        w->project().setCommands({command});
        w->project().setConditions({condition});
        w->renderPage();
        QCOMPARE(shown(*w, windowparts::get<QPushButton>(*w, "nextButton")), !locked);
        QCOMPARE(shown(*w, w->menuBar()), !locked);
        QCOMPARE(shown(*w, windowparts::get<QPushButton>(*w, "addConditionButton")), !locked);
    }

    // Typing decides the lock as the page itself does: the state after the
    // edit is the state after leaving the page and coming back.
    void lockWhileTypingIsTheLockOfThePage_data()
    {
        QTest::addColumn<QString>("text");  // the text box's content before the edit
        QTest::addColumn<QString>("typed"); // typed at the end, or "" to empty the box
        QTest::addColumn<QStringList>("condition");
        QTest::addColumn<bool>("locked");
        QTest::newRow("key condition set, text emptied") << "a" << "" << QStringList{"キー", "65,2"} << false;
        QTest::newRow("key condition without key, text typed") << "" << "b" << QStringList{"キー", ""} << true;
        QTest::newRow("no key condition, text emptied") << "a" << "" << QStringList{"即時"} << true;
        QTest::newRow("no key condition, text typed") << "" << "b" << QStringList{"即時"} << false;
    }
    void lockWhileTypingIsTheLockOfThePage()
    {
        QFETCH(QString, text);
        QFETCH(QString, typed);
        QFETCH(QStringList, condition);
        QFETCH(bool, locked);
        w->project().setCommands({{"入力", text, "3"}, {"なし"}});
        w->project().setConditions({condition, {"即時"}});
        w->renderPage();
        auto *box = windowparts::get<QTextEdit>(*w, "textEdit");
        if (typed.isEmpty())
            box->clear();
        else
            box->insertPlainText(typed);
        auto *next = windowparts::get<QPushButton>(*w, "nextButton");
        QCOMPARE(shown(*w, next), !locked);
        // Leave and come back: by the page buttons, or where the lock hides
        // them by Undo and Redo, which stay usable.
        if (locked) {
            windowparts::get<QPushButton>(*w, "undoButton")->click();
            windowparts::get<QPushButton>(*w, "redoButton")->click();
        } else {
            next->click();
            windowparts::get<QPushButton>(*w, "previousButton")->click();
        }
        QCOMPARE(w->project().commands().first().value(1), text.isEmpty() ? typed : QString());
        QCOMPARE(shown(*w, next), !locked);
    }

    void unknownKindKeepsLabelsAndFields()
    {
        w->renderPage();
        w->project().setCommands({{"Click", "a"}});
        w->project().setConditions({{"謎", "b"}});
        w->renderPage();
        QCOMPARE(windowparts::get<QLabel>(*w, "commandNameLabel")->text(), QString("なし")); // unchanged from the previous page
        QCOMPARE(stripTexts(*w).at(1), QString("1.Click"));
        windowparts::get<QComboBox>(*w, "conditionKindCombo")->setCurrentIndex(1); // no-op selection
        QCOMPARE(w->project().commands().first(), (QStringList{"Click", "a"}));
    }

    void clockTimeAndHourRange()
    {
        windowparts::get<QComboBox>(*w, "conditionKindCombo")->setCurrentIndex(5);
        const QTime before = QTime::currentTime();
        windowparts::get<QPushButton>(*w, "addConditionButton")->click();
        const QStringList record = w->project().conditions().first();
        QCOMPARE(record.size(), 3);
        QCOMPARE(record.at(0), QString("時刻"));
        const int hour = record.at(1).toInt();
        QVERIFY(hour == before.hour() || hour == QTime::currentTime().hour());
        QVERIFY(!record.at(2).startsWith('0') || record.at(2) == "0");
        windowparts::get<QSpinBox>(*w, "hourSpin")->setValue(24);
        QCOMPARE(w->project().conditions().first().at(1), QString("24"));
    }

    void addIgnoredWhileCaptureRuns()
    {
        // A key capture for the condition: the operation is left as it was.
        windowparts::chooseCondition(*w, PageKinds::kKey);
        windowparts::get<QPushButton>(*w, "addConditionButton")->click();
        QVERIFY(w->captureWaiting());
        windowparts::get<QComboBox>(*w, "commandKindCombo")->setCurrentIndex(1);
        windowparts::get<QComboBox>(*w, "conditionKindCombo")->setCurrentIndex(2);
        w->addCommand();
        w->addCondition();
        QCOMPARE(w->project().commands().first(), QStringList{"なし"});
        QCOMPARE(w->project().conditions().first(), (QStringList{"キー", ""}));
        sim.sim->tapCombination({65});
        QTRY_VERIFY(!w->captureWaiting());
        QCOMPARE(w->project().commands().first(), QStringList{"なし"});
        QCOMPARE(w->project().conditions().first(), (QStringList{"キー", "65,0"}));
    }

private:
    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<tervalo> w;
    SimFixture sim;
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
