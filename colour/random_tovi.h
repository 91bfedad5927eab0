// The system's own random generator: an additive feedback generator over a
// caller-owned or the global state, seeded through the minimal standard
// multiplier. For every seed below 2^31 its outputs equal those of the C
// library's srandom()/random(), but the state words are 64-bit.
#pragma once

#include <cstdint>

extern "C" {

struct random_state_tovi {
    int64_t* front;      // the word that receives the next sum
    int64_t* rear;       // the word added into *front
    int64_t* state;      // first state word; state[-1] is the position word
    int32_t type;        // 0..4
    int32_t degree;      // number of state words
    int32_t separation;  // distance from rear to front
    int64_t* end;        // one past the last state word
};

// Global state: position word followed by 31 state words (type 3).
extern int64_t randtbl_tovi[32];
extern random_state_tovi unsafe_state_tovi;

void srandom_tovi(uint32_t seed);
long random_tovi(void);

// Operations on a caller-owned record: 0 on success, -1 on failure. A record
// must be bound to a buffer by initstate_r_tovi (or setstate_r_tovi) before
// it is seeded or drawn from; a zero-initialised record is refused until then.
int32_t random_r_tovi(random_state_tovi* buf, int64_t* result);
int32_t srandom_r_tovi(uint32_t seed, random_state_tovi* buf);
// The size n selects the type: 8..31 bytes type 0, 32..63 type 1, 64..127
// type 2, 128..255 type 3, 256 and more type 4. The buffer must hold the
// position word and the state words of that type as 64-bit words: 16, 64,
// 128, 256 or 512 bytes, which is more than n.
int32_t initstate_r_tovi(uint32_t seed, int64_t* state_buffer, uint32_t n, random_state_tovi* buf);
// Saves the position of the current buffer and resumes the given one where
// its position word says. Refuses a buffer whose position word names no type
// or a rear word outside that type's state.
int32_t setstate_r_tovi(int64_t* state_buffer, random_state_tovi* buf);

}  // extern "C"

// One step of the generator on a record of type 1..4, with no checks. Inline
// so that the hot loops of the simulation pay no call for a draw.
inline long random_step_tovi(random_state_tovi* buf) {
    int64_t* fptr = buf->front;
    int64_t* rptr = buf->rear;
    uint64_t sum = static_cast<uint64_t>(*fptr) + static_cast<uint64_t>(*rptr);
    *fptr = static_cast<int64_t>(sum);
    long result = static_cast<long>((static_cast<int64_t>(sum) >> 1) & 0x7fffffff);
    ++fptr;
    if (fptr >= buf->end) {
        fptr = buf->state;
        ++rptr;
    } else {
        ++rptr;
        if (rptr >= buf->end) rptr = buf->state;
    }
    buf->front = fptr;
    buf->rear = rptr;
    return result;
}
