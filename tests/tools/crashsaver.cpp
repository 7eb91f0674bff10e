// Child of the crash-safe save test: saves one of two versions of a file
// again and again, alternating, until the test kills it.
//
//   tervalo_crashsaver project <file> <config dir> <app dir>
//       the main window's Save, with the project path set to <file>
//   tervalo_crashsaver settings <config dir> <app dir>
//       the settings save
//
// The two versions come from savetestdata.h, so the test knows exactly what
// each looks like. "ready" goes to standard output just before the first
// save and one "." after each save that completed; after that the process
// does nothing but save.

#include "gui/mainwindow/tervalo.h"
#include "platform/desktop.h"
#include "platform/desktop_sim.h"
#include "settings/settingsfile.h"
#include "support/savetestdata.h"
#include "support/windowparts.h"

#include <QAction>
#include <QApplication>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

namespace {
void say(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

int saveProjects(const QString &file)
{
    platform::setDesktop(std::make_shared<platform::SimDesktop>());
    tervalo w;
    w.addNewCommand();
    w.settings().is_message_file = false;
    w.settings().projectPath = file;
    QAction *save = windowparts::get<QAction>(w, "saveAction");
    if (!save) {
        std::fputs("no Save action\n", stderr);
        return 1;
    }
    const savetestdata::Project versions[2] = {savetestdata::project(false), savetestdata::project(true)};
    say("ready\n");
    for (unsigned i = 1;; ++i) {
        const savetestdata::Project &p = versions[i % 2];
        w.project().setCommands(p.commands);
        w.project().setConditions(p.conditions);
        save->trigger();
        if (w.hasUnsavedChanges()) {
            std::fputs("save failed\n", stderr);
            return 1;
        }
        say(".");
    }
}

int saveSettings()
{
    const SettingsValues versions[2] = {savetestdata::settings(false), savetestdata::settings(true)};
    say("ready\n");
    for (unsigned i = 1;; ++i) {
        if (!SettingsFile::save(versions[i % 2])) {
            std::fputs("save failed\n", stderr);
            return 1;
        }
        say(".");
    }
}
} // namespace

int main(int argc, char **argv)
{
    // Log lines of every save would only fill the pipe.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // The settings need no window, and a bare application starts faster.
    const bool window = argc > 1 && qstrcmp(argv[1], "project") == 0;
    std::unique_ptr<QCoreApplication> app(window ? new QApplication(argc, argv) : new QCoreApplication(argc, argv));
    QStandardPaths::setTestModeEnabled(true);
    const QStringList args = app->arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("project")) {
        SettingsFile::setDirectoriesForTesting(args.at(3), args.at(4));
        return saveProjects(args.at(2));
    }
    if (args.size() == 4 && args.at(1) == QLatin1String("settings")) {
        SettingsFile::setDirectoriesForTesting(args.at(2), args.at(3));
        return saveSettings();
    }
    std::fputs("usage: tervalo_crashsaver project <file> <config dir> <app dir> | settings <config dir> <app dir>\n",
               stderr);
    return 2;
}
