// The program ended from outside, as a person, a scheduler or a lost
// session ends it: a signal in the middle of a page that holds keys, a
// button or spare keys bound to characters, and the X server going away.
// The real program runs as a process; a second X connection of the test's
// own stays open throughout (on a bare server the last client leaving
// resets the keyboard, which would hide keys left down).

#include "app/commandline.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "support/childenvironment.h"

#include "x11/x11person.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free");
}

// Every keysym of every keycode, as the server has them now.
QList<unsigned long> keymapOf(Display *dpy)
{
    int low = 0, high = 0, perCode = 0;
    XDisplayKeycodes(dpy, &low, &high);
    KeySym *syms = XGetKeyboardMapping(dpy, KeyCode(low), high - low + 1, &perCode);
    QList<unsigned long> all;
    for (int i = 0; i < (high - low + 1) * perCode; ++i)
        all.append(syms[i]);
    XFree(syms);
    return all;
}

unsigned int buttonsDown(Display *dpy)
{
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return mask & (Button1Mask | Button2Mask | Button3Mask);
}

// Waits up to `ms` for `done`, true when it came.
bool waitFor(const std::function<bool()> &done, int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > until)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// True when a top-level window of that title is mapped.
bool topLevelNamed(Display *dpy, const char *title)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count))
        return false;
    bool found = false;
    for (unsigned int i = 0; i < count && !found; ++i) {
        char *name = nullptr;
        XWindowAttributes a;
        if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable && XFetchName(dpy, children[i], &name)
            && name) {
            found = QByteArray(name) == title;
        }
        if (name)
            XFree(name);
    }
    if (children)
        XFree(children);
    return found;
}

// An X server of the test's own, to be killed under the program.
class OwnServer {
public:
    OwnServer()
    {
        for (int n = 300; n < 400 && name.isEmpty(); ++n) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
                || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            server.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(n), QStringLiteral("-screen"),
                                                  QStringLiteral("0"), QStringLiteral("640x480x24"),
                                                  QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            if (!server.waitForStarted(5000))
                return;
            const QString display = QStringLiteral(":%1").arg(n);
            if (waitFor([&] { return (client = XOpenDisplay(qPrintable(display))) != nullptr; }, 5000))
                name = display;
        }
    }
    ~OwnServer()
    {
        kill();
    }
    void kill()
    {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(5000);
            // Killed, the server leaves its lock and socket behind: without
            // this, a hundred runs would use up every display number.
            const QString number = name.isEmpty() ? server.arguments().value(0).mid(1) : name.mid(1);
            QFile::remove(QStringLiteral("/tmp/.X%1-lock").arg(number));
            QFile::remove(QStringLiteral("/tmp/.X11-unix/X%1").arg(number));
        }
        // The connection is dead now; closing it would only end in Xlib's
        // I/O error handler, so it is left open, and kept where the leak
        // checker sees it is held on purpose (never destroyed: the check
        // runs after the static destructors).
        static auto *deadConnections = new std::vector<Display *>;
        if (client)
            deadConnections->push_back(client);
        client = nullptr;
    }
    QProcess server;
    Display *client = nullptr; ///< the other client, and the test's person
    QString name;
};

} // namespace

