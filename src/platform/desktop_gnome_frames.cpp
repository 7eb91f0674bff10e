#include "platform/desktop_gnome_frames.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include <unistd.h>

namespace platform {
namespace {

// Mutter sends at most this many frames a second; one per refresh of the
// virtual monitor (60 Hz) keeps a change no more than a refresh behind.
constexpr int kFramesPerSecond = 60;
// The largest screen offered to Mutter, in pixels each way.
constexpr int kLargestSide = 16384;

void initPipeWire()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

} // namespace

struct ScreenFrames::State {
    pw_thread_loop *loop = nullptr;
    pw_context *context = nullptr;
    pw_core *core = nullptr;
    pw_stream *stream = nullptr;
    spa_hook streamListener{};
    bool ownRemote = false; // the core is a portal's connection, not the daemon's

    // Set on the PipeWire thread by the format, read under the loop's lock.
    spa_video_format format = SPA_VIDEO_FORMAT_UNKNOWN;
    int width = 0;
    int height = 0;

    // The newest frame as it came (4 bytes a pixel, `stride` bytes a row).
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::uint8_t> bytes;
    int frameWidth = 0;
    int frameHeight = 0;
    int stride = 0;
    bool swapRedBlue = false; // RGBx/RGBA: red in the low byte
    unsigned long frames = 0;

    void destroyStream()
    {
        if (!stream)
            return;
        pw_thread_loop_lock(loop);
        spa_hook_remove(&streamListener);
        pw_stream_disconnect(stream);
        pw_stream_destroy(stream);
        pw_thread_loop_unlock(loop);
        stream = nullptr;
        std::lock_guard<std::mutex> guard(lock);
        bytes.clear();
        frameWidth = frameHeight = stride = 0;
    }

    static void paramChanged(void *data, uint32_t id, const spa_pod *param)
    {
        auto *self = static_cast<State *>(data);
        if (!param || id != SPA_PARAM_Format)
            return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0)
            return;
        self->format = info.format;
        self->width = int(info.size.width);
        self->height = int(info.size.height);
        // Shared memory the stream maps for us: no GPU buffers to import.
        std::uint8_t buffer[256];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod *params[1];
        params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
            SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        pw_stream_update_params(self->stream, params, 1);
    }

    static void process(void *data)
    {
        auto *self = static_cast<State *>(data);
        // Only the newest buffer matters: older ones go straight back.
        pw_buffer *newest = nullptr;
        while (pw_buffer *b = pw_stream_dequeue_buffer(self->stream)) {
            if (newest)
                pw_stream_queue_buffer(self->stream, newest);
            newest = b;
        }
        if (!newest)
            return;
        const spa_buffer *buffer = newest->buffer;
        const spa_data &d = buffer->datas[0];
        const bool swap = self->format == SPA_VIDEO_FORMAT_RGBx || self->format == SPA_VIDEO_FORMAT_RGBA;
        const int width = self->width;
        const int height = self->height;
        if (buffer->n_datas >= 1 && d.data && d.chunk && !(d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) && width > 0
            && height > 0) {
            const int stride = d.chunk->stride > 0 ? d.chunk->stride : width * 4;
            const std::size_t size = std::size_t(stride) * std::size_t(height);
            const std::size_t offset = d.chunk->offset % std::max<std::uint32_t>(d.maxsize, 1);
            // An empty chunk carries no picture (only the pointer moved).
            if (d.chunk->size > 0 && stride >= width * 4 && offset + size <= d.maxsize) {
                {
                    std::lock_guard<std::mutex> guard(self->lock);
                    const auto *from = static_cast<const std::uint8_t *>(d.data) + offset;
                    self->bytes.assign(from, from + size);
                    self->frameWidth = width;
                    self->frameHeight = height;
                    self->stride = stride;
                    self->swapRedBlue = swap;
                    ++self->frames;
                }
                self->arrived.notify_all();
            }
        }
        pw_stream_queue_buffer(self->stream, newest);
    }

    static const pw_stream_events &events()
    {
        static const pw_stream_events e = [] {
            pw_stream_events v{};
            v.version = PW_VERSION_STREAM_EVENTS;
            v.param_changed = &State::paramChanged;
            v.process = &State::process;
            return v;
        }();
        return e;
    }

    // Waits up to `wait` for a frame; the lock stays held when one is there.
    bool waitForFrame(std::unique_lock<std::mutex> &guard, std::chrono::milliseconds wait)
    {
        return arrived.wait_for(guard, wait, [this] { return frames > 0 && !bytes.empty(); });
    }
};

ScreenFrames::ScreenFrames() : state_(std::make_unique<State>()) {}

