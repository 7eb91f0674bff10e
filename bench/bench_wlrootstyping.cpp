// Typing speed on a real wlroots compositor (scripts/bench starts a headless
// sway): our backend against `wtype`, both into the same Qt text field in
// one run, side by side round after round. Each run is timed until the whole
// text has arrived and checked character by character. Ours types as the
// engine does: the text announced first, every unit down and up without a
// pause. Targets: no character lost in any of our runs, and a median rate of
// at least twice wtype's, for ASCII and for Japanese.
//
// Usage: bench_wlrootstyping [repeats]   (needs a sway session)

#include "platform/desktop_wlroots.h"

#include "benchstats.h"
#include "benchtexts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {

using benchtexts::Outcome;

void clearField(QPlainTextEdit &field)
{
    field.clear();
    QCoreApplication::processEvents();
}

Outcome typeWtype(const QString &wtype, QPlainTextEdit &field, const QString &text)
{
    clearField(field);
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    // "--": a text that starts with '-' is not an option.
    process.start(wtype, {QStringLiteral("--"), text});
    return benchtexts::waitForText(field, text, clock, [&] { return process.state() == QProcess::NotRunning; });
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "bench_wlrootstyping needs a wlroots session (scripts/bench starts a headless sway).\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    std::string why;
    auto desktop = platform::createWlrootsDesktop(&why);
    if (!desktop) {
        std::fprintf(stderr, "No wlroots backend: %s\n", why.c_str());
        return 1;
    }
    // Our devices before the window: the seat has a keyboard when the field
    // takes the focus.
    desktop->beginInput({});
    const QString wtype = QStandardPaths::findExecutable(QStringLiteral("wtype"));

    QPlainTextEdit field;
    field.showFullScreen();
    if (!QTest::qWaitForWindowExposed(&field) || !QTest::qWaitFor([&] { return field.isActiveWindow(); }, 10000)) {
        std::fprintf(stderr, "The text field did not get the focus.\n");
        return 1;
    }
    field.setFocus();

    struct Case {
        const char *name;
        QString text;
    };
    const Case cases[] = {{"ASCII", benchtexts::asciiText(1000)}, {"Japanese", benchtexts::japaneseText(300)}};
    bool allMet = true;
    for (const Case &c : cases) {
        const int n = int(c.text.toUcs4().size());
        // chars/s counts what arrived intact.
        auto rate = [n](const Outcome &o) { return o.seconds > 0 ? std::max(0, n - o.lost) / o.seconds : 0.0; };
        std::vector<Outcome> ours, theirs;
        for (int r = 0; r < repeats; ++r) {
            ours.push_back(benchtexts::typeWithDesktop(*desktop, field, c.text, true));
            if (!wtype.isEmpty())
                theirs.push_back(typeWtype(wtype, field, c.text));
        }
        std::printf("%s, %d characters, %d runs each\n", c.name, n, repeats);
        std::printf("  %-8s %10s %10s %12s %12s %8s\n", "typist", "median s", "p99 s", "median /s", "p99-run /s", "lost");
        double medianRate[2] = {0, 0};
        int worstLost[2] = {0, 0};
        const std::vector<Outcome> *runsOf[2] = {&ours, &theirs};
        const char *names[2] = {"ours", "wtype"};
        for (int t = 0; t < 2; ++t) {
            const auto &runs = *runsOf[t];
            if (runs.empty())
                continue;
            std::vector<double> times, rates;
            std::string lost;
            for (const Outcome &o : runs) {
                times.push_back(o.seconds);
                rates.push_back(rate(o));
                worstLost[t] = std::max(worstLost[t], o.lost);
                lost += (lost.empty() ? "" : ",") + std::to_string(o.lost);
            }
            medianRate[t] = benchstats::median(rates);
            const double p99 = benchstats::percentile(times, 0.99);
            std::printf("  %-8s %10.3f %10.3f %12.0f %12.0f %8s\n", names[t], benchstats::median(times), p99,
                        medianRate[t], p99 > 0 ? std::max(0, n - worstLost[t]) / p99 : 0.0, lost.c_str());
        }
        const double ratio = medianRate[1] > 0 ? medianRate[0] / medianRate[1] : 0.0;
        const bool met = worstLost[0] == 0 && (wtype.isEmpty() || ratio >= 2.0);
        allMet = allMet && met;
        std::printf("  ours / wtype, median rates: %.2fx   [targets: 0 lost, >= 2.0x] %s\n", ratio, met ? "OK" : "MISSED");
        std::fflush(stdout);
    }
    if (wtype.isEmpty())
        std::printf("wtype not found: install it (scripts/setup-common.sh does) for the comparison.\n");
    return allMet ? 0 : 1;
}
