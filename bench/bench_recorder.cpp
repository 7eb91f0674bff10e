// The recorder on a real X server: CPU of the observer's thread while
// recording with no input and while the pointer moves all the time, and the
// pause error of a session recorded and then played back into a window of
// this program (median and p99, in milliseconds of server time).
//
// Usage: bench_recorder [seconds]   (needs DISPLAY; scripts/bench starts Xvfb)

#include "gui/mainwindow/tervalo.h"
#include "platform/desktop_x11.h"
#include "record/recorder.h"
#include "support/tempsettings.h"

#include "benchstats.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

/// CPU seconds a thread of this process has used, from the scheduler's own
/// nanosecond count (tick sampling at 10 ms is too coarse for a few %).
double threadCpuSeconds(long tid)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    double ns = 0;
    stat >> ns;
    return ns / 1e9;
}

struct CpuFigure {
    double percent = 0;
    double eventsPerSecond = 0;
};

/// Runs the recorder for `seconds` while `person` acts (on a thread of its
/// own, with a connection of its own) and measures the observer thread.
CpuFigure measureCpu(double seconds, const std::function<void(Display *, const std::atomic<bool> &)> &person)
{
    std::atomic<long> observerTid{0};
    std::atomic<long> events{0};
    auto desktop = platform::currentDesktop();
    const int handle = desktop->startInputObserver(
        [&](const platform::InputEvent &) {
            if (!observerTid)
                observerTid = long(syscall(SYS_gettid));
            ++events;
        },
        platform::observe::All);
    // One motion tells the observer's thread id.
    Display *dpy = XOpenDisplay(nullptr);
    XTestFakeMotionEvent(dpy, -1, 5, 5, CurrentTime);
    XTestFakeMotionEvent(dpy, -1, 6, 6, CurrentTime);
    XSync(dpy, False);
    while (!observerTid)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::atomic<bool> stop{false};
    std::thread actor([&] { person(dpy, stop); });
    const long startEvents = events;
    const double cpu0 = threadCpuSeconds(observerTid);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu1 = threadCpuSeconds(observerTid);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const long seen = events - startEvents;
    stop = true;
    actor.join();
    desktop->stopInputObserver(handle);
    XCloseDisplay(dpy);
    return CpuFigure{100.0 * (cpu1 - cpu0) / wall, double(seen) / wall};
}

/// Notes presses with the server's time.
class Receiver : public QWidget {
public:
    QList<quint64> presses;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        if (!e->isAutoRepeat())
            presses << e->timestamp();
    }
    void mousePressEvent(QMouseEvent *e) override { presses << e->timestamp(); }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("bench_recorder needs an X display (scripts/bench starts Xvfb)\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    std::string why;
    auto x11 = platform::createX11Desktop(&why);
    if (!x11) {
        std::printf("no X11 backend: %s\n", why.c_str());
        return 1;
    }
    platform::setDesktop(x11);
    int status = 0;

    // 1. CPU: nothing happens; then the pointer moves every millisecond.
    const CpuFigure idle = measureCpu(seconds, [](Display *, const std::atomic<bool> &stop) {
        while (!stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    const CpuFigure moving = measureCpu(seconds, [](Display *dpy, const std::atomic<bool> &stop) {
        double a = 0;
        while (!stop) {
            a += 0.01;
            XTestFakeMotionEvent(dpy, -1, 600 + int(300 * std::cos(a)), 500 + int(300 * std::sin(a)), CurrentTime);
            XSync(dpy, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::printf("observer CPU, no input:      %6.3f %% of a core (target < 1 %%)   %s\n", idle.percent,
                idle.percent < 1 ? "met" : "MISSED");
    std::printf("observer CPU, pointer moving: %6.3f %% of a core (target < 5 %%), %.0f motion events/s   %s\n",
                moving.percent, moving.eventsPerSecond, moving.percent < 5 ? "met" : "MISSED");
    if (idle.percent >= 1 || moving.percent >= 5)
        status = 1;

    // 2. Pause error: 40 actions (F5 and left clicks) with pauses of 50 ms
    // to 1 s, recorded, then played into the receiver.
    TempSettings settings;
    // No first-start notices: they would wait for an answer nobody gives.
    if (!settings.write("{\"is_used_this\": true}"))
        return 1;
    Receiver receiver;
    receiver.setGeometry(0, 0, 800, 600);
    receiver.show();
    if (!QTest::qWaitForWindowExposed(&receiver))
        return 1;
    receiver.activateWindow();
    if (!QTest::qWaitForWindowActive(&receiver))
        return 1;
    receiver.setFocus();

    Display *person = XOpenDisplay(nullptr);
    const KeyCode f5 = XKeysymToKeycode(person, XK_F5);
    XTestFakeMotionEvent(person, -1, 300, 300, CurrentTime);
    XSync(person, False);
    QTest::qWait(100);
    Recorder recorder;
    recorder.start(123, 15); // Ctrl+Alt+Shift+Win+F12, which nobody presses: stopped by hand
    auto *random = QRandomGenerator::global();
    for (int i = 0; i < 40; ++i) {
        if (i % 2) {
            XTestFakeKeyEvent(person, f5, True, CurrentTime);
            XTestFakeKeyEvent(person, f5, False, CurrentTime);
        } else {
            XTestFakeButtonEvent(person, 1, True, CurrentTime);
            XTestFakeButtonEvent(person, 1, False, CurrentTime);
        }
        XSync(person, False);
        QTest::qWait(50 + int(random->bounded(950)));
    }
    recorder.stop();
    QTest::qWait(100);
    const QList<quint64> original = receiver.presses;
    const RecordMapping::Pages pages = recorder.pages(RecordMapping::Options{});

    tervalo window;
    window.showProject(pages.commands, pages.conditions);
    window.settings().stertTime = 1;
    window.settings().runNumber = 1;
    window.settings().stopCommand = QStringLiteral("123,15");
    receiver.presses.clear();
    receiver.activateWindow();
    if (!QTest::qWaitForWindowActive(&receiver))
        return 1;
    window.launchRun();
    QTest::qWait(200);
    while (!window.isVisible())
        QTest::qWait(50);
    const QList<quint64> played = receiver.presses;
    XCloseDisplay(person);

    std::vector<double> errors;
    for (int i = 1; i < std::min(original.size(), played.size()); ++i)
        errors.push_back(std::abs(double(qint64(played[i] - played[i - 1]) - qint64(original[i] - original[i - 1]))));
    std::printf("pause error, %d pauses: median %.1f ms, p99 %.1f ms, max %.1f ms (presses: %d recorded, %d played)\n",
                int(errors.size()), benchstats::median(errors), benchstats::percentile(errors, 0.99),
                errors.empty() ? 0.0 : *std::max_element(errors.begin(), errors.end()), int(original.size()),
                int(played.size()));
    if (original.size() != played.size())
        status = 1;
    return status;
}
