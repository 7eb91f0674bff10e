// Stop stress on a real X server (the private Xvfb of scripts/test): the main
// window plays many runs through the real X11 backend, and a "person" on a
// connection of its own stops each one at a random moment by pressing the
// stop command Ctrl+Alt+S through XTest. Every run must end, the window must
// come back, nothing of the run may stay behind, and the server must show no
// key and no mouse button held afterwards.
//
// TERVALO_STOP_STRESS_RUNS sets the number of runs (default 1000, about a
// third of a second each: most of a run is waiting),
// TERVALO_STOP_STRESS_SEED replays the random moments of an earlier session.
// TERVALO_STOP_STRESS_COMPARE=1 plays every other run with the stop watcher
// polling only (TERVALO_STOP_BY_POLL_ONLY=1) and prints the latencies of
// both ways apart, measured side by side in one session.

#include "gui/dialogs/rundialog.h"
#include "gui/mainwindow/tervalo.h"
#include "platform/desktop_x11.h"
#include "project/records.h"
#include "run/run.h"
#include "support/tempsettings.h"
#include "support/windowparts.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QThread>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Keeps the GUI thread serving events until `done` or `ms` have passed.
bool pumpUntil(int ms, const std::function<bool()> &done)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() >= deadline)
            return done();
        QTest::qWait(1);
    }
    return true;
}

void pumpFor(int ms)
{
    pumpUntil(ms, [] { return false; });
}

int processThreadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// The person at the keyboard: an X connection of its own, like another
// program, pressing keys through XTest and looking at the server's state.
class Person {
public:
    Person() : dpy_(XOpenDisplay(nullptr)) {}
    ~Person()
    {
        if (dpy_) {
            releaseAll();
            XCloseDisplay(dpy_);
        }
    }
    bool ok() const { return dpy_ != nullptr; }

    int keycode(unsigned long keysym) const { return XKeysymToKeycode(dpy_, keysym); }
    void press(int keycode)
    {
        XTestFakeKeyEvent(dpy_, unsigned(keycode), True, CurrentTime);
        XSync(dpy_, False);
        held_.push_back(keycode);
    }
    void releaseAll()
    {
        for (auto it = held_.rbegin(); it != held_.rend(); ++it)
            XTestFakeKeyEvent(dpy_, unsigned(*it), False, CurrentTime);
        XSync(dpy_, False);
        held_.clear();
    }
    bool holding() const { return !held_.empty(); }

    QList<int> keysDown() const
    {
        char keys[32] = {};
        XQueryKeymap(dpy_, keys);
        QList<int> down;
        for (int kc = 0; kc < 256; ++kc) {
            if (keys[kc / 8] & (1 << (kc % 8)))
                down << kc;
        }
        return down;
    }
    unsigned int buttonsDown() const
    {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(dpy_, DefaultRootWindow(dpy_), &root, &child, &rx, &ry, &wx, &wy, &mask);
        return mask & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask);
    }

private:
    Display *dpy_;
    std::vector<int> held_;
};

// Notes when the window is shown again: that happens inside onRunFinished.
class ShowClock : public QObject {
public:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Show) {
            at = Clock::now();
            ++count;
        }
        return false;
    }
    Clock::time_point at;
    int count = 0;
};

struct Latencies {
    std::vector<double> ms;
    double quantile(double q) const
    {
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        const size_t i = size_t(std::max(0.0, std::ceil(q * double(s.size())) - 1));
        return s.empty() ? 0 : s[std::min(i, s.size() - 1)];
    }
    QString summary() const
    {
        return QStringLiteral("%1 stops: median %2 ms, p99 %3 ms, max %4 ms")
            .arg(ms.size())
            .arg(quantile(0.5), 0, 'f', 1)
            .arg(quantile(0.99), 0, 'f', 1)
            .arg(quantile(1.0), 0, 'f', 1);
    }
};

const QString kAsciiText = QStringLiteral(
    "Stop me whenever you like: the quick brown fox jumps over the lazy dog, 0123456789! ").repeated(8);
const QString kJapaneseText = QStringLiteral(
    "いろはにほへとちりぬるをわかよたれそつねならむうゐのおくやまけふこえてあさきゆめみしゑひもせす。"
    "日本語の文章を入力しています。").repeated(4);

