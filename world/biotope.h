// The world: a wrapping habitat held twice (HSL cells the bots live on, and
// the RGB colours last shown at each cell) and the community of bots on it.
#pragma once

#include <cstdint>

#include "bots/bot.h"
#include "colour/hsl.h"
#include "image/image.h"

class Biotope {
public:
    Image rgb_habitat;  // display copy: RGB colour last shown at each cell
    Image hsl_habitat;  // the habitat proper: HSL_888 per cell
    Bot* bots = nullptr;
    unsigned long n_bots = 0;
    unsigned long bot_steps = 1024;
    unsigned long seed = 0;
    unsigned long n_updates = 0;
    uint8_t hue_shift = 0;

    Biotope() = default;
    ~Biotope() { Destroy(); }
    Biotope(const Biotope&) = delete;
    Biotope& operator=(const Biotope&) = delete;

    bool Create(unsigned long bots, unsigned long w, unsigned long h, unsigned long seed);
    bool CreateHabitat(unsigned long w, unsigned long h);
    void ClearHabitat(const RGB_888* c);
    bool CreateCommunity(unsigned long n, unsigned long seed);
    bool InitCommunity();
    void SetBotSteps(unsigned long n);
    void SetHueShift(unsigned char h);
    bool Update();
    void DisplayPaths();
    void Destroy();

    // True when both rasters exist with the same size: the only state in
    // which bots may walk or be drawn.
    bool HasHabitat() const;

    // Habitat files and inspection tools.
    bool SaveHabitat(const char* path, bool topDown);
    bool LoadHabitat(const char* path, bool topDown);
    void HabitatRGBtoHSL(const Image* rgb, Image* hsl);
    void DrawHabitat();
    void DrawInfo();
    bool ReInitCommunity();
    void ClearHabitat(const RGB_888* c, unsigned long seed);
};

// Reads the size line of a habitat file with the loader's header rules, for
// callers that build a world to fit a file. False when the header does not
// parse or a side is outside 1 to 32768. ReadHabitatPicture (habitat_reader.h)
// reads size and pixels in one pass, which also works for pipes.
bool ReadHabitatFileSize(const char* path, int* width, int* height);

// The one world of the process.
extern Biotope biotope;
