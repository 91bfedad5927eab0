#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "colour/random_tovi.h"

namespace {

constexpr long kMaxValue = 2147483647;

void expect_same_record(const random_state_tovi& a, const random_state_tovi& b) {
    EXPECT_EQ(a.front, b.front);
    EXPECT_EQ(a.rear, b.rear);
    EXPECT_EQ(a.state, b.state);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.degree, b.degree);
    EXPECT_EQ(a.separation, b.separation);
    EXPECT_EQ(a.end, b.end);
}

struct SeedCase {
    uint32_t seed;
    std::vector<long> first;
};

TEST(RandomTovi, GlobalSequencesOfListedSeeds) {
    const std::vector<long> seed_one = {1804289383, 846930886, 1681692777, 1714636915,
                                        1957747793};
    const SeedCase cases[] = {
        {0, seed_one},
        {1, seed_one},
        {2, {1505335290, 1738766719, 190686788, 260874575, 747983061}},
        {12345, {383100999, 858300821, 357768173, 455528251, 133005921}},
        {2147483648u, {722473798, 841711538, 600775504}},
        {4294967295u, {1788141860, 836492190, 1667341880}},
        // Leaves state words 1..30 zero before the discarded steps.
        {2147483647u, {1065668062, 2142264300, 1066566375, 1064012770, 2141034222}},
    };
    for (const SeedCase& c : cases) {
        srandom_tovi(c.seed);
        for (size_t i = 0; i < c.first.size(); ++i) {
            EXPECT_EQ(random_tovi(), c.first[i]) << "seed " << c.seed << " draw " << i;
        }
        for (int i = 0; i < 20000; ++i) {
            const long v = random_tovi();
            ASSERT_TRUE(v >= 0 && v <= kMaxValue) << "seed " << c.seed << " value " << v;
        }
    }
}

TEST(RandomTovi, ReseedingReplaysTheSequence) {
    srandom_tovi(777);
    std::vector<long> first(400);
    for (long& v : first) v = random_tovi();
    srandom_tovi(777);
    for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(random_tovi(), first[i]) << i;
}

TEST(RandomTovi, GlobalGeneratorMatchesTheCLibraryBelowTwoToThe31) {
    const uint32_t seeds[] = {0, 1, 2, 42, 12345, 65536, 987654321, 2147483646, 2147483647};
    for (uint32_t seed : seeds) {
        srandom(seed);
        srandom_tovi(seed);
        for (int i = 0; i < 5000; ++i) {
            ASSERT_EQ(random_tovi(), random()) << "seed " << seed << " draw " << i;
        }
    }
}

// Words a buffer of a type needs, the position word included.
size_t words_for_type(int32_t type) {
    const size_t words[] = {2, 8, 16, 32, 64};
    return words[type];
}

struct TypeCase {
    uint32_t n;
    int32_t type;
    int32_t degree;
    int32_t separation;
    std::vector<int64_t> first;  // for seed 1
};

const TypeCase kTypeCases[] = {
    {8, 0, 0, 0, {1103527590, 377401575, 662824084}},
    {31, 0, 0, 0, {1103527590}},
    {32, 1, 7, 3, {964237963, 406111040}},
    {63, 1, 7, 3, {964237963}},
    {64, 2, 15, 1, {1894937090, 1645272306}},
    {127, 2, 15, 1, {1894937090}},
    {128, 3, 31, 3, {1804289383, 846930886, 1681692777, 1714636915, 1957747793}},
    {255, 3, 31, 3, {1804289383}},
    {256, 4, 63, 1, {510644794, 625058908}},
    {100000, 4, 63, 1, {510644794}},
};

TEST(RandomToviState, InitstateSelectsTypeBySizeAndStartsItsSequence) {
    constexpr int64_t kGuard = 0x5a5a5a5a5a5a5a5a;
    for (const TypeCase& c : kTypeCases) {
        SCOPED_TRACE(testing::Message() << "n = " << c.n);
        // Guard words after the needed size catch writes past it.
        const size_t needed = words_for_type(c.type);
        std::vector<int64_t> buffer(needed + 4, kGuard);
        random_state_tovi rec{};
        ASSERT_EQ(initstate_r_tovi(1, buffer.data(), c.n, &rec), 0);
        EXPECT_EQ(rec.type, c.type);
        EXPECT_EQ(rec.degree, c.degree);
        EXPECT_EQ(rec.separation, c.separation);
        EXPECT_EQ(rec.state, buffer.data() + 1);
        EXPECT_EQ(rec.end, rec.state + c.degree);
        EXPECT_EQ(buffer[0], c.type);
        for (size_t i = 0; i < c.first.size(); ++i) {
            int64_t v = -1;
            ASSERT_EQ(random_r_tovi(&rec, &v), 0);
            EXPECT_EQ(v, c.first[i]) << "draw " << i;
        }
        for (int i = 0; i < 3000; ++i) {
            int64_t v = -1;
            random_r_tovi(&rec, &v);
            ASSERT_TRUE(v >= 0 && v <= kMaxValue) << v;
        }
        for (size_t i = needed; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kGuard) << i;
    }
}

