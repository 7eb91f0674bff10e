#include "project/pagekinds.h"
#include "project/project.h"

#include <QtTest>

namespace {

// A page is written as one letter: its operation moves the pointer to x =
// the letter's code and its condition waits that many seconds, so a page
// whose two halves came apart shows up as a mismatch. "_" is a blank page.
CommandRecord commandOf(QChar id)
{
    return id == u'_' ? PageKinds::blankCommand()
                      : CommandRecord{PageKinds::kMousePointer, QString::number(id.unicode()), QStringLiteral("0")};
}

ConditionRecord conditionOf(QChar id)
{
    return id == u'_' ? PageKinds::blankCondition() : ConditionRecord{PageKinds::kTime, QString::number(id.unicode())};
}

struct Pages {
    RecordList commands;
    RecordList conditions;
};

Pages pagesFrom(const QString &ids)
{
    Pages pages;
    for (QChar id : ids) {
        pages.commands.append(commandOf(id));
        pages.conditions.append(conditionOf(id));
    }
    return pages;
}

Project projectOf(const QString &ids, int current)
{
    Project project;
    const Pages pages = pagesFrom(ids);
    project.replace(pages.commands, pages.conditions);
    project.setCurrentPage(current);
    return project;
}

// The pages back as letters; "?" for a page whose two halves do not belong
// together or that is no letter page.
QString pagesOf(const Project &project)
{
    QString pages;
    if (project.commands().size() != project.conditions().size())
        return QStringLiteral("lists of different lengths");
    for (int i = 0; i < project.pageCount(); ++i) {
        QChar id = u'?';
        for (QChar candidate : QStringLiteral("_abcdefxyz")) {
            if (project.commands().at(i) == commandOf(candidate) && project.conditions().at(i) == conditionOf(candidate))
                id = candidate;
        }
        pages.append(id);
    }
    return pages;
}

} // namespace

class TestProject : public QObject {
    Q_OBJECT
private slots:
    void startsWithOneSavedBlankPage()
    {
        const Project project;
        QCOMPARE(pagesOf(project), QStringLiteral("_"));
        QCOMPARE(project.currentPage(), 1);
        QVERIFY(!project.hasUnsavedChanges());
        QVERIFY(!project.hasCopy());
        QVERIFY(!project.canDelete());
    }

    // Every page rule at the first, a middle and the last page: which pages
    // remain, in which order, and which one is shown afterwards.
    void pageRules_data()
    {
        QTest::addColumn<QString>("pages");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("expectedPages");
        QTest::addColumn<int>("expectedCurrent");
        QTest::addColumn<bool>("changed");

        QTest::newRow("next, middle") << "abc" << 2 << "next" << "abc" << 3 << false;
        QTest::newRow("next, last page adds a blank one") << "ab" << 2 << "next" << "ab_" << 3 << true;
        QTest::newRow("next, only page") << "a" << 1 << "next" << "a_" << 2 << true;
        QTest::newRow("previous, middle") << "abc" << 3 << "previous" << "abc" << 2 << false;
        QTest::newRow("previous, first page stays") << "abc" << 1 << "previous" << "abc" << 1 << false;
        QTest::newRow("show page 3") << "abc" << 1 << "show 3" << "abc" << 3 << false;
        QTest::newRow("show page 0 is ignored") << "abc" << 2 << "show 0" << "abc" << 2 << false;
        QTest::newRow("show page 4 of 3 is ignored") << "abc" << 2 << "show 4" << "abc" << 2 << false;
        QTest::newRow("+ above, first page") << "ab" << 1 << "before" << "_ab" << 1 << true;
        QTest::newRow("+ above, middle") << "abc" << 2 << "before" << "a_bc" << 2 << true;
        QTest::newRow("+ above, last page") << "abc" << 3 << "before" << "ab_c" << 3 << true;
        QTest::newRow("+ below, first page") << "ab" << 1 << "after" << "a_b" << 2 << true;
        QTest::newRow("+ below, last page") << "ab" << 2 << "after" << "ab_" << 3 << true;
        QTest::newRow("delete first page") << "abc" << 1 << "delete" << "bc" << 1 << true;
        QTest::newRow("delete middle page shows the one before") << "abc" << 2 << "delete" << "ac" << 1 << true;
        QTest::newRow("delete last page") << "abc" << 3 << "delete" << "ab" << 2 << true;
        QTest::newRow("delete the only page") << "a" << 1 << "delete" << "a" << 1 << false;
        QTest::newRow("insert pages after the first") << "ab" << 1 << "insert xy" << "axyb" << 2 << true;
        QTest::newRow("insert pages after the last") << "ab" << 2 << "insert xyz" << "abxyz" << 3 << true;
        QTest::newRow("insert no pages") << "ab" << 1 << "insert " << "ab" << 1 << false;
    }
    void pageRules()
    {
        QFETCH(QString, pages);
        QFETCH(int, current);
        QFETCH(QString, action);
        QFETCH(QString, expectedPages);
        QFETCH(int, expectedCurrent);
        QFETCH(bool, changed);

        Project project = projectOf(pages, current);
        const QString verb = action.section(u' ', 0, 0);
        const QString argument = action.section(u' ', 1);
        if (verb == u"next") {
            project.nextPage();
        } else if (verb == u"previous") {
            project.previousPage();
        } else if (verb == u"show") {
            project.showPage(argument.toInt());
        } else if (verb == u"before") {
            project.insertBlankBefore();
        } else if (verb == u"after") {
            project.insertBlankAfter();
        } else if (verb == u"delete") {
            QCOMPARE(project.deleteCurrentPage(), changed);
        } else if (verb == u"insert") {
            const Pages inserted = pagesFrom(argument);
            project.insertPages(inserted.commands, inserted.conditions);
        } else {
            QFAIL("unknown action");
        }
        QCOMPARE(pagesOf(project), expectedPages);
        QCOMPARE(project.currentPage(), expectedCurrent);
        QCOMPARE(project.hasUnsavedChanges(), changed);
        QCOMPARE(project.canDelete(), expectedPages.size() > 1);
    }

