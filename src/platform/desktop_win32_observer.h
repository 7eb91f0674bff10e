#pragma once

// One input observer of the Windows backend: a thread of its own that
// installs WH_KEYBOARD_LL (for keys) and WH_MOUSE_LL (for buttons, wheel and
// motion) and pumps its messages, as low-level hooks need. Both hooks pass
// every event on to the next hook untouched; they only report it.
//
// Free of <windows.h>, like desktop_win32.h.

#include "platform/desktop.h"

#include <memory>

namespace platform {

class Win32InputObserver {
public:
    Win32InputObserver(InputObserver callback, int kinds);
    /// Stops the thread, which removes its hooks.
    ~Win32InputObserver();

    Win32InputObserver(const Win32InputObserver &) = delete;
    Win32InputObserver &operator=(const Win32InputObserver &) = delete;

    /// Starts the thread and waits until its hooks are in place. False with
    /// the error code in *error (GetLastError) when a hook could not be set.
    bool start(unsigned long *error);
    /// The Windows id of the observer's thread (0 before start).
    unsigned long threadId() const;

    struct State; // the thread's side, in the implementation file

private:
    std::unique_ptr<State> state_;
};

} // namespace platform
