#include "host/render/video_writer.h"

#ifndef LUMIVOR_HAVE_FFMPEG

// A build without FFmpeg's libraries: the command line refuses --video, so
// this is only reached by a caller of its own.
constexpr char kVideoSupportHint[] =
    "this build writes no videos (FFmpeg's libraries were missing)";

struct VideoWriter::Encoder {};
VideoWriter::VideoWriter() = default;
VideoWriter::~VideoWriter() = default;

bool VideoWriter::Open(const VideoSettings&, std::string* reason) {
    *reason = kVideoSupportHint;
    return false;
}

bool VideoWriter::AddFrame(const uint8_t*, size_t, bool) {
    return false;
}

bool VideoWriter::Finish(std::string* reason) {
    *reason = kVideoSupportHint;
    return false;
}

void VideoWriter::Abandon() {}

#else

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "host/render/av_library.h"
#include "host/render/gif_frames.h"
#include "image/file_writer.h"

// Filled by LoadAv and LoadAvFilter.
AvLibraries av;

namespace {

// The FFmpeg releases this writer is built and tested against, by the major
// versions of their libraries, and the Debian release that ships each. A
// build uses the libraries of the release whose headers it was compiled
// with: their structures change between major versions.
struct FfmpegRelease {
    const char* version;
    int avutil, avcodec, avformat, swscale, avfilter;
    const char* debian;  // VERSION_ID in /etc/os-release
};
constexpr FfmpegRelease kTestedFfmpeg[] = {
    {"5.1", 57, 59, 59, 6, 8, "12"},
    {"7.1", 59, 61, 61, 8, 10, "13"},
};

// The index in kTestedFfmpeg of the release the headers are, or -1.
constexpr int BuiltFfmpeg() {
    for (int i = 0; i < static_cast<int>(std::size(kTestedFfmpeg)); ++i) {
        const FfmpegRelease& r = kTestedFfmpeg[i];
        if (r.avutil == LIBAVUTIL_VERSION_MAJOR && r.avcodec == LIBAVCODEC_VERSION_MAJOR &&
            r.avformat == LIBAVFORMAT_VERSION_MAJOR && r.swscale == LIBSWSCALE_VERSION_MAJOR &&
            r.avfilter == LIBAVFILTER_VERSION_MAJOR)
            return i;
    }
    return -1;
}
static_assert(BuiltFfmpeg() >= 0,
              "FFmpeg's headers are of a release the video writer was not tested against "
              "(see kTestedFfmpeg)");

// A value of /etc/os-release ("" when missing).
std::string OsRelease(const char* key) {
    std::FILE* file = std::fopen("/etc/os-release", "re");
    if (file == nullptr) return "";
    std::string value;
    char line[512];
    const size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, key, n) != 0 || line[n] != '=') continue;
        value = line + n + 1;
        value.erase(std::remove_if(value.begin(), value.end(),
                                   [](char c) { return c == '"' || c == '\'' || c == '\n'; }),
                    value.end());
    }
    std::fclose(file);
    return value;
}

// What to install when the libraries are missing: their packages on the
// Debian release that ships them, else what this Debian ships instead.
std::string InstallHint(const FfmpegRelease& built) {
    const std::string id = OsRelease("ID"), version = OsRelease("VERSION_ID");
    if (id == "debian" && version == built.debian)
        return "install them: apt-get install libavformat" + std::to_string(built.avformat) +
               " libavcodec" + std::to_string(built.avcodec) + " libavutil" +
               std::to_string(built.avutil) + " libswscale" + std::to_string(built.swscale);
    for (const FfmpegRelease& other : kTestedFfmpeg)
        if (id == "debian" && version == other.debian)
            return std::string("Debian ") + other.debian + " ships FFmpeg " + other.version +
                   ", not " + built.version + ": install lumivor as built on Debian " +
                   other.debian;
    return std::string("install FFmpeg ") + built.version + "'s libraries";
}

