// Reading the screen on X11: the root window's pixels, on a connection of
// the grabber's own. With MIT-SHM the server writes them straight into
// memory this process shares with it (a 1920x1080 screen in a few
// milliseconds); without it (a remote display, a server without the
// extension) XGetImage sends them over the socket, several times slower.

#include "platform/desktop_x11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

namespace platform {

class X11ScreenGrabber {
public:
    explicit X11ScreenGrabber(Display *dpy)
        : dpy_(dpy)
    {
        shm_ = XShmQueryExtension(dpy_) == True;
    }

    ~X11ScreenGrabber()
    {
        dropSegment();
        X11Desktop::closeConnection(dpy_);
    }

    X11ScreenGrabber(const X11ScreenGrabber &) = delete;
    X11ScreenGrabber &operator=(const X11ScreenGrabber &) = delete;

    Rect rootRect() const
    {
        const int screen = DefaultScreen(dpy_);
        return Rect{0, 0, DisplayWidth(dpy_, screen), DisplayHeight(dpy_, screen)};
    }

    bool grab(const Rect &part, ScreenImage &into)
    {
        // A few pixels cost more to share than to send.
        const bool small = size_t(part.width) * size_t(part.height) < 64 * 64;
        XImage *image = nullptr;
        bool shared = false;
        if (shm_ && !small) {
            image = sharedImage(part);
            shared = image != nullptr;
        }
        if (!image)
            image = XGetImage(dpy_, DefaultRootWindow(dpy_), part.x, part.y, unsigned(part.width),
                              unsigned(part.height), AllPlanes, ZPixmap);
        if (!image)
            return false;
        into.area = part;
        into.pixels.resize(size_t(part.width) * size_t(part.height));
        convert(image, into.pixels.data());
        if (shared)
            image->data = nullptr; // the segment's memory, kept for the next grab
        XDestroyImage(image);
        return true;
    }

private:
    // An image of the part's size over the shared segment (grown when too
    // small), filled by the server; null when shared memory does not work
    // here, which then is not tried again.
    XImage *sharedImage(const Rect &part)
    {
        const int screen = DefaultScreen(dpy_);
        XImage *image = XShmCreateImage(dpy_, DefaultVisual(dpy_, screen), unsigned(DefaultDepth(dpy_, screen)),
                                        ZPixmap, nullptr, &segment_, unsigned(part.width), unsigned(part.height));
        if (!image) {
            shm_ = false;
            return nullptr;
        }
        const size_t bytes = size_t(image->bytes_per_line) * size_t(image->height);
        if (bytes > segmentBytes_ && !attachSegment(bytes)) {
            XDestroyImage(image);
            shm_ = false;
            return nullptr;
        }
        image->data = segment_.shmaddr;
        // False when the server could not use the segment (its attach failed
        // quietly: another host, another IPC namespace).
        if (!XShmGetImage(dpy_, DefaultRootWindow(dpy_), image, part.x, part.y, AllPlanes)) {
            image->data = nullptr;
            XDestroyImage(image);
            dropSegment();
            shm_ = false;
            return nullptr;
        }
        return image;
    }

    bool attachSegment(size_t bytes)
    {
        dropSegment();
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0)
            return false;
        void *address = shmat(id, nullptr, 0);
        if (address == reinterpret_cast<void *>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return false;
        }
        segment_.shmid = id;
        segment_.shmaddr = static_cast<char *>(address);
        segment_.readOnly = False;
        XShmAttach(dpy_, &segment_);
        XSync(dpy_, False);
        // Marked for removal now that both sides have it: it goes away with
        // the last of them, even if this process is killed.
        shmctl(id, IPC_RMID, nullptr);
        segmentBytes_ = bytes;
        return true;
    }

    void dropSegment()
    {
        if (!segmentBytes_)
            return;
        XShmDetach(dpy_, &segment_);
        XSync(dpy_, False);
        shmdt(segment_.shmaddr);
        segment_ = XShmSegmentInfo{};
        segmentBytes_ = 0;
    }

    // Into 0x00RRGGBB words. The usual 24-bit TrueColor image in 32-bit
    // words of this machine's byte order is that already.
    static void convert(XImage *image, std::uint32_t *to)
    {
        const std::uint32_t one = 1;
        unsigned char firstByte = 0;
        std::memcpy(&firstByte, &one, 1);
        const int hostOrder = firstByte == 1 ? LSBFirst : MSBFirst;
        const int w = image->width;
        const int h = image->height;
        if (image->bits_per_pixel == 32 && image->byte_order == hostOrder && image->red_mask == 0xFF0000
            && image->green_mask == 0xFF00 && image->blue_mask == 0xFF) {
            for (int row = 0; row < h; ++row) {
                const char *line = image->data + std::ptrdiff_t(row) * image->bytes_per_line;
                std::uint32_t *out = to + std::ptrdiff_t(row) * w;
                std::memcpy(out, line, size_t(w) * 4);
                for (int col = 0; col < w; ++col)
                    out[col] &= 0xFFFFFFu;
            }
            return;
        }
        // Any other visual: each channel scaled from its mask to 8 bits.
        auto channel = [](unsigned long value, unsigned long mask) -> std::uint32_t {
            if (!mask)
                return 0;
            int shift = 0;
            while (!((mask >> shift) & 1u))
                ++shift;
            const unsigned long max = mask >> shift;
            return std::uint32_t(((value & mask) >> shift) * 255u / max);
        };
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                const unsigned long v = XGetPixel(image, col, row);
                to[std::ptrdiff_t(row) * w + col] = channel(v, image->red_mask) << 16
                                                    | channel(v, image->green_mask) << 8
                                                    | channel(v, image->blue_mask);
            }
        }
    }

    Display *dpy_;
    bool shm_ = false;
    XShmSegmentInfo segment_{};
    size_t segmentBytes_ = 0;
};

void X11ScreenGrabberDeleter::operator()(X11ScreenGrabber *grabber) const
{
    delete grabber;
}

Rect X11Desktop::screenRect()
{
    std::lock_guard<std::mutex> lock(grabMutex_);
    if (!grabber_) {
        Display *dpy = openConnection(displayName_);
        if (!dpy) {
            inputFailures_.fetch_add(1);
            return Rect{};
        }
        grabber_.reset(new X11ScreenGrabber(dpy));
    }
    return grabber_->rootRect();
}

bool X11Desktop::grab(const Rect &area, ScreenImage &into)
{
    const Rect part = area.intersected(screenRect());
    if (part.empty())
        return false;
    std::lock_guard<std::mutex> lock(grabMutex_);
    return grabber_ && grabber_->grab(part, into);
}

} // namespace platform
