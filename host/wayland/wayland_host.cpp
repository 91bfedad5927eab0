// `lumivor --wayland`: the saver over every output of a Wayland compositor, or
// in a window, on the run loop every window host shares. The heart ticks it
// and PixelTrails paints one picture; each surface shows its part of that
// picture (the bottom-left corner, as the world is drawn) through wl_shm
// buffers, with only the changed tiles copied and reported as damage, and no
// commit before the compositor has shown the last.

#include "host/wayland/wayland_host.h"

#include <algorithm>
#include <memory>
#include <new>

#include "host/shared/pixel_trails.h"
#include "host/shared/run_loop.h"
#include "host/wayland/wayland_client.h"
#include "world/biotope.h"
#include "world/habitat_reader.h"

namespace {

// The picture every surface shows a part of, painted by the heart's pixel painter.
struct Picture {
    std::unique_ptr<uint32_t[]> pixels;
    int width = 0, height = 0;
    PixelTrails trails;

    bool Resize(int w, int h, std::FILE* diag) {
        // The habitat saved at the end must be one that a run can start from again.
        if (w > kMaxHabitatSide || h > kMaxHabitatSide) {
            std::fprintf(diag, "lumivor: the outputs need a %dx%d picture; its sides go up to %d\n",
                         w, h, kMaxHabitatSide);
            return false;
        }
        pixels.reset(new (std::nothrow) uint32_t[static_cast<size_t>(w) * h]());
        width = pixels ? w : 0;
        height = pixels ? h : 0;
        // XRGB8888 with the unused byte set: tools that read the output as ARGB
        // (screenshots among them) see it opaque.
        trails.Attach(pixels.get(), width, height, width * 4, PixelFormat{.fill = 0xff000000u});
        if (!pixels) std::fprintf(diag, "lumivor: no memory for a %dx%d picture\n", w, h);
        return pixels != nullptr;
    }
};

// The compositor's surfaces as the run loop sees them.
class WaylandRun : public RunHost {
  public:
    WaylandRun(const WindowJob& job, WaylandClient& client) : job_(job), client_(client) {
        saver_.start = job.start;
    }

    HostNews Pump(long long wait_ns) override {
        HostNews news;
        if (!client_.Dispatch(wait_ns)) {
            client_.Failed();
            news.failed = true;
            return news;
        }
        news.ended = client_.input_ended;
        client_.Sync();
        views_ = client_.Views();
        if (views_.empty() && client_.any_closed) {
            // Surfaces closed as the compositor goes away are a lost connection.
            wl_display_roundtrip(client_.display());
            news.failed = client_.Failed();
            news.ended = !news.failed;
            return news;
        }
        if (!FollowSize(&news)) {
            news.failed = true;
            return news;
        }
        // A new or resized surface is shown whole.
        for (View* view : views_) {
            const bool had_changes = view->HasChanges();
            view->Fit();
            news.changed = news.changed || (!had_changes && view->HasChanges());
        }
        return news;
    }
    // The background ticks only while the compositor wants a new picture on some
    // output: a surface it does not show (covered, or its output off) gets no
    // frame event back, and its pictures wait.
    bool CanTick() const override {
        if (!started_ || client_.role() != Role::kBackground) return started_;
        return std::any_of(views_.begin(), views_.end(),
                           [](const View* v) { return v->frame == nullptr; });
    }
    void Tick() override { saver_.Tick(picture_.trails); }
    bool CanPresent() const override {
        return std::any_of(views_.begin(), views_.end(), [](const View* v) { return v->Ready(); });
    }
    // The tiles painted since the last present go to every view; each ready
    // view shows what changed for it.
    double Present() override {
        if (!picture_.trails.damage.Empty()) {
            const PixelRect* rects = nullptr;
            const int count = picture_.trails.damage.Take(&rects);
            for (View* view : views_)
                for (int i = 0; i < count; ++i)
                    view->MarkChanged(rects[i], picture_.height - view->height());
        }
        double shown = 0;
        int commits = 0;
        for (View* view : views_) {
            if (!view->HasChanges() || !view->Ready()) continue;
            const double share =
                view->Commit(picture_.pixels.get(), picture_.width, picture_.height);
            if (share < 0) return -1;
            shown += share;
            ++commits;
        }
        return commits > 0 ? shown / commits : 0;
    }
    bool Unshown() const override {
        return !picture_.trails.damage.Empty() ||
               std::any_of(views_.begin(), views_.end(),
                           [](const View* v) { return v->HasChanges(); });
    }

  private:
    // The picture covers the largest view. On the outputs a new size starts the
    // run again at that size; a window's surface is cleared, and the world keeps
    // its size. False, reported, when the picture or the world cannot be had.
    bool FollowSize(HostNews* news) {
        int width = 0, height = 0;
        for (const View* view : views_) {
            if (view->width() < 1 || view->height() < 1) return true;  // its size comes first
            width = std::max(width, view->width());
            height = std::max(height, view->height());
        }
        if (views_.empty() || (width == picture_.width && height == picture_.height)) return true;
        if (!picture_.Resize(width, height, job_.diag)) return false;
        if (started_ && client_.role() == Role::kWindow) {
            saver_.SurfaceChanged();
            news->changed = true;
            return true;
        }
        if (!saver_.Start(width, height)) return false;
        if (job_.fps && !started_)
            std::fprintf(job_.diag, "lumivor: Wayland, %s, %dx%d, wl_shm buffers\n",
                         client_.RoleName(), width, height);
        started_ = news->started = true;
        return true;
    }

    const WindowJob& job_;
    WaylandClient& client_;
    Saver saver_;
    Picture picture_;
    std::vector<View*> views_;
    bool started_ = false;
};

}  // namespace

int RunWaylandHost(const WindowJob& job) {
    WaylandClient client(job.diag);
    if (!client.Connect()) return StopRequested() ? EndBeforeWorld(job, 0) : 1;
    if (!client.Open(job.in_window, job.wallpaper)) return 1;
    int status = 0;
    {
        WaylandRun run(job, client);
        status = RunLoop(job, run, false);
    }
    biotope.Destroy();
    return status;
}
