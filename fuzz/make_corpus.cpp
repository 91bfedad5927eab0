// Writes the seed corpus of the fuzz targets: valid and invalid habitat
// files, BMP files, file writer cases and command lines of both commands, each
// a small file in <out>/habitat, <out>/bmp, <out>/file_writer, <out>/render_args
// and <out>/window_args. Every file is made here.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool ok = true;

void Write(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
        ok = false;
    }
    if (f != nullptr && std::fclose(f) != 0) ok = false;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A colourful pattern of n bytes.
Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 37 + (i >> 3));
    return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void Habitats(const std::string& dir) {
    const std::string magic = "P6\n#quib habitat\n";
    const Bytes px12 = Pattern(4 * 3 * 3);
    Write(dir + "/valid-4x3.ppm", Text(magic + "4 3\n255\n") + px12);
    Write(dir + "/comments-4x3.ppm", Text("P6\n# one\n# two\n4 3\n# three\n255\n") + px12);
    Write(dir + "/maxval-65535.ppm", Text(magic + "4 3\n65535\n") + px12);
    Write(dir + "/valid-16x9.ppm", Text(magic + "16 9\n255\n") + Pattern(16 * 9 * 3));
    Write(dir + "/valid-1x1.ppm", Text(magic + "1 1\n255\n") + Pattern(3));
    Write(dir + "/other-size.ppm", Text(magic + "640 480\n255\n") + px12);
    Write(dir + "/one-line-header.ppm", Text("P6 4 3 255\n") + px12);
    Write(dir + "/truncated.ppm", Text(magic + "4 3\n255\n") + Pattern(20));
    Write(dir + "/empty.ppm", Bytes());
    Write(dir + "/grey-p5.ppm", Text("P5\n4 3\n255\n") + Pattern(12));
    Write(dir + "/long-comment.ppm", Text("P6\n#" + std::string(300, 'x') + "\n4 3\n255\n") + px12);
    Write(dir + "/negative-size.ppm", Text(magic + "-4 3\n255\n") + px12);
    Write(dir + "/huge-size.ppm", Text(magic + "99999999999 3\n255\n") + px12);
    Write(dir + "/one-number.ppm", Text(magic + "4\n255\n") + px12);
    Write(dir + "/no-maxval.ppm", Text(magic + "4 3\n"));
    Write(dir + "/only-magic.ppm", Text("P6"));
}

void Put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

struct Bmp {
    uint32_t width = 2;
    int32_t height = 2;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    uint32_t clr_used = 0;
    uint32_t table_entries = 0;  // colour-table entries actually written
    int64_t off_bits = -1;       // -1: right after the table
    int64_t pixel_bytes = -1;    // -1: the full rows
    uint16_t type = 0x4D42;
};

Bytes MakeBmp(const Bmp& m) {
    const uint64_t row = ((static_cast<uint64_t>(m.width) * m.bpp + 7) / 8 + 3) / 4 * 4;
    const uint64_t rows =
        static_cast<uint64_t>(m.height < 0 ? -static_cast<int64_t>(m.height) : m.height);
    const size_t table = m.table_entries * 4u;
    const size_t pixels =
        m.pixel_bytes >= 0 ? static_cast<size_t>(m.pixel_bytes) : static_cast<size_t>(row * rows);
    Bytes b(54 + table);
    Put16(b, 0, m.type);
    Put32(b, 2, static_cast<uint32_t>(54 + table + pixels));
    Put32(b, 10,
          static_cast<uint32_t>(m.off_bits >= 0 ? m.off_bits : static_cast<int64_t>(54 + table)));
    Put32(b, 14, 40);
    Put32(b, 18, m.width);
    Put32(b, 22, static_cast<uint32_t>(m.height));
    Put16(b, 26, 1);
    Put16(b, 28, m.bpp);
    Put32(b, 30, m.compression);
    Put32(b, 34, static_cast<uint32_t>(row * rows));
    Put32(b, 38, 3000);
    Put32(b, 42, 3000);
    Put32(b, 46, m.clr_used);
    for (size_t i = 0; i < m.table_entries; ++i) {
        b[54 + i * 4] = static_cast<uint8_t>(i);
        b[55 + i * 4] = static_cast<uint8_t>(255 - i);
        b[56 + i * 4] = static_cast<uint8_t>(i * 7);
    }
    return b + Pattern(pixels);
}

