#include "platform/desktop_wlroots_ipc.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

// The i3/sway IPC frame: this magic, the payload's length and the message
// type (native byte order), then the payload.
constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr unsigned kRunCommand = 0;
constexpr unsigned kSubscribe = 2;
// Events come with the high bit set; a binding fired is event 5.
constexpr std::uint32_t kBindingEvent = 0x80000005u;

int connectToSway()
{
    const char *path = std::getenv("SWAYSOCK");
    if (!path || !*path || std::strlen(path) >= sizeof(sockaddr_un::sun_path))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool readAll(int fd, char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool send(int fd, unsigned type, const std::string &payload)
{
    std::string frame(kMagic, sizeof kMagic);
    const std::uint32_t header[2] = {std::uint32_t(payload.size()), type};
    frame.append(reinterpret_cast<const char *>(header), sizeof header);
    frame += payload;
    return writeAll(fd, frame.data(), frame.size());
}

// One message from sway: its type and payload; false when the connection ended.
bool receive(int fd, std::uint32_t &type, std::string &payload)
{
    char head[sizeof kMagic + 8];
    if (!readAll(fd, head, sizeof head) || std::memcmp(head, kMagic, sizeof kMagic) != 0)
        return false;
    std::uint32_t size = 0;
    std::memcpy(&size, head + sizeof kMagic, 4);
    std::memcpy(&type, head + sizeof kMagic + 4, 4);
    payload.resize(size);
    return readAll(fd, payload.data(), size);
}

// sway answers a command list with one {"success": …} per command.
bool succeeded(const std::string &reply)
{
    return !reply.empty() && reply.find("\"success\": false") == std::string::npos
        && reply.find("\"success\":false") == std::string::npos;
}

} // namespace

std::string swayRequest(unsigned type, const std::string &payload)
{
    const int fd = connectToSway();
    if (fd < 0)
        return {};
    std::string reply;
    std::uint32_t replyType = 0;
    if (!send(fd, type, payload) || !receive(fd, replyType, reply))
        reply.clear();
    ::close(fd);
    return reply;
}

bool SwayBinding::bind(const std::string &combo, const std::string &tag, std::function<void()> fired)
{
    unbind();
    // Subscribed before the binding exists: no press can come unheard.
    const int fd = connectToSway();
    if (fd < 0)
        return false;
    std::string reply;
    std::uint32_t type = 0;
    if (!send(fd, kSubscribe, "[\"binding\"]") || !receive(fd, type, reply) || !succeeded(reply)) {
        ::close(fd);
        return false;
    }
    // --no-repeat: a held key stops once. Binding the same keys again
    // replaces one that a run killed before its end left behind.
    if (!succeeded(swayRequest(kRunCommand, "bindsym --no-repeat " + combo + " nop " + tag))) {
        ::close(fd);
        return false;
    }
    if (::pipe2(wake_, O_CLOEXEC) != 0) {
        ::close(fd);
        swayRequest(kRunCommand, "unbindsym " + combo);
        return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    events_ = fd;
    combo_ = combo;
    tag_ = tag;
    fired_ = std::move(fired);
    listener_ = std::thread([this] { listen(); });
    return true;
}

void SwayBinding::unbind()
{
    std::string combo;
    {
        std::lock_guard<std::mutex> guard(lock_);
        combo = std::exchange(combo_, std::string());
    }
    if (combo.empty())
        return;
    swayRequest(kRunCommand, "unbindsym " + combo);
    const char wake = 1;
    writeAll(wake_[1], &wake, 1);
    if (listener_.joinable())
        listener_.join();
    for (int *fd : {&events_, &wake_[0], &wake_[1]})
        ::close(std::exchange(*fd, -1));
}

void SwayBinding::listen()
{
    for (;;) {
        pollfd fds[2] = {{events_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        std::uint32_t type = 0;
        std::string payload;
        if (!receive(events_, type, payload))
            return; // sway went away
        // Only our own nop fires the stop: the person's bindings come too.
        if (type == kBindingEvent && payload.find("nop " + tag_) != std::string::npos)
            fired_();
    }
}

} // namespace platform
