// A save killed at any moment leaves the previous file or the new one, never
// a mixture or a truncated file; nothing else is left beside it except, now
// and then, a complete copy of the new version under a temporary name.
//
// A child process (tervalo_crashsaver) saves two versions in turn, through
// the main window's Save for a project and through the settings save, and is
// killed with SIGKILL at a random moment; after every kill the file is read
// back with the program's own reader. TERVALO_CRASH_SAVES sets the number of
// kills per file (default 1000), TERVALO_CRASH_SEED repeats a run.

#include "project/projectfile.h"
#include "settings/settingsfile.h"
#include "support/savetestdata.h"
#include "support/tempsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <thread>

namespace {
struct Outcome {
    int previous = 0;  ///< the version before the save in flight
    int next = 0;      ///< the version the save in flight was writing
    int torn = 0;
    int leftovers = 0; ///< complete copies of a version under a temporary name
    int junk = 0;      ///< any other file left beside it
    QString firstProblem;
};

bool sameSettings(const SettingsValues &a, const SettingsValues &b)
{
    return a.stertTime == b.stertTime && a.runNumber == b.runNumber && a.stopCommand == b.stopCommand
        && a.projectPath == b.projectPath && a.lastUsedPath == b.lastUsedPath && a.is_used_stert == b.is_used_stert
        && a.is_used_this == b.is_used_this && a.is_help == b.is_help && a.is_message_file == b.is_message_file
        && a.is_message_paste == b.is_message_paste && a.is_message_delete == b.is_message_delete
        && a.is_japanese == b.is_japanese;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int envCount(const char *name, int fallback)
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue(name, &ok);
    return ok && n > 0 ? n : fallback;
}
} // namespace

class TestCrashSafeSave : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Every settings load logs the long project path; a thousand of them
        // would bury the figures.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        kills = envCount("TERVALO_CRASH_SAVES", 1000);
        bool given = false;
        seed = quint32(qEnvironmentVariableIntValue("TERVALO_CRASH_SEED", &given));
        if (!given)
            seed = QRandomGenerator::system()->generate();
        qInfo("seed %u (TERVALO_CRASH_SEED repeats it), %d kills per file", seed, kills);
        saver = QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_crashsaver");
        QVERIFY2(QFileInfo(saver).isExecutable(), qPrintable(saver));
    }

    void killWhileSaving_data()
    {
        QTest::addColumn<bool>("project");
        QTest::newRow("project through the window's Save") << true;
        QTest::newRow("settings") << false;
    }
    void killWhileSaving()
    {
        QFETCH(bool, project);
        TempSettings settings;
        // The window in the child must not stop at the first-start notice.
        QVERIFY(settings.write("{\"is_used_this\": true}"));
        QTemporaryDir projectDir;
        QVERIFY(projectDir.isValid());
        const QString file = project ? projectDir.filePath("saved.cmdat") : settings.settingsFile();
        const QString folder = QFileInfo(file).absolutePath();
        const QString name = QFileInfo(file).fileName();
        const QRegularExpression temporaryName("^" + QRegularExpression::escape(name) + "\\.[A-Za-z0-9]{6}$");

        // The bytes of each version as the program writes them; the file
        // starts as version 0, the one the child's first save replaces.
        QByteArray written[2];
        for (int v : {1, 0}) {
            if (project)
                QVERIFY(ProjectFile::write(file, versions[v].commands, versions[v].conditions).ok);
            else
                QVERIFY(SettingsFile::save(savetestdata::settings(v == 1)));
            written[v] = readAll(file);
        }
        const QStringList arguments = project ? QStringList{"project", file, settings.configDir, settings.appDir}
                                              : QStringList{"settings", settings.configDir, settings.appDir};

        // Kill moments are spread over a few whole save cycles.
        const double cycleMs = measureCycle(arguments);
        QVERIFY2(cycleMs > 0, "the child completed no save in half a second");
        const qint64 spreadUs = qint64(cycleMs * 2000) + 500;

        QRandomGenerator random(seed + (project ? 0 : 1));
        Outcome outcome;
        std::vector<double> savesBeforeKill;
        QElapsedTimer total;
        total.start();
        for (int k = 0; k < kills; ++k) {
            QProcess child;
            child.setStandardErrorFile(QProcess::nullDevice());
            child.start(saver, arguments);
            QVERIFY2(waitForReady(child), qPrintable(child.errorString()));
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(spreadUs)));
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            const QByteArray out = child.readAllStandardOutput();
            QVERIFY2(child.exitStatus() == QProcess::CrashExit, "the child stopped saving before it was killed");
            const int saves = int(out.count('.'));
            savesBeforeKill.push_back(saves);

            // Version n is the one save n wrote; the initial file is version 0.
            // The killed save is number saves + 1 and may or may not have
            // replaced the file yet.
            const int found = project ? projectVersion(file) : settingsVersion();
            if (found == saves % 2)
                ++outcome.previous;
            else if (found == (saves + 1) % 2)
                ++outcome.next;
            else
                noteProblem(outcome, outcome.torn, QStringLiteral("kill %1 after %2 saves: torn file").arg(k).arg(saves));

            // Killed between the moment the finished temporary file gets a
            // name and the moment it replaces the file, the save leaves that
            // name behind: "<file>.XXXXXX" holding a complete version. Which
            // one is not known here: the child reports a save after it has
            // ended, so a kill in between hides one save from the count.
            // Anything else beside the file is a fault.
            QDir dir(folder);
            QStringList others = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
            others.removeAll(name);
            for (const QString &other : others) {
                const QByteArray bytes = readAll(dir.filePath(other));
                const bool complete = bytes == written[0] || bytes == written[1];
                if (temporaryName.match(other).hasMatch() && complete)
                    ++outcome.leftovers;
                else
                    noteProblem(outcome, outcome.junk, QStringLiteral("kill %1 after %2 saves: left beside the file: %3")
                                                           .arg(k).arg(saves).arg(other));
                // Removed so the next kill starts from a clean folder.
                QVERIFY(dir.remove(other));
            }
        }

        std::sort(savesBeforeKill.begin(), savesBeforeKill.end());
        qInfo("%s: %d kills in %.1f s, save cycle %.2f ms, kill moments 0..%.1f ms after ready; "
              "saves completed before a kill: median %.0f, max %.0f; file held the previous version %d times, "
              "the one being written %d times, torn %d; complete copies left under a temporary name %d, other files left %d",
              project ? "project" : "settings", kills, total.elapsed() / 1000.0, cycleMs, spreadUs / 1000.0,
              savesBeforeKill[savesBeforeKill.size() / 2], savesBeforeKill.back(), outcome.previous, outcome.next,
              outcome.torn, outcome.leftovers, outcome.junk);
        QVERIFY2(outcome.torn == 0 && outcome.junk == 0, qPrintable(outcome.firstProblem));
        if (kills >= 50) {
            // Otherwise the kills all came too early to test anything.
            QVERIFY(outcome.previous > 0);
            QVERIFY(outcome.next > 0);
        }
    }

