#include "app/programend.h"

#include "platform/desktop.h"
#include "platform/processend.h"
#include "run/run.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMetaObject>

#include <atomic>
#include <cstdlib>
#include <utility>

namespace programend {

namespace {
std::atomic<int> g_signal{0};
std::atomic<bool> g_leavingMain{false};
std::function<void(int)> g_onRequest;

// Qt ends the process with exit(1) when its own display connection breaks
// (it says "The X11 connection broke"); the exit handlers and destructors
// would then talk to our dead connections. Registered after the desktop,
// so it runs before the desktop's destructor.
void atExit()
{
    if (g_leavingMain.load())
        return;
    const std::shared_ptr<platform::Desktop> desktop = platform::currentDesktop();
    if (desktop && desktop->displayGone())
        platform::displayLost();
}
} // namespace

void catchRequests(std::function<void(int signal)> onRequest)
{
    g_onRequest = std::move(onRequest);
    const bool caught = platform::catchEndRequests([](int signal) {
        int none = 0;
        g_signal.compare_exchange_strong(none, signal);
        // At once, from this thread: a run's stop is safe from anywhere, and
        // the GUI thread may be busy for a moment.
        Run::requestStopAll();
        QCoreApplication *app = QCoreApplication::instance();
        if (app)
            QMetaObject::invokeMethod(app, [signal] { g_onRequest(signal); }, Qt::QueuedConnection);
    });
    if (!caught)
        qWarning() << "Requests to end (signals) cannot be caught; a run ended that way may leave keys down.";
}

int caughtSignal()
{
    return g_signal.load();
}

int exitCodeFor(int signal)
{
    return 128 + signal;
}

void requestHandled()
{
    platform::endRequestHandled();
}

void watchDisplay(std::function<int()> onLost)
{
    platform::setDisplayLostHandler(std::move(onLost));
    platform::currentDesktop()->watchDisplayLoss();
    static bool registered = false;
    if (!std::exchange(registered, true))
        std::atexit(atExit);
}

void leavingMain()
{
    g_leavingMain.store(true);
}

} // namespace programend