TEST(RandomToviState, OutputsFollowTheFeedbackRecurrenceOfTheirType) {
    // Bits 1..31 of r[i] = r[i - degree] + r[i - separation]: the outputs
    // add up modulo 2^31, up to the carry out of bit 0.
    for (const TypeCase& c : kTypeCases) {
        SCOPED_TRACE(testing::Message() << "n = " << c.n);
        std::vector<int64_t> buffer(words_for_type(c.type));
        random_state_tovi rec{};
        ASSERT_EQ(initstate_r_tovi(20240601, buffer.data(), c.n, &rec), 0);
        std::vector<int64_t> out(4000);
        for (int64_t& v : out) random_r_tovi(&rec, &v);
        for (size_t i = 64; i < out.size(); ++i) {
            if (c.type == 0) {
                ASSERT_EQ(out[i], (out[i - 1] * 1103515245 + 12345) & 0x7fffffff) << i;
            } else {
                const int64_t diff =
                    (out[i] - out[i - c.degree] - out[i - c.separation]) & 0x7fffffff;
                ASSERT_TRUE(diff == 0 || diff == 1) << "draw " << i;
            }
        }
    }
}

TEST(RandomToviState, SrandomReseedsABoundRecord) {
    int64_t buffer[8];
    random_state_tovi rec{};
    ASSERT_EQ(initstate_r_tovi(99, buffer, 32, &rec), 0);
    int64_t v = 0;
    for (int i = 0; i < 10; ++i) random_r_tovi(&rec, &v);
    ASSERT_EQ(srandom_r_tovi(0, &rec), 0);  // 0 counts as 1
    random_r_tovi(&rec, &v);
    EXPECT_EQ(v, 964237963);
    random_r_tovi(&rec, &v);
    EXPECT_EQ(v, 406111040);
}

TEST(RandomToviState, RefusalsReturnMinusOneAndChangeNothing) {
    int64_t buffer[32] = {};
    random_state_tovi rec{};
    int64_t v = 0;

    EXPECT_EQ(initstate_r_tovi(1, buffer, 128, nullptr), -1);
    EXPECT_EQ(initstate_r_tovi(1, nullptr, 128, &rec), -1);
    EXPECT_EQ(srandom_r_tovi(1, nullptr), -1);
    EXPECT_EQ(random_r_tovi(nullptr, &v), -1);
    EXPECT_EQ(setstate_r_tovi(nullptr, &rec), -1);
    EXPECT_EQ(setstate_r_tovi(buffer, nullptr), -1);

    ASSERT_EQ(initstate_r_tovi(5, buffer, 128, &rec), 0);
    EXPECT_EQ(random_r_tovi(&rec, nullptr), -1);

    // Too small a size: the record and the buffer stay as they were.
    const random_state_tovi before = rec;
    int64_t copy[32];
    std::memcpy(copy, buffer, sizeof buffer);
    int64_t other[32] = {};
    EXPECT_EQ(initstate_r_tovi(1, other, 7, &rec), -1);
    expect_same_record(rec, before);
    EXPECT_EQ(std::memcmp(copy, buffer, sizeof buffer), 0);

    // A record that no buffer has been bound to can be neither seeded nor
    // drawn from.
    random_state_tovi unbound{};
    EXPECT_EQ(srandom_r_tovi(1, &unbound), -1);
    EXPECT_EQ(random_r_tovi(&unbound, &v), -1);

    // A type outside 0..4 cannot be seeded.
    random_state_tovi bad = rec;
    bad.type = 5;
    EXPECT_EQ(srandom_r_tovi(1, &bad), -1);
    bad.type = -1;
    EXPECT_EQ(srandom_r_tovi(1, &bad), -1);
    EXPECT_EQ(std::memcmp(copy, buffer, sizeof buffer), 0);
}

// Draws count values from rec and from ref and expects them equal.
void expect_same_draws(random_state_tovi* rec, random_state_tovi* ref, int count,
                       const char* what) {
    for (int i = 0; i < count; ++i) {
        int64_t a = -1, b = -2;
        ASSERT_EQ(random_r_tovi(rec, &a), 0);
        ASSERT_EQ(random_r_tovi(ref, &b), 0);
        ASSERT_EQ(a, b) << what << ", draw " << i;
    }
}

