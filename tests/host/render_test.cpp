// The renderers as `lumivor render` runs them: the headless OpenGL renderer and
// the simulation-only one must write the same picture, equal to the habitat file.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/x_server.h"

namespace {

using std::chrono::seconds;
const std::string kLumivor = std::string(LUMIVOR_BINARY_DIR) + "/cli/lumivor";
const std::string kScratch = ::testing::TempDir() + "lumivor_render_" + std::to_string(getpid());

// The text of a habitat file of w x h pixels, `rgb` top row first.
std::string Habitat(long w, long h, const std::string& rgb) {
    return "P6\n#quib habitat\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" + rgb;
}

// A PNG file as the habitat file of the same picture would hold it; empty if unreadable.
std::string PngAsHabitat(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return "";
    image.format = PNG_FORMAT_RGB;
    std::string rgb(PNG_IMAGE_SIZE(image), '\0');
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return "";
    return Habitat(image.width, image.height, rgb);
}

// Runs `lumivor render` with these arguments; the exit status, standard error in *err.
int Render(const std::vector<std::string>& args, std::string* err = nullptr) {
    std::vector<std::string> argv = {kLumivor, "render"};
    argv.insert(argv.end(), args.begin(), args.end());
    TestChild child;
    if (!child.Start(argv, "")) return -1;
    const int status = child.Wait(seconds(60));
    if (err) *err = child.Err();
    return status;
}

class RenderTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (const char* suffix : {".ppm", ".png", "-nogl.ppm", "-nogl.png", "-start.ppm"})
            std::remove((kScratch + suffix).c_str());
    }
};

// Both renderers' PNGs show exactly the habitat they save, odd and wide sizes too.
TEST_F(RenderTest, BothRenderersWriteThePictureOfTheHabitat) {
    for (const char* size : {"160x120", "97x61", "300x40"}) {
        SCOPED_TRACE(size);
        const std::vector<std::string> run = {"--seed", "1765000000", "--size",
                                              size,     "--ticks",    "25"};
        std::vector<std::string> gl = run, nogl = run;
        gl.insert(gl.end(), {"--habitat", kScratch + ".ppm", "--png", kScratch + ".png"});
        nogl.insert(nogl.end(), {"--no-gl", "--habitat", kScratch + "-nogl.ppm", "--png",
                                 kScratch + "-nogl.png"});
        std::string err;
        ASSERT_EQ(Render(gl, &err), 0) << err;
        ASSERT_EQ(Render(nogl, &err), 0) << err;
        const std::string saved = ReadFile(kScratch + ".ppm");
        EXPECT_TRUE(PngAsHabitat(kScratch + ".png") == saved) << "the GL PNG differs";
        EXPECT_TRUE(PngAsHabitat(kScratch + "-nogl.png") == saved) << "the no-GL PNG differs";
        EXPECT_TRUE(ReadFile(kScratch + "-nogl.ppm") == saved) << "the habitats differ";
        EXPECT_NE(saved.find_first_not_of("\xc9\xca\xc4", 30), std::string::npos)
            << "nothing drawn";
    }
}

// A render that starts from a picture shows that picture with the new trails on it.
TEST_F(RenderTest, StartFromShowsTheLoadedPicture) {
    std::string err;
    ASSERT_EQ(Render({"--no-gl", "--preset", "4", "--seed", "99", "--size", "97x61", "--ticks",
                      "40", "--habitat", kScratch + "-start.ppm"},
                     &err),
              0)
        << err;
    for (const char* ticks : {"1", "2", "20"}) {
        SCOPED_TRACE(std::string("ticks ") + ticks);
        ASSERT_EQ(Render({"--seed", "7", "--ticks", ticks, "--start-from", kScratch + "-start.ppm",
                          "--habitat", kScratch + ".ppm", "--png", kScratch + ".png"},
                         &err),
                  0)
            << err;
        const std::string saved = ReadFile(kScratch + ".ppm");
        EXPECT_TRUE(PngAsHabitat(kScratch + ".png") == saved) << "the PNG differs";
    }
}

// A surface larger than OpenGL can draw is refused before the world is built.
TEST_F(RenderTest, SizeAboveTheOpenGLLimitIsRefusedAtOnce) {
    std::string err;
    EXPECT_EQ(Render({"--size", "32768x1", "--png", kScratch + ".png"}, &err), 1);
    EXPECT_NE(err.find("larger than this OpenGL can draw"), std::string::npos) << err;
    EXPECT_NE(err.find("--no-gl"), std::string::npos) << err;
    EXPECT_EQ(err.find("InitCommunity"), std::string::npos) << "the world was built: " << err;
}

}  // namespace
