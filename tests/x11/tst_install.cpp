// The program as an installation puts it: `cmake --install` into a
// temporary prefix, the installed program started from an unrelated working
// directory on the test's X server, the menu entry and the AppStream
// metadata through Debian's validators, and the .deb that CPack builds.

#include "app/commandline.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"
#include "support/childenvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRect>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <functional>

namespace {

const QString kAppId = QStringLiteral("jp.tervalo.TervaloFree");

struct Ran {
    int code = -1;
    QString out;
    QString err;
};

Ran run(const QString &program, const QStringList &arguments, const QString &workingDirectory = QString(),
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(), int boundMs = 300000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        p.setWorkingDirectory(workingDirectory);
    p.start(program, arguments);
    Ran r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(boundMs)) {
        p.kill();
        p.waitForFinished(10000);
        r.err = QStringLiteral("did not start or end: ") + program;
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Every file an installation must hold, relative to its prefix.
QStringList expectedFiles()
{
    QStringList files{QStringLiteral("bin/tervalo_free"),
                      QStringLiteral("share/tervalo-free/image/SystemTrayIcon.png"),
                      QStringLiteral("share/tervalo-free/image/danger.png"),
                      QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop"),
                      QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml"),
                      QStringLiteral("share/icons/hicolor/scalable/apps/") + kAppId + QStringLiteral(".svg")};
    for (const char *document : {"LGPLv3のライセンス文章.txt", "Qtライブラリの差替え又は再インストールに関する情報.txt",
                                 "オープンソースソフトウェアに関する告知.txt", "ソフトウェア使用許諾契約書.txt"})
        files << QStringLiteral("share/tervalo-free/licenses/") + QString::fromUtf8(document);
    for (int size : {16, 22, 24, 32, 48, 64})
        files << QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + kAppId + QStringLiteral(".png");
    return files;
}

// The test's own look at the X server: finds top-level windows by title,
// clicks and types as a person, and reads pixels back.
class XScreenView {
public:
    XScreenView()
        : dpy(XOpenDisplay(nullptr))
    {
        // The program's windows come and go while the test looks at them;
        // a look at one that has just gone fails, and Xlib's default
        // handler would end the test for it.
        XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    }
    ~XScreenView()
    {
        if (dpy)
            XCloseDisplay(dpy);
    }

    /// Viewable windows of process `pid` below the root (any depth) titled
    /// `title`.
    QList<Window> windowsTitled(const QString &title, qint64 pid)
    {
        QList<Window> found;
        collect(DefaultRootWindow(dpy), title, found);
        found.removeIf([&](Window w) { return cardinal(w, "_NET_WM_PID") != pid; });
        return found;
    }

    QRect geometry(Window w)
    {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(dpy, w, &a))
            return QRect();
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
        return QRect(x, y, a.width, a.height);
    }

    /// Clicks the left button at a point of a window.
    void click(Window w, int x, int y)
    {
        const QRect g = geometry(w);
        XTestFakeMotionEvent(dpy, -1, g.x() + x, g.y() + y, CurrentTime);
        XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
        XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
        XSync(dpy, False);
    }

    /// Presses the keys in order, holds them `holdMs`, lets them go.
    void tap(const QList<KeySym> &keysyms, int holdMs = 0)
    {
        for (KeySym k : keysyms)
            XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, k), True, CurrentTime);
        XSync(dpy, False);
        if (holdMs > 0)
            QTest::qWait(holdMs);
        for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it)
            XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, *it), False, CurrentTime);
        XSync(dpy, False);
    }

    /// Pixels of a rectangle of a window whose colour passes `wanted`.
    int count(Window w, const QRect &r, const std::function<bool(int, int, int)> &wanted)
    {
        XImage *image = XGetImage(dpy, w, r.x(), r.y(), unsigned(r.width()), unsigned(r.height()), AllPlanes, ZPixmap);
        if (!image)
            return 0;
        int n = 0;
        for (int y = 0; y < r.height(); ++y) {
            for (int x = 0; x < r.width(); ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                if (wanted(int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff)))
                    ++n;
            }
        }
        XDestroyImage(image);
        return n;
    }

    bool viewable(Window w)
    {
        XWindowAttributes a;
        return XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
    }

    Display *dpy;

private:
    qint64 cardinal(Window w, const char *property)
    {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        qint64 value = -1;
        if (XGetWindowProperty(dpy, w, XInternAtom(dpy, property, False), 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data)
                == Success
            && data) {
            if (items == 1)
                value = qint64(*reinterpret_cast<unsigned long *>(data));
            XFree(data);
        }
        return value;
    }

    // The title as the window gives it in UTF-8 (_NET_WM_NAME).
    QString titleOf(Window w)
    {
        const Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        QString title;
        if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, utf8, &type, &format, &items, &after, &data) == Success
            && data) {
            title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(items));
            XFree(data);
        }
        return title;
    }

    void collect(Window w, const QString &title, QList<Window> &found)
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(dpy, w, &root, &parent, &children, &n))
            return;
        for (unsigned int i = 0; i < n; ++i) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable)
                continue;
            if (titleOf(children[i]) == title)
                found << children[i];
            collect(children[i], title, found);
        }
        if (children)
            XFree(children);
    }
};

