#include "platform/processend.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace platform {

namespace {

EndRequestListener g_listener;
HANDLE g_handled = nullptr; // set by endRequestHandled

// Windows calls this on a thread of its own for each console event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    int signal = 0;
    bool ending = false; // the console or the session goes away regardless
    switch (event) {
    case CTRL_C_EVENT:
        signal = endsignal::Interrupt;
        break;
    case CTRL_BREAK_EVENT:
        signal = endsignal::Terminate;
        break;
    case CTRL_CLOSE_EVENT:
        signal = endsignal::Terminate;
        ending = true;
        break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        signal = endsignal::Hangup;
        ending = true;
        break;
    default:
        return FALSE;
    }
    g_listener(signal);
    // Returning from a close, logoff or shutdown event ends the process at
    // once; Windows allows about 5 s, in which the run lets go of its keys
    // and the program exits by itself.
    if (ending)
        WaitForSingleObject(g_handled, 4500);
    return TRUE;
}

bool validHandle(DWORD which)
{
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

} // namespace

bool catchEndRequests(EndRequestListener listener)
{
    static std::atomic<bool> caught{false};
    if (caught.exchange(true))
        return false;
    g_listener = std::move(listener);
    g_handled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
}

void endRequestHandled()
{
    if (g_handled)
        SetEvent(g_handled);
}

void attachParentConsole()
{
    // A program of the GUI subsystem gets no console of its own: its output
    // went nowhere when started from cmd or PowerShell. Output redirected
    // to a file or a pipe has its handles already and stays as it is.
    const bool out = validHandle(STD_OUTPUT_HANDLE);
    const bool err = validHandle(STD_ERROR_HANDLE);
    if (out && err)
        return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return; // started from Explorer or a scheduler: nowhere to write
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
}

} // namespace platform
