// The stop key on GNOME's Wayland session, where no program can hear keys:
// a run asks GNOME for a custom shortcut that runs `tervalo_free --stop`.
// And the top bar's sharing indicator: its × ends the program's input
// session, which stops the run.
// scripts/test starts gnome-shell (which grabs the shortcut keys) with
// gsd-media-keys (which runs their commands) on private buses and settings;
// the test presses the stop combination through a remote-desktop session of
// its own. Skipped without that session, unless TERVALO_GNOME_REQUIRED=1.

#include "app/commandline.h"
#include "platform/desktop.h"
#include "platform/desktop_gnome.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "wayland/session.h"

#include <QKeyEvent>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

namespace {

const QString kMediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");

QString gsettings(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("gsettings"), arguments);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString shortcuts()
{
    return gsettings({QStringLiteral("get"), kMediaKeys, QStringLiteral("custom-keybindings")});
}

// A window that keeps which keys are down in it.
class KeyReceiver : public QWidget {
public:
    QSet<int> held;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        if (!e->isAutoRepeat())
            held.insert(e->key());
    }
    void keyReleaseEvent(QKeyEvent *e) override
    {
        if (!e->isAutoRepeat())
            held.remove(e->key());
    }
};

} // namespace

class TestGnomeStop : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::shared_ptr<platform::Desktop> person;

private slots:
    void initTestCase()
    {
        std::string why;
        if (qEnvironmentVariable("XDG_CURRENT_DESKTOP") == QLatin1String("GNOME"))
            person = platform::createGnomeDesktop(&why);
        if (!person || gsettings({QStringLiteral("list-keys"), kMediaKeys}).isEmpty()) {
            if (qEnvironmentVariableIntValue("TERVALO_GNOME_REQUIRED") == 1)
                QFAIL(qPrintable(QStringLiteral("no GNOME session: ") + QString::fromStdString(why)));
            QSKIP("No GNOME session: this test runs in the GNOME stage of scripts/test.");
        }
        // The person's keyboard is there all along, as a real one is: a
        // headless seat whose last keyboard goes loses its keyboard focus.
        QVERIFY(person->beginInput({}));
    }

    // The person's own shortcut stays, one that a killed run left is taken
    // away, the run's own comes and goes with the run, and pressing it stops
    // the run as the stop key does elsewhere.
    void shortcutStopsTheRun()
    {
        const QString base = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
        const QString own = base + QStringLiteral("custom0/");
        const QString left = base + QStringLiteral("tervalo-free-stop-999999999/");
        gsettings({QStringLiteral("set"), kMediaKeys, QStringLiteral("custom-keybindings"),
                   QStringLiteral("['%1', '%2']").arg(own, left)});
        QCOMPARE(shortcuts(), QStringLiteral("['%1', '%2']").arg(own, left));

        // The run holds Shift meanwhile: the combination still stops it.
        const QString file = dir.filePath("wait.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kKey, "65,4", "600"}}, {{PageKinds::kWaitUntilOver, "0.2"}}).ok);
        QProcess program;
        QProcessEnvironment env = waylandtest::sessionEnvironment("GNOME", dir.path());
        env.insert("TERVALO_BACKEND", "gnome");
        QVERIFY(waylandtest::play(program, file, env));
        const QString ours = base + QStringLiteral("tervalo-free-stop-%1/").arg(program.processId());
        // The person's first, then only this run's, the one left gone.
        QTRY_VERIFY_WITH_TIMEOUT(shortcuts().contains(ours), 20000);
        QVERIFY(shortcuts().startsWith(QStringLiteral("['%1', '%2").arg(own, ours.chopped(1))));
        QVERIFY(!shortcuts().contains(left));

        // Ctrl+Alt+S, as the person presses it. GNOME takes a changed
        // shortcut's keys a moment after the change, at a time nobody is
        // told of: pressed before then, it is pressed again, as a person would.
        for (int presses = 0; presses < 10 && program.state() != QProcess::NotRunning; ++presses) {
            waylandtest::pressStopKey(*person, 50);
            program.waitForFinished(1500);
        }
        QCOMPARE(program.state(), QProcess::NotRunning);
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(waylandtest::output(program)));
        QCOMPARE(program.exitCode(), CommandLine::kExitStopped);
        QCOMPARE(shortcuts(), QStringLiteral("['%1']").arg(own));
    }

    // The person ends the sharing with the indicator's × while a page holds
    // Shift+A: the run stops at once, as with its stop key, and nothing stays
    // down in the window. Last: it ends every session, the person's too.
    void sharingIndicatorStopsTheRun()
    {
        // Out of the overview the shell starts in, which takes the keys.
        QVERIFY(waylandtest::gnomeShellEval(QStringLiteral("imports.ui.main.overview.hide(); true")));
        KeyReceiver receiver;
        QVERIFY(waylandtest::showFocused(receiver));

        const QString file = dir.filePath("hold.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kKey, "65,4", "600"}}, {{PageKinds::kWaitUntilOver, "0.2"}}).ok);
        QProcess program;
        QVERIFY(waylandtest::play(program, file, waylandtest::sessionEnvironment("GNOME", dir.path())));
        QTRY_VERIFY_WITH_TIMEOUT(receiver.held.contains(Qt::Key_A), 20000);
        QVERIFY(receiver.held.contains(Qt::Key_Shift));

        // What the indicator's × does when clicked.
        QVERIFY(waylandtest::gnomeShellEval(QStringLiteral("imports.ui.main.panel.statusArea.screenSharing._stopSharing(); true")));
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 10000);
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(waylandtest::output(program)));
        QCOMPARE(program.exitCode(), CommandLine::kExitStopped);
        QTRY_VERIFY_WITH_TIMEOUT(receiver.held.isEmpty(), 5000);
    }
};

QTEST_MAIN(TestGnomeStop)
#include "tst_gnomestop.moc"
