// Time-lapse videos of a render: pictures handed over one by one become the
// frames of a WebM, Matroska, MP4 or GIF file, encoded by FFmpeg's libraries
// in a thread of their own while the caller's simulation goes on.
//
// The container and codec come from the file name:
//   .webm  VP8 in 4:2:0 (browsers play it everywhere; its encoder takes
//          less than half of VP9's memory);
//   .mkv   the same in Matroska;
//   .mp4   H.264 in 4:2:0 for the widest playback; an odd width or height is
//          padded to even by repeating the last column or row, so the video is
//          one pixel wider or taller than the picture;
//   .gif   an animated GIF that loops, with one palette of 255 colours made
//          for the whole clip (FFmpeg's palettegen and paletteuse filters) from
//          the pictures in 64 levels a channel; the frames wait, deflated, in
//          an unnamed file beside the target until the last one has been
//          counted into the palette;
//   -      WebM on standard output (a stream needs no seeking; MP4 does and is
//          refused there and on any target that cannot seek).
// With a scale below 1 the frames are the pictures shrunk by swscale's area
// filter, each side rounded to whole pixels (at least 1; MP4 then pads an odd
// side as above).
// Lossless (WebM and Matroska only): VP9 lossless in planar RGB (gbrp), which
// decodes to exactly the pictures given.
//
// Every packet carries its duration (one frame at the given rate), so the
// last frame keeps its time in every container.
//
// The file goes through the program's file writer (image/file_writer.h): a
// temporary beside the target, put in place by Finish (copied into a target
// with several names); on any failure, on Abandon and when SIGINT, SIGTERM or
// SIGHUP ends the process, what was there before stays as it was.
//
// FFmpeg's libraries are loaded at the first video, those of the release
// whose headers the build used (5.1 or 7.1, by their sonames).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "host/shared/render_job.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

enum class VideoContainer { kWebM, kMatroska, kMP4, kGif };

struct VideoSettings {
    std::string path;  // the target; "-" is standard output
    int width = 0;     // the pictures' size in pixels
    int height = 0;
    double fps = 30;        // frames a second when played
    bool lossless = false;  // VP9 lossless in planar RGB (WebM and Matroska)
    double scale = 1;       // the frames' sides as a share of the pictures' (0..1, lossy only)
    int threads = 2;        // the codec's own threads
};

// Whether both encoders take a picture of this size: libvpx (VP9) and x264
// (H.264, after padding to even) take at most 16384 pixels a side.
inline bool VideoSizeFits(int width, int height, std::string* reason) {
    constexpr int kMaxVideoSide = 16384;
    if (width <= kMaxVideoSide && height <= kMaxVideoSide) return true;
    *reason = "a video takes at most " + std::to_string(kMaxVideoSide) + " pixels a side, not " +
              std::to_string(width) + "x" + std::to_string(height);
    return false;
}

// Whether `path` is another name of standard output, as a file the shell
// opened (render --video o.mp4 > o.mp4): the command line writes it as "-",
// which is WebM, so another container there is refused.
inline bool VideoNamesStandardOutput(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    struct stat named, out;
    return path != "-" && stat(path.c_str(), &named) == 0 && fstat(1, &out) == 0 &&
           !S_ISCHR(named.st_mode) && named.st_dev == out.st_dev && named.st_ino == out.st_ino;
#endif
}

// The container a target names; false with a one-line reason for a name that
// names none, for --lossless with MP4 or GIF, and for a Matroska, MP4 or GIF
// name of standard output. Needs no library, so the command line checks names
// with it.
inline bool VideoContainerFor(const std::string& path, bool lossless, VideoContainer* container,
                              std::string* reason) {
    const auto ends_with = [&path](const char* suffix) {
        const std::string s(suffix);
        return path.size() > s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0;
    };
    if (path == "-" || ends_with(".webm") || ends_with(".WEBM")) {
        *container = VideoContainer::kWebM;
    } else if (ends_with(".mkv") || ends_with(".MKV")) {
        *container = VideoContainer::kMatroska;
    } else if (ends_with(".mp4") || ends_with(".MP4")) {
        *container = VideoContainer::kMP4;
    } else if (ends_with(".gif") || ends_with(".GIF")) {
        *container = VideoContainer::kGif;
    } else {
        *reason =
            "--video needs a name ending in .webm, .mkv, .mp4 or .gif, or - (WebM on "
            "standard output)";
        return false;
    }
    if (lossless && *container != VideoContainer::kWebM &&
        *container != VideoContainer::kMatroska) {
        *reason = *container == VideoContainer::kMP4
                      ? "--lossless needs a .webm or .mkv video (VP9); MP4 holds H.264"
                      : "--lossless needs a .webm or .mkv video (VP9); a GIF has 255 colours";
        return false;
    }
    if (*container != VideoContainer::kWebM && VideoNamesStandardOutput(path)) {
        *reason =
            "--video " + path + " is standard output, which gets WebM: give a .webm name or -";
        return false;
    }
    return true;
}

// The ticks whose pictures become frames: every `every`-th, and the last.
inline bool IsVideoFrameTick(unsigned long tick, unsigned long every, unsigned long last) {
    return tick % every == 0 || tick == last;
}

// Frames a run of `ticks` ticks gives.
inline unsigned long VideoFrameCount(unsigned long ticks, unsigned long every) {
    return ticks / every + (ticks % every != 0 ? 1 : 0);
}

class VideoWriter {
  public:
    VideoWriter();
    ~VideoWriter();  // a writer not finished is abandoned
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Opens the target and the encoder and starts the encoding thread.
    bool Open(const VideoSettings& settings, std::string* reason);

    // Hands over the next frame: width x height RGB pixels, rows `stride`
    // bytes apart, the bottom row first when `bottom_up` (as OpenGL reads a
    // surface back). The pixels are copied before it returns. Waits while the
    // encoder is a frame behind. False once encoding has failed (Finish then
    // gives the reason).
    bool AddFrame(const uint8_t* rgb, size_t stride, bool bottom_up);

    // Encodes what is left, completes the file and puts it in place. False
    // with a one-line reason (the target is then as it was).
    bool Finish(std::string* reason);

    // Stops encoding and removes the temporary; the target stays as it was.
    void Abandon();

    // Frames handed over so far.
    unsigned long Frames() const { return frames_; }

  private:
    struct Encoder;
    std::unique_ptr<Encoder> encoder_;
    unsigned long frames_ = 0;
};

// The video of a render, as the renderers use it: opened before the first
// tick, given the picture of every frame tick, finished or abandoned at the
// end, each failure reported on `diag` as "lumivor render: cannot write
// PATH: REASON". With an empty path it does nothing and every call succeeds.
class RenderVideo {
  public:
    // Opens the writer for the job's video: a frame every `video_every` ticks
    // of its `ticks`, failures on its `diag`.
    bool Open(const RenderJob& job);
    // Whether the picture after `tick` ticks is a frame.
    bool Wants(unsigned long tick) const { return open_ && IsVideoFrameTick(tick, every_, ticks_); }
    // Hands over that picture (see VideoWriter::AddFrame).
    bool Add(const uint8_t* rgb, size_t stride, bool bottom_up);
    // Completes the video when the run succeeded, else abandons it. False
    // when the video failed.
    bool Finish(bool run_succeeded);
    // Reports a failure of the caller's (no picture to give) and abandons the video.
    bool Fail(const std::string& reason);

  private:
    VideoWriter writer_;
    std::string path_;
    std::FILE* diag_ = stderr;
    unsigned long ticks_ = 0;
    unsigned long every_ = 1;
    bool open_ = false;
};
