// Measures the editor on a large project: 10,000 pages with 1,000 undo
// snapshots. Prints the medians of one refresh (renderPage), of a page
// change, of Save and of Open, the ratio of the refresh with a long history
// to the refresh with a short one, and the peak memory. Exits non-zero when a
// target is missed.

#include "gui/mainwindow/tervalo.h"
#include "platform/desktop.h"
#include "platform/desktop_sim.h"
#include "project/projectfile.h"
#include "settings/settingsfile.h"

#include "benchstats.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kPages = 10000;
constexpr int kSnapshots = 1000;

template <typename F>
double medianMillis(int runs, F &&call)
{
    return benchstats::medianOfCalls<std::milli>(runs, std::forward<F>(call));
}

void makeProject(RecordList &commands, RecordList &conditions)
{
    commands.clear();
    conditions.clear();
    for (int i = 0; i < kPages; ++i) {
        switch (i % 6) {
        case 0: commands.append({"クリック", "左", "0.01"}); break;
        case 1: commands.append({"マウスポインター", QString::number(i), "300"}); break;
        case 2: commands.append({"スムーズムーブ", "10", QString::number(i), "1"}); break;
        case 3: commands.append({"キー", "65,2", "0.01"}); break;
        case 4: commands.append({"入力", QStringLiteral("line %1\nnext line").arg(i), "3"}); break;
        default: commands.append({"なし"}); break;
        }
        conditions.append(i % 2 ? QStringList{"時間", "0.5"} : QStringList{"終わるまで待つ", "0.1"});
    }
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool report(const char *what, double value, double limit, const char *unit)
{
    const bool ok = value <= limit;
    std::printf("%-44s %10.2f %s   (target <= %.0f %s)%s\n", what, value, unit, limit, unit, ok ? "" : "  MISSED");
    return ok;
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::setDesktop(std::make_shared<platform::SimDesktop>());

    QTemporaryDir dir;
    SettingsFile::setDirectoriesForTesting(dir.filePath("config"), dir.filePath("app"));
    QDir().mkpath(dir.filePath("config"));
    {
        QFile f(dir.filePath("config/tervalo_free.json"));
        if (f.open(QIODevice::WriteOnly))
            f.write("{\"is_used_this\": true}");
    }

    tervalo w;
    w.addNewCommand();
    w.settings().is_message_file = false;
    {
        RecordList commands;
        RecordList conditions;
        makeProject(commands, conditions);
        w.project().setCommands(commands);
        w.project().setConditions(conditions);
    }
    w.project().setCurrentPage(kPages / 2);
    w.renderPage();

    bool ok = true;
    const int runs = 21;
    // As many refreshes before the short-history median as the long history
    // costs below, so that both medians follow the same heap churn (each
    // refresh rebuilds 10,000 strip rows) and only the history's length differs.
    for (int i = 1; i < kSnapshots; ++i)
        w.renderPage();
    const double renderShort = medianMillis(runs, [&] { w.renderPage(); });

    // A long history of single-field edits, each one refresh apart, as the
    // user makes them (every snapshot shares all unchanged records).
    const long before = peakKilobytes();
    for (int i = 1; i < kSnapshots; ++i) {
        w.project().setCommandAt((i * 7) % kPages, QStringList{"マウスポインター", QString::number(i), "1"});
        w.renderPage();
    }
    std::printf("project: %d pages, history: %d snapshots\n", w.project().pageCount(), w.editHistory().size());

    const double renderLong = medianMillis(runs, [&] { w.renderPage(); });
    ok &= report("renderPage, long history (median)", renderLong, 30, "ms");
    std::printf("%-44s %10.2f ms\n", "renderPage, one snapshot (median)", renderShort);
    const double ratio = renderLong / renderShort;
    std::printf("%-44s %10.2f     (target <= 1.5)%s\n", "ratio long/short history", ratio, ratio <= 1.5 ? "" : "  MISSED");
    ok &= ratio <= 1.5;

    // A page change: alternately forward and back between existing pages.
    bool forward = true;
    const double pageChange = medianMillis(runs, [&] {
        forward ? w.nextPage() : w.returnPage();
        forward = !forward;
    });
    ok &= report("page change (median)", pageChange, 30, "ms");

    // An edit followed by a refresh that records a snapshot.
    int edit = 0;
    const double editRender = medianMillis(runs, [&] {
        w.project().currentCommand() = QStringList{"マウスポインター", QString::number(++edit), "2"};
        w.renderPage();
    });
    std::printf("%-44s %10.2f ms\n", "edit + renderPage recording a snapshot", editRender);

    // Save: the window's Save on a project that has a file (write, mark
    // saved, beep, refresh), and the bare file write.
    const QString path = dir.filePath("big.cmdat");
    w.settings().projectPath = path;
    const double save = medianMillis(runs, [&] { w.saveFile3(); });
    ok &= report("Save, 10,000 pages (median, incl. refresh)", save, 100, "ms");
    const double write = medianMillis(runs, [&] { ProjectFile::write(path, w.project().commands(), w.project().conditions()); });
    std::printf("%-44s %10.2f ms   (%lld bytes)\n", "  of which the file write", write,
                static_cast<long long>(QFileInfo(path).size()));

    // Open: read, parse and repair the file, then the refresh that shows it.
    const double read = medianMillis(runs, [&] {
        ProjectFile::ReadResult r = ProjectFile::read(path);
        w.showProject(std::move(r.commands), std::move(r.conditions));
    });
    ok &= report("Open, 10,000 pages (median, incl. refresh)", read, 100, "ms");
    const double parse = medianMillis(runs, [&] { ProjectFile::read(path); });
    std::printf("%-44s %10.2f ms\n", "  of which the file read", parse);

    const long peak = peakKilobytes();
    std::printf("%-44s %10.1f MB   (history of %d snapshots added %.1f MB)\n", "peak memory (max RSS)", peak / 1024.0,
                w.editHistory().size(), (peak - before) / 1024.0);
    // Snapshots share every chunk of pages an edit left alone.
    ok &= report("memory added by the history and the rest", (peak - before) / 1024.0, 50, "MB");

    std::printf("%s\n", ok ? "editor benchmark: all targets met" : "editor benchmark: TARGET MISSED");
    SettingsFile::setDirectoriesForTesting(QString(), QString());
    return ok ? 0 : 1;
}
