#include "world/biotope.h"

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <type_traits>

#include "behaviour/fast_walk.h"
#include "behaviour/presets.h"
#include "bots/messages.h"
#include "colour/random_tovi.h"

Biotope biotope;

namespace {

void FillCells(Image& image, unsigned long n, uint8_t a, uint8_t b, uint8_t c) {
    uint8_t* p = image.data;
    for (unsigned long i = 0; i < n; ++i, p += 3) {
        p[0] = a;
        p[1] = b;
        p[2] = c;
    }
}

}  // namespace

bool Biotope::HasHabitat() const {
    return rgb_habitat.data != nullptr && hsl_habitat.data != nullptr && rgb_habitat.width > 0 &&
           rgb_habitat.height > 0 && rgb_habitat.width == hsl_habitat.width &&
           rgb_habitat.height == hsl_habitat.height && rgb_habitat.format.bpp == 24 &&
           hsl_habitat.format.bpp == 24;
}

bool Biotope::Create(unsigned long n, unsigned long w, unsigned long h, uint64_t s) {
    // PRIu64 is "lu" where `unsigned long` has 64 bits: the line reads as it always did.
    Trace("Biotope::Create(%lu, %lu, %lu, %" PRIu64 ")\n", n, w, h, s);
    if (!CreateHabitat(w, h)) return false;
    return CreateCommunity(n, s);
}

bool Biotope::CreateHabitat(unsigned long w, unsigned long h) {
    // Both rasters are made together or not at all: a world never keeps one
    // raster of a new size beside one of another. Zero sizes are refused, as
    // bots are placed modulo width and height.
    bool ok = w > 0 && h > 0 && w <= 0xFFFFFFFFul && h <= 0xFFFFFFFFul;
    if (ok) ok = rgb_habitat.Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24);
    if (ok) {
        Trace("created %lux%lu habitat (3 8-bit rgb components)\n", w, h);
        ok = hsl_habitat.Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24);
        if (ok) Trace("created %lux%lu habitat (3 8-bit hsl components)\n", w, h);
    }
    if (!ok) {
        rgb_habitat.Destroy();
        hsl_habitat.Destroy();
        std::fprintf(stderr, "Biotope::CreateHabitat() failure: cannot create %lux%lu habitat\n", w,
                     h);
        return false;
    }
    const RGB_888 grey = {196, 196, 196};
    ClearHabitat(&grey);
    return true;
}

void Biotope::ClearHabitat(const RGB_888* c) {
    if (!HasHabitat()) return;
    const unsigned long n = static_cast<uint32_t>(rgb_habitat.width * rgb_habitat.height);
    FillCells(rgb_habitat, n, c->r, c->g, c->b);
    HSL_888 hsl;
    RGBtoHSL(c, &hsl);
    FillCells(hsl_habitat, n, hsl.h, hsl.s, hsl.l);
}

bool Biotope::CreateCommunity(unsigned long n, uint64_t s) {
    Trace("Biotope::CreateCommunity(%lu, %" PRIu64 ")\n", n, s);
    n_bots = n;
    seed = s;
    delete[] bots;
    bots = nullptr;
    if (n <= PTRDIFF_MAX / sizeof(Bot)) bots = new (std::nothrow) Bot[n];
    if (bots == nullptr) {
        std::fprintf(stderr, "CreateCommunity() failure: cannot create %lu bots\n", n);
        n_bots = 0;
        return false;
    }
    srandom_tovi(static_cast<uint32_t>(seed));
    // Without a habitat the bots cannot be placed; they stay at (0, 0) and
    // never walk, since Update and DisplayPaths need the habitat.
    const bool placed = HasHabitat();
    const long w = placed ? static_cast<long>(rgb_habitat.width) : 1;
    const long h = placed ? static_cast<long>(rgb_habitat.height) : 1;
    for (unsigned long i = 0; i < n_bots; ++i) {
        Bot& bot = bots[i];
        bot.x = static_cast<int32_t>(random_tovi() % w);
        bot.y = static_cast<int32_t>(random_tovi() % h);
        bot.hue_shift = hue_shift;
    }
    return true;
}

namespace {

// Selects a bot's channel from its gene: 0 hue, 1 saturation, anything else lightness.
void SelectChannel(Bot& bot, uint8_t gene, long* own, const uint8_t** nbh) {
    if (gene == 0) {
        *own = bot.color.h;
        *nbh = bot.nbh_h;
    } else if (gene == 1) {
        *own = bot.color.s;
        *nbh = bot.nbh_s;
    } else {
        *own = bot.color.l;
        *nbh = bot.nbh_l;
    }
}

}  // namespace

bool Biotope::InitCommunity() {
    srandom_tovi(static_cast<uint32_t>(seed));
    for (unsigned long i = 0; i < n_bots; ++i) {
        Bot& bot = bots[i];
        bot.color = HSL_888{bot.genes[10], bot.genes[11], bot.genes[12]};
        SelectChannel(bot, bot.genes[8], &bot.own_a, &bot.nbh_a);
        SelectChannel(bot, bot.genes[9], &bot.own_b, &bot.nbh_b);
        bot.value = random_tovi() & 255;
        bot.dir = random_tovi() & 7;
        bot.Print();
    }
    srandom_tovi(static_cast<uint32_t>(seed));
    n_updates = 0;
    return true;
}

void Biotope::SetBotSteps(unsigned long n) {
    if (bots == nullptr) return;
    bot_steps = n;
    for (unsigned long i = 0; i < n_bots; ++i) bots[i].SetPathSteps(n);
}

void Biotope::SetHueShift(unsigned char h) {
    hue_shift = h;
    for (unsigned long i = 0; i < n_bots; ++i) bots[i].hue_shift = h;
}

namespace {

// One update's walks: every bot in index order takes all its steps, each
// reported to the observer. Preset bots walk a loop specialised for their step
// function; any other bot takes the general step.
template <class Observer>
void WalkEveryBot(Biotope& w, const Observer& observer) {
    for (unsigned long i = 0; i < w.n_bots; ++i) {
        Bot& bot = w.bots[i];
        const behaviour::PresetWalks* preset = behaviour::WalksFor(bot.step_func);
        if (preset == nullptr) {
            behaviour::GeneralWalk(&bot, &w.hsl_habitat, &w.rgb_habitat, observer);
        } else if constexpr (std::is_same_v<Observer, behaviour::NoObserver>) {
            preset->walk(&bot, &w.hsl_habitat, &w.rgb_habitat);
        } else {
            preset->observed_walk(&bot, &w.hsl_habitat, &w.rgb_habitat, observer);
        }
    }
}

}  // namespace

bool Biotope::Update() {
    ++n_updates;
    if (HasHabitat()) WalkEveryBot(*this, behaviour::NoObserver{});
    return true;
}

bool Biotope::UpdateObserved(const behaviour::StepObserver& observer) {
    ++n_updates;
    if (HasHabitat()) WalkEveryBot(*this, observer);
    return true;
}

void Biotope::Destroy() {
    delete[] bots;
    bots = nullptr;
    n_bots = 0;
    rgb_habitat.Destroy();
    hsl_habitat.Destroy();
}