TEST(RandomToviState, SetstateResumesEachBufferWhereItStopped) {
    // One record moves between three buffers; each reference record keeps
    // its own copy of one buffer's sequence.
    int64_t buf3[32], buf4[64], buf0[2];
    int64_t ref3_buf[32], ref4_buf[64], ref0_buf[2];
    random_state_tovi rec{}, ref3{}, ref4{}, ref0{}, binder{};
    ASSERT_EQ(initstate_r_tovi(11, ref3_buf, 128, &ref3), 0);
    ASSERT_EQ(initstate_r_tovi(22, ref4_buf, 256, &ref4), 0);
    ASSERT_EQ(initstate_r_tovi(33, ref0_buf, 8, &ref0), 0);
    ASSERT_EQ(initstate_r_tovi(22, buf4, 256, &binder), 0);
    ASSERT_EQ(initstate_r_tovi(33, buf0, 8, &binder), 0);
    ASSERT_EQ(initstate_r_tovi(11, buf3, 128, &rec), 0);

    expect_same_draws(&rec, &ref3, 50, "type 3, first visit");
    ASSERT_EQ(setstate_r_tovi(buf4, &rec), 0);
    EXPECT_EQ(buf3[0], 5 * (50 % 31) + 3);  // where the type 3 buffer was left
    EXPECT_EQ(rec.type, 4);
    expect_same_draws(&rec, &ref4, 100, "type 4, first visit");
    ASSERT_EQ(setstate_r_tovi(buf0, &rec), 0);
    EXPECT_EQ(rec.type, 0);
    expect_same_draws(&rec, &ref0, 7, "type 0, first visit");
    ASSERT_EQ(setstate_r_tovi(buf3, &rec), 0);
    EXPECT_EQ(buf0[0], 0);
    expect_same_draws(&rec, &ref3, 40, "type 3, second visit");
    ASSERT_EQ(setstate_r_tovi(buf4, &rec), 0);
    expect_same_draws(&rec, &ref4, 70, "type 4, second visit");
    ASSERT_EQ(setstate_r_tovi(buf0, &rec), 0);
    expect_same_draws(&rec, &ref0, 5, "type 0, second visit");
    ASSERT_EQ(setstate_r_tovi(buf3, &rec), 0);
    expect_same_draws(&rec, &ref3, 500, "type 3, third visit");
}

TEST(RandomToviState, SetstateBindsAFreshRecordToABuffer) {
    int64_t buffer[64], ref_buffer[64];
    random_state_tovi first{}, ref{};
    ASSERT_EQ(initstate_r_tovi(31337, buffer, 256, &first), 0);
    ASSERT_EQ(initstate_r_tovi(31337, ref_buffer, 256, &ref), 0);
    expect_same_draws(&first, &ref, 20, "before the hand-over");
    random_state_tovi other{};
    ASSERT_EQ(setstate_r_tovi(buffer, &first), 0);  // saves the position
    ASSERT_EQ(setstate_r_tovi(buffer, &other), 0);
    expect_same_draws(&other, &ref, 200, "after the hand-over");
}

TEST(RandomToviState, SetstateRefusesAPositionOutsideTheState) {
    // Position words whose type is valid but whose rear index is not a state
    // word of that type, or whose type is negative.
    const int64_t bad_words[] = {
        5 * 31 + 3,              // type 3, index 31 = degree
        5 * 7 + 1,               // type 1, index 7
        5 * 15 + 2,              // type 2, index 15
        5 * 63 + 4,              // type 4, index 63
        5 * 1000 + 3,            // far past the end
        (int64_t{5} << 32) + 3,  // index 2^32, which is 0 when cut to 32 bits
        INT64_MAX,               // type 2, index huge
        -1,                      // remainder -1
        -7,                      // remainder -2
        INT64_MIN,               // remainder -3
    };
    for (int64_t word : bad_words) {
        SCOPED_TRACE(testing::Message() << "position word " << word);
        int64_t buffer[32], ref_buffer[32];
        random_state_tovi rec{}, ref{};
        ASSERT_EQ(initstate_r_tovi(4242, buffer, 128, &rec), 0);
        ASSERT_EQ(initstate_r_tovi(4242, ref_buffer, 128, &ref), 0);
        expect_same_draws(&rec, &ref, 17, "before");

        std::vector<int64_t> bad(64, 0);
        bad[0] = word;
        const random_state_tovi before = rec;
        EXPECT_EQ(setstate_r_tovi(bad.data(), &rec), -1);
        expect_same_record(rec, before);
        EXPECT_EQ(bad[0], word);
        expect_same_draws(&rec, &ref, 100, "after the refusal");
    }
}

}  // namespace
