#include "host/render/gif_frames.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "host/render/av_library.h"

namespace {

// A filter of `graph`, or null.
AVFilterContext* AddFilter(AVFilterGraph* graph, const char* filter, const std::string& args) {
    const AVFilter* kind = av.avfilter_get_by_name(filter);
    AVFilterContext* context = nullptr;
    if (kind == nullptr ||
        av.avfilter_graph_create_filter(&context, kind, filter,
                                        args.empty() ? nullptr : args.c_str(), nullptr, graph) < 0)
        return nullptr;
    return context;
}

// A source of frames for a graph, of this size, format and time base.
AVFilterContext* AddSource(AVFilterGraph* graph, int width, int height, int format,
                           AVRational time_base) {
    return AddFilter(graph, "buffer",
                     "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
                         ":pix_fmt=" + std::to_string(format) +
                         ":time_base=" + std::to_string(time_base.num) + "/" +
                         std::to_string(time_base.den) + ":pixel_aspect=1/1");
}

// The palette of a GIF: 255 colours and one transparent entry, which the GIF
// encoder gives the pixels that did not change since the frame before. Each
// pixel takes its nearest colour, undithered: at 640x360 dithering made the
// file nearly twice as large (7.9 MB against 4.3 MB for ten seconds), and it
// would change still pixels from frame to frame.
constexpr char kPaletteGen[] = "max_colors=256:reserve_transparent=1:stats_mode=full";
constexpr char kPaletteUse[] = "dither=none:diff_mode=rectangle:new=0";

}  // namespace

bool GifFrames::Open(const std::string& target, int width, int height, AVRational rate,
                     std::string* reason) {
    if (!LoadAvFilter(reason)) return false;
    width_ = width;
    height_ = height;
    time_base_ = av_inv_q(rate);
    const size_t slash = target.rfind('/');
    std::string name = (slash == std::string::npos ? std::string(".") : target.substr(0, slash)) +
                       "/.lumivor-gif-XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0 || unlink(name.c_str()) != 0 || (spool_ = fdopen(fd, "w+b")) == nullptr) {
        *reason =
            std::string("cannot make the GIF's frame spool beside it: ") + std::strerror(errno);
        if (fd >= 0 && spool_ == nullptr) close(fd);
        return false;
    }
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    try {
        previous_.assign(bytes, 0);
        change_.resize(bytes);
        packed_.resize(compressBound(static_cast<uLong>(bytes)));
    } catch (const std::bad_alloc&) {
        *reason = "out of memory for the frames";
        return false;
    }
    int status = 0;
    counting_ = av.avfilter_graph_alloc();
    counted_ = counting_ != nullptr
                   ? AddSource(counting_, width, height, AV_PIX_FMT_BGRA, time_base_)
                   : nullptr;
    AVFilterContext* gen =
        counted_ != nullptr ? AddFilter(counting_, "palettegen", kPaletteGen) : nullptr;
    palette_out_ = gen != nullptr ? AddFilter(counting_, "buffersink", "") : nullptr;
    if (palette_out_ == nullptr || av.avfilter_link(counted_, 0, gen, 0) < 0 ||
        av.avfilter_link(gen, 0, palette_out_, 0) < 0 ||
        (status = av.avfilter_graph_config(counting_, nullptr)) < 0) {
        *reason = "cannot set up FFmpeg's palettegen filter" +
                  (status < 0 ? ": " + AvError(status) : std::string());
        return false;
    }
    return true;
}

bool GifFrames::Add(AVFrame* frame, std::string* failure) {
    const int status = av.av_buffersrc_add_frame_flags(
        counted_, frame, AV_BUFFERSRC_FLAG_KEEP_REF | AV_BUFFERSRC_FLAG_PUSH);
    if (status < 0) {
        *failure = "counting the colours failed: " + AvError(status);
        return false;
    }
    return frame == nullptr || Spool(frame, failure);
}

