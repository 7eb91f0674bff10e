// The input backends side by side: whichever backend the session chooses
// (X11 under Xvfb, GNOME Wayland in a headless gnome-shell, wlroots in a
// headless sway, KDE in a headless KWin) is measured the same way and writes
// its figures to a JSON file; --compare puts the files into one table with
// each backend's ratio to the first.
//
//  - Typing: the engine's text path (textBegins, unit down and up, textDone)
//    into this program's own focused text field; time until the whole text
//    has arrived, characters/s of what arrived intact, characters lost.
//  - Stop: `tervalo_free --play` of a page that holds A; the stop
//    combination pressed through the backend as a person presses it, or
//    `tervalo_free --stop` started; time until the player has exited and the
//    field has seen A go up.
//  - Screen: grab() of 1x1 and of 200x200.
// Target: no character lost, every stop stops (nothing else: the figures
// are there to be compared, not judged).
//
// Usage: bench_backends OUT.json [runs]      (in the session to measure)
//        bench_backends --compare FIRST.json OTHER.json...

#include "app/commandline.h"
#include "platform/desktop.h"
#include "platform/desktop_native.h"
#include "project/pagekinds.h"
#include "project/projectfile.h"

#include "benchstats.h"
#include "benchtexts.h"
#include "support/kwingrant.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using benchstats::Clock;

constexpr int kReads = 300;                 // screen reads of each size
constexpr int kStopCombination[] = {platform::vk::LControl, platform::vk::LMenu, 'S'};
const QString kStopKeyArgument = QStringLiteral("83,3"); // S with Ctrl+Alt (mask: Alt 1, Ctrl 2)
constexpr auto kPressHold = std::chrono::milliseconds(50);  // a quick person's press
constexpr auto kRepress = std::chrono::milliseconds(2000);  // press again after this without an exit
constexpr int kMostPresses = 5;

struct Row {
    QString measure;
    QString unit;
    double median = 0;
    double p99 = 0;
};

Row rowOf(const QString &measure, const QString &unit, const std::vector<double> &samples)
{
    return {measure, unit, benchstats::median(samples), benchstats::percentile(samples, 0.99)};
}

