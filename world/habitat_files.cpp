// Habitat files (binary PPM) and the world's inspection tools: conversion of
// an RGB raster into the HSL habitat, drawing the display copy and the bots'
// markers, scattering the bots anew and the seeded clear.
#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "colour/random_tovi.h"
#include "image/file_writer.h"
#include "world/biotope.h"
#include "world/clock.h"
#include "world/habitat_file.h"

namespace {

// A raster the world can address as packed three-byte cells.
bool HasCells24(const Image& im) {
    return im.data != nullptr && im.format.bpp == 24;
}

// Header lines are read at most 127 characters at a time: a longer line is
// taken as several. At the end of the file the buffer holds an empty line,
// which neither begins with "P6" or "#" nor parses.
constexpr int kLineSize = 128;

void ReadHeaderLine(FILE* f, char* line) {
    if (std::fgets(line, kLineSize, f) == nullptr) line[0] = '\0';
}

// Reads lines until one does not begin with "#" (a comment) and leaves it in line.
void ReadItemLine(FILE* f, char* line) {
    do {
        ReadHeaderLine(f, line);
    } while (line[0] == '#');
}

// Reads one decimal integer as "%d" does (leading blanks, optional sign) and
// advances p past it. Out-of-range values are clamped to the int range rather
// than wrapped, so a huge size can never alias a real one.
bool ParseInt(const char*& p, int* out) {
    char* end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p) return false;
    if (v > INT_MAX) {
        *out = INT_MAX;
    } else if (v < INT_MIN) {
        *out = INT_MIN;
    } else {
        *out = static_cast<int>(v);
    }
    p = end;
    return true;
}

// Byte offset of habitat row y among packed rows of `width` cells.
size_t RowOffset(uint32_t width, uint32_t y) {
    return static_cast<size_t>(y) * width * 3;
}

// The habitat row that file row r holds.
uint32_t HabitatRow(uint32_t r, uint32_t height, bool topDown) {
    return topDown ? r : height - 1 - r;
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
        const uint8_t* row = rgb.data + RowOffset(rgb.width, HabitatRow(r, rgb.height, topDown));
        if (std::fwrite(row, 1, row_bytes, f) != row_bytes) return false;
    }
    return true;
}

// Reports a failed save: the path, then the system error text of the step.
void SaveFailure(const char* what, const char* path, const char* call, int err) {
    std::fprintf(stderr, "could not %s %s\n", what, path);
    std::fprintf(stderr, "SaveHabitat() %s(): %s\n", call, std::strerror(err));
}

// Closes the file it holds when it goes out of scope.
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

// Reads the header up to the pixel bytes: the size and a maximum value of 255.
// Refusals are reported with the loader's messages.
bool ReadHeader(FILE* f, int* width, int* height) {
    char line[kLineSize];
    ReadHeaderLine(f, line);
    if (std::strncmp(line, "P6", 2) != 0) {
        std::fprintf(stderr, "unsupported file format (no .ppm)\n");
        return false;
    }
    *width = 0;
    *height = 0;
    ReadItemLine(f, line);
    const char* p = line;
    if (!ParseInt(p, width) || !ParseInt(p, height)) {
        std::fprintf(stderr, "invalid size (%d x %d)\n", *width, *height);
        return false;
    }
    int maxval = 0;
    ReadItemLine(f, line);
    p = line;
    if (!ParseInt(p, &maxval)) {
        std::fprintf(stderr, "invalid maxval (%d)\n", maxval);
        return false;
    }
    // Samples are read as single bytes, which is right for 255 only.
    if (maxval != 255) {
        std::fprintf(stderr, "invalid maxval (%d): only 255 is supported\n", maxval);
        return false;
    }
    return true;
}

