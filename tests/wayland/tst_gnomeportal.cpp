// The GNOME backend through the RemoteDesktop portal, against a real
// xdg-desktop-portal with GNOME's backend in a headless mutter (scripts/test
// starts them): the program asks, GNOME shows its consent dialog, and the
// test's own person answers it with the keyboard as a person would (the
// dialog takes the keyboard focus when it appears). The program comes to the
// portal because it was told to, or because Mutter refused it, as on a bus
// filtered the way a sandbox filters it. Skipped without that session,
// unless TERVALO_GNOME_REQUIRED=1 makes it a failure.

#include "app/commandline.h"
#include "platform/desktop.h"
#include "platform/desktop_gnome.h"
#include "platform/desktop_gnome_api.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "wayland/receiver.h"
#include "wayland/session.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <future>

class TestGnomePortal : public QObject {
    Q_OBJECT

    std::unique_ptr<Receiver> receiver;
    QTemporaryDir dir;
    // The person at the keyboard: a session of Mutter's own API.
    std::shared_ptr<platform::Desktop> person;
    // The session bus as a sandbox passes it on: Mutter's remote desktop is
    // there but refuses every call, the portal answers.
    QProcess filteredBus;
    QString filteredBusSocket;
    // gnome-shell, with its sharing indicator, rather than mutter alone.
    bool shell = false;

    std::vector<std::uint32_t> screen()
    {
        platform::ScreenImage shot;
        person->grab(person->screenRect(), shot);
        return shot.pixels;
    }

    // Presses a key of the dialog and, as a person would, waits until the
    // dialog has shown what it did (each key here moves the focus, turns
    // the switch or closes the dialog) before the next. The session runs
    // without animations (see initTestCase), so the first change shows the
    // key's whole effect.
    void tap(int vk)
    {
        const std::vector<std::uint32_t> before = screen();
        person->key(vk, true);
        person->key(vk, false);
        QTRY_VERIFY_WITH_TIMEOUT(screen() != before, 10000);
    }

    // The dialog covers the middle of the screen, where the receiver is
    // black otherwise. A read that fails says neither.
    bool middleShows(bool dialog)
    {
        const QPoint middle = QGuiApplication::primaryScreen()->geometry().center();
        const std::optional<std::uint32_t> seen = person->pixel(middle.x(), middle.y());
        return seen && (*seen != 0) == dialog;
    }

    // Waits for GNOME's dialog and answers it with the keyboard, along its
    // focus order (the monitor list, the remote interaction switch, Cancel,
    // Share): yes turns the switch on and presses Share, no presses Cancel.
    void answer(bool allow)
    {
        QTRY_VERIFY_WITH_TIMEOUT(middleShows(true), 30000);
        // Keys go where the focus is: the dialog has it once the receiver
        // lost it.
        QTRY_VERIFY_WITH_TIMEOUT(!receiver->isActiveWindow(), 10000);
        using platform::vk::Space;
        using platform::vk::Tab;
        const std::vector<int> keys = allow ? std::vector<int>{Tab, Tab, Space, Tab, Tab, Space}
                                            : std::vector<int>{Tab, Tab, Tab, Space};
        for (int vk : keys)
            tap(vk);
        QTRY_VERIFY_WITH_TIMEOUT(middleShows(false), 10000);
    }

    // Starts the program on `file` in `language`, sent to the portal either
    // by TERVALO_GNOME_API or by Mutter refusing it.
    bool play(QProcess &program, const QString &file, const QString &language, bool mutterRefuses = false)
    {
        QProcessEnvironment env = waylandtest::sessionEnvironment("GNOME", dir.path());
        if (mutterRefuses)
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + filteredBusSocket);
        else
            env.insert("TERVALO_GNOME_API", "portal");
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
        env.insert("LANG", language);
        return waylandtest::play(program, file, env);
    }

