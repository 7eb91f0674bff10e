#include "platform/desktop.h"
#include "platform/desktop_native.h"
#include "platform/desktop_sim.h"

#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

Q_LOGGING_CATEGORY(lcPlatform, "tervalo.platform")

namespace platform {

namespace {
std::shared_ptr<Desktop> g_desktop;
std::mutex g_mutex;
std::mutex g_lostMutex; // only for g_lostHandler
DisplayLostHandler g_lostHandler;
std::atomic<bool> g_lost{false};

// How long the handler may take before the process ends without it: it
// writes a file at most, but must never keep a dead program around.
constexpr auto kLostHandlerLimit = std::chrono::seconds(5);
constexpr int kLostExitCode = 2;
} // namespace

void setDisplayLostHandler(DisplayLostHandler handler)
{
    std::lock_guard<std::mutex> lock(g_lostMutex);
    g_lostHandler = std::move(handler);
}

void displayLost()
{
    if (g_lost.exchange(true)) {
        // Another thread is ending the process; this one must not return
        // into Xlib (whose default is exit()) nor touch anything.
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    std::thread([] {
        std::this_thread::sleep_for(kLostHandlerLimit);
        std::_Exit(kLostExitCode);
    }).detach();
    DisplayLostHandler handler;
    {
        std::lock_guard<std::mutex> lock(g_lostMutex);
        handler = g_lostHandler;
    }
    int code = kLostExitCode;
    if (handler) {
        code = handler();
    } else {
        std::fputs("The display was lost.\n", stderr);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

std::shared_ptr<Desktop> createDesktop()
{
    std::string why;
    if (auto native = createNativeDesktop(&why)) {
        qCDebug(lcPlatform) << "desktop backend:" << native->name();
        return native;
    }
    // Said once: without a real backend the program plays into a simulated
    // desktop, which keeps the editor usable but moves nothing on screen.
    qCWarning(lcPlatform).noquote() << "No real input backend (" << QString::fromStdString(why)
                                    << "); using the simulated desktop.";
    return std::make_shared<SimDesktop>();
}

Rect Rect::intersected(const Rect &o) const
{
    const int left = std::max(x, o.x);
    const int top = std::max(y, o.y);
    // In 64 bits: a rectangle near INT_MAX must not wrap around.
    const long long right = std::min<long long>(static_cast<long long>(x) + width, static_cast<long long>(o.x) + o.width);
    const long long bottom = std::min<long long>(static_cast<long long>(y) + height, static_cast<long long>(o.y) + o.height);
    if (right <= left || bottom <= top)
        return Rect{left, top, 0, 0};
    return Rect{left, top, int(right - left), int(bottom - top)};
}

std::optional<std::uint32_t> Desktop::pixel(int x, int y)
{
    ScreenImage one;
    if (!grab(Rect{x, y, 1, 1}, one) || one.pixels.size() != 1)
        return std::nullopt;
    return one.pixels.front() & 0xFFFFFFu;
}

std::shared_ptr<Desktop> currentDesktop()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_desktop)
        g_desktop = createDesktop();
    return g_desktop;
}

Desktop &desktop()
{
    return *currentDesktop();
}

void setDesktop(std::shared_ptr<Desktop> desktop)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_desktop = std::move(desktop);
}

} // namespace platform