// Owns the system-tray selection like a panel with a tray, and shows every
// icon window docked in it on the screen, so that its picture can be read.
class ShowingTray {
public:
    ShowingTray()
        : dpy(XOpenDisplay(nullptr))
    {
        window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
        opcode = XInternAtom(dpy, "_NET_SYSTEM_TRAY_OPCODE", False);
        XSetSelectionOwner(dpy, XInternAtom(dpy, "_NET_SYSTEM_TRAY_S0", False), window, CurrentTime);
        XSync(dpy, False);
    }
    ~ShowingTray()
    {
        XDestroyWindow(dpy, window);
        XCloseDisplay(dpy);
    }
    /// Handles dock requests; returns the docked icon window, if any yet.
    Window poll()
    {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            // SYSTEM_TRAY_REQUEST_DOCK is opcode 0; data.l[2] is the icon.
            if (e.type == ClientMessage && e.xclient.message_type == opcode && e.xclient.data.l[1] == 0) {
                icon = Window(e.xclient.data.l[2]);
                XMoveResizeWindow(dpy, icon, 900, 20, 64, 64);
                XMapRaised(dpy, icon);
                XSync(dpy, False);
            }
        }
        return icon;
    }
    Display *dpy;
    Window window = 0;
    Window icon = 0;
    Atom opcode = 0;
};

