// How fast the GNOME Wayland backend sees the screen: a full-screen Wayland
// window changes colour, and the time until a read of the screen shows the
// new colour is measured (the window's repaint, Mutter's composition, the
// screen-cast frame through PipeWire, the copy). Beside it, what one read
// costs once the frame is there: one pixel and the whole screen.
//
// Runs only inside a GNOME Wayland session (scripts/bench starts one with
// scripts/gnome-session); elsewhere it says it skipped.

#include "benchstats.h"
#include "platform/desktop.h"
#include "platform/desktop_gnome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>
#include <QtTest>

#include <cstdio>

namespace {

constexpr int kChanges = 100; // colour changes measured
constexpr int kReads = 200;   // reads of each size measured

class Plain : public QWidget {
public:
    QColor color{Qt::black};

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), color); }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != QLatin1String("wayland")) {
        std::printf("skipped: no Wayland session (scripts/bench runs this in a headless GNOME)\n");
        return 0;
    }
    std::string why;
    const std::shared_ptr<platform::Desktop> desktop = platform::createGnomeDesktop(&why);
    if (!desktop) {
        std::printf("skipped: the GNOME backend cannot start (%s)\n", why.c_str());
        return 0;
    }
    Plain window;
    window.showFullScreen();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::qWait(500);

    using benchstats::Clock;
    const int x = 640, y = 512;
    std::vector<double> latencies;
    int lost = 0;
    for (int i = 0; i < kChanges; ++i) {
        const QRgb want = i % 2 ? qRgb(0x10, 0x80, 0xf0) : qRgb(0xf0, 0x40, 0x10);
        window.color = QColor(want);
        const auto t0 = Clock::now();
        window.repaint();
        bool seen = false;
        while (!seen && Clock::now() - t0 < std::chrono::seconds(2)) {
            QCoreApplication::processEvents();
            seen = desktop->pixel(x, y) == std::optional<std::uint32_t>(want & 0xFFFFFFu);
        }
        if (seen)
            latencies.push_back(benchstats::ms(Clock::now() - t0));
        else
            ++lost;
        QTest::qWait(20); // the next change comes after a quiet moment, as a person's would
    }
    const double one = benchstats::medianOfCalls<std::micro>(kReads, [&] { (void)desktop->pixel(x, y); });
    platform::ScreenImage screen;
    const platform::Rect whole = desktop->screenRect();
    const double all = benchstats::medianOfCalls<std::micro>(kReads, [&] { (void)desktop->grab(whole, screen); });

    std::printf("change to read (%d changes): median %.1f ms, p99 %.1f ms, never seen %d\n", kChanges,
                benchstats::median(latencies), benchstats::percentile(latencies, 0.99), lost);
    std::printf("one read, median of %d: 1 pixel %.1f us, whole %dx%d screen %.1f us (%.0fx)\n", kReads, one,
                whole.width, whole.height, all, one > 0 ? all / one : 0.0);
    return lost ? 1 : 0;
}