// Reads the w x h pixels that follow the header into *out. A measurable file
// must be long enough before anything is allocated; a stream is read in
// steps that grow with what has arrived, so a header alone cannot make the
// program take the memory it names.
bool ReadPixels(FILE* f, int w, int h, std::unique_ptr<uint8_t[]>* out) {
    const size_t bytes = RowOffset(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    struct stat st;
    const long at = std::ftell(f);
    const bool measured = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && at >= 0;
    if (measured && static_cast<uint64_t>(st.st_size - at) < bytes) {
        std::fprintf(stderr, "truncated pixel data (%d x %d)\n", w, h);
        return false;
    }
    constexpr size_t kFirstStep = size_t{1} << 20;
    size_t capacity = measured || bytes < kFirstStep ? bytes : kFirstStep;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[capacity > 0 ? capacity : 1]);
    size_t filled = 0;
    while (buffer != nullptr) {
        filled += std::fread(buffer.get() + filled, 1, capacity - filled, f);
        if (filled < capacity || capacity == bytes) break;
        const size_t grown = capacity * 2 < bytes ? capacity * 2 : bytes;
        std::unique_ptr<uint8_t[]> next(new (std::nothrow) uint8_t[grown]);
        if (next != nullptr) std::memcpy(next.get(), buffer.get(), filled);
        buffer = std::move(next);
        capacity = grown;
    }
    if (buffer == nullptr) {
        std::fprintf(stderr, "cannot allocate pixel data (%d x %d)\n", w, h);
        return false;
    }
    if (filled != bytes) {
        std::fprintf(stderr, "truncated pixel data (%d x %d)\n", w, h);
        return false;
    }
    *out = std::move(buffer);
    return true;
}

// Copies file rows into the habitat in the order topDown selects and derives
// the HSL habitat.
void PutRows(Biotope& world, const uint8_t* rows, bool topDown) {
    const uint32_t w = world.rgb_habitat.width;
    const uint32_t h = world.rgb_habitat.height;
    const size_t row_bytes = RowOffset(w, 1);
    for (uint32_t r = 0; r < h; ++r) {
        std::memcpy(world.rgb_habitat.data + RowOffset(w, HabitatRow(r, h, topDown)),
                    rows + RowOffset(w, r), row_bytes);
    }
    std::fprintf(stderr, "%d x %d\n", static_cast<int>(w), static_cast<int>(h));
    world.HabitatRGBtoHSL(&world.rgb_habitat, &world.hsl_habitat);
}

// The world's habitat has the file's size; else the loader's refusal.
bool SameSize(const Biotope& world, int fw, int fh) {
    const uint32_t w = world.rgb_habitat.width;
    const uint32_t h = world.rgb_habitat.height;
    if (fw >= 0 && fh >= 0 && static_cast<uint32_t>(fw) == w && static_cast<uint32_t>(fh) == h)
        return true;
    std::fprintf(stderr, "incompatible size : habitat %d x %d, file %d x %d\n", static_cast<int>(w),
                 static_cast<int>(h), fw, fh);
    return false;
}

}  // namespace

