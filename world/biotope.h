// The world: a wrapping habitat held twice (HSL cells the bots live on, and
// the RGB colours last shown at each cell) and the community of bots on it.
#pragma once

#include <cstdint>

#include "behaviour/step_observer.h"
#include "bots/bot.h"
#include "colour/hsl.h"
#include "image/image.h"
#include "world/clock.h"
#include "world/habitat_files.h"

class Biotope {
  public:
    Image rgb_habitat;  // display copy: RGB colour last shown at each cell
    Image hsl_habitat;  // the habitat proper: HSL_888 per cell
    Bot* bots = nullptr;
    unsigned long n_bots = 0;
    unsigned long bot_steps = 1024;
    // The clock reading the world was seeded with, whole on every platform
    // (64 bits; the generator takes its low 32 bits).
    uint64_t seed = 0;
    unsigned long n_updates = 0;
    uint8_t hue_shift = 0;

    Biotope() = default;
    ~Biotope() { Destroy(); }
    Biotope(const Biotope&) = delete;
    Biotope& operator=(const Biotope&) = delete;

    bool Create(unsigned long bots, unsigned long w, unsigned long h, uint64_t seed);
    bool CreateHabitat(unsigned long w, unsigned long h);
    void ClearHabitat(const RGB_888* c);
    bool CreateCommunity(unsigned long n, uint64_t seed);
    bool InitCommunity();
    void SetBotSteps(unsigned long n);
    void SetHueShift(unsigned char h);
    bool Update();
    // Update, taking the very same walks, with every bot step reported to the
    // observer in the order the steps are taken.
    bool UpdateObserved(const behaviour::StepObserver& observer);
    // Update for runs that draw no trails (habitat_update.cpp): the preset
    // bots leave the display as it was and set the byte of every cell they
    // paint in `painted`, a raster of the habitat's size with a byte per
    // cell (made with Create(width, height, 8) and cleared; cells packed as
    // in the habitat); their trails are not kept. Marks that do not fit the habitat make it a plain
    // Update. RepaintDisplay(painted) afterwards gives the display that Update would have left:
    // every paint sets a habitat cell and its display cell from the same colour, with the world's
    // hue shift (which every bot shares; CreateCommunity and SetHueShift see to it).
    bool UpdateHabitat(Image* painted);
    // Sets every display cell marked in `painted` from its habitat cell;
    // false, with nothing changed, when the marks do not fit the habitat.
    bool RepaintDisplay(const Image& painted);
    void DisplayPaths() const;
    void Destroy();

    // True when both rasters exist with the same size: the only state in
    // which bots may walk or be drawn.
    bool HasHabitat() const;

    // Habitat files and inspection tools (habitat_files.h, habitat_files.cpp).
    bool SaveHabitat(const char* path, bool topDown);
    bool LoadHabitat(const char* path, bool topDown);
    void HabitatRGBtoHSL(const Image* rgb, Image* hsl);
    void DrawHabitat();
    void DrawInfo();
    // Scatters the bots anew, seeded from one reading of `clock`.
    bool ReInitCommunity(const StartClock& clock = {});
    void ClearHabitat(const RGB_888* c, unsigned long seed);
};

// The one world of the process.
extern Biotope biotope;
