// Habitat files (binary PPM) and the world's inspection tools: conversion of
// an RGB raster into the HSL habitat, drawing the display copy and the bots'
// markers, scattering the bots anew and the seeded clear.
#include "world/habitat_files.h"

#ifdef _WIN32
#include <windows.h>  // before gl.h, which needs its calling-convention macros
#else
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <GL/gl.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "bots/messages.h"
#include "colour/random_tovi.h"
#include "world/biotope.h"
#include "world/clock.h"

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

// Writes the header and the rows; false at the first failed write.
bool WriteHabitat(FILE* f, const Image& rgb, bool topDown) {
    if (std::fputs("P6\n", f) < 0) return false;
    if (std::fputs("#quib habitat\n", f) < 0) return false;
    if (std::fprintf(f, "%d %d\n", static_cast<int>(rgb.width), static_cast<int>(rgb.height)) < 0)
        return false;
    if (std::fputs("255\n", f) < 0) return false;
    const size_t row_bytes = static_cast<size_t>(rgb.width) * 3;
    for (uint32_t r = 0; r < rgb.height; ++r) {
        const uint8_t* row = rgb.data + RowOffset(rgb.width, HabitatRow(r, rgb.height, topDown));
        if (std::fwrite(row, 1, row_bytes, f) != row_bytes) return false;
    }
    return true;
}

// Reports a failed save: the path, then the system error text of the step.
void SaveFailure(const char* path, const char* step, int err) {
    std::fprintf(stderr, "could not write %s\n", path);
    errno = err;
    std::perror(step);
}

}  // namespace

// The file is written to a temporary file beside the target and renamed over
// it only when complete, so a failed save never leaves a truncated file in
// place of a good one. Targets that are not regular files (devices, pipes)
// are written directly; a symbolic link is followed to the file it names.
bool Biotope::SaveHabitat(const char* path, bool topDown) {
    Trace("Biotope::SaveHabitat(%s)\n", path != nullptr ? path : "");
    if (path == nullptr || path[0] == '\0') {
        std::fprintf(stderr, "Biotope::SaveHabitat() failure: no path\n");
        return false;
    }
    if (!HasCells24(rgb_habitat)) {
        std::fprintf(stderr, "Biotope::SaveHabitat() failure: no habitat\n");
        return false;
    }

#ifdef _WIN32
    // Windows: written in place, without the link, mode and sync handling below.
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        const int err = errno;
        std::fprintf(stderr, "could not open %s\n", path);
        errno = err;
        std::perror("SaveHabitat() fopen()");
        return false;
    }
    const char* failed = nullptr;
    int err = 0;
    if (!WriteHabitat(f, rgb_habitat, topDown) || std::fflush(f) != 0) {
        failed = "SaveHabitat() fwrite()";
        err = errno;
    }
    if (std::fclose(f) != 0 && failed == nullptr) {
        failed = "SaveHabitat() fclose()";
        err = errno;
    }
    if (failed != nullptr) SaveFailure(path, failed, err);
    return failed == nullptr;
#else
    // A link that names no file yet is written through, like a device.
    char* resolved = nullptr;  // from realpath(), released with free()
    bool direct = false;
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        resolved = realpath(path, nullptr);
        direct = resolved == nullptr;
    }
    const char* target = resolved != nullptr ? resolved : path;

    mode_t mode = 0;
    if (stat(target, &st) == 0) {
        direct = direct || !S_ISREG(st.st_mode);
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }

    // Temporary name: the target's folder, then ".habitat.XXXXXX".
    char* temp = nullptr;
    FILE* f = nullptr;
    if (direct) {
        f = std::fopen(target, "wb");
    } else {
        const char* slash = std::strrchr(target, '/');
        const size_t dir_len = slash != nullptr ? static_cast<size_t>(slash - target) + 1 : 0;
        static const char kTempName[] = ".habitat.XXXXXX";
        temp = new (std::nothrow) char[dir_len + sizeof kTempName];
        if (temp == nullptr) {
            errno = ENOMEM;
        } else {
            std::memcpy(temp, target, dir_len);
            std::memcpy(temp + dir_len, kTempName, sizeof kTempName);
            const int fd = mkstemp(temp);
            if (fd >= 0) {
                fchmod(fd, mode);
                f = fdopen(fd, "wb");
                if (f == nullptr) {
                    const int err = errno;
                    close(fd);
                    unlink(temp);
                    errno = err;
                }
            }
        }
    }
    if (f == nullptr) {
        const int err = errno;
        std::fprintf(stderr, "could not open %s\n", path);
        errno = err;
        std::perror("SaveHabitat() fopen()");
        delete[] temp;
        std::free(resolved);
        return false;
    }

    const char* failed = nullptr;
    int err = 0;
    if (!WriteHabitat(f, rgb_habitat, topDown) || std::fflush(f) != 0) {
        failed = "SaveHabitat() fwrite()";
        err = errno;
    } else if (!direct && fsync(fileno(f)) != 0) {
        failed = "SaveHabitat() fsync()";
        err = errno;
    }
    if (std::fclose(f) != 0 && failed == nullptr) {
        failed = "SaveHabitat() fclose()";
        err = errno;
    }
    if (failed == nullptr && !direct && std::rename(temp, target) != 0) {
        failed = "SaveHabitat() rename()";
        err = errno;
    }
    if (failed != nullptr) {
        if (!direct) unlink(temp);
        SaveFailure(path, failed, err);
    }
    delete[] temp;
    std::free(resolved);
    return failed == nullptr;