// A run that ignored its stop would repeat for ever; one that noticed it
// ends within a fraction of a second. This bound tells the two apart on a
// loaded machine without timing anything.
constexpr int kStopBoundMs = 5000;
// Every this many runs, the run is started through the Run button and the
// run settings dialog instead of directly.
constexpr int kDialogEvery = 50;

} // namespace

class TestX11StopStress : public QObject {
    Q_OBJECT

    std::unique_ptr<TempSettings> settings;
    std::unique_ptr<tervalo> window;
    std::unique_ptr<Person> person;
    ShowClock showClock;
    QRandomGenerator rng;
    int totalRuns = 1000;
    int rows = 0;
    int rowsDone = 0;
    int runsDone = 0;
    int baseThreads = 0;
    int slowClears = 0;
    bool compareWays = false;
    Latencies all;
    Latencies allPolled; // the runs that only polled, when comparing
    Clock::time_point began;

    int runsForThisRow() const
    {
        const int rest = totalRuns % rows;
        return totalRuns / rows + (rowsDone < rest ? 1 : 0);
    }

    int randomBetween(int lo, int hi) { return lo + int(rng.bounded(quint32(hi - lo + 1))); }

    // Starts a run the way the Run button does; every kDialogEvery-th run
    // really goes through the button and its dialog (whose shortest start
    // delay is 1 s, so the stop then may land in the delay or after it).
    bool launch(int stertTime, bool throughDialog)
    {
        window->settings().runNumber = Run::kRepeatForever;
        window->settings().stopCommand = QStringLiteral("83,3");
        if (!throughDialog) {
            window->settings().stertTime = stertTime;
            window->launchRun();
            return true;
        }
        bool answered = false;
        auto *poll = new QTimer(this);
        poll->setInterval(5);
        connect(poll, &QTimer::timeout, this, [poll, &answered] {
            if (auto *d = qobject_cast<RunDialog *>(QApplication::activeModalWidget())) {
                poll->stop();
                poll->deleteLater();
                d->startDelaySpin->setValue(d->startDelaySpin->minimum());
                d->startButton->click();
                answered = true;
            }
        });
        poll->start();
        windowparts::get<QPushButton>(*window, "runButton")->click();
        return answered;
    }

    // Presses Ctrl, Alt and S one after the other, as a hand does; returns
    // when S went down.
    Clock::time_point pressStop()
    {
        person->press(person->keycode(XK_Control_L));
        pumpFor(randomBetween(2, 30));
        person->press(person->keycode(XK_Alt_L));
        pumpFor(randomBetween(2, 30));
        person->press(person->keycode(XK_s));
        return Clock::now();
    }

    QString describe(const QString &what, int run) const
    {
        return QStringLiteral("%1 (scenario \"%2\", run %3 of the row, seed %4)")
            .arg(what, QString::fromLatin1(QTest::currentDataTag()))
            .arg(run)
            .arg(QString::number(seedUsed));
    }

    quint32 seedUsed = 0;

    // Adds a scenario; the runs are shared out evenly over all of them.
    QTestData &row(const char *name)
    {
        ++rows;
        return QTest::newRow(name);
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("No X display: this test runs under the Xvfb of scripts/test.");
        const int runs = qEnvironmentVariableIntValue("TERVALO_STOP_STRESS_RUNS");
        if (runs > 0)
            totalRuns = runs;
        bool seedGiven = false;
        seedUsed = quint32(qEnvironmentVariable("TERVALO_STOP_STRESS_SEED").toUInt(&seedGiven));
        if (!seedGiven)
            seedUsed = QRandomGenerator::global()->generate();
        rng.seed(seedUsed);
        compareWays = qEnvironmentVariableIntValue("TERVALO_STOP_STRESS_COMPARE") == 1;
        qInfo("stop stress: %d runs, seed %u (TERVALO_STOP_STRESS_SEED=%u replays it)", totalRuns, seedUsed,
              seedUsed);

        // The engine must play into the real server, made by the factory.
        QCOMPARE(QString::fromLatin1(platform::desktop().name()), QStringLiteral("x11"));
        person = std::make_unique<Person>();
        QVERIFY(person->ok());
        QVERIFY(person->keysDown().isEmpty());

        settings = std::make_unique<TempSettings>();
        QVERIFY(settings->write("{\"is_used_this\": true, \"is_used_stert\": true}"));
        window = std::make_unique<tervalo>();
        window->addNewCommand();
        window->settings().is_used_stert = true; // no one-time notice in the dialog
        window->installEventFilter(&showClock);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        baseThreads = processThreadCount();
        began = Clock::now();
    }