// Looks up one function of a loaded library into `av`; the first missing one is the failure.
#define LUMIVOR_AV_RESOLVE(library, name)                                 \
    av.name = reinterpret_cast<decltype(av.name)>(dlsym(library, #name)); \
    if (av.name == nullptr && failure.empty()) failure = "no " #name " in " #library;

// Loads the libraries of the FFmpeg release this program was built with,
// once; false with the reason, every time, when one is missing.
bool LoadAv(std::string* reason) {
    static bool tried = false;
    static std::string failure;
    if (tried) {
        *reason = failure;
        return failure.empty();
    }
    tried = true;
    const FfmpegRelease& built = kTestedFfmpeg[BuiltFfmpeg()];
    const std::string sonames[] = {"libavutil.so." + std::to_string(built.avutil),
                                   "libavcodec.so." + std::to_string(built.avcodec),
                                   "libavformat.so." + std::to_string(built.avformat),
                                   "libswscale.so." + std::to_string(built.swscale)};
    void* handles[4] = {};
    for (int i = 0; i < 4 && failure.empty(); ++i) {
        handles[i] = dlopen(sonames[i].c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handles[i] == nullptr)
            failure = std::string("cannot load FFmpeg ") + built.version + "'s " + sonames[0] +
                      ", " + sonames[1] + ", " + sonames[2] + " and " + sonames[3] + " (" +
                      dlerror() + "); " + InstallHint(built);
    }
    if (failure.empty()) {
        void* avutil = handles[0];
        void* avcodec = handles[1];
        void* avformat = handles[2];
        void* swscale = handles[3];
        LUMIVOR_AV_FUNCTIONS(LUMIVOR_AV_RESOLVE)
    }
    *reason = failure;
    return failure.empty();
}

}  // namespace

// Loads libavfilter of the same release, once, after LoadAv.
bool LoadAvFilter(std::string* reason) {
    static bool tried = false;
    static std::string failure;
    if (!tried) {
        tried = true;
        const FfmpegRelease& built = kTestedFfmpeg[BuiltFfmpeg()];
        const std::string soname = "libavfilter.so." + std::to_string(built.avfilter);
        void* avfilter = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (avfilter == nullptr) {
            failure = std::string("a GIF needs FFmpeg ") + built.version + "'s " + soname + " (" +
                      dlerror() + "); install libavfilter" + std::to_string(built.avfilter);
        } else {
            LUMIVOR_AVFILTER_FUNCTIONS(LUMIVOR_AV_RESOLVE)
#undef LUMIVOR_AV_RESOLVE
        }
    }
    *reason = failure;
    return failure.empty();
}

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av.av_strerror(code, text, sizeof text);
    return text;
}

namespace {

// Where the muxer's bytes go: the file writer's stream. Positions are counted
// from where the stream stood when the video began, so that a descriptor
// handed over at an offset works too.
struct Sink {
    std::FILE* file = nullptr;
    off_t base = 0;
    int error = 0;  // errno of the first failed write or seek
};

// The muxer's bytes are read-only from FFmpeg 7 (libavformat 61) on.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using MuxedBytes = const uint8_t*;
#else
using MuxedBytes = uint8_t*;
#endif

int WriteToSink(void* opaque, MuxedBytes bytes, int size) {
    Sink* sink = static_cast<Sink*>(opaque);
    if (std::fwrite(bytes, 1, static_cast<size_t>(size), sink->file) != static_cast<size_t>(size)) {
        if (sink->error == 0) sink->error = errno != 0 ? errno : EIO;
        return AVERROR(sink->error);
    }
    return size;
}

int64_t SeekInSink(void* opaque, int64_t offset, int whence) {
    Sink* sink = static_cast<Sink*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return -1;  // not known; the muxers do without it
    off_t to = static_cast<off_t>(offset);
    if (whence == SEEK_SET) to += sink->base;
    if (fseeko(sink->file, to, whence) != 0) {
        if (sink->error == 0) sink->error = errno;
        return AVERROR(errno);
    }
    return static_cast<int64_t>(ftello(sink->file) - sink->base);
}

// Whether the muxer may seek in the stream: a regular file written from where
// it stands, not in append mode (where every write goes to the end).
bool CanSeek(std::FILE* file) {
    struct stat st;
    const int fd = fileno(file);
    const int flags = fcntl(fd, F_GETFL);
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 && !(flags & O_APPEND) &&
           ftello(file) >= 0;
}

const char* MuxerName(VideoContainer container) {
    switch (container) {
        case VideoContainer::kMP4:
            return "mp4";
        case VideoContainer::kMatroska:
            return "matroska";
        case VideoContainer::kGif:
            return "gif";
        case VideoContainer::kWebM:
            break;
    }
    return "webm";
}

// x264's preset, measured at 1920x1080 (bench/video.sh): "veryfast" alone
// peaked at 96.1 MiB in one thread, 2.5 MiB more in two; "superfast" as
// much; "ultrafast" 14 MiB less for files half as large again.
constexpr char kH264Preset[] = "veryfast";

// The filter that shrinks the pictures for --scale: swscale's area average.
// A ten-second GIF (a frame every 15 of 4500 ticks) from 1920x1080 to
// 640x360 came out as with bilinear (9.24 MB against 9.23, mean error 1.14
// against 1.13 of 255, each against the pictures shrunk by its own filter);
// the average of the pixels each one covers is the plainer meaning.
constexpr int kShrinkFilter = SWS_AREA;

constexpr char kMP4NeedsSeeking[] =
    "MP4 needs a file that can seek; use .webm or .mkv for pipes and devices";

}  // namespace

