// Reading a habitat file in one pass, for a world that is sized to fit it.
// The path is opened once and read front to back, so a pipe or a process
// substitution works as well as a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

class Biotope;

// Rows in a habitat file are packed, width x 3 bytes each, no padding.
inline size_t HabitatRowOffset(uint32_t width, uint32_t row) {
    return static_cast<size_t>(row) * width * 3;
}

// The habitat row that file row r holds: topDown puts habitat row 0 first.
inline uint32_t HabitatRowOfFileRow(uint32_t r, uint32_t height, bool topDown) {
    return topDown ? r : height - 1 - r;
}

// Largest habitat side a file may name: the largest surface side a render takes.
constexpr int kMaxHabitatSide = 32768;

// Opens a habitat or picture file for reading; "-" is standard input, read
// through a copy of its descriptor so that closing the stream leaves it open.
// A folder, which opens as a stream on some systems, fails here too, at its
// first read. On failure: null and *reason the system's reason, or
// kStandardInputClosed when "-" names a closed standard input.
std::FILE* OpenHabitatFile(const char* path, const char** reason);
extern const char kStandardInputClosed[];

// A habitat file's size and its pixel rows in file order, width x 3 bytes each.
struct HabitatPicture {
    int width = 0;
    int height = 0;
    std::unique_ptr<uint8_t[]> rows;
};

// Reads a whole habitat file. The header follows the loader's rules; the
// maximum value must be 255; each side must be 1 to kMaxHabitatSide; a file
// whose length can be measured must hold every pixel before any memory is
// taken for them, and a stream is read in growing steps. On failure: the
// reason on standard error (the system's text after "LoadHabitat() fopen()"
// when the path cannot be opened) and false.
bool ReadHabitatPicture(const char* path, HabitatPicture* picture);
// The same from a stream at the start of the file (the caller closes it).
bool ReadHabitatPicture(std::FILE* f, HabitatPicture* picture);

// Puts a picture read by ReadHabitatPicture into the world's habitat as
// LoadHabitat does with a file: the same trace line (with path), size check,
// row order and messages. The picture must be the habitat's size.
bool LoadHabitatPicture(Biotope& world, const char* path, const HabitatPicture& picture,
                        bool topDown);