// Writes a frame to the spool: its change since the one before, deflated,
// after the deflated size.
bool GifFrames::Spool(const AVFrame* frame, std::string* failure) {
    const size_t row = static_cast<size_t>(width_) * 4;
    for (int y = 0; y < height_; ++y) {
        const uint8_t* now = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        uint8_t* before = previous_.data() + y * row;
        uint8_t* changed_bytes = change_.data() + y * row;
        for (size_t i = 0; i < row; ++i) {
            changed_bytes[i] = now[i] ^ before[i];
            before[i] = now[i];
        }
    }
    uLongf size = static_cast<uLongf>(packed_.size());
    if (compress2(packed_.data(), &size, change_.data(), static_cast<uLong>(change_.size()), 1) !=
        Z_OK) {
        *failure = "cannot deflate a frame";
        return false;
    }
    const uint32_t length = static_cast<uint32_t>(size);
    if (std::fwrite(&length, sizeof length, 1, spool_) != 1 ||
        std::fwrite(packed_.data(), 1, size, spool_) != size) {
        *failure = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

bool GifFrames::MakePalette(std::string* failure) {
    spare_ = av.av_frame_alloc();
    AVFrame* palette = av.av_frame_alloc();
    int status = spare_ != nullptr && palette != nullptr
                     ? av.av_buffersink_get_frame(palette_out_, palette)
                     : AVERROR(ENOMEM);
    av.avfilter_graph_free(&counting_);  // its colour counts are not needed any more
    *failure = "cannot make the palette: " + AvError(status);
    // paletteuse: the frames in 0, the palette in 1.
    if (status >= 0) {
        *failure = "cannot set up FFmpeg's paletteuse filter";
        mapping_ = av.avfilter_graph_alloc();
        mapped_in_ = mapping_ != nullptr
                         ? AddSource(mapping_, width_, height_, AV_PIX_FMT_BGRA, time_base_)
                         : nullptr;
        AVFilterContext* colours =
            mapped_in_ != nullptr
                ? AddSource(mapping_, palette->width, palette->height, palette->format, time_base_)
                : nullptr;
        AVFilterContext* use =
            colours != nullptr ? AddFilter(mapping_, "paletteuse", kPaletteUse) : nullptr;
        mapped_out_ = use != nullptr ? AddFilter(mapping_, "buffersink", "") : nullptr;
        palette->pts = 0;
        if (mapped_out_ == nullptr || av.avfilter_link(mapped_in_, 0, use, 0) < 0 ||
            av.avfilter_link(colours, 0, use, 1) < 0 ||
            av.avfilter_link(use, 0, mapped_out_, 0) < 0 ||
            av.avfilter_graph_config(mapping_, nullptr) < 0 ||
            av.av_buffersrc_add_frame_flags(colours, palette, AV_BUFFERSRC_FLAG_PUSH) < 0 ||
            av.av_buffersrc_add_frame_flags(colours, nullptr, AV_BUFFERSRC_FLAG_PUSH) < 0)
            status = -1;
    }
    av.av_frame_free(&palette);
    return status >= 0;
}

// Puts one rebuilt frame (null: the end) in the palette and hands on what
// paletteuse gives.
bool GifFrames::MapFrame(AVFrame* frame, const std::function<bool(AVFrame*)>& encode,
                         std::string* failure) {
    int status = av.av_buffersrc_add_frame_flags(
        mapped_in_, frame, AV_BUFFERSRC_FLAG_KEEP_REF | AV_BUFFERSRC_FLAG_PUSH);
    if (status < 0) {
        *failure = "mapping to the palette failed: " + AvError(status);
        return false;
    }
    while ((status = av.av_buffersink_get_frame(mapped_out_, spare_)) >= 0) {
        const bool ok = encode(spare_);
        av.av_frame_unref(spare_);
        if (!ok) return false;
    }
    if (status != AVERROR(EAGAIN) && status != AVERROR_EOF) {
        *failure = "mapping to the palette failed: " + AvError(status);
        return false;
    }
    return frame != nullptr || encode(nullptr);
}

bool GifFrames::Replay(AVFrame* frame, const std::function<bool(AVFrame*)>& encode,
                       std::string* failure) {
    if (std::fflush(spool_) != 0 || std::fseek(spool_, 0, SEEK_SET) != 0) {
        *failure = std::strerror(errno);
        return false;
    }
    std::fill(previous_.begin(), previous_.end(), 0);
    const size_t row = static_cast<size_t>(width_) * 4;
    for (int64_t pts = 0;; ++pts) {
        uint32_t size = 0;
        if (std::fread(&size, sizeof size, 1, spool_) != 1) {
            if (std::ferror(spool_)) {
                *failure = std::strerror(errno);
                return false;
            }
            break;
        }
        uLongf unpacked = static_cast<uLongf>(change_.size());
        if (size > packed_.size() || std::fread(packed_.data(), 1, size, spool_) != size ||
            uncompress(change_.data(), &unpacked, packed_.data(), size) != Z_OK ||
            unpacked != change_.size()) {
            *failure = "cannot read the GIF's frame spool back";
            return false;
        }
        // paletteuse may still hold the frame before: a new buffer is taken then.
        if (av.av_frame_make_writable(frame) < 0) {
            *failure = "out of memory for a frame";
            return false;
        }
        for (int y = 0; y < height_; ++y) {
            uint8_t* to = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
            uint8_t* before = previous_.data() + y * row;
            const uint8_t* changed_bytes = change_.data() + y * row;
            for (size_t i = 0; i < row; ++i) to[i] = before[i] ^= changed_bytes[i];
        }
        frame->pts = pts;
        if (!MapFrame(frame, encode, failure)) return false;
    }
    return MapFrame(nullptr, encode, failure);
}

void GifFrames::Release() {
    // Each thing made implies the library that made it is loaded.
    if (spare_ != nullptr) av.av_frame_free(&spare_);
    if (counting_ != nullptr) av.avfilter_graph_free(&counting_);
    if (mapping_ != nullptr) av.avfilter_graph_free(&mapping_);
    if (spool_ != nullptr) std::fclose(spool_);
    spool_ = nullptr;
}
