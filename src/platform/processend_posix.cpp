#include "platform/processend.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

int g_pipe[2] = {-1, -1};
EndRequestListener g_listener;

// Only write() and errno are touched here: both are async-signal-safe.
void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void readRequests()
{
    for (;;) {
        unsigned char byte = 0;
        const ssize_t n = ::read(g_pipe[0], &byte, 1);
        if (n == 1) {
            g_listener(byte);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

} // namespace

bool catchEndRequests(EndRequestListener listener)
{
    static std::atomic<bool> caught{false};
    if (caught.exchange(true) || ::pipe(g_pipe) != 0)
        return false;
    for (int fd : g_pipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC); // not inherited by programs we start
    ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK); // a flood of signals must not block the handler
    g_listener = std::move(listener);
    // The reader lives as long as the process; it never holds anything
    // another thread could wait for, so it is simply left running at exit.
    std::thread(readRequests).detach();

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return true;
}

void endRequestHandled() {}

void attachParentConsole() {}

} // namespace platform