    void cleanupTestCase()
    {
        if (!window)
            return;
        const double seconds = msBetween(began, Clock::now()) / 1000.0;
        qInfo("stop stress: %d runs in %.0f s (%.0f ms a run); keys or buttons seen late: %d", runsDone, seconds,
              runsDone ? 1000.0 * seconds / runsDone : 0.0, slowClears);
        qInfo("stop latency, last stop key down -> window back%s: %s", compareWays ? " (key events)" : "",
              qPrintable(all.summary()));
        if (compareWays)
            qInfo("stop latency, last stop key down -> window back (polling only): %s",
                  qPrintable(allPolled.summary()));
        qunsetenv("TERVALO_STOP_BY_POLL_ONLY");
        window->settings().is_message_file = false;
        window->close();
        if (Run::instanceCount() != 0) {
            // A run that ignored its stop is still playing; its thread
            // belongs to the window, which must not go while it runs.
            (void)window.release();
            return;
        }
        window.reset();
    }

    void stopAtRandomMoment_data()
    {
        QTest::addColumn<RecordList>("commands");
        QTest::addColumn<RecordList>("conditions");
        QTest::addColumn<int>("startDelay");
        QTest::addColumn<int>("latestStopMs");

        const RecordList wait{{"終わるまで待つ", "0"}};
        const RecordList none{{"なし"}};
        // Clock Time for the minute two minutes ago: due only tomorrow.
        const QTime past = QTime::currentTime().addSecs(-120);

        row("key hold") << RecordList{{"キー", "65,0", "60"}} << wait << 0 << 400;
        row("key hold with Ctrl+Alt") << RecordList{{"キー", "71,3", "60"}} << wait << 0 << 400;
        row("key hold with Shift") << RecordList{{"キー", "88,4", "60"}} << wait << 0 << 400;
        row("pointer glide")
            << RecordList{{"マウスポインター", "0", "0"}, {"スムーズムーブ", "1279", "1023", "3"}}
            << RecordList{{"即時"}, {"終わるまで待つ", "0"}} << 0 << 400;
        row("typing ASCII") << RecordList{{"入力", kAsciiText, "20"}} << wait << 0 << 400;
        // The letter of the stop command itself, typed while the person holds it.
        row("typing the stop key's letter") << RecordList{{"入力", QString(2000, QLatin1Char('s')), "20"}} << wait
                                            << 0 << 400;
        row("typing Japanese") << RecordList{{"入力", kJapaneseText, "20"}} << wait << 0 << 400;
        // As fast as the backend types: it waits for spare keys to settle.
        row("typing Japanese at full speed") << RecordList{{"入力", kJapaneseText, "0.001"}} << wait << 0 << 400;
        row("left click hold") << RecordList{{"クリック", "左", "60"}} << wait << 0 << 400;
        row("right click hold") << RecordList{{"クリック", "右", "60"}} << wait << 0 << 400;
        row("wait Time") << none << RecordList{{"時間", "60"}} << 0 << 400;
        row("wait Click") << none << RecordList{{"クリック", "左"}} << 0 << 400;
        row("wait Key") << none << RecordList{{"キー", "71,2"}} << 0 << 400;
        row("wait until over, extra seconds") << none << RecordList{{"終わるまで待つ", "60"}} << 0 << 400;
        row("wait Clock Time")
            << none << RecordList{{"時刻", QString::number(past.hour()), QString::number(past.minute())}} << 0
            << 400;
        row("start delay") << none << RecordList{{"時間", "60"}} << 1 << 950;
        row("overlapping operations")
            << RecordList{{"キー", "65,0", "30"},
                          {"クリック", "左", "30"},
                          {"スムーズムーブ", "1000", "700", "30"},
                          {"入力", kJapaneseText, "30"}}
            << RecordList{{"即時"}, {"即時"}, {"即時"}, {"時間", "60"}} << 0 << 400;
        row("short pages repeated")
            << RecordList{{"キー", "65,0", "0.03"},
                          {"クリック", "左", "0.02"},
                          {"スムーズムーブ", "900", "500", "0.03"},
                          {"入力", "abcあ", "0.04"},
                          {"マウスポインター", "640", "512"}}
            << RecordList{{"即時"}, {"時間", "0.04"}, {"終わるまで待つ", "0"}, {"時間", "0.01"}, {"即時"}} << 0
            << 400;
    }