    // Copy takes the page as it is then: editing it afterwards (in place, as
    // the editor does) changes neither the copy nor what Paste puts down.
    void copyEditPaste_data()
    {
        QTest::addColumn<int>("copyFrom");
        QTest::addColumn<int>("pasteTo");
        QTest::addColumn<QString>("expectedPages");

        QTest::newRow("first onto last") << 1 << 3 << "?ba";
        QTest::newRow("last onto first") << 3 << 1 << "cb?";
        QTest::newRow("middle onto itself") << 2 << 2 << "abc";
    }
    void copyEditPaste()
    {
        QFETCH(int, copyFrom);
        QFETCH(int, pasteTo);
        QFETCH(QString, expectedPages);

        Project project = projectOf(QStringLiteral("abc"), copyFrom);
        const CommandRecord copied = project.currentCommand();
        project.copyCurrentPage();
        QVERIFY(project.hasCopy());
        QVERIFY(!project.hasUnsavedChanges());
        // The edit: the page copied from now moves the pointer to 1, 2.
        project.currentCommand() = CommandRecord{PageKinds::kMousePointer, QStringLiteral("1"), QStringLiteral("2")};
        project.currentCondition()[1] = QStringLiteral("9");
        QCOMPARE(project.copiedCommand(), copied);

        project.setCurrentPage(pasteTo);
        QVERIFY(project.pasteOverCurrentPage());
        QCOMPARE(project.currentCommand(), copied);
        QCOMPARE(project.currentPage(), pasteTo);
        QCOMPARE(project.pageCount(), 3);
        QCOMPARE(pagesOf(project), expectedPages);
        // Paste keeps the copy: a second Paste elsewhere puts the same page.
        project.setCurrentPage(pasteTo == 1 ? 2 : 1);
        QVERIFY(project.pasteOverCurrentPage());
        QCOMPARE(project.currentCommand(), copied);
    }

    void pasteWithoutCopyChangesNothing()
    {
        Project project = projectOf(QStringLiteral("ab"), 2);
        QVERIFY(!project.pasteOverCurrentPage());
        QCOMPARE(pagesOf(project), QStringLiteral("ab"));
        QVERIFY(!project.hasUnsavedChanges());
    }

    // Paste replaces without asking only a page that Add left as it comes:
    // no operation and a Time condition of 0.1 s. A page as → makes it
    // (no operation, Immediately) is not such a page.
    void emptyPage_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("condition");
        QTest::addColumn<bool>("empty");

