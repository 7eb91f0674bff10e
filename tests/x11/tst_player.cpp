// The command-line player as a scheduler or a script starts it: the real
// program as a process on the test's X server (the private Xvfb of
// scripts/test), playing into an X client of the test's own, stopped from
// another X connection, and refusing bad input without opening a window.

#include "app/commandline.h"
#include "project/pagekinds.h"
#include "project/picture.h"
#include "project/projectfile.h"
#include "run/picturewait.h"
#include "support/childenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include "x11/x11person.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Far above any run these tests play; only a player that never ends meets it.
constexpr int kProcessBoundMs = 120000;

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free");
}

// The text a key press stands for, from its keysym (as a terminal would
// show it); modifiers and other keys stand for nothing.
QString textOf(KeySym keysym)
{
    if (keysym == XK_Return)
        return QStringLiteral("\n");
    if (keysym >= 0x20 && keysym <= 0xff && keysym != 0x7f)
        return QString(QChar(char16_t(keysym)));
    if ((keysym & 0xff000000) == 0x01000000) {
        const char32_t cp = char32_t(keysym & 0x00ffffff);
        return QString::fromUcs4(&cp, 1);
    }
    return QString();
}

// A window of its own X connection that holds the keyboard focus and keeps
// the text the keys type into it.
class Receiver {
public:
    Receiver()
        : dpy(XOpenDisplay(nullptr))
    {
        if (!dpy)
            return;
        window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 20, 20, 320, 200, 0, 0, 0xffffff);
        XSelectInput(dpy, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapWindow(dpy, window);
        XEvent e;
        do
            XWindowEvent(dpy, window, StructureNotifyMask, &e);
        while (e.type != MapNotify);
        XSetInputFocus(dpy, window, RevertToParent, CurrentTime);
        XSync(dpy, False);
    }
    ~Receiver()
    {
        if (dpy) {
            XDestroyWindow(dpy, window);
            XCloseDisplay(dpy);
        }
    }
    bool ok() const { return dpy != nullptr; }

    /// Reads what has arrived so far.
    void poll()
    {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type == MappingNotify) {
                // Characters off the keymap come on keys rebound meanwhile.
                XRefreshKeyboardMapping(&e.xmapping);
            } else if (e.type == KeyPress) {
                char buffer[16];
                KeySym keysym = NoSymbol;
                XLookupString(&e.xkey, buffer, sizeof buffer, &keysym, nullptr);
                text += textOf(keysym);
            }
        }
    }

    Display *dpy;
    Window window = 0;
    QString text;
};

// Tells whether any window was mapped on the screen while it watched: the
// player must open none.
class MapWatcher {
public:
    MapWatcher()
        : dpy(XOpenDisplay(nullptr))
    {
        if (dpy) {
            XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
            XSync(dpy, False);
        }
    }
    ~MapWatcher()
    {
        if (dpy)
            XCloseDisplay(dpy);
    }
    /// Windows mapped since the watch began (call once the process is gone).
    int mapped()
    {
        XSync(dpy, False);
        int count = 0;
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type == MapNotify)
                ++count;
        }
        return count;
    }
    Display *dpy;
};

// Owns the system-tray selection of screen 0, as a panel with a tray does,
// so that the program sees a tray. It docks nothing.
class FakeTray {
public:
    FakeTray()
        : dpy(XOpenDisplay(nullptr))
    {
        window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
        const Atom selection = XInternAtom(dpy, "_NET_SYSTEM_TRAY_S0", False);
        XSetSelectionOwner(dpy, selection, window, CurrentTime);
        XSync(dpy, False);
        owned = XGetSelectionOwner(dpy, selection) == window;
    }
    ~FakeTray()
    {
        XDestroyWindow(dpy, window);
        XCloseDisplay(dpy);
    }
    Display *dpy;
    Window window = 0;
    bool owned = false;
};

// A window of its own X connection that shows a picture at a place of its
// own once asked to, and keeps where (on the screen) and with which button it
// was pressed.
class PictureBoard {
public:
    PictureBoard(const QRect &geometry, const QImage &picture, const QPoint &at)
        : dpy(XOpenDisplay(nullptr)), picture_(picture.convertToFormat(QImage::Format_RGB32)), at_(at)
    {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = 0xddeeff;
        attributes.event_mask = ButtonPressMask | ExposureMask | StructureNotifyMask;
        window = XCreateWindow(dpy, DefaultRootWindow(dpy), geometry.x(), geometry.y(), unsigned(geometry.width()),
                               unsigned(geometry.height()), 0, CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
        XMapRaised(dpy, window);
        XEvent e;
        do
            XWindowEvent(dpy, window, StructureNotifyMask, &e);
        while (e.type != MapNotify);
        XSync(dpy, False);
    }
    ~PictureBoard()
    {
        XDestroyWindow(dpy, window);
        XCloseDisplay(dpy);
    }
    /// Draws the picture (24-bit TrueColor, as Xvfb runs here).
    void show()
    {
        XImage *image = XCreateImage(dpy, DefaultVisual(dpy, DefaultScreen(dpy)), 24, ZPixmap, 0,
                                     reinterpret_cast<char *>(picture_.bits()), unsigned(picture_.width()),
                                     unsigned(picture_.height()), 32, int(picture_.bytesPerLine()));
        XPutImage(dpy, window, DefaultGC(dpy, DefaultScreen(dpy)), image, 0, 0, at_.x(), at_.y(),
                  unsigned(picture_.width()), unsigned(picture_.height()));
        image->data = nullptr; // the QImage's
        XDestroyImage(image);
        XSync(dpy, False);
        shown = true;
    }
    void poll()
    {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type == ButtonPress)
                presses.append({QPoint(e.xbutton.x_root, e.xbutton.y_root), int(e.xbutton.button)});
        }
    }

    Display *dpy;
    Window window = 0;
    bool shown = false;
    QList<QPair<QPoint, int>> presses; // X buttons: 1 left, 3 right

