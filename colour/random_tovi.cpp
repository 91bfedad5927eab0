#include "colour/random_tovi.h"

namespace {

constexpr int kMaxTypes = 5;
// Separations first, then degrees, indexed by generator type.
constexpr int32_t random_poly_info[2][kMaxTypes] = {{0, 3, 1, 3, 1}, {0, 7, 15, 31, 63}};

int64_t position_word(const random_state_tovi* buf) {
    if (buf->type == 0) return 0;
    return 5 * (buf->rear - buf->state) + buf->type;
}

}  // namespace

extern "C" {

int64_t randtbl_tovi[32] = {
    3,           -1726662223, 379960547,  1735697613,  1040273694, 1313901226,  1627687941,
    -179304937,  -2073333483, 1780058412, -1989503057, -615974602, 344556628,   939512070,
    -1249116260, 1507946756,  -812545463, 154635395,   1388815473, -1926676823, 525320961,
    -1009028674, 968117788,   -123449607, 1284210865,  435012392,  -2017506339, -911064859,
    -370259173,  1132637927,  1398500161, -205601318,
};

random_state_tovi unsafe_state_tovi = {
    &randtbl_tovi[4], &randtbl_tovi[1], &randtbl_tovi[1], 3, 31, 3, &randtbl_tovi[32],
};

void srandom_tovi(uint32_t seed) {
    srandom_r_tovi(seed, &unsafe_state_tovi);
}

long random_tovi(void) {
    int64_t result = 0;
    random_r_tovi(&unsafe_state_tovi, &result);
    return static_cast<long>(result);
}

int32_t random_r_tovi(random_state_tovi* buf, int64_t* result) {
    if (buf == nullptr || result == nullptr || buf->state == nullptr) return -1;
    if (buf->type == 0) {
        // Linear congruential step, wrapping in 64 bits.
        uint64_t v = static_cast<uint64_t>(buf->state[0]) * 1103515245u + 12345u;
        int64_t next = static_cast<int64_t>(v & 0x7fffffff);
        buf->state[0] = next;
        *result = next;
        return 0;
    }
    *result = random_step_tovi(buf);
    return 0;
}

int32_t srandom_r_tovi(uint32_t seed, random_state_tovi* buf) {
    // A record that no buffer has been bound to (state still null) has
    // nothing to seed.
    if (buf == nullptr || buf->state == nullptr) return -1;
    if (static_cast<uint32_t>(buf->type) > 4) return -1;
    if (seed == 0) seed = 1;
    int64_t* state = buf->state;
    state[0] = static_cast<int64_t>(seed);
    if (buf->type == 0) return 0;

    int64_t word = seed;
    for (int i = 1; i < buf->degree; ++i) {
        // 16807 * word mod (2^31 - 1) by Schrage's method.
        int64_t hi = word / 127773;
        int64_t lo = word - 127773 * hi;
        word = 16807 * lo - 2836 * hi;
        if (word < 0) word += 2147483647;
        state[i] = word;
    }
    buf->front = &state[buf->separation];
    buf->rear = &state[0];
    for (int k = buf->degree * 10; k > 0; --k) random_step_tovi(buf);
    return 0;
}

int32_t initstate_r_tovi(uint32_t seed, int64_t* state_buffer, uint32_t n, random_state_tovi* buf) {
    if (buf == nullptr || state_buffer == nullptr) return -1;
    int type;
    if (n >= 128) {
        type = n < 256 ? 3 : 4;
    } else if (n < 32) {
        if (n < 8) return -1;
        type = 0;
    } else {
        type = n < 64 ? 1 : 2;
    }
    buf->type = type;
    buf->separation = random_poly_info[0][type];
    buf->degree = random_poly_info[1][type];
    buf->state = &state_buffer[1];
    buf->end = &buf->state[buf->degree];
    srandom_r_tovi(seed, buf);
    state_buffer[0] = 0;
    if (type != 0) state_buffer[0] = position_word(buf);
    return 0;
}

int32_t setstate_r_tovi(int64_t* state_buffer, random_state_tovi* buf) {
    if (state_buffer == nullptr || buf == nullptr) return -1;
    // Record where the current buffer stopped; a record not yet bound to any
    // buffer has no position to keep and is simply bound to the new one.
    if (buf->state != nullptr) buf->state[-1] = position_word(buf);

    int64_t t = state_buffer[0] % 5;
    if (t < 0 || t >= kMaxTypes) return -1;
    int32_t degree = random_poly_info[1][t];
    int32_t separation = random_poly_info[0][t];
    int32_t k = 0;
    if (t != 0) {
        // A corrupt position word must not move the pointers out of the state.
        int64_t rear_index = state_buffer[0] / 5;
        if (rear_index < 0 || rear_index >= degree) return -1;
        k = static_cast<int32_t>(rear_index);
    }
    buf->type = static_cast<int32_t>(t);
    buf->degree = degree;
    buf->separation = separation;
    int64_t* state = &state_buffer[1];
    if (t != 0) {
        buf->rear = &state[k];
        buf->front = &state[(k + separation) % degree];
    }
    buf->state = state;
    buf->end = &state[degree];
    return 0;
}

}  // extern "C"
