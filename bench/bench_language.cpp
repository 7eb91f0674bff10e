// Measures the interface shell: one language switch (every text, the help
// tooltips and the page render) for projects of growing size, with help mode
// on and off; opening the longest shipped document in the viewer; and
// encoding a long report body. Prints medians and ratios.

#include "gui/dialogs/formbody.h"
#include "gui/dialogs/termdialog.h"
#include "gui/mainwindow/tervalo.h"
#include "platform/desktop_sim.h"
#include "project/pagekinds.h"
#include "settings/settingsfile.h"
#include "support/windowparts.h"

#include "benchstats.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

// Median microseconds of `runs` calls.
template <typename F>
double medianMicros(int runs, F &&call)
{
    return benchstats::medianOfCalls<std::micro>(runs, std::forward<F>(call));
}

void writeSettings(const QString &file, bool help)
{
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(help ? "{\"is_used_this\": true, \"is_help\": true}" : "{\"is_used_this\": true}");
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::setDesktop(std::make_shared<platform::SimDesktop>());
    // The switch logs one line each time; keep the figures readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    QTemporaryDir dir;
    QStandardPaths::setTestModeEnabled(true);
    SettingsFile::setDirectoriesForTesting(dir.path() + "/config", dir.path() + "/app");
    QDir().mkpath(dir.path() + "/config");
    QDir().mkpath(dir.path() + "/app");
    const QString settingsFile = dir.path() + "/config/tervalo_free.json";

    std::printf("language switch, median us per switch (%d switches):\n", 41);
    std::printf("  %-26s %10s %10s %8s\n", "window", "help off", "help on", "on/off");
    double startOff = 0, onePageOff = 0, biggestOff = 0;
    struct Case {
        const char *name;
        int pages; // 0: start screen
    };
    for (const Case &c : {Case{"start screen", 0}, Case{"editor, 1 page", 1}, Case{"editor, 100 pages", 100},
                          Case{"editor, 1000 pages", 1000}}) {
        double figures[2] = {};
        for (bool help : {false, true}) {
            writeSettings(settingsFile, help);
            tervalo w;
            if (c.pages > 0) {
                w.addNewCommand();
                RecordList commands = w.project().commands();
                RecordList conditions = w.project().conditions();
                for (int i = 1; i < c.pages; ++i) {
                    commands.append(PageKinds::createdCommand(PageKinds::kClick));
                    conditions.append(PageKinds::blankCondition());
                }
                w.project().setCommands(commands);
                w.project().setConditions(conditions);
                w.project().setCurrentPage(c.pages / 2 + 1);
                w.renderPage();
            }
            QAction *language = windowparts::get<QAction>(w, "languageAction");
            figures[help] = medianMicros(41, [&] { language->trigger(); });
        }
        std::printf("  %-26s %10.1f %10.1f %8.2f\n", c.name, figures[0], figures[1], figures[1] / figures[0]);
        if (c.pages == 0)
            startOff = figures[0];
        else if (c.pages == 1)
            onePageOff = figures[0];
        else if (c.pages == 1000)
            biggestOff = figures[0];
    }
    std::printf("  ratio editor 1 page / start screen: %.2f; 1000 pages / 1 page: %.2f\n", onePageOff / startOff,
                biggestOff / onePageOff);

    const QString lgpl = QCoreApplication::applicationDirPath() + "/licenses/LGPLv3のライセンス文章.txt";
    const double viewer = medianMicros(21, [&] { TermDialog d(lgpl); });
    std::printf("document viewer, median ms to build with the LGPLv3 text (%lld bytes): %.2f\n",
                static_cast<long long>(QFileInfo(lgpl).size()), viewer / 1000.0);

    const QString report = QString("再現手順: 1+1=2 & more 日本語テキスト\n").repeated(300);
    QByteArray body;
    const double encode = medianMicros(201, [&] { body = FormBody::encode({{"entry.1", report}}); });
    std::printf("form body, median us to encode %lld characters into %lld bytes: %.1f\n",
                static_cast<long long>(report.size()), static_cast<long long>(body.size()), encode);
    return 0;
}