// The encoder and muxer, and the thread between them and the caller. The
// caller converts each picture into a free frame of a pair; the thread
// encodes the other one and writes its packets.
struct VideoWriter::Encoder {
    VideoSettings settings;  // its width and height are the frames', scaled
    int picture_width = 0;   // the pictures handed over
    int picture_height = 0;
    VideoContainer container = VideoContainer::kWebM;
    FileWriter out;
    Sink sink;
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;  // the encoder of what the muxer writes
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frames[2] = {nullptr, nullptr};
    bool header_written = false;

    GifFrames gif;  // a GIF's frames until the palette is made

    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    int next = 0;                   // the frame the caller fills next
    bool pending = false;           // a frame is handed over and not yet taken
    int pending_index = 0;          // which one
    bool busy[2] = {false, false};  // being filled, waiting or being encoded
    bool finishing = false;
    bool failed = false;
    std::string error;  // the first failure, for Finish
    int64_t next_pts = 0;

    ~Encoder() { Release(); }

    void Release() {
        if (av.sws_freeContext == nullptr) return;  // no library: nothing was made
        av.sws_freeContext(scaler);
        scaler = nullptr;
        for (AVFrame*& f : frames) av.av_frame_free(&f);
        av.av_packet_free(&packet);
        av.avcodec_free_context(&codec);
        gif.Release();
        if (format != nullptr) av.avformat_free_context(format);
        format = nullptr;
        if (io != nullptr) av.av_freep(&io->buffer);
        av.avio_context_free(&io);
    }

    AVRational Rate() const { return av.av_d2q(settings.fps, 1000000); }

    bool Fail(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failed) error = what;
        failed = true;
        changed.notify_all();
        return false;
    }

    bool OpenOutput(std::string* reason);
    bool OpenCodec(std::string* reason);
    bool BeginStream(std::string* reason);
    bool OpenFrames(std::string* reason);
    void Convert(AVFrame* frame, const uint8_t* rgb, size_t stride, bool bottom_up);
    bool Encode(AVCodecContext* encoder, AVFrame* frame);
    bool Take(AVFrame* frame);
    bool WriteGif();
    void Run();
};