// The file goes through the program's file writer: devices and pipes are
// written into, a file is replaced whole or, where replacing would change
// what the user sees, written in place.
bool Biotope::SaveHabitat(const char* path, bool topDown) {
    std::printf("Biotope::SaveHabitat(%s)\n", path != nullptr ? path : "");
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

bool ReadHabitatFileSize(const char* path, int* width, int* height) {
    FILE* f = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (f == nullptr) return false;
    char line[kLineSize];
    ReadHeaderLine(f, line);
    bool ok = std::strncmp(line, "P6", 2) == 0;
    if (ok) {
        ReadItemLine(f, line);
        const char* p = line;
        ok = ParseInt(p, width) && ParseInt(p, height) && *width > 0 && *height > 0;
    }
    std::fclose(f);
    return ok;
}

bool ReadHabitatPicture(const char* path, HabitatPicture* picture) {
    ScopedFile f(path != nullptr ? std::fopen(path, "rb") : nullptr);
    if (f == nullptr) {
        if (path == nullptr) errno = EINVAL;
        std::perror("LoadHabitat() fopen()");
        return false;
    }
    int w = 0;
    int h = 0;
    if (!ReadHeader(f.get(), &w, &h)) return false;
    if (w < 1 || h < 1 || w > kMaxHabitatSide || h > kMaxHabitatSide) {
        std::fprintf(stderr, "invalid size (%d x %d): each side must be 1 to %d\n", w, h,
                     kMaxHabitatSide);
        return false;
    }
    if (!ReadPixels(f.get(), w, h, &picture->rows)) return false;
    picture->width = w;
    picture->height = h;
    return true;
}

bool LoadHabitatPicture(Biotope& world, const char* path, const HabitatPicture& picture,
                        bool topDown) {
    std::printf("Biotope::LoadHabitat(%s)\n", path != nullptr ? path : "");
    if (picture.rows == nullptr || !SameSize(world, picture.width, picture.height)) return false;
    PutRows(world, picture.rows.get(), topDown);
    return true;
}

// Every header check and the whole pixel read happen before the habitat is
// touched: a refused or short file leaves both rasters as they were. A world
// without a habitat takes only a "0 0" file; any other is of another size.
bool Biotope::LoadHabitat(const char* path, bool topDown) {
    std::printf("Biotope::LoadHabitat(%s)\n", path != nullptr ? path : "");
    if (path == nullptr) {
        std::fprintf(stderr, "Biotope::LoadHabitat() failure: no path\n");
        return false;
    }
    ScopedFile f(std::fopen(path, "rb"));
    if (f == nullptr) {
        std::perror("LoadHabitat() fopen()");
        return false;
    }
    int fw = 0;
    int fh = 0;
    std::unique_ptr<uint8_t[]> rows;
    if (!ReadHeader(f.get(), &fw, &fh) || !SameSize(*this, fw, fh) ||
        !ReadPixels(f.get(), fw, fh, &rows))
        return false;
    PutRows(*this, rows.get(), topDown);
    return true;
}

void Biotope::HabitatRGBtoHSL(const Image* rgb, Image* hsl) {
    std::fprintf(stderr, "Biotope::HabitatRGBtoHSL() : ");
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
    std::fprintf(stderr, "done\n");
    const size_t n = static_cast<size_t>(rgb->width) * rgb->height;
    const RGB_888* in = reinterpret_cast<const RGB_888*>(rgb->data);
    HSL_888* out = reinterpret_cast<HSL_888*>(hsl->data);
    for (size_t i = 0; i < n; ++i) RGBtoHSL(&in[i], &out[i]);
}

// The display copy's rows are packed, 3 x width bytes each, which is a
// multiple of OpenGL's default unpack alignment of 4 only for some widths:
// the alignment is set to 1 for the draw and restored afterwards.
void Biotope::DrawHabitat() {
    if (!HasCells24(rgb_habitat)) {
        std::fprintf(stderr, "Biotope::DrawHabitat() failure: no habitat\n");
        return;
    }
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glRasterPos2i(0, 0);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(static_cast<GLsizei>(rgb_habitat.width), static_cast<GLsizei>(rgb_habitat.height),
                 GL_RGB, GL_UNSIGNED_BYTE, rgb_habitat.data);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void Biotope::DrawInfo() {
    for (unsigned long i = 0; i < n_bots; ++i) {
        glPushMatrix();
        glTranslatef(static_cast<GLfloat>(bots[i].x), static_cast<GLfloat>(bots[i].y), 0.0f);
        bots[i].Draw();
        glPopMatrix();
    }
}

// Placement takes coordinates modulo the habitat's size: bots can only be
// scattered on a habitat (which has at least one cell).
bool Biotope::ReInitCommunity() {
    std::printf("Biotope::ReInitCommunity()\n");
    const uint32_t w = rgb_habitat.width;
    const uint32_t h = rgb_habitat.height;
    if (n_bots > 0 && !HasHabitat()) {
        std::fprintf(stderr, "Biotope::ReInitCommunity() failure: no habitat\n");
        return false;
    }
    seed = static_cast<unsigned long>(ReadClock());
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
