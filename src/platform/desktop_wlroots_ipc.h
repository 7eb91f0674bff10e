#pragma once

// sway's IPC socket ($SWAYSOCK): key bindings that run `nop <tag>`, and a
// thread that hears them fire.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

class SwayBinding {
public:
    /// Binds `combo` ("Ctrl+Mod1+s") to a nop that carries `tag`, and calls
    /// `fired` on a thread of its own each time the person presses it. False
    /// when there is no sway IPC socket or sway refused.
    bool bind(const std::string &combo, const std::string &tag, std::function<void()> fired);
    /// Removes the binding and ends the thread (also on destruction).
    void unbind();
    ~SwayBinding() { unbind(); }

private:
    void listen();

    std::mutex lock_;
    std::string combo_;
    std::string tag_;
    std::function<void()> fired_;
    int events_ = -1;            // the subscribed connection
    int wake_[2] = {-1, -1};     // unbind wakes the listener through this pipe
    std::thread listener_;
};

/// Sends one IPC message of `type` on a new connection to sway and returns
/// its reply's payload; empty when sway cannot be reached.
std::string swayRequest(unsigned type, const std::string &payload);

} // namespace platform