void Bmps(const std::string& dir) {
    Bmp m;
    Write(dir + "/rgb24-2x2.bmp", MakeBmp(m));
    m.width = 3;
    m.height = -2;
    Write(dir + "/rgb24-top-down-3x2.bmp", MakeBmp(m));
    m = Bmp();
    m.compression = 3;
    Write(dir + "/rgb24-bitfields.bmp", MakeBmp(m));
    m = Bmp();
    m.pixel_bytes = 9;
    Write(dir + "/rgb24-truncated.bmp", MakeBmp(m));
    m = Bmp();
    m.off_bits = 4000;
    Write(dir + "/rgb24-offset-past-end.bmp", MakeBmp(m));
    m = Bmp();
    m.type = 0x5A4D;
    Write(dir + "/not-bmp.bmp", MakeBmp(m));
    m = Bmp();
    m.width = 0x7FFFFFFF;
    m.height = 1;
    m.pixel_bytes = 16;
    Write(dir + "/rgb24-huge-width.bmp", MakeBmp(m));
    m = Bmp();
    m.width = 0;
    Write(dir + "/rgb24-zero-width.bmp", MakeBmp(m));

    m = Bmp();
    m.width = 4;
    m.height = 1;
    m.bpp = 8;
    m.clr_used = 256;
    m.table_entries = 256;
    Write(dir + "/grey8-4x1.bmp", MakeBmp(m));
    m.clr_used = 16;
    m.table_entries = 16;
    Write(dir + "/pal8-16-colours.bmp", MakeBmp(m));
    m.clr_used = 1000;
    m.table_entries = 16;
    Write(dir + "/pal8-too-many-colours.bmp", MakeBmp(m));
    m = Bmp();
    m.width = 9;
    m.height = 2;
    m.bpp = 1;
    m.table_entries = 2;
    Write(dir + "/mono1-9x2.bmp", MakeBmp(m));

    for (const int bpp : {4, 16, 32, 2, 0}) {
        m = Bmp();
        m.bpp = static_cast<uint16_t>(bpp);
        m.table_entries = bpp == 4 ? 16 : 0;
        Write(dir + "/bpp" + std::to_string(bpp) + ".bmp", MakeBmp(m));
    }
    m = Bmp();
    m.bpp = 8;
    m.compression = 1;
    Write(dir + "/rle8.bmp", MakeBmp(m));
    Bytes header = MakeBmp(Bmp());
    header.resize(30);
    Write(dir + "/header-only.bmp", header);
}

void RenderArgs(const std::string& dir) {
    const char* const lines[] = {
        "--no-gl\n--ticks\n10\n--size\n64x48\n--habitat\n/tmp/x.ppm",
        "--help",
        "--preset\n3\n--seed\n1765000000\n--size\n160x120",
        "--minutes\n0.5\n--quiet",
        "--png\nout.png\n--markers\n--start-from\nin.ppm",
        "--no-gl\n--trace\nt.txt\n--final-state",
        "--size\n0x0",
        "--size\n32768X32768",
        "--ticks\n5\n--minutes\n1",
        "--seed\n-1",
        "--preset\n10",
        "--no-gl\n--png\nout.png",
        "--trace\nt.txt",
        "--bogus",
        "--habitat",
        "",
    };
    int n = 0;
    for (const char* line : lines) Write(dir + "/args-" + std::to_string(n++), Text(line));
}

// Window command lines: each way to name a window, the ignored hack flags, repeats.
void WindowArgs(const std::string& dir) {
    const char* const lines[] = {
        "-root",
        "--window-id\n0x1a00007\n-root\n--seed\n1765000000",
        "-window-id\n4294967295\n--ticks\n25\n--habitat\n/tmp/x.ppm",
        "-window\n-install\n-noinstall\n-mono\n-visual\ndefault\n-delay\n20000",
        "-fps\n-no-fps\n-display\n:0",
        "--help-window",
        "--preset\n3\n--preset\n4",
        "-window-id\n0",
        "--ticks\n",
        "--bogus",
    };
    int n = 0;
    for (const char* line : lines) Write(dir + "/args-" + std::to_string(n++), Text(line));
}

// One seed per kind of target the file writer fuzz target makes (first byte),
// each saved or given up, with a few pieces to write.
void WriterCases(const std::string& dir) {
    for (int kind = 0; kind < 8; ++kind) {
        for (int give_up : {0, 0x80}) {
            const Bytes b = {static_cast<uint8_t>(kind | give_up), 0x24, 'P', '6', 0, 'x', 0};
            Write(dir + "/case-" + std::to_string(kind) + (give_up ? "-given-up" : ""), b);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus OUT_DIR\n");
        return 2;
    }
    const std::string out = argv[1];
    for (const char* sub :
         {"", "/habitat", "/bmp", "/file_writer", "/render_args", "/window_args"}) {
        const std::string d = out + sub;
        if (mkdir(d.c_str(), 0777) != 0 && errno != EEXIST) {
            std::perror(d.c_str());
            return 1;
        }
    }
    Habitats(out + "/habitat");
    Bmps(out + "/bmp");
    RenderArgs(out + "/render_args");
    WindowArgs(out + "/window_args");
    WriterCases(out + "/file_writer");
    return ok ? 0 : 1;
}