private:
    static bool waitForReady(QProcess &child)
    {
        QByteArray out;
        while (!out.contains("ready\n")) {
            if (!child.waitForReadyRead(10000))
                return false;
            out += child.readAllStandardOutput();
        }
        return true;
    }

    /// Milliseconds per save, from a child left saving for a moment.
    double measureCycle(const QStringList &arguments)
    {
        QProcess child;
        child.setStandardErrorFile(QProcess::nullDevice());
        child.start(saver, arguments);
        if (!waitForReady(child))
            return 0;
        QElapsedTimer t;
        t.start();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        child.kill();
        child.waitForFinished(10000);
        const qint64 saves = child.readAllStandardOutput().count('.');
        return saves ? double(t.elapsed()) / double(saves) : 0;
    }

    /// 0 or 1 for the version the file holds, -1 for anything else.
    int projectVersion(const QString &file) const
    {
        const ProjectFile::ReadResult r = ProjectFile::read(file);
        for (int v = 0; v < 2; ++v)
            if (r.ok && !r.repaired && r.commands == versions[v].commands && r.conditions == versions[v].conditions)
                return v;
        return -1;
    }

    int settingsVersion() const
    {
        SettingsValues loaded;
        SettingsFile::load(loaded);
        for (int v = 0; v < 2; ++v)
            if (sameSettings(loaded, settingsVersions[v]))
                return v;
        return -1;
    }

    static void noteProblem(Outcome &outcome, int &counter, const QString &what)
    {
        if (!counter++ && outcome.firstProblem.isEmpty())
            outcome.firstProblem = what;
    }

    const savetestdata::Project versions[2] = {savetestdata::project(false), savetestdata::project(true)};
    const SettingsValues settingsVersions[2] = {savetestdata::settings(false), savetestdata::settings(true)};
    int kills = 0;
    quint32 seed = 0;
    QString saver;
};

QTEST_GUILESS_MAIN(TestCrashSafeSave)
#include "tst_crashsafesave.moc"