// Keeps which keys are down in the field, as its window receives them.
class HeldKeys : public QObject {
public:
    QSet<int> held;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (!key->isAutoRepeat()) {
                if (event->type() == QEvent::KeyPress)
                    held.insert(key->key());
                else
                    held.remove(key->key());
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// The player's state while it is being stopped: when it exited and when
// the field saw A go up.
struct StopWatch {
    QProcess &player;
    HeldKeys &keys;
    std::optional<Clock::time_point> exited, released;

    void poll()
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (!exited && player.state() == QProcess::NotRunning)
            exited = Clock::now();
        if (!released && !keys.held.contains(Qt::Key_A))
            released = Clock::now();
    }
    bool over() const { return exited && released; }
    void waitFor(std::chrono::milliseconds d)
    {
        const auto until = Clock::now() + d;
        while (!over() && Clock::now() < until)
            poll();
    }
};

QString customShortcuts()
{
    QProcess p;
    p.start(QStringLiteral("gsettings"), {QStringLiteral("get"), QStringLiteral("org.gnome.settings-daemon.plugins.media-keys"),
                                           QStringLiteral("custom-keybindings")});
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct Stopped {
    double ms = 0;
    int extraPresses = 0;
    bool ok = false;
    QString why;
};

// One run held until stopped: by the combination pressed through `person`
// (byCombination), else by `tervalo_free --stop`.
Stopped stopOnce(platform::Desktop &person, HeldKeys &keys, const QString &project, bool byCombination)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free");
    QProcess player;
    player.setProcessChannelMode(QProcess::MergedChannels);
    player.start(program, {QStringLiteral("--play"), project, QStringLiteral("--times"), QStringLiteral("1"), QStringLiteral("--delay"),
                           QStringLiteral("0"), QStringLiteral("--stop-key"), kStopKeyArgument});
    Stopped out;
    if (!player.waitForStarted(10000))
        return {0, 0, false, QStringLiteral("the player did not start")};
    QElapsedTimer clock;
    clock.start();
    while (!keys.held.contains(Qt::Key_A) && player.state() != QProcess::NotRunning && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (!keys.held.contains(Qt::Key_A)) {
        player.kill();
        player.waitForFinished(5000);
        return {0, 0, false, QStringLiteral("the page never held A: ") + QString::fromUtf8(player.readAll()).trimmed()};
    }
    // GNOME runs the stop as a custom shortcut: it must be in the settings,
    // and GNOME takes a new one a moment after that (a person pressing too
    // early presses again, counted below).
    if (byCombination && QString::fromLatin1(person.name()) == QLatin1String("gnome")) {
        const QString ours = QStringLiteral("tervalo-free-stop-%1").arg(player.processId());
        while (!customShortcuts().contains(ours) && clock.elapsed() < 20000)
            QTest::qWait(50);
    }
    QTest::qWait(byCombination ? 1000 : 200);

    StopWatch watch{player, keys, {}, {}};
    auto t0 = Clock::now();
    if (byCombination) {
        for (int presses = 0; presses < kMostPresses && !watch.exited; ++presses) {
            out.extraPresses = presses;
            t0 = Clock::now();
            watch.released.reset();
            for (int vk : kStopCombination)
                person.key(vk, true);
            watch.waitFor(kPressHold);
            for (auto it = std::rbegin(kStopCombination); it != std::rend(kStopCombination); ++it)
                person.key(*it, false);
            watch.waitFor(kRepress);
        }
    } else {
        QProcess::startDetached(program, {QStringLiteral("--stop")});
    }
    watch.waitFor(std::chrono::seconds(10));
    if (!watch.over()) {
        player.kill();
        player.waitForFinished(5000);
        out.why = watch.exited ? QStringLiteral("a key stayed down") : QStringLiteral("the player did not stop");
        return out;
    }
    out.ms = benchstats::ms(std::max(*watch.exited, *watch.released) - t0);
    out.ok = player.exitStatus() == QProcess::NormalExit && player.exitCode() == CommandLine::kExitStopped;
    if (!out.ok)
        out.why = QStringLiteral("exit code %1: ").arg(player.exitCode()) + QString::fromUtf8(player.readAll()).trimmed();
    return out;
}

int measure(const QString &outPath, int runs)
{
    // On KDE both this program (the typist and the person) and the player
    // need KWin's fake input, which it grants by menu entry.
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE"))
        && !(testsupport::grantKwinInterfaces(QCoreApplication::applicationFilePath(), QStringLiteral("tervalo-free-bench"))
             && testsupport::grantKwinInterfaces(QCoreApplication::applicationDirPath() + QStringLiteral("/tervalo_free"),
                                                 QStringLiteral("tervalo-free-bench-player")))) {
        std::fprintf(stderr, "Cannot write the menu entries that grant KWin's fake input.\n");
        return 1;
    }
    std::string why;
    const std::shared_ptr<platform::Desktop> desktop = platform::createNativeDesktop(&why);
    if (!desktop) {
        std::fprintf(stderr, "No backend: %s\n", why.c_str());
        return 1;
    }
    const QString backend = QString::fromLatin1(desktop->name());
    // The person's keyboard is there all along, as a real one is.
    const int session = desktop->beginInput({});
    if (!session) {
        std::fprintf(stderr, "The %s backend cannot send input.\n", desktop->name());
        return 1;
    }
    // gnome-shell starts in its overview, which takes the keys (no shell,
    // no answer: nothing to hide).
    QDBusMessage hide = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                       QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    hide.setArguments({QStringLiteral("imports.ui.main.overview.hide(); true")});
    if (QDBusConnection::sessionBus().isConnected())
        QDBusConnection::sessionBus().call(hide, QDBus::Block, 5000);

    QPlainTextEdit field;
    HeldKeys keys;
    field.installEventFilter(&keys);
    field.setGeometry(50, 50, 900, 600);
    field.show();
    field.activateWindow();
    if (!QTest::qWaitForWindowExposed(&field)) {
        std::fprintf(stderr, "The text field was not shown.\n");
        return 1;
    }
    QElapsedTimer focus;
    focus.start();
    while (!field.isActiveWindow() && focus.elapsed() < 10000)
        QTest::qWait(20);
    if (!field.isActiveWindow()) {
        std::fprintf(stderr, "The text field did not get the focus.\n");
        return 1;
    }
    field.setFocus();
    QTest::qWait(300);

    std::vector<Row> rows;
    bool allMet = true;
    struct Case {
        const char *name;
        QString text;
    };
    for (const Case &c : {Case{"ASCII", benchtexts::asciiText(1000)}, Case{"Japanese", benchtexts::japaneseText(200)}}) {
        const int n = int(c.text.toUcs4().size());
        std::vector<double> seconds, rates, lost;
        for (int r = 0; r < runs; ++r) {
            const benchtexts::Outcome t = benchtexts::typeWithDesktop(*desktop, field, c.text, true);
            seconds.push_back(t.seconds);
            rates.push_back(t.seconds > 0 ? std::max(0, n - t.lost) / t.seconds : 0.0);
            lost.push_back(t.lost);
        }
        const QString name = QStringLiteral("%1 %2 chars").arg(QLatin1String(c.name)).arg(n);
        rows.push_back(rowOf(name + QStringLiteral(": time"), QStringLiteral("ms"), [&] {
            std::vector<double> ms;
            for (double s : seconds)
                ms.push_back(s * 1000);
            return ms;
        }()));
        // The p99 column of a rate is its slow end (the 1st percentile).
        Row rate = rowOf(name + QStringLiteral(": intact"), QStringLiteral("chars/s"), rates);
        rate.p99 = benchstats::percentile(rates, 0.01);
        rows.push_back(rate);
        rows.push_back(rowOf(name + QStringLiteral(": lost"), QStringLiteral("chars"), lost));
        allMet = allMet && *std::max_element(lost.begin(), lost.end()) == 0;
        std::printf("%s: %s typed %d times\n", qPrintable(backend), qPrintable(name), runs);
        std::fflush(stdout);
    }
    field.clear();

    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("hold.cmdat"));
    // A held for 600 s: the run is stopped long before. A alone: GNOME
    // matches a shortcut's modifiers exactly, so with the run's own Shift
    // down Ctrl+Alt+S would arrive as Ctrl+Alt+Shift+S and not stop it.
    if (!ProjectFile::write(project, {{PageKinds::kKey, "65,0", "600"}}, {{PageKinds::kWaitUntilOver, "0.2"}}).ok) {
        std::fprintf(stderr, "Cannot write %s\n", qPrintable(project));
        return 1;
    }
    for (bool byCombination : {true, false}) {
        std::vector<double> ms, extra;
        int failed = 0;
        for (int r = 0; r < runs; ++r) {
            const Stopped s = stopOnce(*desktop, keys, project, byCombination);
            field.clear();
            if (!s.ok) {
                ++failed;
                std::printf("  stop run %d failed: %s\n", r + 1, qPrintable(s.why));
                continue;
            }
            ms.push_back(s.ms);
            extra.push_back(s.extraPresses);
        }
        const QString name = byCombination ? QStringLiteral("stop by its keys") : QStringLiteral("stop by --stop");
        rows.push_back(rowOf(name + QStringLiteral(": to exit, keys up"), QStringLiteral("ms"), ms));
        if (byCombination)
            rows.push_back(rowOf(name + QStringLiteral(": presses repeated"), QStringLiteral("presses"), extra));
        rows.push_back({name + QStringLiteral(": runs not stopped"), QStringLiteral("runs"), double(failed), double(failed)});
        allMet = allMet && failed == 0;
        std::printf("%s: %s, %d runs\n", qPrintable(backend), qPrintable(name), runs);
        std::fflush(stdout);
    }

