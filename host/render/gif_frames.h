// A GIF's frames on their way to one palette of 255 colours for the whole
// clip (FFmpeg's palettegen and paletteuse filters). During the run each
// frame is counted into palettegen and spooled, XORed with the frame before
// and deflated (what stayed is zeros, which pack tightly and fast), to an
// unnamed file beside the target; at the end the frames are read back, put
// in the palette by paletteuse and handed on one by one.
//
// The video writer's encoding thread adds the frames; the caller's thread
// replays them once that thread has ended.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

struct AVFilterContext;
struct AVFilterGraph;
struct AVFrame;

class GifFrames {
  public:
    GifFrames() = default;
    ~GifFrames() { Release(); }
    GifFrames(const GifFrames&) = delete;
    GifFrames& operator=(const GifFrames&) = delete;

    // Loads libavfilter, opens the spool beside `target` and palettegen, for
    // width x height BGRA frames at `rate` frames a second.
    bool Open(const std::string& target, int width, int height, AVRational rate,
              std::string* reason);

    // Counts a frame's colours and spools it; null ends the counting.
    bool Add(AVFrame* frame, std::string* failure);

    // Takes the palette of the frames counted and sets up paletteuse.
    bool MakePalette(std::string* failure);

    // Rebuilds the frames from the spool one by one in `frame` (one of the
    // frames' size and format) and hands what paletteuse makes of them to
    // `encode`, then null for the end. False with the reason, or with none
    // when `encode` failed.
    bool Replay(AVFrame* frame, const std::function<bool(AVFrame*)>& encode, std::string* failure);

    // Frees the graphs and closes the spool.
    void Release();

  private:
    bool Spool(const AVFrame* frame, std::string* failure);
    bool MapFrame(AVFrame* frame, const std::function<bool(AVFrame*)>& encode,
                  std::string* failure);

    int width_ = 0;
    int height_ = 0;
    AVRational time_base_ = {1, 1};
    std::FILE* spool_ = nullptr;
    std::vector<uint8_t> previous_;  // the frame before, BGRA rows
    std::vector<uint8_t> change_;    // this frame XOR the one before
    std::vector<uint8_t> packed_;    // that deflated
    AVFilterGraph* counting_ = nullptr;
    AVFilterContext* counted_ = nullptr;  // its source
    AVFilterContext* palette_out_ = nullptr;
    AVFilterGraph* mapping_ = nullptr;
    AVFilterContext* mapped_in_ = nullptr;
    AVFilterContext* mapped_out_ = nullptr;
    AVFrame* spare_ = nullptr;  // a frame between the stages of the mapping
};
