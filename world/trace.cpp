#include "world/trace.h"

#include "behaviour/step_observer.h"
#include "world/biotope.h"

namespace {

struct TraceContext {
    std::FILE* file;
    const Biotope* world;
    unsigned long update;
};

void WriteStep(void* context, const behaviour::StepRecord& r) {
    const TraceContext& t = *static_cast<const TraceContext*>(context);
    const unsigned long bot = static_cast<unsigned long>(r.bot - t.world->bots);
    std::fprintf(t.file, "%lu %lu %lu %d %d %ld %ld %d %d %d %d %d %d\n", t.update, bot, r.step,
                 r.x, r.y, r.value, r.dir, r.written.h, r.written.s, r.written.l, r.shown.r,
                 r.shown.g, r.shown.b);
}

}  // namespace

void UpdateTraced(std::FILE* trace) {
    TraceContext context{trace, &biotope, biotope.n_updates};
    biotope.UpdateObserved(behaviour::StepObserver{WriteStep, &context});
}
