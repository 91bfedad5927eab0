#include "host/render/png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "image/file_writer.h"

namespace {

// libpng reports errors by longjmp; this frame holds nothing that needs destroying.
bool EncodePNG(std::FILE* f, png_bytep* rows, int w, int h, char* error_text) {
    png_structp png = png_create_write_struct(
        PNG_LIBPNG_VER_STRING, error_text,
        [](png_structp p, png_const_charp msg) {
            auto* text = static_cast<char*>(png_get_error_ptr(p));
            std::snprintf(text, 256, "%s", msg);
            png_longjmp(p, 1);
        },
        nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Row pointers into bottom-first RGB rows, top row first; null when out of memory.
std::unique_ptr<png_bytep[]> TopRowFirst(const uint8_t* rgb, int w, int h) {
    std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[static_cast<size_t>(h)]);
    const size_t stride = static_cast<size_t>(w) * 3;
    for (int y = 0; rows && y < h; ++y)
        rows[static_cast<size_t>(y)] =
            const_cast<png_bytep>(rgb + static_cast<size_t>(h - 1 - y) * stride);
    return rows;
}

}  // namespace

bool WritePNG(const char* path, const uint8_t* rgb, int w, int h, std::FILE* diag) {
    if (w <= 0 || h <= 0 || !rgb) {
        std::fprintf(diag, "lumivor: no picture to write to %s\n", path);
        return false;
    }
    const std::unique_ptr<png_bytep[]> rows = TopRowFirst(rgb, w, h);
    if (!rows) {
        std::fprintf(diag, "lumivor: cannot write %s: out of memory\n", path);
        return false;
    }

    FileWriter out;
    if (!out.Open(path)) {
        std::fprintf(diag, "lumivor: cannot write %s: %s\n", path, std::strerror(out.Error()));
        return false;
    }
    char error_text[256] = "write error";
    bool ok = EncodePNG(out.Stream(), rows.get(), w, h, error_text);
    if (!ok) {
        out.Abandon();
    } else if (!out.Commit()) {
        ok = false;
        std::snprintf(error_text, sizeof error_text, "%s", std::strerror(out.Error()));
    }
    if (!ok) std::fprintf(diag, "lumivor: cannot write %s: %s\n", path, error_text);
    return ok;
}

bool WritePNGToStream(std::FILE* out, const uint8_t* rgb, int w, int h, std::FILE* diag) {
    if (w <= 0 || h <= 0 || !rgb) {
        std::fprintf(diag, "lumivor: no picture to write to standard output\n");
        return false;
    }
    const std::unique_ptr<png_bytep[]> rows = TopRowFirst(rgb, w, h);
    char error_text[256] = "out of memory";
    bool ok = rows && EncodePNG(out, rows.get(), w, h, error_text);
    if (ok && (std::fflush(out) != 0 || std::ferror(out))) {
        ok = false;
        std::snprintf(error_text, sizeof error_text, "%s", std::strerror(errno));
    }
    if (!ok) {
        std::fprintf(diag, "lumivor: cannot write to standard output: %s\n", error_text);
        std::clearerr(out);  // reported here, once
    }
    return ok;
}