bool VideoWriter::Encoder::OpenOutput(std::string* reason) {
    const bool standard_output = settings.path == "-";
    // Refused before opening: a FIFO would wait for its reader first.
    struct stat st;
    if (container == VideoContainer::kMP4 && stat(settings.path.c_str(), &st) == 0 &&
        !S_ISREG(st.st_mode)) {
        *reason = kMP4NeedsSeeking;
        return false;
    }
    // Standard output is written through a descriptor of its own, so that a
    // failure there is reported once, here, and not again by the program's
    // own check of stdout at exit. A file that cannot be replaced gets the
    // video copied in at the end: nothing half encoded ever shows under its name.
    const bool opened = standard_output
                            ? out.Open("/dev/stdout")
                            : out.Open(settings.path.c_str(), FileWriter::kCopyAtCommit);
    if (!opened) {
        *reason = std::strerror(out.Error());
        return false;
    }
    sink.file = out.Stream();
    const bool seekable = !standard_output && CanSeek(sink.file);
    if (container == VideoContainer::kMP4 && !seekable) {
        *reason = kMP4NeedsSeeking;
        return false;
    }
    sink.base = seekable ? ftello(sink.file) : 0;
    int status = av.avformat_alloc_output_context2(&format, nullptr, MuxerName(container), nullptr);
    if (status < 0) {
        *reason = "no " + std::string(MuxerName(container)) + " muxer: " + AvError(status);
        return false;
    }
    constexpr int kBufferBytes = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av.av_malloc(kBufferBytes));
    io = buffer != nullptr ? av.avio_alloc_context(buffer, kBufferBytes, 1, &sink, nullptr,
                                                   WriteToSink, seekable ? SeekInSink : nullptr)
                           : nullptr;
    if (io == nullptr) {
        av.av_free(buffer);
        *reason = "out of memory";
        return false;
    }
    io->seekable = seekable ? AVIO_SEEKABLE_NORMAL : 0;
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    return true;
}

