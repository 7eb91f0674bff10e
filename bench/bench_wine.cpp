// The Windows program under Wine next to the Linux program on the same X
// display, measured the same way, turn about, in one run:
// - stop: a looping run of the command-line player is stopped by Ctrl+Alt+S
//   pressed through XTest (as another program or a person would); latency
//   is the key's arrival at the server to the end of the player's process;
// - typing: a one-pass run types the texts of bench_x11typing into a window
//   of the same display (a Qt text field for Linux, our Win32 receiver for
//   Windows); the rate is counted from the first character's arrival to the
//   last, and every run is checked character by character.
//
// Usage: bench_wine [stops per program] [typing runs per text]
// Needs DISPLAY, xdotool, Wine, the zip of scripts/windows and the receiver
// (paths built in by CMake; TERVALO_WIN_ZIP, TERVALO_RECEIVER, TERVALO_WINE,
// TERVALO_WINESERVER override them). Without them it says so and exits 0:
// the Windows stage of scripts/test is where the Windows program is built.

#include "project/pagekinds.h"
#include "project/projectfile.h"

#include "../tests/win32/receiverwindow.h"
#include "benchstats.h"
#include "benchtexts.h"
#include "benchwine.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// Xlib's event names are macros that would stand for Qt's event types.
#undef KeyPress

#include <cstdio>
#include <functional>
#include <memory>

namespace {

using Clock = benchstats::Clock;

constexpr int kStartMs = 180000; // a Wine start on a busy machine
constexpr int kStopEndMs = 10000; // no stop takes this long; a run that does is counted as not ended
// Where the Wine receiver sits, and the two points the stop project puts
// the pointer on, inside it: Wine sees X keys only while one of its windows
// is under the pointer (no window manager gives a focus).
const QRect kReceiverRect(20, 20, 280, 180);
const QPoint kStopPointA(100, 100);
const QPoint kStopPointB(140, 100);
// Stop key: Ctrl+Alt+S, as the player's "--stop-key" code.
const QString kStopKeyCode = QStringLiteral("83,3");

// Pages as (operation, condition) pairs, written by the program's own writer.
bool writeProject(const QString &path, const QList<QPair<QStringList, QStringList>> &pages)
{
    RecordList commands, conditions;
    for (const auto &page : pages) {
        commands.append(page.first);
        conditions.append(page.second);
    }
    return ProjectFile::write(path, commands, conditions).ok;
}

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// One of the two programs: how to start its player, and where its typing
// lands.
struct Program {
    QString name;
    std::function<std::unique_ptr<QProcess>(const QString &project, const QStringList &options)> play;
    // Clears the target, then returns what has arrived so far when called.
    std::function<void()> clearTarget;
    std::function<QString()> received;
    // Seconds from the first character's arrival to the last's, when the
    // target knows them better than the poll below (the X server's own
    // times of the key events); negative when it does not.
    std::function<double()> span;
    QPoint typingTarget; // the pointer goes there and clicks before typing
};

// The X server's times (ms) of the first and the last key press a widget
// got: Qt hands over many queued key events at once, so the time they are
// seen says nothing about when they were typed.
class KeyTimes : public QObject
{
public:
    void clear() { first = last = 0; }
    double seconds() const { return first ? (last - first) / 1000.0 : -1; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const ulong t = static_cast<QKeyEvent *>(event)->timestamp();
            if (!first)
                first = t;
            last = t;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    ulong first = 0, last = 0;
};

struct StopFigures {
    std::vector<double> ms;
    int notEnded = 0;
    int wrongExit = 0;
};

struct TypingFigures {
    std::vector<double> rates; // characters per second, intact ones only
    int worstLost = 0;
    int failed = 0;            // runs where nothing arrived
};

class Bench
{
public:
    explicit Bench(Display *display) : x(display) {}

    // Waits until the pointer stands on one of the stop project's points:
    // the run is playing.
    bool waitUntilPlaying(QProcess &player)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kStartMs && player.state() != QProcess::NotRunning) {
            const QPoint p = pointer();
            if (p == kStopPointA || p == kStopPointB)
                return true;
            QThread::msleep(1);
        }
        return false;
    }

