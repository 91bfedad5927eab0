// The persistent drawing surface of the hosts: a framebuffer object that keeps
// everything drawn on it from tick to tick and is copied to a window to be seen.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "saver/saver_view.h"

class FramebufferSurface : public SaverSurface {
  public:
    int width = 0, height = 0;  // size of the framebuffer object; 0 while there is none
    std::FILE* diag = stderr;   // where a surface that cannot be made is reported

    // make_current makes the host's OpenGL context current; it returns false on failure.
    explicit FramebufferSurface(std::function<bool()> make_current)
        : make_current_(std::move(make_current)) {}
    ~FramebufferSurface() override { Release(); }

    // Makes the context current, brings the framebuffer object to the size last asked
    // for (a new one starts black), and binds it for drawing and reading.
    void MakeCurrent() override;
    // Records the new size; the framebuffer object follows at the next MakeCurrent.
    void SetFrameSize(int w, int h) override;
    void Detach() override { Release(); }

    // Copies the picture to the bottom-left corner of the framebuffer `target`
    // (0: the window) of target_w x target_h, then binds the surface again.
    void CopyTo(unsigned target, int target_w, int target_h);
    // Reads the picture into width*height*3 bytes at rgb, bottom row first.
    void ReadRGB(uint8_t* rgb) const;
    // Deletes the framebuffer object; needs the context current.
    void Release();

  private:
    bool Allocate(int w, int h);

    std::function<bool()> make_current_;
    int wanted_w_ = 0, wanted_h_ = 0;
    bool failed_ = false;  // the wanted size could not be allocated
    unsigned fbo_ = 0, colour_rb_ = 0;
};