bool pumpUntil(int ms, const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir prefix;

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid());
        const Ran r = run(QStringLiteral(TERVALO_CMAKE_COMMAND),
                          {QStringLiteral("--install"), QStringLiteral(TERVALO_BINARY_DIR), QStringLiteral("--prefix"),
                           prefix.path()});
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
    }

    void filesWhereDesktopProgramsKeepThem()
    {
        for (const QString &file : expectedFiles())
            QVERIFY2(QFileInfo(prefix.filePath(file)).isFile(), qPrintable(file));
        QVERIFY(QFileInfo(prefix.filePath(QStringLiteral("bin/tervalo_free"))).isExecutable());
        // The 64 px icon is the tray icon's picture.
        QFile icon(prefix.filePath(QStringLiteral("share/icons/hicolor/64x64/apps/") + kAppId + QStringLiteral(".png")));
        QFile tray(QStringLiteral(TERVALO_SOURCE_DIR "/image/SystemTrayIcon.png"));
        QVERIFY(icon.open(QIODevice::ReadOnly) && tray.open(QIODevice::ReadOnly));
        QCOMPARE(icon.readAll(), tray.readAll());
    }

    void validatorsAccept_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("desktop-file-validate")
            << "desktop-file-validate" << QStringList{"share/applications/" + kAppId + ".desktop"};
        QTest::newRow("appstreamcli") << "appstreamcli"
                                      << QStringList{"validate", "--no-net", "share/metainfo/" + kAppId + ".metainfo.xml"};
    }
    void validatorsAccept()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QVERIFY2(!QStandardPaths::findExecutable(program).isEmpty(), "scripts/test installs the validators");
        for (QString &a : arguments) {
            if (a.startsWith(QStringLiteral("share/")))
                a = prefix.filePath(a);
        }
        const Ran r = run(program, arguments);
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        // The release is the program's version.
        QFile metainfo(prefix.filePath(QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QVERIFY(metainfo.readAll().contains("<release version=\"" TERVALO_VERSION "\""));
    }

    // Started from a folder that holds no image/, the installed program
    // finds its pictures in the prefix and says so once.
    void installedProgramFindsItsDataFiles()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: this runs under the Xvfb of scripts/test.");
        QTemporaryDir elsewhere;
        QVERIFY(QDir().mkpath(elsewhere.filePath(QStringLiteral("runtime"))));
        QFile::setPermissions(elsewhere.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile project(elsewhere.filePath(QStringLiteral("p.cmdat")));
        QVERIFY(project.open(QIODevice::WriteOnly));
        project.write(ProjectFile::toJson({{PageKinds::kNone}}, {{PageKinds::kImmediately}}));
        project.close();

        QProcessEnvironment env = childenvironment::desktopSession(elsewhere.path());
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=true"));
        const Ran r = run(prefix.filePath(QStringLiteral("bin/tervalo_free")),
                          {QStringLiteral("--play"), project.fileName(), QStringLiteral("--delay"), QStringLiteral("0"),
                           QStringLiteral("--times"), QStringLiteral("1")},
                          elsewhere.path(), env);
        QVERIFY2(r.code == CommandLine::kExitDone, qPrintable(r.out + r.err));
        const QString found = QStringLiteral("Data files: image/ found in ")
            + QDir::cleanPath(prefix.filePath(QStringLiteral("share/tervalo-free/image")));
        QCOMPARE(r.err.count(found), 1);
        QVERIFY(!r.err.contains(QStringLiteral("not found")));
    }

    // The installed program, started from an unrelated folder, shows its
    // pictures and documents: the warning icon of the run settings dialog,
    // the tray icon's picture during a run, and the LGPLv3 text in the
    // document viewer. A person drives it with the mouse and the keyboard.
    void installedWindowShowsItsFiles()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: this runs under the Xvfb of scripts/test.");
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("runtime"))));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // No first-start notices; a run that repeats until Ctrl+Alt+S.
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".config/tervalo_free"))));
        QFile settings(home.filePath(QStringLiteral(".config/tervalo_free/tervalo_free.json")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(R"({"is_used_this": true, "is_used_stert": true, "is_help": false, "run_number": 114514,)"
                       R"( "stert_time": 1, "stop_command": "83,3"})");
        settings.close();

        XScreenView screen;
        ShowingTray tray;
        QProcess program;
        QProcessEnvironment env = childenvironment::desktopSession(home.path());
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=true"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(home.path());
        program.start(prefix.filePath(QStringLiteral("bin/tervalo_free")), QStringList());
        QVERIFY(program.waitForStarted(10000));
        auto stop = qScopeGuard([&] {
            program.kill();
            program.waitForFinished(10000);
        });
        // Bounds for a program that never shows what it should, not timings.
        const int bound = 30000;

        Window main = 0;
        QVERIFY(pumpUntil(bound, [&] {
            const QList<Window> w = screen.windowsTitled(QStringLiteral("Tervalo Free"), program.processId());
            main = w.isEmpty() ? 0 : w.first();
            return main != 0;
        }));
        // "新しいプロジェクトを作成"; clicked again while the window is still
        // getting ready, as a person would.
        QElapsedTimer sinceClick;
        QVERIFY(pumpUntil(bound, [&] {
            if (screen.windowsTitled(QStringLiteral("新規プロジェクト"), program.processId()).contains(main))
                return true;
            if (!sinceClick.isValid() || sinceClick.elapsed() > 1000) {
                screen.click(main, 315, 40);
                sinceClick.start();
            }
            return false;
        }));
        QTest::qWait(300);
        screen.click(main, 210, 551); // the Run button

        Window dialog = 0;
        QVERIFY(pumpUntil(bound, [&] {
            const QList<Window> w = screen.windowsTitled(QStringLiteral("実行設定"), program.processId());
            dialog = w.isEmpty() ? 0 : w.first();
            return dialog != 0;
        }));
        // The orange of the warning sign beside "終了コマンドを設定しない".
        auto orange = [](int r, int g, int b) { return r > 200 && g > 120 && g < 220 && b < 90; };
        QVERIFY2(pumpUntil(bound, [&] { return screen.count(dialog, QRect(10, 330, 60, 30), orange) >= 20; }),
                 "no warning icon in the run settings dialog");

        screen.click(dialog, 150, 390); // Start
        // The teal of the tray icon's picture, once its window is docked.
        auto teal = [](int r, int g, int b) {
            return qAbs(r - 0x14) < 40 && qAbs(g - 0x78) < 40 && qAbs(b - 0x8c) < 40;
        };
        QVERIFY2(pumpUntil(bound,
                           [&] {
                               const Window icon = tray.poll();
                               return icon && screen.count(icon, QRect(0, 0, 16, 16), teal) >= 20;
                           }),
                 "the tray icon shows no picture");

        // The stop command, held longer than the watcher's 50 ms poll.
        screen.tap({XK_Control_L, XK_Alt_L, XK_s}, 300);
        QVERIFY(pumpUntil(bound, [&] { return screen.viewable(main); }));
        QTest::qWait(500);

        // Other > LGPLv3: open the first menu, go left past the last one
        // (Record) to the one before it, up to its last entry.
        screen.click(main, 15, 10);
        QTest::qWait(500);
        screen.tap({XK_Left});
        QTest::qWait(300);
        screen.tap({XK_Left});
        QTest::qWait(300);
        screen.tap({XK_Up});
        QTest::qWait(300);
        screen.tap({XK_Return});
        Window viewer = 0;
        QVERIFY2(pumpUntil(bound,
                           [&] {
                               for (Window w : screen.windowsTitled(QStringLiteral("Tervalo Free"), program.processId())) {
                                   if (w != main && screen.geometry(w).size() == QSize(600, 600))
                                       viewer = w;
                               }
                               return viewer != 0;
                           }),
                 "no document viewer");
        // Lines of dark text fill the view (inside its frame); an unreadable
        // file leaves it blank.
        auto dark = [](int r, int g, int b) { return r < 100 && g < 100 && b < 100; };
        QVERIFY2(pumpUntil(bound, [&] { return screen.count(viewer, QRect(16, 46, 568, 538), dark) > 500; }),
                 "the document viewer shows no text");

        program.kill();
        program.waitForFinished(10000);
        stop.dismiss();
        const QString err = QString::fromUtf8(program.readAllStandardError());
        const QString share = QDir::cleanPath(prefix.filePath(QStringLiteral("share/tervalo-free")));
        QCOMPARE(err.count(QStringLiteral("Data files: image/ found in ") + share + QStringLiteral("/image")), 1);
        QCOMPARE(err.count(QStringLiteral("Data files: licenses/ found in ") + share + QStringLiteral("/licenses")), 1);
    }

    // The .deb: its files, its control fields with the library dependencies
    // dpkg-shlibdeps found, and where CI runs as root, a real install, a
    // start and a removal that leaves nothing behind.
    void debianPackage()
    {
        QTemporaryDir out;
        const Ran packed = run(QStringLiteral(TERVALO_CPACK_COMMAND),
                               {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out.path(),
                                QStringLiteral("--config"), QStringLiteral(TERVALO_BINARY_DIR "/CPackConfig.cmake")});
        QVERIFY2(packed.code == 0, qPrintable(packed.out + packed.err));
        const QStringList debs = QDir(out.path()).entryList({QStringLiteral("tervalo-free_*.deb")});
        QCOMPARE(debs.size(), 1);
        const QString deb = out.filePath(debs.first());
        QVERIFY2(QRegularExpression(QStringLiteral("^tervalo-free_" TERVALO_VERSION "_[a-z0-9]+\\.deb$"))
                     .match(debs.first())
                     .hasMatch(),
                 qPrintable(debs.first()));

        const Ran contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
        QCOMPARE(contents.code, 0);
        for (const QString &file : expectedFiles())
            QVERIFY2(contents.out.contains(QStringLiteral(" ./usr/") + file + QLatin1Char('\n')), qPrintable(file));

        const Ran control = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb});
        QCOMPARE(control.code, 0);
        auto field = [&control](const QString &name) {
            return QRegularExpression(QStringLiteral("^%1: (.*)$").arg(name), QRegularExpression::MultilineOption)
                .match(control.out)
                .captured(1);
        };
        QCOMPARE(field(QStringLiteral("Package")), QStringLiteral("tervalo-free"));
        QCOMPARE(field(QStringLiteral("Version")), QStringLiteral(TERVALO_VERSION));
        QVERIFY(QRegularExpression(QStringLiteral("^.+ <.+@.+>$")).match(field(QStringLiteral("Maintainer"))).hasMatch());
        QCOMPARE(field(QStringLiteral("Section")), QStringLiteral("utils"));
        QVERIFY(!field(QStringLiteral("Description")).isEmpty());
        const QString depends = field(QStringLiteral("Depends"));
        for (const char *library : {"libc6", "libqt6widgets6", "libqt6gui6", "libx11-6", "libxtst6"})
            QVERIFY2(depends.contains(QLatin1String(library)), qPrintable(depends));

        if (qEnvironmentVariable("CI") != QStringLiteral("true") || geteuid() != 0)
            return; // installing into the system is CI's business, as root
        const Ran installed = run(QStringLiteral("apt-get"),
                                  {QStringLiteral("install"), QStringLiteral("-y"), QStringLiteral("-q"),
                                   QStringLiteral("-o"), QStringLiteral("DPkg::Lock::Timeout=300"), deb});
        QVERIFY2(installed.code == 0, qPrintable(installed.out + installed.err));
        const Ran version = run(QStringLiteral("/usr/bin/tervalo_free"), {QStringLiteral("--version")}, QDir::tempPath());
        const Ran removed = run(QStringLiteral("apt-get"),
                                {QStringLiteral("remove"), QStringLiteral("-y"), QStringLiteral("-q"), QStringLiteral("-o"),
                                 QStringLiteral("DPkg::Lock::Timeout=300"), QStringLiteral("tervalo-free")});
        QCOMPARE(version.out, CommandLine::versionLine() + QLatin1Char('\n'));
        QVERIFY2(removed.code == 0, qPrintable(removed.out + removed.err));
        for (const QString &file : expectedFiles())
            QVERIFY2(!QFileInfo::exists(QStringLiteral("/usr/") + file), qPrintable(file));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/share/tervalo-free")));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