private slots:
    void initTestCase()
    {
        const bool required = qEnvironmentVariableIntValue("TERVALO_GNOME_REQUIRED") == 1;
        // GTK turns a switch only once its 100 ms slide ends, and the dialog
        // reads the switch when Share is pressed: a Share that comes during
        // the slide sends "off". Without animations the switch turns with
        // its key. Set before the portal (and its dialog) starts; the
        // session's settings are its own.
        QProcess::execute("gsettings", {"set", "org.gnome.desktop.interface", "enable-animations", "false"});
        std::string why;
        if (QGuiApplication::platformName() == QLatin1String("wayland"))
            person = platform::createGnomeDesktop(&why);
        if (!person || !platform::portalOffersRemoteDesktop(QDBusConnection::sessionBus(), &why)) {
            if (required)
                QFAIL(qPrintable(QStringLiteral("no GNOME session with the portal: ") + QString::fromStdString(why)));
            QSKIP("No GNOME session with the portal: this test runs in the GNOME stage of scripts/test.");
        }
        QVERIFY(person->beginInput({}));
        filteredBusSocket = dir.filePath("filtered-bus");
        filteredBus.start("xdg-dbus-proxy", {qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), filteredBusSocket, "--filter",
                                             "--see=org.gnome.Mutter.RemoteDesktop",
                                             "--talk=org.freedesktop.portal.Desktop"});
        QVERIFY2(filteredBus.waitForStarted(10000), "xdg-dbus-proxy: scripts/test installs it");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(filteredBusSocket), 10000);
        shell = QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.gnome.Shell"));
        // Out of the overview the shell starts in, which takes the keys.
        if (shell)
            QVERIFY(waylandtest::gnomeShellEval(QStringLiteral("imports.ui.main.overview.hide(); true")));
        receiver = std::make_unique<Receiver>();
        receiver->background = Qt::black;
        QVERIFY(waylandtest::showFocused(*receiver));
        // Mutter sends a frame only when the screen changes: one painted
        // before the person's stream was there is never sent, so it paints
        // again until a frame shows it.
        QTRY_VERIFY_WITH_TIMEOUT((receiver->update(), middleShows(false)), 10000);
    }

    // Every operation arrives through the portal once the person allowed
    // it, and before GNOME asks, the program has said why, in the language
    // of the command line.
    void playsThroughPortal_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("japanese");
        QTest::addColumn<bool>("mutterRefuses");
        QTest::newRow("English, portal asked for") << "C.UTF-8" << false << false;
        QTest::newRow("Japanese, Mutter refuses") << "ja_JP.UTF-8" << true << true;
    }
    void playsThroughPortal()
    {
        QFETCH(QString, language);
        QFETCH(bool, japanese);
        QFETCH(bool, mutterRefuses);
        const QString file = dir.filePath("portal.cmdat");
        QVERIFY(waylandtest::writeEveryOperation(file));
        receiver->clear();

        QProcess program;
        QVERIFY(play(program, file, language, mutterRefuses));
        answer(true);
        if (QTest::currentTestFailed())
            return;
        // Said before the dialog came: nothing else goes to stderr here.
        const QString said = QString::fromUtf8(program.readAllStandardError());
        QVERIFY(!said.isEmpty());
        const bool hasJapanese = std::any_of(said.begin(), said.end(), [](QChar c) { return c.unicode() >= 0x3000; });
        QCOMPARE(hasJapanese, japanese);

        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 60000);
        QCOMPARE(program.exitCode(), CommandLine::kExitDone);
        waylandtest::checkEveryOperation(*receiver);
    }

    // The person says no: nothing plays, and the run says its input did not
    // arrive.
    void personRefuses()
    {
        const QString file = dir.filePath("refused.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kKey, "65,4", "0.05"}}, {{PageKinds::kWaitUntilOver, "0.2"}}).ok);
        receiver->clear();
        QProcess program;
        QVERIFY(play(program, file, "C.UTF-8"));
        answer(false);
        if (QTest::currentTestFailed())
            return;
        // Ended already, perhaps, while the test waited for the dialog to go.
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 30000);
        QCOMPARE(program.exitCode(), CommandLine::kExitInputFailed);
        QVERIFY(receiver->text.isEmpty());
    }

    // Without a clipboard the portal cannot paste: the run refuses to start
    // and names what it cannot type, instead of dropping it.
    void textOutsideLayoutRefused()
    {
        const QString file = dir.filePath("text.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kEnterText, "a日本b", "0.3"}}, {{PageKinds::kWaitUntilOver, "0.2"}}).ok);
        QProcess program;
        QVERIFY(play(program, file, "C.UTF-8"));
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), CommandLine::kExitInputFailed);
        const QString said = QString::fromUtf8(program.readAllStandardError());
        // Named last on the line, each once, the layout's own left out.
        QCOMPARE(said.trimmed().section(QLatin1Char(':'), -1).trimmed(), QStringLiteral("日本"));
    }

    // One program start asks once: the second run of the same program uses
    // the session the person allowed for the first.
    void oneConsentForTwoRuns()
    {
        qputenv("TERVALO_GNOME_API", "portal");
        std::string why;
        std::shared_ptr<platform::Desktop> program = platform::createGnomeDesktop(&why);
        qunsetenv("TERVALO_GNOME_API");
        QVERIFY2(program, why.c_str());
        QVERIFY(program->asksConsent());
        receiver->clear();

        std::future<int> first = std::async(std::launch::async, [program] { return program->beginInput({}); });
        answer(true);
        if (QTest::currentTestFailed())
            return;
        const int firstRun = first.get();
        QVERIFY(firstRun > 0);
        QVERIFY(!program->asksConsent());
        program->key('A', true);
        program->key('A', false);
        program->endInput(firstRun);
        QVERIFY(!program->asksConsent());

        std::future<int> second = std::async(std::launch::async, [program] { return program->beginInput({}); });
        QCOMPARE(second.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        const int secondRun = second.get();
        QVERIFY(secondRun > 0);
        QVERIFY(middleShows(false));
        program->key('B', true);
        program->key('B', false);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->text, QStringLiteral("ab"), 5000);
        program->endInput(secondRun);
    }

    // The person ends the sharing with the shell's indicator (its ×) while a
    // page holds Shift+A: the run stops at once, as with its stop key, and
    // nothing stays down. Only gnome-shell has the indicator: its stage runs
    // this alone. Last: it ends every session, the person's too.
    void sharingIndicatorEndsTheRun()
    {
        if (!shell)
            QSKIP("Only gnome-shell shows the sharing indicator: its stage of scripts/test runs this.");
        const QString file = dir.filePath("hold.cmdat");
        QVERIFY(ProjectFile::write(file, {{PageKinds::kKey, "65,4", "600"}}, {{PageKinds::kWaitUntilOver, "0.2"}}).ok);
        receiver->clear();
        QProcess program;
        QVERIFY(play(program, file, "C.UTF-8"));
        answer(true);
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(receiver->held.contains(Qt::Key_A), 20000);

        QVERIFY(waylandtest::gnomeShellEval(
            QStringLiteral("imports.ui.main.panel.statusArea.screenSharing._stopSharing(); true")));
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 10000);
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(waylandtest::output(program)));
        QCOMPARE(program.exitCode(), CommandLine::kExitStopped);
        QTRY_VERIFY_WITH_TIMEOUT(receiver->held.isEmpty(), 5000);
    }

    void cleanupTestCase()
    {
        filteredBus.kill();
        filteredBus.waitForFinished();
    }
};

QTEST_MAIN(TestGnomePortal)
#include "tst_gnomeportal.moc"