bool VideoWriter::Encoder::OpenCodec(std::string* reason) {
    if (container == VideoContainer::kGif) {
        if (!gif.Open(settings.path, settings.width, settings.height, Rate(), reason) ||
            !OpenFrames(reason))
            return false;
        if (picture_width == settings.width && picture_height == settings.height) return true;
        // Shrunk in full RGB (no chroma halved on the way), then put in levels by Convert.
        scaler = av.sws_getContext(
            picture_width, picture_height, AV_PIX_FMT_RGB24, settings.width, settings.height,
            AV_PIX_FMT_BGRA,
            kShrinkFilter | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr,
            nullptr, nullptr);
        if (scaler == nullptr) *reason = "cannot shrink the pictures";
        return scaler != nullptr;
    }
    const bool h264 = container == VideoContainer::kMP4;
    const char* name = h264 ? "libx264" : settings.lossless ? "libvpx-vp9" : "libvpx";
    const AVCodec* encoder = av.avcodec_find_encoder_by_name(name);
    codec = encoder != nullptr ? av.avcodec_alloc_context3(encoder) : nullptr;
    if (codec == nullptr) {
        *reason = std::string("no ") + name + " encoder in this FFmpeg";
        return false;
    }
    // H.264 in 4:2:0 takes even sizes only: the picture is padded.
    codec->width = h264 ? (settings.width + 1) & ~1 : settings.width;
    codec->height = h264 ? (settings.height + 1) & ~1 : settings.height;
    const AVRational rate = av.av_d2q(settings.fps, 1000000);
    codec->framerate = rate;
    codec->time_base = av_inv_q(rate);
    // A key frame every ten seconds of video: seeking stays quick, and the
    // few full pictures keep the file small.
    codec->gop_size = std::max(1, static_cast<int>(std::lround(10 * settings.fps)));
    codec->thread_count = settings.threads;
    codec->color_primaries = AVCOL_PRI_BT709;
    if (settings.lossless) {
        codec->pix_fmt = AV_PIX_FMT_GBRP;
        codec->colorspace = AVCOL_SPC_RGB;
        codec->color_trc = AVCOL_TRC_IEC61966_2_1;
        codec->color_range = AVCOL_RANGE_JPEG;
    } else {
        codec->pix_fmt = AV_PIX_FMT_YUV420P;
        codec->colorspace = AVCOL_SPC_BT709;
        codec->color_trc = AVCOL_TRC_BT709;
        codec->color_range = AVCOL_RANGE_MPEG;
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    // Every encoder encodes each picture as it comes: no look-ahead and no
    // B-frames, so that it holds few pictures in memory.
    AVDictionary* options = nullptr;
    if (h264) {
        av.av_dict_set(&options, "preset", kH264Preset, 0);
        codec->thread_count = 1;
        av.av_dict_set(&options, "tune", "zerolatency", 0);
        av.av_dict_set(&options, "crf", "20", 0);
        // Whole-pixel motion search: x264 then keeps no half-pixel copies of
        // the reference pictures, 14 MiB at 1920x1080, for files 40 % larger.
        av.av_dict_set(&options, "x264-params", "subme=0", 0);
    } else {
        av.av_dict_set(&options, "deadline", "realtime", 0);
        av.av_dict_set(&options, "lag-in-frames", "0", 0);
        if (settings.lossless) {
            codec->bit_rate = 0;  // constant quality
            av.av_dict_set(&options, "cpu-used", "8", 0);
            av.av_dict_set(&options, "row-mt", "1", 0);
            av.av_dict_set(&options, "tile-columns", "2", 0);
            av.av_dict_set(&options, "lossless", "1", 0);
        } else {
            // VP8's constant quality needs a rate cap: 2 bits a pixel a
            // second (4.1 Mbit/s at 1920x1080), which a busy time-lapse
            // reaches, for a video a sixth of H.264's size and coarser.
            codec->bit_rate = static_cast<int64_t>(2.0 * codec->width * codec->height);
            av.av_dict_set(&options, "cpu-used", "16", 0);  // its fastest
            av.av_dict_set(&options, "crf", "10", 0);
            codec->thread_count = 1;
        }
    }
    int status = av.avcodec_open2(codec, encoder, &options);
    av.av_dict_free(&options);
    if (status < 0) {
        *reason = std::string("cannot start the ") + name + " encoder: " + AvError(status);
        return false;
    }
    if (!BeginStream(reason) || !OpenFrames(reason)) return false;
    if (!settings.lossless) {
        const bool shrunk = picture_width != settings.width || picture_height != settings.height;
        scaler = av.sws_getContext(picture_width, picture_height, AV_PIX_FMT_RGB24, settings.width,
                                   settings.height, AV_PIX_FMT_YUV420P,
                                   (shrunk ? kShrinkFilter : SWS_BILINEAR) | SWS_ACCURATE_RND,
                                   nullptr, nullptr, nullptr);
        if (scaler == nullptr) {
            *reason = "cannot convert RGB to YUV";
            return false;
        }
        // BT.709 coefficients, video range: what the stream says it holds.
        const int* bt709 = av.sws_getCoefficients(SWS_CS_ITU709);
        av.sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    return true;
}

// The muxer's stream of `codec`'s packets, and the file's header.
bool VideoWriter::Encoder::BeginStream(std::string* reason) {
    stream = av.avformat_new_stream(format, nullptr);
    if (stream == nullptr || av.avcodec_parameters_from_context(stream->codecpar, codec) < 0) {
        *reason = "out of memory";
        return false;
    }
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = codec->framerate;
    // Matroska gathers a cluster in memory before writing it: by default 5 MB
    // or 5 seconds of video, which at 1080p lossless is tens of megabytes.
    AVDictionary* options = nullptr;
    if (container == VideoContainer::kWebM || container == VideoContainer::kMatroska) {
        av.av_dict_set(&options, "cluster_size_limit", "1048576", 0);
        av.av_dict_set(&options, "cluster_time_limit", "1000", 0);
    }
    const int status = av.avformat_write_header(format, &options);
    av.av_dict_free(&options);
    if (status < 0) {
        *reason =
            "cannot begin the video: " + AvError(sink.error != 0 ? AVERROR(sink.error) : status);
        return false;
    }
    header_written = true;
    return true;
}

// The pair of frames the caller fills in turn, in the first encoder's format.
bool VideoWriter::Encoder::OpenFrames(std::string* reason) {
    const bool palette = container == VideoContainer::kGif;
    packet = av.av_packet_alloc();
    for (AVFrame*& f : frames) {
        f = av.av_frame_alloc();
        if (f == nullptr) break;
        f->format = palette ? AV_PIX_FMT_BGRA : codec->pix_fmt;  // BGRA: what palettegen takes
        f->width = palette ? settings.width : codec->width;
        f->height = palette ? settings.height : codec->height;
        if (!palette) {
            f->colorspace = codec->colorspace;
            f->color_range = codec->color_range;
        }
        if (av.av_frame_get_buffer(f, 0) < 0) av.av_frame_free(&f);
    }
    if (packet == nullptr || frames[0] == nullptr || frames[1] == nullptr) {
        *reason = "out of memory for the frames";
        return false;
    }
    return true;
}

// Fills `frame` from RGB rows: planar RGB or BGRA exactly (BGRA shrunk by
// swscale when scaled), or YUV 4:2:0 through swscale, then the padding of odd
// sizes from the last column and row.
void VideoWriter::Encoder::Convert(AVFrame* frame, const uint8_t* rgb, size_t stride,
                                   bool bottom_up) {
    const int w = settings.width, h = settings.height;
    const uint8_t* top = bottom_up ? rgb + static_cast<size_t>(picture_height - 1) * stride : rgb;
    const ptrdiff_t step =
        bottom_up ? -static_cast<ptrdiff_t>(stride) : static_cast<ptrdiff_t>(stride);
    const uint8_t* source[1] = {top};
    const int source_stride[1] = {static_cast<int>(step)};
    if (frame->format == AV_PIX_FMT_GBRP) {
        // gbrp: plane 0 green, 1 blue, 2 red.
        for (int y = 0; y < h; ++y) {
            const uint8_t* in = top + y * step;
            uint8_t* g = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
            uint8_t* b = frame->data[1] + static_cast<ptrdiff_t>(y) * frame->linesize[1];
            uint8_t* r = frame->data[2] + static_cast<ptrdiff_t>(y) * frame->linesize[2];
            for (int x = 0; x < w; ++x, in += 3) {
                r[x] = in[0];
                g[x] = in[1];
                b[x] = in[2];
            }
        }
        return;
    }
    if (frame->format == AV_PIX_FMT_BGRA) {
        // A GIF's frames in 64 levels a channel (off by at most 2 of 255):
        // palettegen and paletteuse keep a table entry for every colour they
        // meet, which this bounds to 2^18 however long or large the clip.
        static const auto level = [] {
            std::array<uint8_t, 256> table{};
            for (int v = 0; v < 256; ++v)
                table[v] = static_cast<uint8_t>(((v * 63 + 127) / 255 * 255 + 31) / 63);
            return table;
        }();
        if (scaler != nullptr) {
            av.sws_scale(scaler, source, source_stride, 0, picture_height, frame->data,
                         frame->linesize);
        }
        for (int y = 0; y < h; ++y) {
            uint8_t* to = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
            if (scaler != nullptr) {
                for (int x = 0; x < w; ++x, to += 4) {
                    to[0] = level[to[0]];
                    to[1] = level[to[1]];
                    to[2] = level[to[2]];
                    to[3] = 255;
                }
                continue;
            }
            const uint8_t* in = top + y * step;
            for (int x = 0; x < w; ++x, in += 3, to += 4) {
                to[0] = level[in[2]];
                to[1] = level[in[1]];
                to[2] = level[in[0]];
                to[3] = 255;
            }
        }
        return;
    }
    av.sws_scale(scaler, source, source_stride, 0, picture_height, frame->data, frame->linesize);
    // Only the luma plane can lack a column or a row: the chroma planes
    // already cover the rounded-up halves.
    uint8_t* luma = frame->data[0];
    const ptrdiff_t pitch = frame->linesize[0];
    if (frame->width > w) {
        for (int y = 0; y < h; ++y) luma[y * pitch + w] = luma[y * pitch + w - 1];
    }
    if (frame->height > h) std::memcpy(luma + h * pitch, luma + (h - 1) * pitch, frame->width);
}

// Sends one frame (null: the end) to `encoder` and writes every packet that
// is ready.
bool VideoWriter::Encoder::Encode(AVCodecContext* encoder, AVFrame* frame) {
    int status = av.avcodec_send_frame(encoder, frame);
    if (status < 0) return Fail("encoding failed: " + AvError(status));
    while ((status = av.avcodec_receive_packet(encoder, packet)) >= 0) {
        // One frame's time each; without it MP4 drops the last frame's.
        if (packet->duration == 0) packet->duration = 1;
        av.av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        status = av.av_interleaved_write_frame(format, packet);
        if (status < 0)
            return Fail(sink.error != 0 ? std::strerror(sink.error)
                                        : "writing failed: " + AvError(status));
    }
    if (status != AVERROR(EAGAIN) && status != AVERROR_EOF)
        return Fail("encoding failed: " + AvError(status));
    return true;
}

// Encodes a frame handed over (null: the end), or for a GIF counts its
// colours and spools it.
bool VideoWriter::Encoder::Take(AVFrame* frame) {
    if (container != VideoContainer::kGif) return Encode(codec, frame);
    std::string failure;
    return gif.Add(frame, &failure) || Fail(failure);
}

// A GIF's second pass, once every frame is spooled: the palette, the GIF
// encoder, then the frames replayed through paletteuse into the encoder.
bool VideoWriter::Encoder::WriteGif() {
    std::string failure;
    bool ok = gif.MakePalette(&failure);
    // The GIF encoder: one global palette (its default), and only the part of
    // each frame that changed, the rest transparent.
    const AVCodec* encoder = av.avcodec_find_encoder_by_name("gif");
    if (ok) {
        failure = "cannot start the gif encoder";
        codec = encoder != nullptr ? av.avcodec_alloc_context3(encoder) : nullptr;
        ok = codec != nullptr;
    }
    if (ok) {
        codec->width = settings.width;
        codec->height = settings.height;
        codec->pix_fmt = AV_PIX_FMT_PAL8;
        codec->framerate = Rate();
        codec->time_base = av_inv_q(Rate());
        ok = av.avcodec_open2(codec, encoder, nullptr) >= 0;
    }
    if (!ok) return Fail(failure);
    if (!BeginStream(&failure)) return Fail(failure);
    // The caller's frames are free now. A failure of Encode is recorded
    // already; Fail keeps the first.
    std::string replay_failure;
    return gif.Replay(
               frames[0], [this](AVFrame* frame) { return Encode(codec, frame); },
               &replay_failure) ||
           Fail(replay_failure);
}

// The encoding thread: takes each frame handed over, encodes it and frees it
// for the caller; at the end drains the encoder.
void VideoWriter::Encoder::Run() {
    for (;;) {
        int index = 0;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return pending || finishing || failed; });
            if (failed) return;
            if (!pending) break;  // finishing and nothing left
            index = pending_index;
            pending = false;
        }
        const bool ok = Take(frames[index]);
        {
            std::lock_guard<std::mutex> lock(mutex);
            busy[index] = false;
            changed.notify_all();
        }
        if (!ok) return;
    }
    Take(nullptr);
}

