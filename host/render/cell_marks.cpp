#include "host/render/cell_marks.h"

#include <cstring>
#include <new>

bool CellMarks::Create(const Biotope& world) {
    marks.Destroy();
    if (!world.HasHabitat()) return false;
    const uint32_t w = world.hsl_habitat.width, h = world.hsl_habitat.height;
    // Allocated here, so that a world too large for its marks runs without
    // them silently: the picture is the same.
    bytes_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(w) * h]());
    const PIXELFORMAT one_byte = {8, 0, 0, 0, 0};
    return bytes_ && marks.Create(w, h, w, &one_byte, bytes_.get());
}

void CellMarks::Repaint(Biotope& world) {
    if (marks.data == nullptr || !world.RepaintDisplay(marks)) return;
    std::memset(marks.data, 0, static_cast<size_t>(marks.width) * marks.height);
}