private:
    QImage picture_;
    QPoint at_;
};

struct Played {
    int code = -1;
    bool crashed = false;
    bool ended = false;
    QString out;
    QString err;
    int mappedWindows = 0;
};

RecordList list(std::initializer_list<QStringList> records)
{
    return RecordList(records);
}

} // namespace

class TestPlayer : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<Receiver> receiver;

    QString homePath() const { return home->path(); }
    QString settingsFile() const { return homePath() + QStringLiteral("/.config/tervalo_free/tervalo_free.json"); }

    // The variables a desktop session gives a program it starts; sanitizer
    // settings are passed on so that a child's report counts as well.
    QProcessEnvironment sessionEnvironment(const QString &lang = QStringLiteral("C.UTF-8")) const
    {
        QProcessEnvironment env = childenvironment::desktopSession(homePath());
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        env.insert(QStringLiteral("LANG"), lang);
        return env;
    }

    bool writeSettings(const QByteArray &json) const
    {
        QDir().mkpath(QFileInfo(settingsFile()).path());
        QFile f(settingsFile());
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(json) == json.size();
    }

    QString writeProject(const QString &name, const RecordList &commands, const RecordList &conditions) const
    {
        const QString path = homePath() + QLatin1Char('/') + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        f.write(ProjectFile::toJson(commands, conditions));
        return path;
    }

    // Starts `program` and serves the receiver until it ends; `whilePlaying`
    // is called as it goes and may act as the person.
    Played play(const QString &program, const QStringList &arguments, const QProcessEnvironment &env,
                const QString &workingDirectory = QString(),
                const std::function<void()> &whilePlaying = {})
    {
        MapWatcher watcher;
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workingDirectory.isEmpty() ? QCoreApplication::applicationDirPath()
                                                               : workingDirectory);
        process.start(program, arguments);
        Played p;
        if (!process.waitForStarted(10000))
            return p;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kProcessBoundMs);
        while (process.state() != QProcess::NotRunning && Clock::now() < deadline) {
            process.waitForFinished(10);
            if (receiver)
                receiver->poll();
            if (whilePlaying)
                whilePlaying();
        }
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
            p.out = QString::fromUtf8(process.readAllStandardOutput());
            p.err = QString::fromUtf8(process.readAllStandardError());
            return p;
        }
        if (receiver) {
            XSync(receiver->dpy, False);
            receiver->poll();
        }
        p.ended = true;
        p.crashed = process.exitStatus() != QProcess::NormalExit;
        p.code = process.exitCode();
        p.out = QString::fromUtf8(process.readAllStandardOutput());
        p.err = QString::fromUtf8(process.readAllStandardError());
        p.mappedWindows = watcher.mapped();
        return p;
    }

    Played playArgs(const QStringList &arguments, const QProcessEnvironment &env,
                    const std::function<void()> &whilePlaying = {})
    {
        return play(programPath(), arguments, env, QString(), whilePlaying);
    }

    static QString describe(const Played &p)
    {
        return QStringLiteral("exit %1%2\nstdout: %3\nstderr: %4")
            .arg(p.code)
            .arg(p.crashed ? QStringLiteral(" (crashed)") : p.ended ? QString() : QStringLiteral(" (never ended)"))
            .arg(p.out, p.err);
    }

    // A project that types one page of text and presses Shift+A: keys that
    // need a modifier, one that the keymap lacks, and plain ones.
    QString typingProject()
    {
        return writeProject(QStringLiteral("typing.cmdat"),
                            list({{PageKinds::kKey, QStringLiteral("65,4"), QStringLiteral("0.05")},
                                  {PageKinds::kEnterText, QStringLiteral("bc 日!"), QStringLiteral("0.1")}}),
                            list({{PageKinds::kWaitUntilOver, QStringLiteral("0")},
                                  {PageKinds::kWaitUntilOver, QStringLiteral("0")}}));
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: these tests run under the Xvfb of scripts/test.");
        QVERIFY2(QFileInfo(programPath()).isExecutable(), qPrintable(programPath()));
        receiver = std::make_unique<Receiver>();
        QVERIFY(receiver->ok());
    }

    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        QVERIFY(home->isValid());
        QVERIFY(QDir().mkpath(homePath() + QStringLiteral("/runtime")));
        QFile::setPermissions(homePath() + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        XSetInputFocus(receiver->dpy, receiver->window, RevertToParent, CurrentTime);
        XSync(receiver->dpy, False);
        receiver->poll();
        receiver->text.clear();
    }

    void cleanupTestCase() { receiver.reset(); }

    void playsIntoClient_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QByteArray>("settings"); // empty: no settings file
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("passes");
        QTest::addColumn<QString>("line"); // pattern; %1 the file; empty: no line
        QTest::addColumn<double>("atLeastSeconds");

        const QString en = QStringLiteral("^%1: %2 passes played, finished, [0-9]+\\.[0-9] s\\n$");
        const QString ja = QStringLiteral("^%1: %2 回再生、完了、[0-9]+\\.[0-9] 秒\\n$");
        QTest::newRow("twice, English") << "C.UTF-8" << QByteArray() << QStringList{"--times", "2", "--delay", "0"} << 2
                                        << en << 1.0;
        QTest::newRow("once, Japanese") << "ja_JP.UTF-8" << QByteArray()
                                        << QStringList{"--times=1", "--delay=0", "--stop-key=116,6"} << 1 << ja << 1.0;
        QTest::newRow("quiet prints nothing") << "C.UTF-8" << QByteArray() << QStringList{"--delay", "0", "--quiet"} << 1
                                              << QString() << 1.0;
        // Three passes after a start delay of 2 s, both from the settings,
        // then the one-second pause at the end of every run.
        QTest::newRow("values from the settings")
            << "C.UTF-8" << QByteArray(R"({"stert_time": 2, "run_number": 3, "stop_command": "83,3"})")
            << QStringList() << 3 << en << 3.0;
    }

    void playsIntoClient()
    {
        QFETCH(QString, lang);
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, options);
        QFETCH(int, passes);
        QFETCH(QString, line);
        QFETCH(double, atLeastSeconds);
        if (!settings.isEmpty())
            QVERIFY(writeSettings(settings));
        const QString file = typingProject();
        X11Person person;

        const Played p = playArgs(QStringList{QStringLiteral("--play"), file} + options, sessionEnvironment(lang));
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, CommandLine::kExitDone);
        QCOMPARE(receiver->text, QStringLiteral("Abc 日!").repeated(passes));
        if (line.isEmpty()) {
            QCOMPARE(p.out, QString());
        } else {
            const QRegularExpressionMatch m
                = QRegularExpression(line.arg(QRegularExpression::escape(file)).arg(passes)).match(p.out);
            QVERIFY2(m.hasMatch(), qPrintable(describe(p)));
            const double seconds = QRegularExpression(QStringLiteral("([0-9]+\\.[0-9])"))
                                       .match(p.out.mid(file.size()))
                                       .captured(1)
                                       .toDouble();
            QVERIFY2(seconds >= atLeastSeconds, qPrintable(describe(p)));
        }
        QCOMPARE(p.err, QString());
        QCOMPARE(p.mappedWindows, 0);
        QCOMPARE(person.keysDown(), QList<int>());
    }

    // A run that repeats until stopped ends with exit code 3 when the person
    // presses the stop key on another X connection, and holds nothing after.
    void stopKeyEndsLoop_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QList<int>>("stopKeys"); // keysyms, pressed in order
        QTest::addColumn<QString>("line");

        const QList<int> ctrlAltS{XK_Control_L, XK_Alt_L, XK_s};
        QTest::newRow("Ctrl+Alt+S, English")
            << "C.UTF-8" << QByteArray() << QStringList{"--until-stopped", "--stop-key", "83,3"} << ctrlAltS
            << "^%1: ([0-9]+) passes played, stopped, [0-9]+\\.[0-9] s\\n$";
        QTest::newRow("Ctrl+Alt+S, Japanese, quiet")
            << "ja_JP.UTF-8" << QByteArray() << QStringList{"--until-stopped", "--quiet"} << ctrlAltS
            << "^%1: ([0-9]+) 回再生、停止、[0-9]+\\.[0-9] 秒\\n$";
        // Repeat and Ctrl+Shift+F5 as the stop key, both from the settings.
        QTest::newRow("stop key and repeat from the settings")
            << "C.UTF-8" << QByteArray(R"({"run_number": 114514, "stop_command": "116,6"})") << QStringList()
            << QList<int>{XK_Control_L, XK_Shift_L, XK_F5} << "^%1: ([0-9]+) passes played, stopped, [0-9]+\\.[0-9] s\\n$";
    }

    void stopKeyEndsLoop()
    {
        QFETCH(QString, lang);
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, options);
        QFETCH(QList<int>, stopKeys);
        QFETCH(QString, line);
        if (!settings.isEmpty())
            QVERIFY(writeSettings(settings));
        const QString file = writeProject(QStringLiteral("loop.cmdat"),
                                          list({{PageKinds::kEnterText, QStringLiteral("x"), QStringLiteral("0.01")}}),
                                          list({{PageKinds::kTime, QStringLiteral("0.05")}}));
        X11Person person;
        QList<unsigned long> held;
        bool pressed = false;
        int arrivedBeforeStop = 0;
        const Played p = playArgs(QStringList{QStringLiteral("--play"), file, QStringLiteral("--delay"), QStringLiteral("0")}
                                      + options,
                                  sessionEnvironment(lang), [&] {
                                      // Stop once the loop has surely gone round a few times.
                                      if (!pressed && receiver->text.size() >= 3) {
                                          arrivedBeforeStop = int(receiver->text.size());
                                          for (int keysym : stopKeys) {
                                              person.key(KeySym(keysym), true);
                                              held.prepend(KeySym(keysym));
                                          }
                                          pressed = true;
                                      }
                                  });
        for (unsigned long keysym : held)
            person.key(keysym, false);
        QVERIFY2(pressed, qPrintable(describe(p)));
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, CommandLine::kExitStopped);
        const QRegularExpressionMatch m = QRegularExpression(line.arg(QRegularExpression::escape(file))).match(p.out);
        QVERIFY2(m.hasMatch(), qPrintable(describe(p)));
        // Whole passes only: at least the ones seen before the stop less the
        // one that may have been cut, never more than the keys that arrived.
        const int passes = m.captured(1).toInt();
        QVERIFY2(passes >= arrivedBeforeStop - 1 && passes <= receiver->text.count(QLatin1Char('x')),
                 qPrintable(describe(p)));
        QCOMPARE(p.mappedWindows, 0);
        QCOMPARE(person.keysDown(), QList<int>());
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1 stands for the file made by the row
        QTest::addColumn<QString>("file");          // what the row puts at %1
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");       // %1 the file; the line on stderr starts so

        const int noInput = CommandLine::kExitNoInput;
        const int usage = CommandLine::kExitUsage;
        const QStringList play{"--play", "%1", "--delay", "0"};
        // The command line speaks English here (C.UTF-8), file errors too.
        QTest::newRow("missing file") << play << "missing" << noInput
                                      << "tervalo_free: read error: cannot open the file: %1\n";
        QTest::newRow("folder") << play << "folder" << noInput << "tervalo_free: read error: cannot open the file: %1\n";
        QTest::newRow("broken JSON") << play << "broken" << noInput << "tervalo_free: read error: not JSON: ";
        QTest::newRow("not an object") << play << "array" << noInput
                                       << "tervalo_free: read error: the file is not a project\n";
        QTest::newRow("300 MB file") << play << "huge" << noInput
                                     << "tervalo_free: read error: cannot open the file: %1\n";
        QTest::newRow("missing file, --check") << QStringList{"--check", "%1"} << "missing" << noInput
                                               << "tervalo_free: read error: cannot open the file: %1\n";
        // A stop key must be one the person can press on this desktop.
        QTest::newRow("stop key 7") << (play + QStringList{"--stop-key", "7"}) << "project" << usage
                                    << "tervalo_free: the stop key 7";
        QTest::newRow("stop key 7,15") << (play + QStringList{"--stop-key", "7,15"}) << "project" << usage
                                       << "tervalo_free: the stop key 7,15";
        QTest::newRow("--times 0") << (play + QStringList{"--times", "0"}) << "project" << usage
                                   << "tervalo_free: --times takes a whole number from 1 to 9999: 0\nUsage: tervalo_free ";
        QTest::newRow("--times abc") << (play + QStringList{"--times", "abc"}) << "project" << usage
                                     << "tervalo_free: --times takes a whole number from 1 to 9999: abc\nUsage: ";
        QTest::newRow("--delay -1") << QStringList{"--play", "%1", "--delay", "-1"} << "project" << usage
                                    << "tervalo_free: --delay takes a whole number from 0 to 9999: -1\nUsage: ";
        QTest::newRow("unknown option") << (play + QStringList{"--loop"}) << "project" << usage
                                        << "tervalo_free: unknown option: --loop\nUsage: ";
        QTest::newRow("stop key not a key code")
            << (play + QStringList{"--stop-key", "Ctrl+Alt+S"}) << "project" << usage
            << "tervalo_free: --stop-key takes a key code \"key,modifiers\" (e.g. 83,3 = Ctrl+Alt+S): Ctrl+Alt+S\nUsage: ";
        QTest::newRow("option without --play") << QStringList{"--times", "2"} << "project" << usage
                                               << "tervalo_free: --times needs --play\nUsage: ";
    }

    void badInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, file);
        QFETCH(int, code);
        QFETCH(QString, message);

        const QString path = homePath() + QLatin1Char('/') + file;
        if (file == QStringLiteral("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (file == QStringLiteral("broken")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(R"({"list_command": [["なし"]], "list_condition": [)");
        } else if (file == QStringLiteral("array")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[]");
        } else if (file == QStringLiteral("huge")) {
            // Sparse: 300 MB long without taking the disk space.
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(300LL * 1024 * 1024));
        } else if (file == QStringLiteral("project")) {
            QCOMPARE(typingProject().isEmpty(), false);
            QVERIFY(QFile::rename(homePath() + QStringLiteral("/typing.cmdat"), path));
        }
        QStringList args;
        for (const QString &a : arguments)
            args << (a == QStringLiteral("%1") ? path : a);

        X11Person person;
        const Played p = playArgs(args, sessionEnvironment());
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, code);
        QVERIFY2(p.err.startsWith(message.contains(QStringLiteral("%1")) ? message.arg(path) : message),
                 qPrintable(describe(p)));
        if (code == CommandLine::kExitUsage)
            QVERIFY2(p.err.endsWith(CommandLine::usage(false)), qPrintable(describe(p)));
        QCOMPARE(p.out, QString());
        QCOMPARE(receiver->text, QString()); // nothing was played
        QCOMPARE(p.mappedWindows, 0);
        QCOMPARE(person.keysDown(), QList<int>());
    }

    void noDisplay_data()
    {
        QTest::addColumn<QString>("display"); // empty: not set
        QTest::addColumn<QString>("message");
        QTest::newRow("DISPLAY not set") << QString()
                                         << "tervalo_free: no display to play on (DISPLAY is not set); start it in a "
                                            "desktop session, or on X11 set DISPLAY and XAUTHORITY\n";
        QTest::newRow("no X server there") << ":9876"
                                           << "tervalo_free: no display to play on (cannot open the X display :9876); "
                                              "start it in a desktop session, or on X11 set DISPLAY and XAUTHORITY\n";
    }

    void noDisplay()
    {
        QFETCH(QString, display);
        QFETCH(QString, message);
        QProcessEnvironment env = sessionEnvironment();
        if (display.isEmpty())
            env.remove(QStringLiteral("DISPLAY"));
        else
            env.insert(QStringLiteral("DISPLAY"), display);
        const Played p = playArgs({QStringLiteral("--play"), typingProject(), QStringLiteral("--delay"), QStringLiteral("0")},
                                  env);
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, CommandLine::kExitNoInput);
        QCOMPARE(p.err, message);
        QCOMPARE(p.out, QString());
        QCOMPARE(receiver->text, QString());
    }

    // The settings file is read for the defaults and never written: its
    // bytes stay as they were (a save would rewrite them in Qt's indented
    // form), and where there was none, none appears.
    void settingsStayUntouched_data()
    {
        QTest::addColumn<QByteArray>("settings"); // empty: no settings file
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::newRow("played") << QByteArray(R"({"run_number":1,"stop_command":"83,3","stert_time":0,"later_key":[1]})")
                                << QStringList() << CommandLine::kExitDone;
        QTest::newRow("refused") << QByteArray(R"({"stop_command":"なし","is_japanese":false})") << QStringList()
                                 << CommandLine::kExitUsage;
        QTest::newRow("no settings file") << QByteArray() << QStringList{"--delay", "0"} << CommandLine::kExitDone;
    }

    void settingsStayUntouched()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, options);
        QFETCH(int, code);
        if (!settings.isEmpty())
            QVERIFY(writeSettings(settings));
        const QString configDir = QFileInfo(settingsFile()).path();
        const QStringList before = QDir(configDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

        const Played p = playArgs(QStringList{QStringLiteral("--play"), typingProject()} + options, sessionEnvironment());
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, code);
        if (settings.isEmpty()) {
            QVERIFY(!QFileInfo::exists(settingsFile()));
            QVERIFY(!QFileInfo::exists(configDir));
        } else {
            QFile f(settingsFile());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), settings);
            QCOMPARE(QDir(configDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
        }
    }

    // A stop key is required, unless --no-stop-key is given and there is a
    // system tray whose icon can stop the run.
    void stopKeyRule_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message"); // start of stderr

        const int usage = CommandLine::kExitUsage;
        const QByteArray none = R"({"stop_command": "なし"})";
        QTest::newRow("none in the settings, not confirmed")
            << none << QStringList() << true << usage
            << "tervalo_free: the run settings have no stop key; give one with --stop-key, or give --no-stop-key\n";
        QTest::newRow("settings key unusable")
            << QByteArray(R"({"stop_command": "x,3"})") << QStringList() << false << usage
            << "tervalo_free: the stop key of the run settings (x,3) is not a key code; give one with --stop-key\n";
        QTest::newRow("no stop key without a tray")
            << QByteArray() << QStringList{"--no-stop-key"} << false << usage
            << "tervalo_free: there is no system tray, so a run without a stop key could not be stopped; give a stop "
               "key with --stop-key\n";
        QTest::newRow("none in the settings without a tray")
            << none << QStringList{"--no-stop-key"} << false << usage
            << "tervalo_free: there is no system tray, so a run without a stop key could not be stopped";
        QTest::newRow("no stop key with a tray") << QByteArray() << QStringList{"--no-stop-key"} << true
                                                 << CommandLine::kExitDone << QString();
        QTest::newRow("none in the settings with a tray")
            << none << QStringList{"--no-stop-key"} << true << CommandLine::kExitDone << QString();
        QTest::newRow("settings key not on this desktop")
            << QByteArray(R"({"stop_command": "7,3"})") << QStringList() << false << usage
            << "tervalo_free: the stop key 7,3";
        QTest::newRow("given key overrides unusable settings")
            << QByteArray(R"({"stop_command": "x,3"})") << QStringList{"--stop-key", "83,3"} << false
            << CommandLine::kExitDone << QString();
    }

    void stopKeyRule()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, options);
        QFETCH(bool, tray);
        QFETCH(int, code);
        QFETCH(QString, message);
        if (!settings.isEmpty())
            QVERIFY(writeSettings(settings));
        std::unique_ptr<FakeTray> fakeTray;
        if (tray) {
            fakeTray = std::make_unique<FakeTray>();
            QVERIFY(fakeTray->owned);
        }
        const Played p = playArgs(QStringList{QStringLiteral("--play"), typingProject(), QStringLiteral("--delay"),
                                              QStringLiteral("0"), QStringLiteral("--times"), QStringLiteral("1")}
                                      + options,
                                  sessionEnvironment());
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, code);
        QVERIFY2(p.err.startsWith(message), qPrintable(describe(p)));
        QCOMPARE(receiver->text, code == CommandLine::kExitDone ? QStringLiteral("Abc 日!") : QString());
    }

    // Values Open repairs or that cannot play as written: --check lists each
    // one on a line and exits 1 (0 when there is none); --play tells the same
    // lines on stderr, except with --quiet, and plays the page anyway.
    void valueFindings_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("condition");
        QTest::addColumn<QStringList>("pieces"); // what the one line names; empty: a clean page
        QTest::addColumn<bool>("playable");      // plays at once (no wait on the screen)

        const QString none = PageKinds::kNone, now = PageKinds::kImmediately, color = PageKinds::kColor;
        QTest::newRow("clean") << QStringList{PageKinds::kMousePointer, "40", "50"} << QStringList{now} << QStringList()
                               << true;
        QTest::newRow("colour #zzzzzz") << QStringList{none} << QStringList{color, "0", "0", "#zzzzzz", "0"}
                                        << QStringList{"page 1, Color condition", "\"#zzzzzz\"", "black"} << false;
        QTest::newRow("tolerance 999") << QStringList{none} << QStringList{color, "0", "0", "#123456", "999"}
                                       << QStringList{"page 1, Color condition", "tolerance \"999\"", "255"} << false;
        QTest::newRow("x does not parse") << QStringList{PageKinds::kMousePointer, "4O", "50"} << QStringList{now}
                                          << QStringList{"page 1, Mouse Pointer operation", "x \"4O\"", "0"} << true;
        QTest::newRow("wheel notches -5") << QStringList{PageKinds::kWheel, PageKinds::WheelOperation::kDown, "-5"}
                                          << QStringList{now}
                                          << QStringList{"page 1, Wheel operation", "notches \"-5\"", "0"} << true;
        QTest::newRow("unknown operation kind") << QStringList{"ダブルクリック", "左"} << QStringList{now}
                                                << QStringList{"page 1, ダブルクリック operation", "skipped"} << true;
        QTest::newRow("unknown condition kind") << QStringList{none} << QStringList{"待機"}
                                                << QStringList{"page 1, 待機 condition", "skipped"} << true;
        QTest::newRow("short record") << QStringList{PageKinds::kMousePointer, "40"} << QStringList{now}
                                      << QStringList{"page 1, Mouse Pointer operation", "y \"\"", "missing"} << true;
    }

    void valueFindings()
    {
        QFETCH(QStringList, command);
        QFETCH(QStringList, condition);
        QFETCH(QStringList, pieces);
        QFETCH(bool, playable);
        // The page under test comes second, after a clean one.
        for (QString &piece : pieces)
            piece.replace(QStringLiteral("page 1"), QStringLiteral("page 2"));
        const QString file = writeProject(QStringLiteral("values.cmdat"),
                                          list({{PageKinds::kNone}, command}), list({{PageKinds::kImmediately}, condition}));

        auto checkLine = [&](const QString &output) {
            const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            if (pieces.isEmpty())
                return lines.isEmpty();
            if (lines.size() != 1 || !lines.first().startsWith(file + QStringLiteral(": ")))
                return false;
            for (const QString &piece : pieces) {
                if (!lines.first().contains(piece))
                    return false;
            }
            return true;
        };
        const Played checked = playArgs({QStringLiteral("--check"), file}, sessionEnvironment());
        QVERIFY2(checked.ended && !checked.crashed, qPrintable(describe(checked)));
        QCOMPARE(checked.code, pieces.isEmpty() ? CommandLine::kExitDone : 1);
        QVERIFY2(checkLine(checked.out), qPrintable(describe(checked)));
        QCOMPARE(checked.err, QString());
        QCOMPARE(checked.mappedWindows, 0);
        if (!playable)
            return;
        for (const bool quiet : {false, true}) {
            QStringList args{QStringLiteral("--play"), file, QStringLiteral("--times"), QStringLiteral("1"),
                             QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("--stop-key"),
                             QStringLiteral("83,3")};
            if (quiet)
                args << QStringLiteral("--quiet");
            const Played p = playArgs(args, sessionEnvironment());
            QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
            QCOMPARE(p.code, CommandLine::kExitDone);
            QVERIFY2(quiet ? p.err.isEmpty() : checkLine(p.err), qPrintable(describe(p)));
        }
    }

    // The result line names the file as given, '%' included, and a name
    // whose bytes are not UTF-8 plays as well (as --check reads it).
    void fileNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("mode");
        QTest::newRow("percent signs") << QByteArray("a%2b%1.cmdat") << "C.UTF-8" << "--play";
        QTest::newRow("percent signs, Japanese") << QByteArray("%1%%3.cmdat") << "ja_JP.UTF-8" << "--play";
        QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9.cmdat") << "C.UTF-8" << "--play";
        QTest::newRow("Latin-1 byte, --check") << QByteArray("caf\xe9.cmdat") << "C.UTF-8" << "--check";
    }

    void fileNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, lang);
        QFETCH(QString, mode);
        const QByteArray path = QFile::encodeName(homePath()) + '/' + name;
        {
            // Made by bytes, as a shell would pass them.
            const QByteArray json = ProjectFile::toJson(list({{PageKinds::kNone}}), list({{PageKinds::kImmediately}}));
            FILE *f = std::fopen(path.constData(), "wb");
            QVERIFY(f);
            QCOMPARE(std::fwrite(json.constData(), 1, size_t(json.size()), f), size_t(json.size()));
            std::fclose(f);
        }
        // Removed by its bytes: the temporary folder's clean-up goes by text.
        const auto removeFile = qScopeGuard([&path] { std::remove(path.constData()); });
        // Through a shell, as a script passes a name: QProcess would turn the
        // bytes into text first. printf makes the bytes from octal escapes.
        QString octal;
        for (const char c : name)
            octal += QStringLiteral("\\%1").arg(uint(uchar(c)), 3, 8, QLatin1Char('0'));
        const QString script =
            QStringLiteral("folder=$1; shift; exec \"$0\" %1 \"$folder/$(printf '%2')\" \"$@\"").arg(mode, octal);
        QStringList args{QStringLiteral("-c"), script, programPath(), homePath()};
        if (mode == QStringLiteral("--play"))
            args << QStringLiteral("--times") << QStringLiteral("1") << QStringLiteral("--delay") << QStringLiteral("0")
                 << QStringLiteral("--stop-key") << QStringLiteral("83,3");
        const Played p = play(QStringLiteral("/bin/sh"), args, sessionEnvironment(lang));
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, CommandLine::kExitDone);
        QCOMPARE(p.err, QString());
        if (mode != QStringLiteral("--play"))
            return;
        const QString shown = QFile::decodeName(path);
        QVERIFY2(p.out.startsWith(shown + QStringLiteral(": 1 ")), qPrintable(describe(p)));
        QCOMPARE(p.out.count(QLatin1Char('%')), shown.count(QLatin1Char('%')));
    }

    // Characters the desktop has no key for are told even with --quiet: a
    // text that played incomplete must not look like a success.
    void untypedCharacterAlwaysTold()
    {
        const QString bell(QChar(char16_t(7)));
        const QString file = writeProject(QStringLiteral("bell.cmdat"),
                                          list({{PageKinds::kEnterText, QStringLiteral("a") + bell + QStringLiteral("b"),
                                                 QStringLiteral("0.1")}}),
                                          list({{PageKinds::kWaitUntilOver, QStringLiteral("0")}}));
        const Played p = playArgs({QStringLiteral("--play"), file, QStringLiteral("--times"), QStringLiteral("1"),
                                   QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("--stop-key"),
                                   QStringLiteral("83,3"), QStringLiteral("--quiet")},
                                  sessionEnvironment());
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, CommandLine::kExitDone);
        QCOMPARE(receiver->text, QStringLiteral("ab"));
        QVERIFY2(p.err.contains(QStringLiteral("0007")), qPrintable(describe(p)));
        QCOMPARE(p.out, QString());
    }

    // The README's scheduling examples, run as the scheduler would: with
    // only the variables it sets plus the ones the example names.
    // A Click Image page of --play waits for its picture on a window at a
    // random place, clicks its centre with its button once it is shown, and
    // never clicks when it does not come: the run ends there, naming the
    // page, with exit 4.
    void pictureThroughThePlayer_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("wait");
        QTest::addColumn<bool>("shown");
        QTest::newRow("left, shown after half a second") << "左" << "10" << true;
        QTest::newRow("right, shown after half a second") << "右" << "10" << true;
        QTest::newRow("not shown in time") << "左" << "0.3" << false;
    }
    void pictureThroughThePlayer()
    {
        QFETCH(QString, button);
        QFETCH(QString, wait);
        QFETCH(bool, shown);
        auto *random = QRandomGenerator::global();
        QImage image(24, 18, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(10 * x, 255 - 12 * y, (x * y) % 256));
        const QRect geometry(400 + random->bounded(500), 300 + random->bounded(500), 260, 200);
        const QPoint at(random->bounded(200), random->bounded(150));
        PictureBoard board(geometry, image, at);

        const QString file = writeProject(
            QStringLiteral("picture.cmdat"),
            list({{PageKinds::kNone}, {PageKinds::kClickImage, picture::encode(image), button, QStringLiteral("0"), wait}}),
            list({{PageKinds::kImmediately}, {PageKinds::kWaitUntilOver, QStringLiteral("0")}}));
        QElapsedTimer clock;
        clock.start();
        const Played p = playArgs({QStringLiteral("--play"), file, QStringLiteral("--delay"), QStringLiteral("0"),
                                   QStringLiteral("--quiet")},
                                  sessionEnvironment(), [&] {
                                      if (shown && !board.shown && clock.elapsed() > 500)
                                          board.show();
                                      board.poll();
                                  });
        XSync(board.dpy, False);
        board.poll();
        if (shown) {
            QVERIFY2(p.ended && p.code == CommandLine::kExitDone, qPrintable(describe(p)));
            QCOMPARE(board.presses.size(), 1);
            QCOMPARE(board.presses.first().first,
                     geometry.topLeft() + at + QPoint(image.width() / 2, image.height() / 2));
            QCOMPARE(board.presses.first().second, button == PageKinds::kLeft ? 1 : 3);
        } else {
            QVERIFY2(p.ended && p.code == CommandLine::kExitPictureNotFound, qPrintable(describe(p)));
            QVERIFY2(p.err.contains(picturewait::notFoundMessage(2, false)), qPrintable(describe(p)));
            QCOMPARE(board.presses.size(), 0);
        }
    }

    void readmeExamples_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("crontab") << "crontab";
        QTest::newRow("systemd service") << "systemd";
    }

    void readmeExamples()
    {
        QFETCH(QString, kind);
        QFile readme(qEnvironmentVariable("TERVALO_SOURCE_DIR") + QStringLiteral("/README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(readme.readAll()).split(QLatin1Char('\n'));
        const QString display = qEnvironmentVariable("DISPLAY");
        const QString installed = QStringLiteral("/usr/bin/tervalo_free");

        // The example plays morning.cmdat from the home folder.
        QVERIFY(QFile::rename(typingProject(), homePath() + QStringLiteral("/morning.cmdat")));

        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), homePath());
        env.insert(QStringLiteral("LOGNAME"), QStringLiteral("tester"));
        childenvironment::passSanitizerOptions(env);
        QString program;
        QStringList arguments;
        if (kind == QStringLiteral("crontab")) {
            // The line: five time fields, then the command for /bin/sh.
            const QRegularExpression cronLine(QStringLiteral("^    (\\S+ \\S+ \\S+ \\S+ \\S+) (DISPLAY=.*tervalo_free.*)$"));
            QString command;
            for (const QString &line : lines) {
                if (const QRegularExpressionMatch m = cronLine.match(line); m.hasMatch())
                    command = m.captured(2);
            }
            QVERIFY2(!command.isEmpty(), "no crontab line in the README");
            QVERIFY(command.contains(installed));
            command.replace(installed, programPath());
            command.replace(QRegularExpression(QStringLiteral("DISPLAY=\\S+")), QStringLiteral("DISPLAY=") + display);
            env.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
            env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
            program = QStringLiteral("/bin/sh");
            arguments = QStringList{QStringLiteral("-c"), command};
        } else {
            // The service's Environment= lines and its ExecStart, with %h the
            // home folder as systemd expands it; no shell is involved.
            QString exec;
            for (const QString &line : lines) {
                const QString t = line.trimmed();
                if (t.startsWith(QStringLiteral("Environment="))) {
                    const QString assignment = t.mid(12).replace(QStringLiteral("%h"), homePath());
                    const qsizetype eq = assignment.indexOf(QLatin1Char('='));
                    env.insert(assignment.left(eq), assignment.mid(eq + 1));
                } else if (t.startsWith(QStringLiteral("ExecStart="))) {
                    exec = t.mid(10).replace(QStringLiteral("%h"), homePath());
                }
            }
            QVERIFY2(!exec.isEmpty(), "no ExecStart line in the README");
            QVERIFY(env.contains(QStringLiteral("DISPLAY")) && env.contains(QStringLiteral("XAUTHORITY")));
            env.insert(QStringLiteral("DISPLAY"), display);
            env.insert(QStringLiteral("USER"), QStringLiteral("tester"));
            env.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
            env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
            arguments = exec.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            QCOMPARE(arguments.takeFirst(), installed);
            program = programPath();
        }

        X11Person person;
        // Both run in the home folder, as cron and a user service do.
        const Played p = play(program, arguments, env, homePath());
        QVERIFY2(p.ended && !p.crashed, qPrintable(describe(p)));
        QCOMPARE(p.code, CommandLine::kExitDone);
        QCOMPARE(receiver->text, QStringLiteral("Abc 日!"));
        // --quiet: a scheduler has nothing to mail.
        QCOMPARE(p.out, QString());
        QCOMPARE(p.err, QString());
        QCOMPARE(person.keysDown(), QList<int>());
    }
};

QTEST_GUILESS_MAIN(TestPlayer)
#include "tst_player.moc"
