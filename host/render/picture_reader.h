// Pictures a render can start from: PNG, BMP or binary PPM, told apart by the
// file's first byte, never by its name. The path is opened once and read front
// to back, so a pipe works as well as a file.
//
// Every format is held to the limits of habitat files (world/habitat_reader.h):
// each side 1 to kMaxHabitatSide, and a file must be able to hold what its
// header names before memory is taken for it.
//   PNG  read by libpng: 8-bit RGB, RGBA, grey, grey with alpha and palette
//        pictures (also 1, 2 and 4 bits a sample, interlaced or not) become
//        RGB; 16-bit samples are reduced to 8 bits by rounding (v x 255 / 65535);
//        alpha and transparency (an alpha channel or a tRNS chunk, also of a
//        palette) are dropped, not composed over anything; the
//        samples are taken as stored (no gamma or colour profile is applied).
//        Its compressed data must be at least 1/1032 of the pixel bytes it
//        names (the most deflate can pack); a stream that cannot be
//        measured (a pipe) is read whole first and held to the same rule.
//   BMP  read by the program's own BMP reader (image/image.h): 1- and 8-bit
//        pictures through their colour table, 16-, 24- and 32-bit ones,
//        bottom-up or top-down, with a core (OS/2), info or later header;
//        16- and 32-bit pixels by the file's bit-field masks (5-5-5 and
//        8-8-8 without them), each channel scaled to 8 bits by rounding;
//        alpha is dropped.
//   PPM  read by the habitat reader, which checks its length itself.
#pragma once

#include <cstdio>

#include "world/habitat_reader.h"

// Reads the picture at `path` into *picture: RGB rows, top row first (the
// order of a habitat file saved with kTopRowFirst). On failure: the reason
// on standard error and false.
bool ReadStartPicture(const char* path, HabitatPicture* picture);

// The readers by format, each from a stream at the start of its file.
// Failures as above.
bool ReadPNGPicture(std::FILE* f, HabitatPicture* picture);
bool ReadBMPPicture(std::FILE* f, HabitatPicture* picture);

// Whether this build reads PNG files (libpng was found).
bool PictureReaderHasPNG();
