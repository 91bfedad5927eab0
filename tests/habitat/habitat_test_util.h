// Helpers shared by the habitat tests: captured output, files in a private
// temporary folder and snapshots of the world's rasters.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/image.h"
#include "world/biotope.h"

// What an operation returned and wrote.
template <typename R>
struct Captured {
    R result;
    std::string out;
    std::string err;
};

template <typename F>
auto Capture(F f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    auto result = f();
    Captured<decltype(result)> c{result, "", ""};
    c.out = testing::internal::GetCapturedStdout();
    c.err = testing::internal::GetCapturedStderr();
    return c;
}

// Runs a void operation and returns only its output.
template <typename F>
Captured<bool> CaptureVoid(F f) {
    return Capture([&] {
        f();
        return true;
    });
}

// A fresh folder for one test, removed with everything in it afterwards.
class TempFolder {
public:
    TempFolder() {
        std::string tmpl = testing::TempDir() + "habitat.XXXXXX";
        if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    bool ok() const { return !path_.empty(); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(path_, ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The packed cells of a three-byte raster.
inline std::string Cells(const Image& im) {
    if (im.data == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(im.data),
                       static_cast<size_t>(im.width) * im.height * 3);
}

// Fills a three-byte raster with a pattern that differs from cell to cell and
// from row to row, including bytes that look like header text.
inline void FillPattern(Image& im, uint32_t salt = 0) {
    uint32_t v = 2463534242u + salt;
    const size_t n = static_cast<size_t>(im.width) * im.height * 3;
    for (size_t i = 0; i < n; ++i) {
        v ^= v << 13;
        v ^= v >> 17;
        v ^= v << 5;
        im.data[i] = static_cast<uint8_t>(v >> 24);
    }
}

// A habitat file as SaveHabitat writes it, with the given pixel bytes.
inline std::string PPM(int w, int h, const std::string& pixels) {
    return "P6\n#quib habitat\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" +
           pixels;
}
