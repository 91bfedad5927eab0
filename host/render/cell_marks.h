// The headless render's drawing: nothing is shown until the end, so the world
// marks the cells its bots paint (a byte per cell) instead of recording every
// trail colour, and the display habitat is brought up to date from the marked
// cells only when a picture is wanted. The cheapest of the three drawings.
#pragma once

#include <cstdint>
#include <memory>

#include "image/image.h"
#include "saver/saver.h"

class CellMarks : public TrailDrawing {
  public:
    Image marks;  // a byte per cell of the world, set where a bot painted

    // Marks of the world's size, all clear. False when they cannot be had:
    // the world then records and paints its trails as it goes, to the same
    // picture.
    bool Create(const Biotope& world);
    // The world's habitat is cleared with it; the display holds the clear colour.
    void Clear(RGB_888) override {}
    void DrawTrails(const Biotope&) override {}
    Image* Marks() override { return marks.data != nullptr ? &marks : nullptr; }
    // The display habitat as the saver's own update would have left it; the
    // marks start again from clear.
    void Repaint(Biotope& world);

  private:
    std::unique_ptr<uint8_t[]> bytes_;  // the marks' memory, checked as it is had
};