class TestProgramEnd : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    Display *dpy = nullptr; // the test's own connection, open throughout

    QProcessEnvironment environment(const QString &display) const
    {
        QProcessEnvironment env = childenvironment::desktopSession(home->path());
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        return env;
    }

    QString writeProject(const QStringList &command, const QStringList &condition) const
    {
        const QString path = home->path() + QStringLiteral("/project.cmdat");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        f.write(ProjectFile::toJson(RecordList{command}, RecordList{condition}));
        return path;
    }

    static QString describe(QProcess &p)
    {
        return QStringLiteral("exit %1 (%2)\nstdout: %3\nstderr: %4")
            .arg(p.exitCode())
            .arg(p.exitStatus() == QProcess::NormalExit ? QStringLiteral("normal") : QStringLiteral("crashed"))
            .arg(QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError()));
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: these tests run under the Xvfb of scripts/test.");
        dpy = XOpenDisplay(nullptr);
        QVERIFY(dpy);
    }

    void cleanupTestCase()
    {
        if (dpy)
            XCloseDisplay(dpy);
    }

    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        QVERIFY(home->isValid());
        QVERIFY(QDir().mkpath(home->path() + QStringLiteral("/runtime")));
        QFile::setPermissions(home->path() + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Ctrl+C, kill, a hang-up and `tervalo_free --stop` in the middle of a
    // page that holds something: the run stops the way the stop key stops
    // it, nothing stays down, every spare key gets its symbols back, and the
    // exit code tells the signal as a shell would (a --stop: stopped; the
    // --stop itself succeeds, and a second one finds nothing playing).
    void signalLetsGo_data()
    {
        QTest::addColumn<int>("signal"); // 0: tervalo_free --stop
        QTest::addColumn<QStringList>("command");

        const QStringList key{PageKinds::kKey, QStringLiteral("65,4"), QStringLiteral("20")};
        const QStringList click{PageKinds::kClick, QStringLiteral("左"), QStringLiteral("20")};
        const QStringList text{PageKinds::kEnterText, QStringLiteral("日本語を入力しています、ゆっくりと。").repeated(2),
                               QStringLiteral("20")};
        for (const auto &[signal, name] :
             {std::pair{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {0, "--stop"}}) {
            QTest::addRow("%s, Shift+A held", name) << signal << key;
            QTest::addRow("%s, left button held", name) << signal << click;
            QTest::addRow("%s, Japanese text", name) << signal << text;
        }
    }

    void signalLetsGo()
    {
        QFETCH(int, signal);
        QFETCH(QStringList, command);
        X11Person person;
        const QList<unsigned long> keymapBefore = keymapOf(dpy);
        const QString file = writeProject(command, {PageKinds::kWaitUntilOver, QStringLiteral("0")});

        QProcess program;
        const QProcessEnvironment env = environment(qEnvironmentVariable("DISPLAY"));
        program.setProcessEnvironment(env);
        program.start(programPath(), {QStringLiteral("--play"), file, QStringLiteral("--times"), QStringLiteral("1"),
                                      QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("--stop-key"),
                                      QStringLiteral("83,3")});
        QVERIFY(program.waitForStarted(10000));
        // The page is under way once something is held or a spare key bound.
        const bool playing = waitFor(
            [&] { return !person.keysDown().isEmpty() || buttonsDown(dpy) || keymapOf(dpy) != keymapBefore; }, 15000);
        QVERIFY2(playing, qPrintable(describe(program)));
        auto stopCommand = [&] {
            QProcess stop;
            stop.setProcessEnvironment(env);
            stop.start(programPath(), {QStringLiteral("--stop")});
            return stop.waitForFinished(15000) && stop.exitStatus() == QProcess::NormalExit ? stop.exitCode() : -1;
        };
        if (signal)
            ::kill(pid_t(program.processId()), signal);
        else
            QCOMPARE(stopCommand(), CommandLine::kExitDone);
        QVERIFY2(program.waitForFinished(15000), "the program did not end after the signal");
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(describe(program)));
        QCOMPARE(program.exitCode(), signal ? 128 + signal : CommandLine::kExitStopped);
        if (!signal)
            QCOMPARE(stopCommand(), CommandLine::kExitNotPlaying);
        XSync(dpy, False);
        QCOMPARE(person.keysDown(), QList<int>());
        QCOMPARE(buttonsDown(dpy), 0u);
        QVERIFY2(keymapOf(dpy) == keymapBefore, "the keymap was left changed");
    }


    // The window program asked to end closes as at the session's end: no
    // question, the settings written as on a normal close, and the exit
    // code tells the signal.
    void signalClosesTheWindow_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void signalClosesTheWindow()
    {
        QFETCH(int, signal);
        const QString settings = home->path() + QStringLiteral("/.config/tervalo_free/tervalo_free.json");
        QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
        {
            QFile f(settings);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(R"({"is_used_this": true, "run_number": 7})");
        }
        const QDateTime written = QFileInfo(settings).lastModified();
        QProcess program;
        program.setProcessEnvironment(environment(qEnvironmentVariable("DISPLAY")));
        program.start(programPath(), {});
        QVERIFY(program.waitForStarted(10000));
        QVERIFY2(waitFor([&] { return topLevelNamed(dpy, "Tervalo Free"); }, 30000), qPrintable(describe(program)));
        QTest::qWait(1100); // a later modification time tells the settings were written again
        ::kill(pid_t(program.processId()), signal);
        QVERIFY2(program.waitForFinished(15000), "the window program did not end after the signal");
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(describe(program)));
        QCOMPARE(program.exitCode(), 128 + signal);
        QVERIFY(QFileInfo(settings).lastModified() > written);
        QFile f(settings);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("\"run_number\": 7"));
    }

    // A signal during a recording keeps what was recorded; during its start
    // delay it cancels, as the stop key would.
    void signalDuringRecording_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("delay");
        QTest::addColumn<bool>("written");
        QTest::newRow("SIGTERM while recording") << int(SIGTERM) << 0 << true;
        QTest::newRow("SIGINT while recording") << int(SIGINT) << 0 << true;
        QTest::newRow("SIGHUP during the delay") << int(SIGHUP) << 30 << false;
    }

    void signalDuringRecording()
    {
        QFETCH(int, signal);
        QFETCH(int, delay);
        QFETCH(bool, written);
        const QString out = home->path() + QStringLiteral("/recorded.cmdat");
        QProcess program;
        program.setProcessEnvironment(environment(qEnvironmentVariable("DISPLAY")));
        program.start(programPath(), {QStringLiteral("--record"), out, QStringLiteral("--delay"), QString::number(delay)});
        program.setReadChannel(QProcess::StandardError);
        QVERIFY(program.waitForStarted(10000));
        // One line on stderr when it waits, a second when it records.
        const int lines = delay ? 1 : 2;
        QVERIFY2(waitFor([&] { return program.peek(4096).count('\n') >= lines; }, 15000), qPrintable(describe(program)));
        if (written) {
            X11Person person;
            person.moveTo(123, 234);
            person.click(1);
            QTest::qWait(300);
        }
        ::kill(pid_t(program.processId()), signal);
        QVERIFY2(program.waitForFinished(15000), "the program did not end after the signal");
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(describe(program)));
        QCOMPARE(program.exitCode(), 128 + signal);
        QCOMPARE(QFile::exists(out), written);
        if (written) {
            const ProjectFile::ReadResult r = ProjectFile::read(out);
            QVERIFY(r.ok);
            QVERIFY2(r.commands.contains(QStringList{PageKinds::kMousePointer, QStringLiteral("123"), QStringLiteral("234")}),
                     qPrintable(QString::fromUtf8(ProjectFile::toJson(r.commands, r.conditions))));
        }
    }

    // The X server goes away under the program: no crash, exit code 2 with
    // a word on stderr, and a recording keeps what it had.
    void lostDisplay_data()
    {
        QTest::addColumn<QStringList>("command"); // the page played; empty: --record
        QTest::addColumn<QStringList>("condition");
        QTest::newRow("waiting for a colour")
            << QStringList{PageKinds::kNone} << QStringList{PageKinds::kColor, "10", "10", "#123456", "0"};
        QTest::newRow("holding a key") << QStringList{PageKinds::kKey, "65,4", "30"}
                                       << QStringList{PageKinds::kWaitUntilOver, "0"};
        QTest::newRow("gliding") << QStringList{PageKinds::kSmoothMove, "600", "400", "30"}
                                 << QStringList{PageKinds::kWaitUntilOver, "0"};
        QTest::newRow("recording") << QStringList() << QStringList();
    }

    void lostDisplay()
    {
        QFETCH(QStringList, command);
        QFETCH(QStringList, condition);
        OwnServer server;
        QVERIFY(!server.name.isEmpty());
        const QString out = home->path() + QStringLiteral("/recorded.cmdat");
        const QStringList arguments = command.isEmpty()
            ? QStringList{QStringLiteral("--record"), out, QStringLiteral("--delay"), QStringLiteral("0")}
            : QStringList{QStringLiteral("--play"), writeProject(command, condition), QStringLiteral("--delay"),
                          QStringLiteral("0"), QStringLiteral("--stop-key"), QStringLiteral("83,3")};
        QProcess program;
        program.setProcessEnvironment(environment(server.name));
        program.setReadChannel(QProcess::StandardError);
        program.start(programPath(), arguments);
        QVERIFY(program.waitForStarted(10000));
        if (command.isEmpty()) {
            QVERIFY2(waitFor([&] { return program.peek(4096).count('\n') >= 2; }, 15000), qPrintable(describe(program)));
            XTestFakeMotionEvent(server.client, -1, 77, 88, CurrentTime);
            XTestFakeButtonEvent(server.client, 1, True, CurrentTime);
            XTestFakeButtonEvent(server.client, 1, False, CurrentTime);
            XSync(server.client, False);
        }
        // Well into the page: it lasts 30 s.
        QTest::qWait(1500);
        server.kill();
        QVERIFY2(program.waitForFinished(15000), "the program did not end when its display went away");
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(err));
        QCOMPARE(program.exitCode(), CommandLine::kExitNoInput);
        QVERIFY2(err.contains(CommandLine::programName() + QStringLiteral(": ")) && err.contains(server.name),
                 qPrintable(err));
        if (command.isEmpty()) {
            const ProjectFile::ReadResult r = ProjectFile::read(out);
            QVERIFY2(r.ok, qPrintable(err));
            QVERIFY(r.commands.contains(QStringList{PageKinds::kMousePointer, QStringLiteral("77"), QStringLiteral("88")}));
        }
    }
};

QTEST_GUILESS_MAIN(TestProgramEnd)
#include "tst_programend.moc"
