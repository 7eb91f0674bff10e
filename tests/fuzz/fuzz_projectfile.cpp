// Project-file bytes go the way Open takes them: parsed, repaired, loaded into
// a real main window (offscreen) and shown page by page; then written the way
// Save writes them and read again. The reloaded lists must equal the first
// load, showing a page must never change a record, and the loaded project
// must count as saved.
//
// Showing a page rebuilds the whole page strip, so a project of n pages costs
// n^2 to show completely. Pages with the same pair of records show the same
// fields, so each distinct pair is shown once, the last page always, and no
// more pages than keep the strip rows built per input near 300 (8 pages at
// most, 2 for projects past 150 pages): per-input cost stays low on long lists.

#include "fuzzcheck.h"
#include "project/pagekinds.h"

#include "gui/mainwindow/tervalo.h"
#include "platform/desktop_sim.h"
#include "project/projectfile.h"
#include "project/records.h"
#include "support/tempsettings.h"

#include <QApplication>
#include <QSet>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {
constexpr int kMostPagesShown = 8;
constexpr int kStripRowsPerInput = 300;

TempSettings *g_settings = nullptr;
tervalo *g_window = nullptr;

// Runs before the library's own statics go away (it is registered after
// they were made), while the application object still exists.
void tearDown()
{
    delete g_window;
    g_window = nullptr;
    delete g_settings;
    g_settings = nullptr;
}

void dumpLists(const char *what, const RecordList &commands, const RecordList &conditions)
{
    QString text;
    for (const RecordList *list : {&commands, &conditions}) {
        text += QLatin1Char('[');
        for (const QStringList &record : *list)
            text += QLatin1Char('[') + record.join(QLatin1Char('|')) + QLatin1Char(']');
        text += QLatin1Char(']');
    }
    fuzzsupport::dump(what, text);
}

QList<int> pagesToShow(const RecordList &commands, const RecordList &conditions)
{
    const int budget = std::clamp(kStripRowsPerInput / int(commands.size()), 1, kMostPagesShown - 1);
    QList<int> pages;
    QSet<QStringList> seen;
    for (int i = 0; i < commands.size() && pages.size() < budget; ++i) {
        QStringList pair = commands.at(i);
        pair.append(QStringLiteral("\x1f"));
        pair.append(conditions.at(i));
        if (seen.contains(pair))
            continue;
        seen.insert(pair);
        pages.append(i + 1);
    }
    if (pages.last() != commands.size())
        pages.append(int(commands.size()));
    return pages;
}

void checkUnchanged(const RecordList &commands, const RecordList &conditions)
{
    if (g_window->project().commands() != commands || g_window->project().conditions() != conditions) {
        dumpLists("loaded", commands, conditions);
        dumpLists("after showing", g_window->project().commands(), g_window->project().conditions());
        FUZZ_CHECK(!"showing a page changed the project");
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Qt keeps references to these for the application's whole life.
    static int argc = 1;
    static char name[] = "fuzz_projectfile";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    fuzzsupport::silenceLog();
    platform::setDesktop(std::make_shared<platform::SimDesktop>());
    g_settings = new TempSettings;
    // No first-start notice: it would wait for a click.
    FUZZ_CHECK(g_settings->write("{\"is_used_this\": true}"));
    g_window = new tervalo;
    g_window->addNewCommand();
    std::atexit(tearDown);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    ProjectFile::ReadResult read = ProjectFile::fromJson(bytes);
    if (!read.ok) {
        FUZZ_CHECK(!read.errorTitle.isEmpty() && !read.errorText.isEmpty());
        return 0;
    }
    RecordList commands = read.commands;
    RecordList conditions = read.conditions;
    // Every repair is told: the check of the lists as read names something
    // whenever repair changes them, and nothing of the repaired lists is
    // still missing.
    const QList<PageKinds::Finding> findings = PageKinds::check(commands, conditions);
    const bool repaired = PageKinds::repair(commands, conditions);
    FUZZ_CHECK(!repaired || !findings.isEmpty() || (read.commands.isEmpty() && read.conditions.isEmpty()));
    for (const PageKinds::Finding &f : findings)
        FUZZ_CHECK(f.page >= 1 && !f.describe(true).isEmpty() && !f.describe(false).isEmpty());
    for (const PageKinds::Finding &f : PageKinds::check(commands, conditions))
        FUZZ_CHECK(f.action != PageKinds::Finding::Action::BlankAdded && f.action != PageKinds::Finding::Action::Filled);
    FUZZ_CHECK(!commands.isEmpty() && commands.size() == conditions.size());
    {
        RecordList c = commands, d = conditions;
        FUZZ_CHECK(!PageKinds::repair(c, d));
    }

    // Each input starts from the same window state, so a finding replays
    // on its own; the language follows the input's length.
    const bool japanese = size % 2 == 0;
    if (g_window->settings().is_japanese != japanese) {
        g_window->settings().is_japanese = japanese;
        g_window->changeLanguage();
    }

    // What Open does once the file is read.
    g_window->showProject(commands, conditions);
    checkUnchanged(commands, conditions);

    for (int page : pagesToShow(commands, conditions)) {
        g_window->project().setCurrentPage(page);
        g_window->renderPage();
        FUZZ_CHECK(g_window->project().currentPage() == page);
        checkUnchanged(commands, conditions);
    }
    QCoreApplication::processEvents();
    checkUnchanged(commands, conditions);
    FUZZ_CHECK(!g_window->hasUnsavedChanges());

    // Save, then Open again.
    const QByteArray written = ProjectFile::toJson(g_window->project().commands(), g_window->project().conditions());
    ProjectFile::ReadResult again = ProjectFile::fromJson(written);
    FUZZ_CHECK(again.ok);
    const bool repairedAgain = PageKinds::repair(again.commands, again.conditions);
    if (repairedAgain || again.commands != commands || again.conditions != conditions) {
        dumpLists("first load", commands, conditions);
        dumpLists("reloaded", again.commands, again.conditions);
        FUZZ_CHECK(!"the saved project reads back differently");
    }
    FUZZ_CHECK(ProjectFile::toJson(again.commands, again.conditions) == written);

    // Back to the blank project in Japanese, so that what this input made is
    // freed: libFuzzer looks for leaks (slowly) whenever an input leaves more
    // allocations behind than it found. Undo back to the first step (the
    // blank project): the next input's load then drops the steps this one
    // added, so the history holds one input's steps at most, and every input
    // starts from the blank project with nothing to undo.
    while (g_window->editHistory().canUndo())
        g_window->pageBack();
    g_window->project() = Project();
    if (!g_window->settings().is_japanese) {
        g_window->settings().is_japanese = true;
        g_window->changeLanguage();
    }
    g_window->renderPage();
    return 0;
}