    void stopKeys(bool down)
    {
        const KeySym order[] = {XK_Control_L, XK_Alt_L, XK_s};
        for (int i = 0; i < 3; ++i) {
            const KeySym sym = order[down ? i : 2 - i];
            XTestFakeKeyEvent(x, XKeysymToKeycode(x, sym), down, CurrentTime);
        }
        XSync(x, False);
    }

    void stopOnce(const Program &program, const QString &project, StopFigures &out)
    {
        // Keys go to the window under the pointer, as with no window manager
        // (a typing run before may have given a window the focus).
        XSetInputFocus(x, PointerRoot, RevertToPointerRoot, CurrentTime);
        XSync(x, False);
        auto player = program.play(project, {QStringLiteral("--until-stopped")});
        if (!waitUntilPlaying(*player)) {
            std::fprintf(stderr, "%s: the run did not start: %s\n", qPrintable(program.name),
                         player->readAll().constData());
            ++out.notEnded;
            player->kill();
            player->waitForFinished(10000);
            return;
        }
        // Somewhere in a page, not just at its start.
        QThread::msleep(20 + QRandomGenerator::global()->bounded(120));
        stopKeys(true);
        const auto t0 = Clock::now();
        const bool ended = player->waitForFinished(kStopEndMs);
        const double ms = msSince(t0);
        stopKeys(false);
        if (!ended) {
            ++out.notEnded;
            player->kill();
            player->waitForFinished(10000);
            return;
        }
        out.ms.push_back(ms);
        if (player->exitCode() != 3) // the player's "stopped"
            ++out.wrongExit;
    }

    void typeOnce(const Program &program, const QString &project, const QString &text, TypingFigures &out)
    {
        program.clearTarget();
        auto player = program.play(project, {QStringLiteral("--times"), QStringLiteral("1")});
        const int n = int(text.size());
        QElapsedTimer t;
        t.start();
        Clock::time_point first, last;
        int seen = 0;
        QString now;
        // Until the whole text is there or the player has ended and nothing
        // more comes.
        qint64 quietSince = -1;
        while (t.elapsed() < kStartMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            now = program.received();
            if (now.size() != seen) {
                if (seen == 0)
                    first = Clock::now();
                last = Clock::now();
                seen = int(now.size());
                quietSince = -1;
            }
            if (seen >= n)
                break;
            if (player->state() == QProcess::NotRunning) {
                if (quietSince < 0)
                    quietSince = t.elapsed();
                else if (t.elapsed() - quietSince > 2000)
                    break;
            }
            QThread::usleep(500);
        }
        player->waitForFinished(kStartMs);
        const int lost = benchtexts::differences(text, now);
        out.worstLost = std::max(out.worstLost, lost);
        if (lost > 0) {
            int same = 0;
            while (same < now.size() && same < text.size() && now.at(same) == text.at(same))
                ++same;
            std::fprintf(stderr, "%s: %d characters lost or wrong; %lld of %lld arrived, the first %d intact\n",
                         qPrintable(program.name), lost, qlonglong(now.size()), qlonglong(text.size()), same);
        }
        if (seen < 2) {
            ++out.failed;
            return;
        }
        const double told = program.span();
        const double seconds = told >= 0 ? told : std::chrono::duration<double>(last - first).count();
        // The first character starts the clock, so it is not counted.
        const int intact = std::max(0, int(text.toUcs4().size()) - lost - 1);
        out.rates.push_back(seconds > 0 ? intact / seconds : 0);
    }

private:
    QPoint pointer() const
    {
        Window root, child;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned mask = 0;
        XQueryPointer(x, DefaultRootWindow(x), &root, &child, &rx, &ry, &wx, &wy, &mask);
        return QPoint(rx, ry);
    }

    Display *x;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_wine needs an X display (scripts/bench starts Xvfb).\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const int stops = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    const int typings = argc > 2 ? std::max(1, atoi(argv[2])) : 3;

    const QString zip = benchwine::setting("TERVALO_WIN_ZIP", TERVALO_WIN_ZIP_BUILT_IN);
    const QString receiverExe = benchwine::setting("TERVALO_RECEIVER", TERVALO_RECEIVER_BUILT_IN);
    const QString wine = benchwine::wine();
    const QString wineserver = benchwine::wineserver();
    const QString linuxProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free");
    for (const QString &need : {zip, receiverExe, wine, wineserver, linuxProgram}) {
        if (need.isEmpty() || !QFileInfo::exists(need)) {
            std::printf("bench_wine: skipped, %s is missing (scripts/windows builds the zip).\n",
                        need.isEmpty() ? "a path" : qPrintable(need));
            return 0;
        }
    }