VideoWriter::VideoWriter() = default;

VideoWriter::~VideoWriter() {
    Abandon();
}

bool VideoWriter::Open(const VideoSettings& settings, std::string* reason) {
    Abandon();
    if (settings.width < 1 || settings.height < 1 || !(settings.fps > 0)) {
        *reason = "no picture size or frame rate";
        return false;
    }
    if (!(settings.scale > 0 && settings.scale <= 1) || (settings.lossless && settings.scale < 1)) {
        *reason = "a scale needs 0 < scale <= 1, and a lossy video";
        return false;
    }
    if (!VideoSizeFits(settings.width, settings.height, reason)) return false;
    encoder_ = std::make_unique<Encoder>();
    Encoder& e = *encoder_;
    e.settings = settings;
    e.picture_width = settings.width;
    e.picture_height = settings.height;
    const auto scaled = [&settings](int side) {
        return std::max(1, static_cast<int>(std::lround(side * settings.scale)));
    };
    e.settings.width = scaled(settings.width);
    e.settings.height = scaled(settings.height);
    if (!VideoContainerFor(settings.path, settings.lossless, &e.container, reason) ||
        !LoadAv(reason)) {
        Abandon();
        return false;
    }
    av.av_log_set_level(AV_LOG_ERROR);
    if (!e.OpenOutput(reason) || !e.OpenCodec(reason)) {
        Abandon();
        return false;
    }
    // The thread takes no signals: SIGINT, SIGTERM and SIGHUP reach the
    // caller's thread, where the file writer's clean-up expects them.
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, s);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    try {
        e.thread = std::thread([&e] { e.Run(); });
    } catch (const std::system_error& error) {
        *reason = std::string("cannot start the encoding thread: ") + error.what();
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (!e.thread.joinable()) {
        Abandon();
        return false;
    }
    frames_ = 0;
    return true;
}

