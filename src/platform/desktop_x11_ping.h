#pragma once

// Asks the client that receives our key events whether it has read them.
// Window managers ping clients with _NET_WM_PING: a client message that the
// client answers by sending it back to the root window. Qt and GTK answer it
// from their event loop, in order with the key events and keymap
// notifications queued before it, so an answer means that every key sent
// before the ping has been read, and read with the keymap of its time. A
// spare key may then be bound again at once instead of after a fixed time
// that guesses how far behind the client is (too long on an idle machine,
// too short on a busy one).
//
// The ping goes out on the connection that sent the keys, after them; the
// answer comes to a connection of this class that listens on the root
// window. Not thread-safe: the one typing thread uses it.

typedef struct _XDisplay Display;

namespace platform {

class X11ClientPing {
public:
    /// Opens the listening connection; without it, no client is asked.
    explicit X11ClientPing(const char *displayName);
    ~X11ClientPing();
    X11ClientPing(const X11ClientPing &) = delete;
    X11ClientPing &operator=(const X11ClientPing &) = delete;

    /// The top-level window that receives key events now (the focus, or the
    /// window under the pointer when the focus follows it), if it says it
    /// answers pings; 0 otherwise.
    unsigned long answeringReceiver(Display *input) const;
    /// Sends a ping to the window on `input` (after what was sent there
    /// before); returns its number.
    unsigned long send(Display *input, unsigned long window);
    /// Waits at most `milliseconds` for the answer to ping `number` (older
    /// answers are dropped); true once it has come.
    bool waitForAnswer(unsigned long number, int milliseconds);

private:
    Display *listen_ = nullptr;
    unsigned long protocols_ = 0; ///< WM_PROTOCOLS
    unsigned long ping_ = 0;      ///< _NET_WM_PING
    unsigned long sent_ = 0;      ///< number of the last ping sent
    unsigned long answered_ = 0;  ///< highest number answered
};

} // namespace platform
