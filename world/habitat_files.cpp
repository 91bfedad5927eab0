// Habitat files (binary PPM) are written here, read in habitat_reader.cpp;
// and the world's inspection tools: conversion of an RGB raster into the HSL
// habitat, scattering the bots anew and the seeded clear. Their OpenGL
// drawing lives in biotope_gl.cpp.
#include "world/habitat_files.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bots/messages.h"
#include "colour/random_tovi.h"
#include "image/file_writer.h"
#include "world/biotope.h"
#include "world/habitat_reader.h"

namespace {

// A raster the world can address as packed three-byte cells.
bool HasCells24(const Image& im) {
    return im.data != nullptr && im.format.bpp == 24;
}

// Writes the header and the rows; false at the first failed write. An empty
// habitat gives the "0 0" header alone.
bool WriteHabitat(FILE* f, const Image& rgb, bool topDown) {
    if (std::fputs("P6\n", f) < 0) return false;
    if (std::fputs("#quib habitat\n", f) < 0) return false;
    if (std::fprintf(f, "%d %d\n", static_cast<int>(rgb.width), static_cast<int>(rgb.height)) < 0)
        return false;
    if (std::fputs("255\n", f) < 0) return false;
    if (!HasCells24(rgb)) return true;
    const size_t row_bytes = static_cast<size_t>(rgb.width) * 3;
    for (uint32_t r = 0; r < rgb.height; ++r) {
        const uint8_t* row =
            rgb.data + HabitatRowOffset(rgb.width, HabitatRowOfFileRow(r, rgb.height, topDown));
        if (std::fwrite(row, 1, row_bytes, f) != row_bytes) return false;
    }
    return true;
}

// Reports a failed save: the path, then the system error text of the step.
void SaveFailure(const char* what, const char* path, const char* call, int err) {
    std::fprintf(stderr, "could not %s %s\n", what, path);
    std::fprintf(stderr, "SaveHabitat() %s(): %s\n", call, std::strerror(err));
}

}  // namespace

// The file goes through the program's file writer: devices and pipes are
// written into, a file is replaced whole or, where replacing would change
// what the user sees, written in place.
bool Biotope::SaveHabitat(const char* path, bool topDown) {
    Trace("Biotope::SaveHabitat(%s)\n", path != nullptr ? path : "");
    const char* shown = path != nullptr ? path : "";
    FileWriter out;
    if (!out.Open(path)) {
        std::fprintf(stderr, "could not open %s\n", shown);
        errno = out.Error();
        std::perror("SaveHabitat() fopen()");
        return false;
    }
    if (!WriteHabitat(out.Stream(), rgb_habitat, topDown)) {
        const int err = errno;
        out.Abandon();
        SaveFailure("write", shown, "fwrite", err);
        return false;
    }
    if (!out.Commit()) {
        SaveFailure("write", shown, out.FailedCall(), out.Error());
        return false;
    }
    return true;
}
void Biotope::HabitatRGBtoHSL(const Image* rgb, Image* hsl) {
    Notice("Biotope::HabitatRGBtoHSL() : ");
    if (rgb == nullptr || hsl == nullptr) {
        std::fprintf(stderr, "failure : no input\n");
        return;
    }
    if (rgb->data == nullptr || hsl->data == nullptr) {
        std::fprintf(stderr, "failure : no input data\n");
        return;
    }
    if (rgb->width != hsl->width) {
        std::fprintf(stderr, "failure : incompatible input widths (%d - %d)\n",
                     static_cast<int>(rgb->width), static_cast<int>(hsl->width));
        return;
    }
    if (rgb->height != hsl->height) {
        std::fprintf(stderr, "failure : incompatible input heights  (%d - %d)\n",
                     static_cast<int>(rgb->height), static_cast<int>(hsl->height));
        return;
    }
    if (rgb->format.bpp != 24 || hsl->format.bpp != 24) {
        std::fprintf(stderr, "failure : incompatible color depths\n");
        return;
    }
    Notice("done\n");
    const size_t n = static_cast<size_t>(rgb->width) * rgb->height;
    const RGB_888* in = reinterpret_cast<const RGB_888*>(rgb->data);
    HSL_888* out = reinterpret_cast<HSL_888*>(hsl->data);
    for (size_t i = 0; i < n; ++i) RGBtoHSL(&in[i], &out[i]);
}

// Placement takes coordinates modulo the habitat's size: bots can only be
// scattered on a habitat (which has at least one cell).
bool Biotope::ReInitCommunity(const StartClock& clock) {
    Trace("Biotope::ReInitCommunity()\n");
    const uint32_t w = rgb_habitat.width;
    const uint32_t h = rgb_habitat.height;
    if (n_bots > 0 && !HasHabitat()) {
        std::fprintf(stderr, "Biotope::ReInitCommunity() failure: no habitat\n");
        return false;
    }
    seed = static_cast<uint64_t>(clock.Read());
    srandom_tovi(static_cast<uint32_t>(seed));
    for (unsigned long i = 0; i < n_bots; ++i) {
        bots[i].x = static_cast<int32_t>(static_cast<unsigned long>(random_tovi()) % w);
        bots[i].y = static_cast<int32_t>(static_cast<unsigned long>(random_tovi()) % h);
        bots[i].dir = random_tovi() & 7;
    }
    n_updates = 0;
    return true;
}

void Biotope::ClearHabitat(const RGB_888* c, unsigned long clear_seed) {
    if (c == nullptr) {
        std::fprintf(stderr, "Biotope::ClearHabitat() failure: no colour\n");
        return;
    }
    if (!HasHabitat()) {
        std::fprintf(stderr, "Biotope::ClearHabitat() failure: no habitat\n");
        return;
    }
    srandom_tovi(static_cast<uint32_t>(clear_seed));
    RGB_888 k;
    k.r = static_cast<uint8_t>(c->r + (random_tovi() & 7));
    k.g = static_cast<uint8_t>(c->g + (random_tovi() & 7));
    k.b = static_cast<uint8_t>(c->b + (random_tovi() & 7));
    ClearHabitat(&k);
    srandom_tovi(static_cast<uint32_t>(seed));
}
