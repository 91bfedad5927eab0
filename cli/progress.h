// A one-line progress bar for long runs, redrawn in place on a terminal.
#pragma once

#include <cstdio>

class Progress {
  public:
    // `out` null: shows nothing.
    Progress(std::FILE* out, unsigned long total) : out_(out), total_(total) {}
    // Also show the video frames taken by then: one every `every` ticks and
    // one at the last tick.
    void CountFrames(unsigned long every) { every_ = every; }
    void Show(unsigned long done);
    // Ends the bar's line, once.
    void Finish();

  private:
    std::FILE* out_;
    unsigned long total_;
    unsigned long every_ = 0;  // 0: no frames to count
    int shown_percent_ = -1;
    bool ended_ = false;  // the bar's line is ended
};
