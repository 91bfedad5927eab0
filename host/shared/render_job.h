// What `lumivor render` asks a renderer to do. Filled by the command line.
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "saver/saver.h"

struct HabitatPicture;

struct RenderJob {
    RunStart start;    // the clock reading and community the run starts from
    int width = 1920;  // surface size in pixels
    int height = 1080;
    unsigned long ticks = 4500;  // animation ticks; the first only clears
    std::string habitat_path;    // save rgb_habitat here at the end (empty: none; "-": stdout)
    std::string png_path;        // write the picture as PNG (empty: none; "-": standard output)
    std::string start_from;      // habitat file to load into the new world (empty: none)
    const HabitatPicture* start_picture = nullptr;  // its picture, read once by the command line
    bool markers = false;                           // draw every bot's marker on the PNG
    std::function<void(unsigned long)>
        progress;              // told the ticks done after each tick (may be empty)
    std::string trace_path;    // write one line per bot step here (simulation-only renderer)
    bool final_state = false;  // print the bots' final state and the next random number
    std::FILE* diag = stderr;  // the tool's own messages and errors, never silenced
    // --video: the picture every video_every ticks, and at the last tick, as
    // the frames of a video played at video_fps (empty: none; "-": stdout).
    std::string video_path;
    unsigned long video_every = 15;
    double video_fps = 30;
    bool video_lossless = false;
    double video_scale = 1;  // --scale: the frames are the picture shrunk by this (0..1]
};