bool VideoWriter::AddFrame(const uint8_t* rgb, size_t stride, bool bottom_up) {
    if (!encoder_ || !encoder_->thread.joinable()) return false;
    Encoder& e = *encoder_;
    int index = 0;
    {
        std::unique_lock<std::mutex> lock(e.mutex);
        e.changed.wait(lock, [&e] { return e.failed || !e.busy[e.next]; });
        if (e.failed) return false;
        index = e.next;
        e.busy[index] = true;
    }
    AVFrame* frame = e.frames[index];
    // The encoder may still hold the buffer it was given last time.
    if (av.av_frame_make_writable(frame) < 0) return e.Fail("out of memory for a frame");
    e.Convert(frame, rgb, stride, bottom_up);
    frame->pts = e.next_pts++;
    {
        std::unique_lock<std::mutex> lock(e.mutex);
        // At most one frame waits: the next one is converted meanwhile.
        e.changed.wait(lock, [&e] { return e.failed || !e.pending; });
        if (e.failed) return false;
        e.pending = true;
        e.pending_index = index;
        e.next = 1 - index;
        e.changed.notify_all();
    }
    ++frames_;
    return true;
}

bool VideoWriter::Finish(std::string* reason) {
    if (!encoder_) {
        *reason = "no video was begun";
        return false;
    }
    Encoder& e = *encoder_;
    if (e.thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(e.mutex);
            e.finishing = true;
            e.changed.notify_all();
        }
        e.thread.join();
    }
    bool ok = !e.failed && (e.container != VideoContainer::kGif || e.WriteGif());
    if (ok) {
        const int status = av.av_write_trailer(e.format);
        av.avio_flush(e.io);
        if (status < 0 || e.io->error < 0 || e.sink.error != 0) {
            ok = false;
            e.error = e.sink.error != 0
                          ? std::strerror(e.sink.error)
                          : "cannot end the video: " + AvError(status < 0 ? status : e.io->error);
        }
    }
    if (ok && !e.out.Commit()) {
        ok = false;
        e.error = std::string(e.out.FailedCall()) + "() failed: " + std::strerror(e.out.Error());
    }
    if (!ok) *reason = e.error;
    Abandon();
    return ok;
}