    for (int side : {1, 200}) {
        const platform::Rect area{100, 100, side, side};
        platform::ScreenImage image;
        desktop->grab(area, image); // the first frame may take a while to come
        std::vector<double> us;
        int failed = 0;
        for (int i = 0; i < kReads; ++i) {
            const auto t0 = Clock::now();
            if (!desktop->grab(area, image))
                ++failed;
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        rows.push_back(rowOf(QStringLiteral("grab %1x%1").arg(side), QStringLiteral("us"), us));
        if (failed)
            std::printf("  grab %dx%d failed %d of %d times\n", side, side, failed, kReads);
    }
    desktop->endInput(session);

    QJsonArray array;
    for (const Row &r : rows)
        array.append(QJsonObject{{"measure", r.measure}, {"unit", r.unit}, {"median", r.median}, {"p99", r.p99}});
    QFile out(outPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "Cannot write %s\n", qPrintable(outPath));
        return 1;
    }
    out.write(QJsonDocument(QJsonObject{{"backend", backend}, {"runs", runs}, {"rows", array}}).toJson());
    std::printf("%s: figures in %s%s\n", qPrintable(backend), qPrintable(outPath),
                allMet ? "" : "   [target: nothing lost, every run stopped] MISSED");
    return allMet ? 0 : 1;
}

