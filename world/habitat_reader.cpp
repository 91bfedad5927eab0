// Reading habitat files (binary PPM): the loader into an existing world, and
// the one-pass reader for a world that is sized to fit its file.
#include "world/habitat_reader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "bots/messages.h"
#include "image/file_writer.h"
#include "world/biotope.h"

namespace {

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
    const size_t bytes = HabitatRowOffset(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
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
        if (std::ferror(f)) std::perror("LoadHabitat() fread()");  // not the end: a failed read
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
    const size_t row_bytes = HabitatRowOffset(w, 1);
    for (uint32_t r = 0; r < h; ++r) {
        std::memcpy(
            world.rgb_habitat.data + HabitatRowOffset(w, HabitatRowOfFileRow(r, h, topDown)),
            rows + HabitatRowOffset(w, r), row_bytes);
    }
    Notice("%d x %d\n", static_cast<int>(w), static_cast<int>(h));
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

// Standard input as a stream of its own, on a copy of its descriptor; null
// with errno set (EBADF when it is closed).
std::FILE* OpenStandardInput() {
#ifdef _WIN32
    const int fd = _dup(0);
    if (fd < 0) return nullptr;
    _setmode(fd, _O_BINARY);
    std::FILE* f = _fdopen(fd, "rb");
    if (f == nullptr) _close(fd);
#else
    const int fd = fcntl(0, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        const int err = errno;
        close(fd);
        errno = err;
    }
#endif
    return f;
}

// The loader's report of a file it cannot open, as perror gives it.
void OpenFailure(const char* reason) {
    std::fprintf(stderr, "LoadHabitat() fopen(): %s\n", reason);
}

}  // namespace

const char kStandardInputClosed[] = "standard input is closed";

std::FILE* OpenHabitatFile(const char* path, const char** reason) {
    const bool standard_input = path != nullptr && std::strcmp(path, "-") == 0;
    errno = EINVAL;
    std::FILE* f = path == nullptr  ? nullptr
                   : standard_input ? OpenStandardInput()
                                    : OpenFile(path, "rb");
    if (f == nullptr) {
        *reason = standard_input && errno == EBADF ? kStandardInputClosed : std::strerror(errno);
        return nullptr;
    }
    // A folder fails at the first read: it is a file that cannot be opened.
    const int first = std::getc(f);
    if (first == EOF && std::ferror(f)) {
        *reason = std::strerror(errno);
        std::fclose(f);
        return nullptr;
    }
    std::ungetc(first, f);
    return f;
}

bool ReadHabitatPicture(const char* path, HabitatPicture* picture) {
    const char* reason = "";
    ScopedFile f(OpenHabitatFile(path, &reason));
    if (f == nullptr) {
        OpenFailure(reason);
        return false;
    }
    return ReadHabitatPicture(f.get(), picture);
}

bool ReadHabitatPicture(FILE* f, HabitatPicture* picture) {
    int w = 0;
    int h = 0;
    if (!ReadHeader(f, &w, &h)) return false;
    if (w < 1 || h < 1 || w > kMaxHabitatSide || h > kMaxHabitatSide) {
        std::fprintf(stderr, "invalid size (%d x %d): each side must be 1 to %d\n", w, h,
                     kMaxHabitatSide);
        return false;
    }
    if (!ReadPixels(f, w, h, &picture->rows)) return false;
    picture->width = w;
    picture->height = h;
    return true;
}

bool LoadHabitatPicture(Biotope& world, const char* path, const HabitatPicture& picture,
                        bool topDown) {
    Trace("Biotope::LoadHabitat(%s)\n", path != nullptr ? path : "");
    if (picture.rows == nullptr || !SameSize(world, picture.width, picture.height)) return false;
    PutRows(world, picture.rows.get(), topDown);
    return true;
}

// Every header check and the whole pixel read happen before the habitat is
// touched: a refused or short file leaves both rasters as they were. A world
// without a habitat takes only a "0 0" file; any other is of another size.
bool Biotope::LoadHabitat(const char* path, bool topDown) {
    Trace("Biotope::LoadHabitat(%s)\n", path != nullptr ? path : "");
    if (path == nullptr) {
        std::fprintf(stderr, "Biotope::LoadHabitat() failure: no path\n");
        return false;
    }
    const char* reason = "";
    ScopedFile f(OpenHabitatFile(path, &reason));
    if (f == nullptr) {
        OpenFailure(reason);
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