        const QStringList time01 = PageKinds::createdCondition(PageKinds::kTime);
        QTest::newRow("none, time 0.1") << PageKinds::blankCommand() << time01 << true;
        QTest::newRow("blank page") << PageKinds::blankCommand() << PageKinds::blankCondition() << false;
        QTest::newRow("none, time 0.2") << PageKinds::blankCommand() << QStringList{PageKinds::kTime, "0.2"} << false;
        QTest::newRow("click, time 0.1") << PageKinds::createdCommand(PageKinds::kClick) << time01 << false;
        QTest::newRow("none with extra element, time 0.1")
            << QStringList{PageKinds::kNone, "junk"} << time01 << true;
    }
    void emptyPage()
    {
        QFETCH(QStringList, command);
        QFETCH(QStringList, condition);
        QFETCH(bool, empty);

        Project project;
        project.setCommandAt(0, command);
        project.setConditionAt(0, condition);
        QCOMPARE(project.currentPageIsEmpty(), empty);
    }

    // The unsaved test compares with the copy last saved, loaded or created,
    // not with any earlier state: putting the saved lists back (as undo does)
    // counts as saved again.
    void unsavedChanges_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("unsaved");

        QTest::newRow("edit") << "edit" << true;
        QTest::newRow("edit, save") << "edit save" << false;
        QTest::newRow("edit, save, edit") << "edit save edit" << true;
        QTest::newRow("edit, revert") << "edit revert" << false;
        QTest::newRow("edit, save, edit, revert") << "edit save edit revert" << false;
        QTest::newRow("edit, save, back to the start") << "edit save start" << true;
        QTest::newRow("copy only") << "copy" << false;
        QTest::newRow("copy, paste over itself") << "copy paste" << false;
        QTest::newRow("next past the last page") << "next" << true;
        QTest::newRow("next past the last page, delete it") << "next delete" << false;
        QTest::newRow("edit, replace with a loaded project") << "edit replace" << false;
        QTest::newRow("record out of range") << "outside" << false;
    }
    void unsavedChanges()
    {
        QFETCH(QString, steps);
        QFETCH(bool, unsaved);

        Project project = projectOf(QStringLiteral("ab"), 2);
        RecordList savedCommands = project.commands();
        RecordList savedConditions = project.conditions();
        const RecordList startCommands = savedCommands;
        const RecordList startConditions = savedConditions;
        int edits = 0;
        for (const QString &step : steps.split(u' ')) {
            if (step == u"edit") {
                // Each edit a different record: the pointer to 1000 + n, 0.
                ++edits;
                project.currentCommand() = CommandRecord{PageKinds::kMousePointer, QString::number(1000 + edits),
                                                         QStringLiteral("0")};
            } else if (step == u"save") {
                project.markSaved();
                savedCommands = project.commands();
                savedConditions = project.conditions();
            } else if (step == u"revert") {
                project.restore(savedCommands, savedConditions);
            } else if (step == u"start") {
                project.restore(startCommands, startConditions);
            } else if (step == u"copy") {
                project.copyCurrentPage();
            } else if (step == u"paste") {
                QVERIFY(project.pasteOverCurrentPage());
            } else if (step == u"next") {
                project.nextPage();
            } else if (step == u"delete") {
                QVERIFY(project.deleteCurrentPage());
            } else if (step == u"replace") {
                project.replace(RecordList{commandOf(u'x')}, RecordList{conditionOf(u'x')});
                QCOMPARE(project.currentPage(), 1);
            } else if (step == u"outside") {
                project.setCommandAt(2, commandOf(u'x'));
                project.setConditionAt(-1, conditionOf(u'x'));
            } else {
                QFAIL("unknown step");
            }
        }
        QCOMPARE(project.hasUnsavedChanges(), unsaved);
    }

    // The page shown always exists, whatever the lists become.
    void currentPageStaysOnAPage_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("pagesAfter");
        QTest::addColumn<int>("expected");

        QTest::newRow("page 0") << 0 << 3 << 1;
        QTest::newRow("page -5") << -5 << 3 << 1;
        QTest::newRow("past the end") << 9 << 3 << 3;
        QTest::newRow("lists shrink under the page") << 3 << 2 << 2;
        QTest::newRow("undo to one page") << 3 << 1 << 1;
        QTest::newRow("lists grow") << 3 << 5 << 3;
    }
    void currentPageStaysOnAPage()
    {
        QFETCH(int, asked);
        QFETCH(int, pagesAfter);
        QFETCH(int, expected);

        Project project = projectOf(QStringLiteral("abc"), 1);
        project.setCurrentPage(asked);
        QCOMPARE(project.currentPage(), std::clamp(asked, 1, 3));
        if (pagesAfter != 3) {
            const RecordList commands(pagesAfter, PageKinds::blankCommand());
            const RecordList conditions(pagesAfter, PageKinds::blankCondition());
            if (pagesAfter < 3)
                project.restore(commands, conditions);
            else
                project.setCommands(commands);
        }
        QCOMPARE(project.currentPage(), expected);
        // The current records are the page's records.
        QCOMPARE(project.currentCommand(), project.commands().at(expected - 1));
    }
};

QTEST_APPLESS_MAIN(TestProject)
#include "tst_project.moc"
