// Unsaved work survives a killed program: the built program on the test's X
// server, edited as a person would, killed with SIGKILL, started again; the
// restored pages are saved and compared. Also: on Linux its debug lines stay
// off the terminal unless QT_LOGGING_RULES asks for them.

#include "project/projectfile.h"
#include "support/childenvironment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <functional>

class TestX11Recovery : public QObject {
    Q_OBJECT

    Display *dpy = nullptr;

    // Bounds for a program that never shows what it should, not timings.
    static bool pumpUntil(const std::function<bool()> &done)
    {
        QDeadlineTimer bound(30000);
        while (!done()) {
            if (bound.hasExpired())
                return false;
            QTest::qWait(50);
        }
        return true;
    }

    QString titleOf(Window w)
    {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        QString title;
        if (XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), 0, 1024, False,
                               XInternAtom(dpy, "UTF8_STRING", False), &type, &format, &items, &after, &data)
                == Success
            && data) {
            title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(items));
            XFree(data);
        }
        return title;
    }

    /// A viewable top-level window of process `pid` titled `title`, or 0.
    Window windowOf(qint64 pid, const QString &title)
    {
        Window root = 0, parent = 0, *children = nullptr, found = 0;
        unsigned int n = 0;
        if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n))
            return 0;
        for (unsigned int i = 0; i < n && !found; ++i) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable || titleOf(children[i]) != title)
                continue;
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char *data = nullptr;
            if (XGetWindowProperty(dpy, children[i], XInternAtom(dpy, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                                   &type, &format, &items, &after, &data)
                    == Success
                && data) {
                if (items == 1 && qint64(*reinterpret_cast<unsigned long *>(data)) == pid)
                    found = children[i];
                XFree(data);
            }
        }
        if (children)
            XFree(children);
        return found;
    }

    void click(Window w, int x, int y)
    {
        XWindowAttributes a;
        XGetWindowAttributes(dpy, w, &a);
        XTestFakeMotionEvent(dpy, -1, a.x + x, a.y + y, CurrentTime);
        XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
        XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
        XSync(dpy, False);
        QTest::qWait(200); // a person's pace: the program handles one action before the next
    }

    void tap(QList<KeySym> keys)
    {
        for (KeySym k : keys)
            XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, k), True, CurrentTime);
        for (auto it = keys.rbegin(); it != keys.rend(); ++it)
            XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, *it), False, CurrentTime);
        XSync(dpy, False);
        QTest::qWait(100);
    }

    /// ASCII without capitals.
    void type(const QString &text)
    {
        for (const QChar c : text) {
            if (c == QLatin1Char('/'))
                tap({XK_slash});
            else if (c == QLatin1Char('.'))
                tap({XK_period});
            else if (c == QLatin1Char('_'))
                tap({XK_Shift_L, XK_underscore});
            else if (c == QLatin1Char('-'))
                tap({XK_minus});
            else
                tap({KeySym(c.unicode())});
        }
    }

    void start(QProcess &program, const QString &home, const QString &loggingRules)
    {
        QProcessEnvironment env = childenvironment::desktopSession(home);
        // Tells debug lines from warnings on standard error.
        env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{type}: %{message}"));
        if (!loggingRules.isEmpty())
            env.insert(QStringLiteral("QT_LOGGING_RULES"), loggingRules);
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(home);
        program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free"), QStringList());
        QVERIFY(program.waitForStarted());
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: these tests run under the Xvfb of scripts/test.");
        dpy = XOpenDisplay(nullptr);
        QVERIFY(dpy);
        // The program's windows come and go while the test looks at them.
        XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    }
    void cleanupTestCase()
    {
        if (dpy)
            XCloseDisplay(dpy);
    }

    // Killed outright, or asked to end as at the end of the session (the
    // copy is then written at once and the program exits by itself).
    void killedAndRestored_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGKILL") << int(SIGKILL);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void killedAndRestored()
    {
        QFETCH(int, signal);
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("runtime")));
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral(".config/tervalo_free")));
        QFile settings(home.filePath(QStringLiteral(".config/tervalo_free/tervalo_free.json")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(R"({"is_used_this": true, "is_used_stert": true, "is_help": false})");
        settings.close();
        const QDir copies(home.filePath(QStringLiteral(".local/share/tervalo_free")));

        QProcess first;
        start(first, home.path(), QString());
        auto stopFirst = qScopeGuard([&] {
            first.kill();
            first.waitForFinished();
        });
        Window main = 0;
        QVERIFY(pumpUntil([&] { return (main = windowOf(first.processId(), QStringLiteral("Tervalo Free"))) != 0; }));
        QVERIFY(pumpUntil([&] {
            if (windowOf(first.processId(), QStringLiteral("新規プロジェクト")))
                return true;
            click(main, 315, 40); // "新しいプロジェクトを作成"
            return false;
        }));
        click(main, 568, 380); // → twice: pages 2 and 3
        click(main, 568, 380);
        click(main, 80, 410);  // the condition's time on page 3
        tap({XK_Control_L, XK_a});
        type(QStringLiteral("2.5"));
        const RecordList commands{{"なし"}, {"なし"}, {"なし"}};
        const RecordList conditions{{"終わるまで待つ", "0.1"}, {"終わるまで待つ", "0.1"}, {"終わるまで待つ", "2.5"}};
        // The copy follows the edits on its own, within seconds.
        QVERIFY(pumpUntil([&] {
            const QStringList found = copies.entryList({QStringLiteral("*.cmdat")}, QDir::Files);
            if (found.size() != 1)
                return false;
            const ProjectFile::ReadResult copy = ProjectFile::read(copies.filePath(found.first()));
            return copy.ok && copy.commands == commands && copy.conditions == conditions;
        }));
        ::kill(pid_t(first.processId()), signal);
        QVERIFY(first.waitForFinished());
        if (signal != SIGKILL) {
            QCOMPARE(first.exitStatus(), QProcess::NormalExit);
            QCOMPARE(first.exitCode(), 128 + signal);
        }
        const QByteArray firstSaid = first.readAllStandardError();
        QVERIFY2(!firstSaid.contains("debug: "), firstSaid.constData());

        QProcess second;
        start(second, home.path(), QStringLiteral("*.debug=true"));
        auto stopSecond = qScopeGuard([&] {
            second.kill();
            second.waitForFinished();
        });
        Window box = 0;
        QVERIFY(pumpUntil([&] { return (box = windowOf(second.processId(), QStringLiteral("復元"))) != 0; }));
        click(box, 20, 20);
        tap({XK_Return}); // the default answer restores
        QVERIFY(pumpUntil([&] { return (main = windowOf(second.processId(), QStringLiteral("新規プロジェクト"))) != 0; }));
        // File > Save As, into a file the test reads.
        const QString saved = home.filePath(QStringLiteral("restored.cmdat"));
        click(main, 15, 10);
        tap({XK_Down});
        tap({XK_Down});
        tap({XK_Down});
        tap({XK_Return});
        Window dialog = 0;
        QVERIFY(pumpUntil([&] { return (dialog = windowOf(second.processId(), QStringLiteral("名前を付けて保存"))) != 0; }));
        click(dialog, 5, 5); // into the dialog, whose name field has the focus
        type(QFileInfo(saved).fileName()); // it opens in the home folder
        tap({XK_Return});
        QVERIFY(pumpUntil([&] { return QFile::exists(saved); }));
        const ProjectFile::ReadResult restored = ProjectFile::read(saved);
        QVERIFY(restored.ok);
        QCOMPARE(restored.commands, commands);
        QCOMPARE(restored.conditions, conditions);
        // Saved: the copy is gone.
        QVERIFY(pumpUntil([&] { return copies.entryList({QStringLiteral("*.cmdat")}, QDir::Files).isEmpty(); }));
        QVERIFY(second.readAllStandardError().contains("debug: "));
    }
};

QTEST_MAIN(TestX11Recovery)
#include "tst_x11recovery.moc"