    QTemporaryDir work;
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-q"), zip, QStringLiteral("-d"), work.filePath(QStringLiteral("app"))});
    if (!unzip.waitForFinished(120000) || unzip.exitCode() != 0) {
        std::fprintf(stderr, "Could not unzip %s\n", qPrintable(zip));
        return 1;
    }
    const QString appFolder = work.filePath(QStringLiteral("app/")) + QDir(work.filePath(QStringLiteral("app")))
                                                                           .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                                                           .value(0);
    WinePrefix prefix(wine, wineserver, benchwine::prefixFolder());
    QString error;
    if (!prefix.create(&error)) {
        std::fprintf(stderr, "No Wine prefix: %s\n", qPrintable(error));
        return 1;
    }
    ReceiverWindow receiver(prefix, receiverExe, work.filePath(QStringLiteral("receiver")), kReceiverRect);
    if (!receiver.start()) {
        std::fprintf(stderr, "The Win32 receiver did not start.\n");
        return 1;
    }

    // The Linux program's target, beside the receiver.
    QPlainTextEdit field;
    field.setGeometry(340, 20, 800, 600);
    KeyTimes fieldKeyTimes;
    field.installEventFilter(&fieldKeyTimes);
    field.show();
    field.activateWindow();
    if (!QTest::qWaitForWindowExposed(&field)) {
        std::fprintf(stderr, "The text field was not shown.\n");
        return 1;
    }