ScreenFrames::~ScreenFrames()
{
    stop();
    if (state_->loop)
        pw_thread_loop_stop(state_->loop);
    if (state_->core)
        pw_core_disconnect(state_->core);
    if (state_->context)
        pw_context_destroy(state_->context);
    if (state_->loop)
        pw_thread_loop_destroy(state_->loop);
}

bool ScreenFrames::start(std::uint32_t node, std::string *why, int remoteFd)
{
    State &s = *state_;
    s.destroyStream();
    if (!s.loop) {
        initPipeWire();
        s.loop = pw_thread_loop_new("tervalo-screen", nullptr);
        if (!s.loop || pw_thread_loop_start(s.loop) < 0) {
            if (why)
                *why = "cannot start a PipeWire thread";
            return false;
        }
    }
    pw_thread_loop_lock(s.loop);
    if (!s.context)
        s.context = pw_context_new(pw_thread_loop_get_loop(s.loop), nullptr, 0);
    // A portal's connection shows only its session's nodes, and each
    // session has its own: never reused for another.
    if (s.core && (remoteFd >= 0 || s.ownRemote)) {
        pw_core_disconnect(s.core);
        s.core = nullptr;
    }
    if (s.context && !s.core) {
        s.core = remoteFd >= 0 ? pw_context_connect_fd(s.context, remoteFd, nullptr, 0)
                               : pw_context_connect(s.context, nullptr, 0);
        s.ownRemote = remoteFd >= 0;
        remoteFd = -1; // PipeWire owns it now
    }
    if (remoteFd >= 0)
        ::close(remoteFd);
    if (!s.core) {
        pw_thread_loop_unlock(s.loop);
        if (why)
            *why = "cannot connect to PipeWire";
        return false;
    }
    s.format = SPA_VIDEO_FORMAT_UNKNOWN;
    s.width = s.height = 0;
    s.stream = pw_stream_new(s.core, "tervalo-screen",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                               PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!s.stream) {
        pw_thread_loop_unlock(s.loop);
        if (why)
            *why = "cannot make a PipeWire stream";
        return false;
    }
    pw_stream_add_listener(s.stream, &s.streamListener, &State::events(), &s);

    // Any 32-bit raw format, of any size, at up to kFramesPerSecond; no
    // modifier, so Mutter sends shared memory rather than GPU buffers.
    std::uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle size{1280, 1024}, smallest{1, 1}, largest{kLargestSide, kLargestSide};
    spa_fraction none{0, 1}, rate{kFramesPerSecond, 1}, slowest{1, 1};
    const spa_pod *params[1];
    params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat,
        SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                                         SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                                         SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&none),
        SPA_FORMAT_VIDEO_maxFramerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &rate)));
    const int connected = pw_stream_connect(
        s.stream, PW_DIRECTION_INPUT, node,
        pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    pw_thread_loop_unlock(s.loop);
    if (connected < 0) {
        s.destroyStream();
        if (why)
            *why = "cannot connect to the screen's PipeWire node";
        return false;
    }
    return true;
}

void ScreenFrames::stop()
{
    state_->destroyStream();
}

Rect ScreenFrames::area(std::chrono::milliseconds wait)
{
    State &s = *state_;
    std::unique_lock<std::mutex> guard(s.lock);
    if (!s.waitForFrame(guard, wait))
        return Rect{};
    return Rect{0, 0, s.frameWidth, s.frameHeight};
}

bool ScreenFrames::copy(const Rect &area, ScreenImage &into, std::chrono::milliseconds wait)
{
    State &s = *state_;
    std::unique_lock<std::mutex> guard(s.lock);
    if (!s.waitForFrame(guard, wait))
        return false;
    const Rect part = area.intersected(Rect{0, 0, s.frameWidth, s.frameHeight});
    if (part.empty())
        return false;
    into.area = part;
    into.pixels.resize(std::size_t(part.width) * std::size_t(part.height));
    std::uint32_t *to = into.pixels.data();
    for (int y = part.y; y < part.y + part.height; ++y) {
        const std::uint8_t *row = s.bytes.data() + std::size_t(y) * std::size_t(s.stride) + std::size_t(part.x) * 4;
        for (int x = 0; x < part.width; ++x, row += 4) {
            // Bytes B, G, R, x (or R, G, B, x): the fourth is never colour.
            const std::uint32_t first = row[0], second = row[1], third = row[2];
            *to++ = s.swapRedBlue ? (first << 16 | second << 8 | third) : (third << 16 | second << 8 | first);
        }
    }
    return true;
}

} // namespace platform