    void stopAtRandomMoment()
    {
        QFETCH(RecordList, commands);
        QFETCH(RecordList, conditions);
        QFETCH(int, startDelay);
        QFETCH(int, latestStopMs);
        const int runs = runsForThisRow();
        ++rowsDone;
        Latencies row;
        Latencies rowPolled;
        auto x11 = std::dynamic_pointer_cast<platform::X11Desktop>(platform::currentDesktop());
        QVERIFY(x11);

        for (int run = 0; run < runs; ++run) {
            window->project().setCommands(commands);
            window->project().setConditions(conditions);
            const bool throughDialog = (runsDone + 1) % kDialogEvery == 0;
            const bool pollOnly = compareWays && runsDone % 2 == 1;
            if (compareWays) {
                // Read when the run starts watching.
                if (pollOnly)
                    qputenv("TERVALO_STOP_BY_POLL_ONLY", "1");
                else
                    qunsetenv("TERVALO_STOP_BY_POLL_ONLY");
            }
            const int shown = showClock.count;
            QVERIFY2(launch(startDelay, throughDialog), qPrintable(describe("the run dialog did not open", run)));
            QVERIFY2(!window->isVisible(), qPrintable(describe("the window stayed visible", run)));

            // The stop comes at a random moment of the run.
            pumpFor(randomBetween(0, throughDialog ? 1400 : latestStopMs));
            QVERIFY2(showClock.count == shown, qPrintable(describe("the run ended before it was stopped", run)));

            const Clock::time_point pressed = pressStop();
            // Half the time the person lets go at once (a short tap), else
            // only once the window is back.
            const bool tap = rng.bounded(2) == 0;
            const int tapMs = randomBetween(200, 300);
            const bool back = pumpUntil(kStopBoundMs, [&] {
                if (tap && person->holding() && msBetween(pressed, Clock::now()) >= tapMs)
                    person->releaseAll();
                return showClock.count != shown;
            });
            if (!back) {
                // Leave no endless run behind: a long press, then report.
                person->releaseAll();
                pressStop();
                pumpUntil(kStopBoundMs, [&] { return showClock.count != shown; });
                person->releaseAll();
                QFAIL(qPrintable(describe("the stop command did not end the run within 5 s", run)));
            }
            (pollOnly ? rowPolled : row).ms.push_back(msBetween(pressed, showClock.at));
            QVERIFY2(window->isVisible(), qPrintable(describe("the window did not come back", run)));
            pumpFor(randomBetween(0, 40));
            person->releaseAll();

            // Nothing of the run stays behind.
            QVERIFY2(pumpUntil(kStopBoundMs,
                               [&] {
                                   return Run::instanceCount() == 0
                                       && window->findChildren<QThread *>().isEmpty();
                               }),
                     qPrintable(describe("the run or its thread was not deleted", run)));
            QVERIFY2(x11->heldKeycodes().empty() && x11->heldButtons().empty(),
                     qPrintable(describe("the backend still holds keys or buttons", run)));
            // Our own requests are synchronous; give those of the other
            // connections a moment to reach the server, and count it.
            auto clear = [&] { return person->keysDown().isEmpty() && person->buttonsDown() == 0; };
            if (!clear()) {
                ++slowClears;
                if (!pumpUntil(1000, clear)) {
                    QStringList keys;
                    for (int kc : person->keysDown())
                        keys << QString::number(kc);
                    QFAIL(qPrintable(describe(QStringLiteral("left down: keycodes [%1], buttons 0x%2")
                                                  .arg(keys.join(", "))
                                                  .arg(person->buttonsDown(), 0, 16),
                                              run)));
                }
            }
            ++runsDone;
        }
        // A run that leaked a thread a time would show here long before
        // the process ran out of them.
        QVERIFY2(processThreadCount() <= baseThreads + 4,
                 qPrintable(QStringLiteral("%1 threads after the runs, %2 before").arg(processThreadCount()).arg(baseThreads)));
        qInfo("%s: %s", QTest::currentDataTag(), qPrintable(row.summary()));
        all.ms.insert(all.ms.end(), row.ms.begin(), row.ms.end());
        if (compareWays) {
            qInfo("%s, polling only: %s", QTest::currentDataTag(), qPrintable(rowPolled.summary()));
            allPolled.ms.insert(allPolled.ms.end(), rowPolled.ms.begin(), rowPolled.ms.end());
        }
    }
};

QTEST_MAIN(TestX11StopStress)
#include "tst_x11stopstress.moc"
