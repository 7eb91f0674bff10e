// The undo history: the snapshot list on its own, then undo and redo as the
// user meets them in the window.

#include "gui/mainwindow/tervalo.h"
#include "project/edithistory.h"
#include "project/pagekinds.h"
#include "support/dialoganswerer.h"
#include "support/simfixture.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

namespace {
RecordList pages(std::initializer_list<const char *> kinds)
{
    RecordList list;
    for (const char *k : kinds)
        list.append(QStringList{QString::fromUtf8(k)});
    return list;
}
const RecordList kConds1{{"即時"}};
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        settings.reset(new TempSettings);
        QVERIFY(settings->write("{\"is_used_this\": true}"));
    }

    // Steps: "r<kind>" records a one-page project of that kind, "u" undoes,
    // "f" redoes. The result is the sequence of kinds in the history, the
    // index and the kind it shows.
    void sequences_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("snapshots");
        QTest::addColumn<int>("index");
        QTest::newRow("start") << QStringList{} << QStringList{"なし"} << 0;
        QTest::newRow("same project records nothing") << QStringList{"rなし", "rなし"} << QStringList{"なし"} << 0;
        QTest::newRow("two changes") << QStringList{"rA", "rB"} << QStringList{"なし", "A", "B"} << 2;
        QTest::newRow("undo keeps the tail") << QStringList{"rA", "rB", "u"} << QStringList{"なし", "A", "B"} << 1;
        QTest::newRow("change after undo drops the tail")
            << QStringList{"rA", "rB", "u", "u", "rC"} << QStringList{"なし", "C"} << 1;
        QTest::newRow("undo then redo") << QStringList{"rA", "u", "f"} << QStringList{"なし", "A"} << 1;
        QTest::newRow("undo past the start is refused") << QStringList{"rA", "u", "u", "u"} << QStringList{"なし", "A"} << 0;
        QTest::newRow("redo past the end is refused") << QStringList{"rA", "f"} << QStringList{"なし", "A"} << 1;
        QTest::newRow("back to an older state is a new step")
            << QStringList{"rA", "rなし"} << QStringList{"なし", "A", "なし"} << 2;
        QTest::newRow("recording the undone state adds nothing")
            << QStringList{"rA", "u", "rなし"} << QStringList{"なし", "A"} << 0;
    }
    void sequences()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, snapshots);
        QFETCH(int, index);
        EditHistory h;
        for (const QString &step : steps) {
            if (step.startsWith('r'))
                h.record(RecordList{QStringList{step.mid(1)}}, RecordList{PageKinds::blankCondition()});
            else if (step == "u")
                h.undo();
            else
                h.redo();
        }
        QStringList kinds;
        for (int i = 0; i < h.size(); ++i)
            kinds << h.commandsAt(i).first().first();
        QCOMPARE(kinds, snapshots);
        QCOMPARE(h.index(), index);
        QCOMPARE(h.canUndo(), index > 0);
        QCOMPARE(h.canRedo(), index < snapshots.size() - 1);
        QCOMPARE(h.currentCommands().first().first(), snapshots.at(index));
    }

    // Large projects: edits, insertions and deletions anywhere in 300 pages,
    // then every step undone and redone gives back exactly the lists that
    // were recorded.
    void largeProjectStepsComeBackExactly()
    {
        RecordList commands, conditions;
        for (int i = 0; i < 300; ++i) {
            commands.append({QStringLiteral("マウスポインター"), QString::number(i), QStringLiteral("1")});
            conditions.append(PageKinds::blankCondition());
        }
        EditHistory h(commands, conditions);
        QList<RecordList> seenCommands{commands}, seenConditions{conditions};
        for (int step = 1; step <= 40; ++step) {
            const int at = (step * 37) % int(commands.size());
            if (step % 5 == 0)
                commands.insert(at, QStringList{QStringLiteral("なし")});
            else if (step % 7 == 0)
                commands.removeAt(at);
            else
                commands[at][1] = QString::number(-step);
            if (step % 3 == 0)
                conditions[at % conditions.size()] = QStringList{QStringLiteral("時間"), QString::number(step)};
            QVERIFY(h.record(commands, conditions));
            seenCommands.append(commands);
            seenConditions.append(conditions);
        }
        for (int i = h.size() - 1; i >= 0; --i) {
            QCOMPARE(h.currentCommands(), seenCommands.at(i));
            QCOMPARE(h.currentConditions(), seenConditions.at(i));
            h.undo();
        }
        while (h.redo()) {
            QCOMPARE(h.currentCommands(), seenCommands.at(h.index()));
            QCOMPARE(h.currentConditions(), seenConditions.at(h.index()));
        }
        QCOMPARE(h.index(), 40);
    }

    void conditionChangeAloneIsAStep()
    {
        EditHistory h;
        QVERIFY(h.record(RecordList{PageKinds::blankCommand()}, kConds1));
        QCOMPARE(h.size(), 2);
        QVERIFY(!h.record(RecordList{PageKinds::blankCommand()}, kConds1));
    }

    void snapshotsAreValueCopies()
    {
        EditHistory h;
        RecordList live = pages({"A", "B"});
        RecordList conds{PageKinds::blankCondition(), PageKinds::blankCondition()};
        h.record(live, conds);
        live[1][0] = "changed";
        QCOMPARE(h.currentCommands().at(1).first(), QString("B"));
    }

    void windowUndoRedo()
    {
        auto w = editor();
        QVERIFY(!shown(*w, windowparts::get<QPushButton>(*w, "undoButton")));
        QVERIFY(!shown(*w, windowparts::get<QPushButton>(*w, "redoButton")));
        addOperation(*w, 1);
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "undoButton")));
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        QCOMPARE(w->project().commands(), RecordList{{"なし"}});
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "redoButton")));
        QVERIFY(!shown(*w, windowparts::get<QPushButton>(*w, "undoButton")));
        windowparts::get<QPushButton>(*w, "redoButton")->click();
        QCOMPARE(w->project().commands(), (RecordList{{"クリック", "左", "0.01"}}));
        QVERIFY(!shown(*w, windowparts::get<QPushButton>(*w, "redoButton")));

        // A new change after an undo: redo is gone at once, and undo goes
        // straight back to the blank page.
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        windowparts::get<QComboBox>(*w, "conditionKindCombo")->setCurrentIndex(1);
        windowparts::get<QPushButton>(*w, "addConditionButton")->click();
        QVERIFY(!shown(*w, windowparts::get<QPushButton>(*w, "redoButton")));
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "undoButton")));
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        QCOMPARE(w->project().commands(), RecordList{{"なし"}});
        QCOMPARE(w->project().conditions(), (RecordList{{"終わるまで待つ", "0.1"}}));
        QVERIFY(!shown(*w, windowparts::get<QPushButton>(*w, "undoButton")));
    }

    void typingIsOneStep_data()
    {
        QTest::addColumn<bool>("onLastPage");
        QTest::addColumn<int>("pagesAfterUndo");
        QTest::newRow("→ appends: undo removes text and page") << true << 1;
        QTest::newRow("→ to an existing page: undo removes the text") << false << 2;
    }
    void typingIsOneStep()
    {
        QFETCH(bool, onLastPage);
        QFETCH(int, pagesAfterUndo);
        auto w = editor();
        if (!onLastPage) {
            windowparts::get<QPushButton>(*w, "nextButton")->click();
            windowparts::get<QPushButton>(*w, "previousButton")->click();
        }
        addOperation(*w, 5);
        windowparts::get<QTextEdit>(*w, "textEdit")->insertPlainText("a");
        windowparts::get<QTextEdit>(*w, "textEdit")->insertPlainText("b");
        windowparts::get<QTextEdit>(*w, "textEdit")->insertPlainText("c");
        const int before = w->editHistory().size();
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        QCOMPARE(w->editHistory().size(), before + 1);
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        QCOMPARE(w->project().commands().size(), pagesAfterUndo);
        QCOMPARE(w->project().commands().first(), (QStringList{"入力", "", "3"}));
    }

    // Typing stores into the page without a refresh: Undo, Redo and every
    // action that replaces a record take the typing in as a step first. The
    // edited page is page 2; page 1 is a copied blank page.
    void pendingEditIsAStep_data()
    {
        QTest::addColumn<QString>("kind");   // operation added, then typed into
        QTest::addColumn<QString>("action"); // what comes after the typing
        QTest::newRow("time, then Undo and Redo") << PageKinds::kClick << "undo";
        QTest::newRow("text, then Undo and Redo") << PageKinds::kEnterText << "undo";
        QTest::newRow("time, then another kind") << PageKinds::kClick << "add";
        QTest::newRow("text, then a condition") << PageKinds::kEnterText << "condition";
        QTest::newRow("text, then Paste") << PageKinds::kEnterText << "paste";
        QTest::newRow("time, then Delete") << PageKinds::kClick << "delete";
    }
    void pendingEditIsAStep()
    {
        QFETCH(QString, kind);
        QFETCH(QString, action);
        auto w = editor();
        w->settings().is_message_paste = false;
        w->settings().is_message_delete = false;
        windowparts::get<QPushButton>(*w, "copyButton")->click();
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        windowparts::chooseOperation(*w, kind);
        windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        const QStringList added = w->project().commands().at(1);
        if (kind == PageKinds::kEnterText)
            windowparts::get<QTextEdit>(*w, "textEdit")->insertPlainText("abc");
        else
            windowparts::get<QDoubleSpinBox>(*w, "commandTimeSpin")->setValue(2.5);
        const QStringList typed = w->project().commands().at(1);
        QVERIFY(typed != added);
        auto *undo = windowparts::get<QPushButton>(*w, "undoButton");
        if (action == "undo") {
            undo->click();
            QCOMPARE(w->project().commands().at(1), added);
            windowparts::get<QPushButton>(*w, "redoButton")->click();
            QCOMPARE(w->project().commands().at(1), typed);
            return;
        }
        if (action == "add") {
            windowparts::chooseOperation(*w, PageKinds::kWheel);
            windowparts::get<QPushButton>(*w, "addCommandButton")->click();
        } else if (action == "condition") {
            windowparts::chooseCondition(*w, PageKinds::kImmediately);
            windowparts::get<QPushButton>(*w, "addConditionButton")->click();
        } else {
            windowparts::get<QPushButton>(*w, action == "paste" ? "pasteButton" : "deleteButton")->click();
        }
        QVERIFY(w->project().commands().size() == 1 || w->project().commands().at(1) != typed
                || w->project().conditions().at(1) != PageKinds::blankCondition());
        undo->click();
        QCOMPARE(w->project().commands().at(1), typed);
        QCOMPARE(w->project().conditions().at(1), PageKinds::blankCondition());
    }

    void undoDelete_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("pageAfterUndo");
        QTest::newRow("page 2 of 3") << 2 << 1;
        QTest::newRow("last page") << 3 << 2;
    }
    void undoDelete()
    {
        QFETCH(int, page);
        QFETCH(int, pageAfterUndo);
        auto w = editor();
        w->settings().is_message_delete = false;
        w->project().setCommands(pages({"なし", "クリック", "なし"}));
        w->project().setCommandAt(1, PageKinds::createdCommand(PageKinds::kClick));
        w->project().setConditions(RecordList(3, PageKinds::blankCondition()));
        w->project().setCurrentPage(page);
        w->renderPage();
        const RecordList before = w->project().commands();
        windowparts::get<QPushButton>(*w, "deleteButton")->click();
        QCOMPARE(w->project().commands().size(), 2);
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        QCOMPARE(w->project().commands(), before);
        QCOMPARE(w->project().currentPage(), pageAfterUndo); // undo does not move the page
        QCOMPARE(windowparts::get<QLabel>(*w, "pageCounterLabel")->text(), QString("%1/3").arg(pageAfterUndo));
    }

    void undoClampsPage()
    {
        auto w = editor();
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        windowparts::get<QPushButton>(*w, "nextButton")->click();
        QCOMPARE(w->project().currentPage(), 3);
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        QCOMPARE(w->project().commands().size(), 2);
        QCOMPARE(w->project().currentPage(), 2);
    }

    void undoAfterOpenAndNew()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("opened.cmdat");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(R"({"list_command": [["なし"], ["入力", "x", "1"]], "list_condition": [["即時"], ["即時"]]})");
        }
        auto w = editor();
        w->settings().is_message_file = false;
        w->settings().lastUsedPath = dir.path();
        addOperation(*w, 1);
        const RecordList mine = w->project().commands();
        DialogAnswerer answerer;
        answerer.answerFileDialog(file);
        windowparts::get<QAction>(*w, "openAction")->trigger();
        QCOMPARE(w->project().commands().size(), 2);
        QVERIFY(!w->hasUnsavedChanges());
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        QCOMPARE(w->project().commands(), mine);
        QCOMPARE(w->windowTitle(), QString("opened"));
        QVERIFY(w->hasUnsavedChanges());
        windowparts::get<QPushButton>(*w, "redoButton")->click();
        QVERIFY(!w->hasUnsavedChanges()); // back at the loaded state: saved again

        windowparts::get<QAction>(*w, "newAction")->trigger();
        QCOMPARE(w->project().commands(), RecordList{{"なし"}});
        windowparts::get<QPushButton>(*w, "undoButton")->click();
        QCOMPARE(w->project().commands().size(), 2);
        QCOMPARE(w->windowTitle(), QString("新規プロジェクト"));
    }

    void keyAddIsTwoStepsWhenCaptured()
    {
        auto w = editor();
        addOperation(*w, 4);
        // Until the capture finishes, the page holds the empty key and is locked.
        QCOMPARE(w->project().commands().first(), (QStringList{"キー", "", "0.01"}));
        QVERIFY(!shown(*w, windowparts::get<QPushButton>(*w, "nextButton")));
        QVERIFY(w->editHistory().size() >= 2);
        const int before = w->editHistory().size();
        w->project().setCommandAt(0, QStringList{"キー", "71,3", "0.01"});
        w->renderPage();
        QCOMPARE(w->editHistory().size(), before + 1);
        QVERIFY(shown(*w, windowparts::get<QPushButton>(*w, "nextButton")));
        // The capture still waits; a key ends it.
        QVERIFY(w->captureWaiting());
        sim.sim->tapCombination({65});
        QTRY_VERIFY(!w->captureWaiting());
    }

    void strayUndoRedoDoNothing()
    {
        auto w = editor();
        w->pageBack();
        w->pageForward();
        QCOMPARE(w->editHistory().index(), 0);
        QCOMPARE(w->editHistory().size(), 1);
        QCOMPARE(w->project().commands(), RecordList{{"なし"}});
    }

private:
    std::unique_ptr<tervalo> editor()
    {
        auto w = std::make_unique<tervalo>();
        w->addNewCommand();
        return w;
    }
    static bool shown(const tervalo &w, const QWidget *widget) { return widget->isVisibleTo(&w); }
    static void addOperation(tervalo &w, int index)
    {
        windowparts::get<QComboBox>(w, "commandKindCombo")->setCurrentIndex(index);
        windowparts::get<QPushButton>(w, "addCommandButton")->click();
    }
    std::unique_ptr<TempSettings> settings;
    SimFixture sim;
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
