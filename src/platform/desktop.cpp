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
