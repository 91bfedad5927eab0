// The saver's heart on a pixel buffer: it shows the display habitat, cell for cell, for every
// community; and the first OpenGL display of a process clears. (OpenGL's trails for every
// community: the saver soak's file; the render's cell marks: the reference runs and the video
// test's frames; a host's cadence: the run loop's tests below; the surface cleared after a resize,
// then drawn on: the X host test's BothWaysRedrawAfterAnExposeAndAResize for pixels, the
// saver view's test for OpenGL.)
//
// The window hosts' tick clock: every tick is run while the host keeps up; a host
// that falls behind runs a few late ticks at once and drops the rest. Their run
// loop against a host of the test's own that runs a real saver on a tiny world,
// waits for real and reports what the test scripts: the pacing, the hold after
// --ticks, each way a run ends and the habitat at the end.
#include "saver/saver.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/shared/clocks.h"
#include "host/shared/outputs.h"
#include "host/shared/pixel_trails.h"
#include "host/shared/run_loop.h"
#include "saver/frame_driver.h"
#include "saver/tick_clock.h"
#include "tests/support/captured.h"
#include "tests/support/files.h"
#include "tests/support/gl_surface.h"
#include "world/community.h"

namespace {

TEST(Drawing, PixelsShowTheDisplayHabitatForEveryCommunity) {
    const PixelFormat rgba{0, 8, 16, 0xff000000u, false};
    for (int n = 0; n < kCommunityCount; ++n) {
        SCOPED_TRACE("community " + std::to_string(n));
        const int w = 97 + n, h = 61 + 2 * n;  // odd sizes: rows are not 4-byte multiples

        Saver saver;
        saver.start = RunStart{StartClock::Fixed(1765000000 + n), n};
        Captured([&] { saver.Start(w, h); });
        biotope.SetBotSteps(400);  // more steps than a share: trails cross and overwrite
        std::vector<uint32_t> buffer(size_t(w) * h);
        PixelTrails pixels;
        ASSERT_TRUE(pixels.Attach(buffer.data(), w, h, w * 4, rgba));
        for (int t = 1; t <= 16; ++t) saver.Tick(pixels);
        const Image& habitat = biotope.rgb_habitat;
        const std::vector<uint8_t> shown(habitat.data, habitat.data + size_t(w) * h * 3);
        ASSERT_NE(shown, std::vector<uint8_t>(shown.size(), shown[0])) << "nothing painted";
        std::vector<uint8_t> bottom_up;  // the buffer as OpenGL reads a surface back
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < w; ++x)
                for (int shift : {0, 8, 16})
                    bottom_up.push_back(uint8_t(buffer[size_t(y) * w + x] >> shift));
        EXPECT_EQ(bottom_up, shown);
    }
}

// How many pixels of `rgb` have the colour c.
size_t Count(const std::vector<uint8_t>& rgb, RGB_888 c) {
    size_t n = 0;
    for (size_t i = 0; i < rgb.size(); i += 3)
        n += rgb[i] == c.r && rgb[i + 1] == c.g && rgb[i + 2] == c.b;
    return n;
}

// The first OnDisplay of the process clears before it draws; later ones draw
// over what the surface holds. (CTest runs every test in a process of its own.)
TEST(FrameDriver, OnlyTheFirstDisplayOfTheProcessClears) {
    TestGLSurface gl;
    ASSERT_TRUE(gl.Create(64, 48));
    Captured([] { StartRun(64, 48, RunStart{StartClock::Fixed(1765000000), -1}); });
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    OnDisplay();
    EXPECT_EQ(Count(gl.ReadRGB(), {0, 0, 0}), 0u);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    OnDisplay();
    EXPECT_GT(Count(gl.ReadRGB(), {0, 0, 0}), 64u * 48u / 2);  // a few trails on black
}

constexpr long long kTick = TickClock::kTickNs;

TEST(TickClock, RunsEachTickOnTimeCatchesUpAFewLateOnesAndDropsTheRest) {
    TickClock clock;
    clock.Restart(1000);
    EXPECT_EQ(clock.TakeDue(1000), 1);
    EXPECT_EQ(clock.TakeDue(1000 + kTick - 1), 0);
    EXPECT_EQ(clock.WaitNs(1000 + kTick - 1), 1);
    EXPECT_EQ(clock.TakeDue(1000 + kTick), 1);
    clock.Restart(0);
    // Three ticks late: all four due ticks run, nothing is dropped.
    EXPECT_EQ(clock.TakeDue(3 * kTick), 4);
    EXPECT_EQ(clock.WaitNs(3 * kTick), kTick);
    // A long stall: four ticks run, the backlog is dropped, the next is due now.
    clock.Restart(0);
    EXPECT_EQ(clock.TakeDue(100 * kTick), TickClock::kMaxLateTicks);
    EXPECT_EQ(clock.WaitNs(100 * kTick), 0);
    EXPECT_EQ(clock.TakeDue(100 * kTick), 1);
    EXPECT_EQ(clock.WaitNs(100 * kTick), kTick);
}

struct NoDrawing : TrailDrawing {
    void Clear(RGB_888) override {}
    void DrawTrails(const Biotope&) override {}
};