#endif
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

// Every header check and the whole pixel read happen before the habitat is
// touched: a refused or short file leaves both rasters as they were.
bool Biotope::LoadHabitat(const char* path, bool topDown) {
    Trace("Biotope::LoadHabitat(%s)\n", path != nullptr ? path : "");
    if (path == nullptr) {
        std::fprintf(stderr, "Biotope::LoadHabitat() failure: no path\n");
        return false;
    }
    if (!HasHabitat()) {
        std::fprintf(stderr, "Biotope::LoadHabitat() failure: no habitat\n");
        return false;
    }
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::perror("LoadHabitat() fopen()");
        return false;
    }

    char line[kLineSize];
    ReadHeaderLine(f, line);
    if (std::strncmp(line, "P6", 2) != 0) {
        std::fprintf(stderr, "unsupported file format (no .ppm)\n");
        std::fclose(f);
        return false;
    }

    int fw = 0;
    int fh = 0;
    ReadItemLine(f, line);
    const char* p = line;
    if (!ParseInt(p, &fw) || !ParseInt(p, &fh)) {
        std::fprintf(stderr, "invalid size (%d x %d)\n", fw, fh);
        std::fclose(f);
        return false;
    }

    int maxval = 0;  // read but not used: samples are always single bytes
    ReadItemLine(f, line);
    p = line;
    if (!ParseInt(p, &maxval)) {
        std::fprintf(stderr, "invalid maxval (%d)\n", maxval);
        std::fclose(f);
        return false;
    }

    const uint32_t w = rgb_habitat.width;
    const uint32_t h = rgb_habitat.height;
    if (fw < 0 || fh < 0 || static_cast<uint32_t>(fw) != w || static_cast<uint32_t>(fh) != h) {
        std::fprintf(stderr, "incompatible size : habitat %d x %d, file %d x %d\n",
                     static_cast<int>(w), static_cast<int>(h), fw, fh);
        std::fclose(f);
        return false;
    }

    // The size now equals the habitat's, so the buffer is no larger than it.
    const size_t bytes = RowOffset(w, h);
    uint8_t* pixels = new (std::nothrow) uint8_t[bytes > 0 ? bytes : 1];
    if (pixels == nullptr) {
        std::fprintf(stderr, "cannot allocate pixel data (%d x %d)\n", fw, fh);
        std::fclose(f);
        return false;
    }
    if (std::fread(pixels, 1, bytes, f) != bytes) {
        std::fprintf(stderr, "truncated pixel data (%d x %d)\n", fw, fh);
        delete[] pixels;
        std::fclose(f);
        return false;
    }
    std::fclose(f);

    const size_t row_bytes = RowOffset(w, 1);
    for (uint32_t r = 0; r < h; ++r) {
        std::memcpy(rgb_habitat.data + RowOffset(w, HabitatRow(r, h, topDown)),
                    pixels + RowOffset(w, r), row_bytes);
    }
    delete[] pixels;
    Notice("%d x %d\n", fw, fh);

    HabitatRGBtoHSL(&rgb_habitat, &hsl_habitat);
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
    Trace("Biotope::ReInitCommunity()\n");
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
