// The global generator's draws made ahead, a batch at a time, for a walk that
// knows how many it will take: a bot of a preset draws the same number every
// step. The generator adds its rear word into its front word and both move on
// by one, around the table: laid out in a line from the front word on, that is
// the recurrence line[deg + m] = line[m] + line[deg + m - lag] (lag: the
// front's distance ahead of the rear), a loop without wrap-around tests or
// pointers to keep. The walk then reads its draws from an array, and the table
// and positions are written back as the same draws one by one would have left
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "colour/random_tovi.h"

namespace behaviour {

class DrawBatch {
  public:
    static constexpr size_t kMaxDraws = 768;  // a batch, at most
    static constexpr ptrdiff_t kMaxDegree = 63;

    // Takes over `generator`'s table and positions; false (nothing taken) for
    // a state that is not an additive table this can run ahead of.
    bool Start(random_state_tovi* generator) {
        generator_ = generator;
        const ptrdiff_t degree = generator->end - generator->state;
        const ptrdiff_t front = generator->front - generator->state;
        const ptrdiff_t rear = generator->rear - generator->state;
        if (generator->type == 0 || degree <= 0 || degree > kMaxDegree || front < 0 ||
            front >= degree || rear < 0 || rear >= degree || front == rear)
            return false;
        degree_ = degree;
        lag_ = (front - rear + degree) % degree;
        front_ = front;
        made_ = 0;
        for (ptrdiff_t j = 0; j < degree; ++j) line_[j] = generator->state[(front + j) % degree];
        return true;
    }

    // The next n draws (n at most kMaxDraws), in the order they are taken;
    // valid until the next call.
    const int32_t* Next(size_t n) {
        // The table as the draws so far left it, from the front word on.
        if (made_ > 0) std::memmove(line_, line_ + made_, static_cast<size_t>(degree_) * 8);
        front_ = (front_ + static_cast<ptrdiff_t>(made_)) % degree_;
        const ptrdiff_t d = degree_, back = degree_ - lag_;
        for (size_t m = 0; m < n; ++m) {
            const uint64_t sum = static_cast<uint64_t>(line_[m]) +
                                 static_cast<uint64_t>(line_[m + static_cast<size_t>(back)]);
            line_[m + static_cast<size_t>(d)] = static_cast<int64_t>(sum);
            draws_[m] = static_cast<int32_t>((static_cast<int64_t>(sum) >> 1) & 0x7fffffff);
        }
        made_ = n;
        return draws_;
    }

    // Writes the table and positions back as all the draws made leave them.
    void Finish() {
        const ptrdiff_t d = degree_;
        const ptrdiff_t front = (front_ + static_cast<ptrdiff_t>(made_)) % d;
        for (ptrdiff_t j = 0; j < d; ++j)
            generator_->state[(front + j) % d] = line_[static_cast<ptrdiff_t>(made_) + j];
        generator_->front = generator_->state + front;
        generator_->rear = generator_->state + (front - lag_ + d) % d;
    }

  private:
    random_state_tovi* generator_ = nullptr;
    ptrdiff_t degree_ = 0, lag_ = 0, front_ = 0;
    size_t made_ = 0;
    int64_t line_[kMaxDegree + kMaxDraws];
    int32_t draws_[kMaxDraws];
};

}  // namespace behaviour