    // The Linux player's settings stay in the work folder, never the user's.
    QProcessEnvironment linuxEnv = QProcessEnvironment::systemEnvironment();
    linuxEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("config")));
    linuxEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const QStringList fixed{QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("--stop-key"), kStopKeyCode,
                            QStringLiteral("--quiet")};

    Display *x = XOpenDisplay(nullptr);
    if (!x) {
        std::fprintf(stderr, "Cannot open the display.\n");
        return 1;
    }
    Program linuxProgramDef{
        QStringLiteral("Linux (X11)"),
        [&](const QString &project, const QStringList &options) {
            auto p = std::make_unique<QProcess>();
            p->setProcessEnvironment(linuxEnv);
            p->setProcessChannelMode(QProcess::MergedChannels);
            p->start(linuxProgram, QStringList{QStringLiteral("--play"), project} + fixed + options);
            return p;
        },
        [&] {
            field.clear();
            field.activateWindow();
            QCoreApplication::processEvents();
            fieldKeyTimes.clear();
        },
        [&] { return field.toPlainText(); },
        [&] { return fieldKeyTimes.seconds(); },
        field.geometry().center()};
    Program windowsProgramDef{
        QStringLiteral("Windows (Wine)"),
        [&](const QString &project, const QStringList &options) {
            return prefix.start(appFolder + QStringLiteral("/tervalo_free.exe"),
                                QStringList{QStringLiteral("--play"), prefix.windowsPath(project)} + fixed + options,
                                appFolder);
        },
        [&] {
            // Wine types into its own foreground window: the receiver's, once
            // the X focus follows the pointer again and it is brought forward.
            XSetInputFocus(x, PointerRoot, RevertToPointerRoot, CurrentTime);
            XSync(x, False);
            receiver.ask(QStringLiteral("front"), QStringLiteral("front"));
            receiver.forget();
        },
        [&] {
            QString text;
            for (const QString &line : receiver.linesStarting(QStringLiteral("char")))
                text += QChar(char16_t(line.section(QLatin1Char(' '), 1, 1).toUShort(nullptr, 16)));
            return text;
        },
        [] { return -1.0; },
        kReceiverRect.center()};
    const Program *programs[] = {&linuxProgramDef, &windowsProgramDef};

    // A loop of two pointer puts, each followed by a short wait.
    const QString stopProject = work.filePath(QStringLiteral("stop.cmdat"));
    auto put = [](QPoint p) {
        return QStringList{PageKinds::kMousePointer, QString::number(p.x()), QString::number(p.y())};
    };
    const QStringList shortWait{PageKinds::kTime, QStringLiteral("0.05")};
    writeProject(stopProject, {{put(kStopPointA), shortWait}, {put(kStopPointB), shortWait}});

    Bench bench(x);

    std::printf("Stop: Ctrl+Alt+S through XTest -> the player's process has ended (%d stops each, turn about)\n", stops);
    StopFigures stopFigures[2];
    for (int i = 0; i < stops; ++i) {
        for (int p = 0; p < 2; ++p)
            bench.stopOnce(*programs[p], stopProject, stopFigures[p]);
    }
    for (int p = 0; p < 2; ++p) {
        const StopFigures &f = stopFigures[p];
        std::printf("  %-15s %3zu stops: median %6.1f ms, p99 %6.1f ms, max %6.1f ms; not ended %d, wrong exit code %d\n",
                    qPrintable(programs[p]->name), f.ms.size(), benchstats::median(f.ms), benchstats::percentile(f.ms, 0.99),
                    f.ms.empty() ? 0.0 : *std::max_element(f.ms.begin(), f.ms.end()), f.notEnded, f.wrongExit);
    }
    const double stopRatio = benchstats::median(stopFigures[0].ms) > 0
        ? benchstats::median(stopFigures[1].ms) / benchstats::median(stopFigures[0].ms)
        : 0;
    std::printf("  Windows / Linux median: %.2fx\n", stopRatio);

    struct Case {
        const char *name;
        QString text;
    };
    const Case cases[] = {{"ASCII", benchtexts::asciiText(1000)}, {"Japanese", benchtexts::japaneseText(200)}};
    std::printf("Typing: first character to last, through a one-pass run (%d runs each, turn about)\n", typings);
    bool allIntact = true;
    for (const Case &c : cases) {
        TypingFigures figures[2];
        for (int p = 0; p < 2; ++p) {
            const Program &program = *programs[p];
            const QString project = work.filePath(QStringLiteral("type-%1-%2.cmdat").arg(QString::fromLatin1(c.name)).arg(p));
            // Onto the target, click it (the focus), then the whole text at
            // the shortest time the page allows.
            writeProject(project, {{put(program.typingTarget), {PageKinds::kImmediately}},
                                   {{PageKinds::kClick, PageKinds::kLeft, QStringLiteral("0.01")}, {PageKinds::kWaitUntilOver, QStringLiteral("0.1")}},
                                   {{PageKinds::kEnterText, c.text, QStringLiteral("0.01")}, {PageKinds::kWaitUntilOver, QStringLiteral("0")}}});
        }
        for (int r = 0; r < typings; ++r) {
            for (int p = 0; p < 2; ++p) {
                const QString project = work.filePath(QStringLiteral("type-%1-%2.cmdat").arg(QString::fromLatin1(c.name)).arg(p));
                bench.typeOnce(*programs[p], project, c.text, figures[p]);
            }
        }
        double medians[2] = {0, 0};
        for (int p = 0; p < 2; ++p) {
            const TypingFigures &f = figures[p];
            medians[p] = benchstats::median(f.rates);
            const double best = f.rates.empty() ? 0 : *std::max_element(f.rates.begin(), f.rates.end());
            std::printf("  %-8s %-15s median %7.0f chars/s, best %7.0f chars/s; worst run lost %d, runs with nothing %d\n",
                        c.name, qPrintable(programs[p]->name), medians[p], best, f.worstLost, f.failed);
            allIntact = allIntact && f.worstLost == 0 && f.failed == 0;
        }
        std::printf("  %-8s Windows / Linux median: %.2fx\n", c.name, medians[0] > 0 ? medians[1] / medians[0] : 0.0);
    }
    XCloseDisplay(x);
    prefix.shutdown();
    // The figures are reported, not judged against each other; a lost
    // character or a run that did not end is a fault on either side.
    const bool sound = allIntact && stopFigures[0].notEnded == 0 && stopFigures[1].notEnded == 0
        && stopFigures[0].wrongExit == 0 && stopFigures[1].wrongExit == 0;
    std::printf("[targets: every stop ends the run, 0 characters lost] %s\n", sound ? "OK" : "MISSED");
    return sound ? 0 : 1;
}
