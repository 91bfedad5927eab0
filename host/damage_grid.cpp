#include "host/damage_grid.h"

#include <cstring>
#include <new>

namespace {

// A box is split only where that leaves out at least this many unchanged tiles:
// a smaller saving does not pay for another rectangle.
constexpr long kMinWasteTiles = 32;

}  // namespace

void DamageGrid::Reset(int width, int height) {
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    const int cols = (width_ + kTile - 1) / kTile, rows = (height_ + kTile - 1) / kTile;
    if (cols != cols_ || rows != rows_ || !marks_) {
        cols_ = cols;
        rows_ = rows;
        const size_t tiles = static_cast<size_t>(cols) * static_cast<size_t>(rows);
        // Tiles, then one count per column and per row for splitting.
        marks_.reset(tiles > 0 ? new (std::nothrow) uint8_t[tiles] : nullptr);
        counts_.reset(tiles > 0 ? new (std::nothrow) int[cols + rows] : nullptr);
        if (!counts_) marks_.reset();
    }
    Clear();
    all_ = true;
}

void DamageGrid::Clear() {
    if (marks_) std::memset(marks_.get(), 0, static_cast<size_t>(cols_) * rows_);
    all_ = any_ = false;
}

void DamageGrid::MarkPoints(const Point2i* points, unsigned long count) {
    if (!marks_ || !points) return;
    uint8_t* marks = marks_.get();
    const unsigned w = static_cast<unsigned>(width_), h = static_cast<unsigned>(height_);
    for (unsigned long i = 0; i < count; ++i) {
        const unsigned x = static_cast<unsigned>(points[i].x);
        const unsigned y = static_cast<unsigned>(points[i].y);
        if (x < w && y < h) marks[(y / kTile) * static_cast<unsigned>(cols_) + x / kTile] = 1;
    }
    any_ = any_ || count > 0;
}

// Narrows the box to the changed tiles inside it; false when there are none.
bool DamageGrid::Shrink(Box* box) const {
    int c0 = box->c1, c1 = box->c0, r0 = box->r1, r1 = box->r0;
    long marked = 0;
    for (int r = box->r0; r < box->r1; ++r) {
        const uint8_t* row = marks_.get() + static_cast<size_t>(r) * cols_;
        for (int c = box->c0; c < box->c1; ++c) {
            if (!row[c]) continue;
            ++marked;
            if (c < c0) c0 = c;
            if (c >= c1) c1 = c + 1;
            if (r < r0) r0 = r;
            r1 = r + 1;
        }
    }
    if (marked == 0) return false;
    *box = Box{c0, r0, c1, r1, marked, false};
    return true;
}

// Cuts a narrowed box in two: along its widest band of unchanged columns or
// rows, or, when there is none and the box is mostly unchanged, across the
// middle of its longer side. False when a cut does not pay.
bool DamageGrid::Split(const Box& box, Box* first, Box* second) const {
    int* col_counts = counts_.get();
    int* row_counts = counts_.get() + cols_;
    for (int c = box.c0; c < box.c1; ++c) col_counts[c] = 0;
    for (int r = box.r0; r < box.r1; ++r) {
        const uint8_t* row = marks_.get() + static_cast<size_t>(r) * cols_;
        int n = 0;
        for (int c = box.c0; c < box.c1; ++c) {
            col_counts[c] += row[c];
            n += row[c];
        }
        row_counts[r] = n;
    }
    // The longest run of empty entries in counts[lo, hi): its start and length.
    auto longest_gap = [](const int* counts, int lo, int hi, int* start) {
        int best = 0, run = 0;
        for (int i = lo; i < hi; ++i) {
            run = counts[i] == 0 ? run + 1 : 0;
            if (run > best) best = run, *start = i - run + 1;
        }
        return best;
    };
    int col_start = 0, row_start = 0;
    const long col_gap = longest_gap(col_counts, box.c0, box.c1, &col_start);
    const long row_gap = longest_gap(row_counts, box.r0, box.r1, &row_start);
    *first = *second = box;
    if (col_gap * (box.r1 - box.r0) >= kMinWasteTiles &&
        col_gap * (box.r1 - box.r0) >= row_gap * (box.c1 - box.c0)) {
        first->c1 = col_start;
        second->c0 = col_start + static_cast<int>(col_gap);
    } else if (row_gap * (box.c1 - box.c0) >= kMinWasteTiles) {
        first->r1 = row_start;
        second->r0 = row_start + static_cast<int>(row_gap);
    } else if (box.marked * 2 < box.Area()) {
        if (box.c1 - box.c0 >= box.r1 - box.r0)
            first->c1 = second->c0 = (box.c0 + box.c1) / 2;
        else
            first->r1 = second->r0 = (box.r0 + box.r1) / 2;
    } else {
        return false;
    }
    // A narrowed box has changed tiles in its first and last column and row, so
    // both parts keep some.
    return Shrink(first) && Shrink(second);
}

int DamageGrid::Take(PixelRect* rects) {
    if (Empty()) return 0;
    int n = 0;
    if (All()) {
        rects[n++] = PixelRect{0, 0, width_, height_};
    } else {
        Box boxes[kMaxRects];
        boxes[0] = Box{0, 0, cols_, rows_, 0, false};
        if (Shrink(&boxes[0])) n = 1;
        while (n > 0 && n < kMaxRects) {
            // Split the box with the most unchanged tiles first.
            int worst = -1;
            for (int i = 0; i < n; ++i)
                if (!boxes[i].dense && boxes[i].Area() - boxes[i].marked >= kMinWasteTiles &&
                    (worst < 0 ||
                     boxes[i].Area() - boxes[i].marked > boxes[worst].Area() - boxes[worst].marked))
                    worst = i;
            if (worst < 0) break;
            Box first, second;
            if (Split(boxes[worst], &first, &second)) {
                boxes[worst] = first;
                boxes[n++] = second;
            } else {
                boxes[worst].dense = true;
            }
        }
        for (int i = 0; i < n; ++i) {
            const Box& b = boxes[i];
            const int x = b.c0 * kTile, y = b.r0 * kTile;
            const int right = b.c1 * kTile < width_ ? b.c1 * kTile : width_;
            const int top = b.r1 * kTile < height_ ? b.r1 * kTile : height_;
            rects[i] = PixelRect{x, y, right - x, top - y};
        }
    }
    Clear();
    return n;
}