// `script(host)` gives the news of each pump; a start builds a 64 x 48 world. The
// host waits for real, as long as the loop asks, unless it has news.
struct ScriptedHost : RunHost {
    std::function<HostNews(ScriptedHost&)> script;
    bool paces = false, built = false, unpresented = false, unshown_at_finish = false;
    Saver saver;
    NoDrawing drawing;
    unsigned long ticks = 0, held_at = 0;  // all ticks; ticks when the loop held (12 since a start)
    int pumps = 0, presents = 0, presents_held = 0, batches_unpresented = 0;
    long long first_pump = 0, longest_wait = 0, pump_end = 0, present_pump_end = 0,
              closest_present = kMaxWaitNs;

    HostNews Pump(long long wait_ns) override {
        longest_wait = std::max(longest_wait, wait_ns);
        batches_unpresented += unpresented;
        if (++pumps == 1) first_pump = NowNs();
        HostNews news = script(*this);
        news.ended = news.ended || NowNs() - first_pump > 20 * kMaxWaitNs;  // a stuck loop fails
        pollfd none{-1, 0, 0};
        if (!news.started && !news.changed && !news.ended && !news.failed)
            WaitForEvents(&none, wait_ns);
        if (news.started) built = saver.Start(64, 48);
        pump_end = NowNs();
        return news;
    }
    bool CanTick() const override { return built; }
    void Tick() override {
        ++ticks;
        saver.Tick(drawing);
        unpresented = true;
        if (saver.ticks_run == 12) held_at = ticks;
    }
    double Present() override {
        // The loop reads its clock after a pump ends and before it presents: an unheld
        // present comes kPresentNs after the pump that preceded the last present, or later.
        if (presents++ > 0 && held_at == 0)
            closest_present = std::min(closest_present, NowNs() - present_pump_end);
        present_pump_end = pump_end;
        presents_held += held_at != 0;
        unpresented = false;
        return 1;
    }
    bool PacesItself() const override { return paces; }
    void Finish(bool unshown) override { unshown_at_finish = unshown; }
};

// Runs `host` for 12 ticks, the loop's messages on standard error; the status.
int RunScripted(ScriptedHost& host, const std::string& habitat) {
    WindowJob job;
    job.ticks = 12;
    job.habitat_path = habitat;
    return RunLoop(job, host, false);  // ended by its ticks: the X host test's hack windows
}

TEST(RunLoop, PacesHoldsEndsAndSaves) {
    HoldStopSignals();
    TempFolder dir;
    const std::string habitat = dir / "h.ppm", again = dir / "again.ppm";
    testing::internal::CaptureStdout();  // the world's messages

    // Started, started again after 3 ticks or more (the count restarts), held after 12
    // more (the last ticks still shown), then changed (shown again) and ended.
    ScriptedHost held;
    unsigned long restarted_at = 0;
    held.script = [&restarted_at](ScriptedHost& h) -> HostNews {
        if (h.pumps == 1) return {.started = true};
        if (restarted_at == 0 && h.ticks >= 3)
            return restarted_at = h.ticks, HostNews{.started = true};
        return {.changed = h.presents_held == 1, .ended = h.presents_held == 2};
    };
    EXPECT_EQ(RunScripted(held, habitat), 0);
    EXPECT_TRUE(held.ticks == restarted_at + 12 && held.held_at == held.ticks);
    EXPECT_EQ(held.presents_held, 2);
    EXPECT_GE(held.closest_present, kPresentNs);
    EXPECT_LE(held.longest_wait, kMaxWaitNs);
    EXPECT_EQ(biotope.n_updates, 2u * (12 - 1));  // the first tick after a start only clears
    EXPECT_FALSE(held.unshown_at_finish);
    ASSERT_TRUE(SaveHabitatAtEnd(again, "test", stderr));
    EXPECT_EQ(ReadFile(habitat), ReadFile(again));

    // Failed before a world was built: status 1, the file kept, and a line says so.
    ASSERT_TRUE(WriteFile(habitat, "kept"));
    ScriptedHost failing;
    failing.script = [](ScriptedHost&) { return HostNews{.failed = true}; };
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunScripted(failing, habitat), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "lumivor: the run ended before its world was built; nothing was saved to " + habitat +
                  "\n");
    EXPECT_EQ(ReadFile(habitat), "kept");

    // A stop signal, held until the host waits, ends a run that presents at its own pace
    // (every batch of ticks at once); the habitat is saved.
    ScriptedHost stopped;
    stopped.paces = true;
    unsigned long stopped_at = 0;
    stopped.script = [&stopped_at](ScriptedHost& h) {
        if (stopped_at == 0 && h.ticks >= 5) stopped_at = h.ticks, std::raise(SIGTERM);
        return HostNews{.started = h.pumps == 1};
    };
    EXPECT_EQ(RunScripted(stopped, habitat), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(StopRequested() && stopped.ticks == stopped_at);
    EXPECT_EQ(stopped.batches_unpresented, 0);
    EXPECT_EQ(ReadFile(habitat).rfind("P6\n", 0), 0u);
}

}  // namespace
