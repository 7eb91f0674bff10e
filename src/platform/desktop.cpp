#include "platform/desktop.h"
#include "platform/desktop_native.h"
#include "platform/desktop_sim.h"

#include <QLoggingCategory>

#include <atomic>
#include <mutex>

Q_LOGGING_CATEGORY(lcPlatform, "tervalo.platform")

namespace platform {

namespace {
std::shared_ptr<Desktop> g_desktop;
std::mutex g_mutex;
} // namespace

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