// One table: a row per measure, "median / p99" per backend, and each other
// backend's ratio to the first.
int compare(const QStringList &paths)
{
    struct Column {
        QString backend;
        QMap<QString, QJsonObject> rows;
    };
    std::vector<Column> columns;
    QStringList order;
    QMap<QString, QString> units;
    for (const QString &path : paths) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "Cannot read %s (did its invocation run?)\n", qPrintable(path));
            return 1;
        }
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        Column c{o.value("backend").toString(QStringLiteral("?")), {}};
        for (const QJsonValue v : o.value("rows").toArray()) {
            const QJsonObject r = v.toObject();
            const QString m = r.value("measure").toString();
            c.rows.insert(m, r);
            units.insert(m, r.value("unit").toString());
            if (!order.contains(m))
                order << m;
        }
        columns.push_back(std::move(c));
    }
    // Digits by size: counts and figures from 100 up whole, two decimals below 1.
    auto figure = [](double v) {
        return QString::number(v, 'f', std::abs(v) >= 100 || v == std::floor(v) ? 0 : std::abs(v) >= 1 ? 1 : 2);
    };
    auto cell = [&](double median, double p99) { return figure(median) + QStringLiteral(" / ") + figure(p99); };
    std::printf("%-42s %-8s", "measure (median / p99)", "unit");
    for (const Column &c : columns)
        std::printf(" %-20s", qPrintable(c.backend));
    for (size_t i = 1; i < columns.size(); ++i)
        std::printf(" %-16s", qPrintable(columns[i].backend + QLatin1Char('/') + columns[0].backend));
    std::printf("\n");
    for (const QString &m : order) {
        std::printf("%-42s %-8s", qPrintable(m), qPrintable(units.value(m)));
        for (const Column &c : columns) {
            const QJsonObject r = c.rows.value(m);
            std::printf(" %-20s", r.isEmpty() ? "-" : qPrintable(cell(r.value("median").toDouble(), r.value("p99").toDouble())));
        }
        const QJsonObject base = columns[0].rows.value(m);
        for (size_t i = 1; i < columns.size(); ++i) {
            const QJsonObject r = columns[i].rows.value(m);
            const double bm = base.value("median").toDouble(), bp = base.value("p99").toDouble();
            auto ratio = [](double a, double b) { return b != 0 ? QString::number(a / b, 'g', 3) : QStringLiteral("-"); };
            std::printf(" %-16s", r.isEmpty() || base.isEmpty() ? "-"
                                                                : qPrintable(ratio(r.value("median").toDouble(), bm) + QStringLiteral(" / ")
                                                                             + ratio(r.value("p99").toDouble(), bp)));
        }
        std::printf("\n");
    }
    std::printf("(chars/s: the second figure is the slow end, the 1st percentile)\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--compare") == 0) {
        QCoreApplication app(argc, argv);
        return compare(app.arguments().mid(2));
    }
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: bench_backends OUT.json [runs] | --compare FIRST.json OTHER.json...\n");
        return 2;
    }
    QApplication app(argc, argv);
    return measure(app.arguments().at(1), argc > 2 ? std::max(1, std::atoi(argv[2])) : 10);
}