void VideoWriter::Abandon() {
    if (!encoder_) return;
    Encoder& e = *encoder_;
    if (e.thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(e.mutex);
            e.failed = true;  // the thread stops at its next frame
            e.changed.notify_all();
        }
        e.thread.join();
    }
    e.Release();
    e.out.Abandon();  // removes the temporary unless committed
    encoder_.reset();
}

#endif

bool RenderVideo::Fail(const std::string& reason) {
    std::fprintf(diag_, "lumivor render: cannot write %s: %s\n", path_.c_str(), reason.c_str());
    writer_.Abandon();
    open_ = false;
    return false;
}

bool RenderVideo::Open(const RenderJob& job) {
    path_ = job.video_path == "-" ? "standard output" : job.video_path;
    diag_ = job.diag;
    ticks_ = job.ticks;
    every_ = job.video_every > 0 ? job.video_every : 1;
    if (job.video_path.empty()) return true;
    std::string reason;
    if (!writer_.Open({job.video_path, job.width, job.height, job.video_fps, job.video_lossless,
                       job.video_scale},
                      &reason))
        return Fail(reason);
    open_ = true;
    return true;
}

bool RenderVideo::Add(const uint8_t* rgb, size_t stride, bool bottom_up) {
    if (!open_) return true;
    if (writer_.AddFrame(rgb, stride, bottom_up)) return true;
    std::string reason;
    writer_.Finish(&reason);  // ends the failed writer and gives its reason
    return Fail(reason);
}

bool RenderVideo::Finish(bool run_succeeded) {
    if (!open_) return true;
    open_ = false;
    if (!run_succeeded) {
        writer_.Abandon();
        return true;
    }
    std::string reason;
    if (writer_.Finish(&reason)) return true;
    return Fail(reason);
}
