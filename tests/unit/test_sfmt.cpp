#include "effects/sfmt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<uint32_t> firstOutputs(uint32_t seed, size_t count)
{
    Sfmt19937 generator;
    generator.seed(seed);
    std::vector<uint32_t> out(count);
    for (auto& word : out) {
        word = generator.next();
    }
    return out;
}

}  // namespace

// The distribution's reference output for its reference seed 1234.
TEST(Sfmt, ReferenceSeedGivesPublishedOutputs)
{
    const std::vector<uint32_t> expected = {
        3440181298u, 1564997079u, 1510669302u, 2930277156u, 1452439940u,
        3796268453u, 423124208u,  2143818589u, 3827219408u, 2987036003u,
        2674978610u, 1536842514u, 2027035537u, 2534897563u, 1686527725u,
        545368292u,  1489013321u, 1370534252u, 4231012796u, 3994803019u};
    EXPECT_EQ(firstOutputs(1234, expected.size()), expected);
}

// Seeds at the edges of the 32-bit range, as published by other implementations.
TEST(Sfmt, EdgeSeedsGivePublishedOutputs)
{
    EXPECT_EQ(firstOutputs(0, 10),
              (std::vector<uint32_t>{772581976u, 265233418u, 1048142482u, 1602309670u, 3373935053u,
                                     3413705399u, 3210284462u, 863469473u, 3245518687u, 498391845u}));
    EXPECT_EQ(firstOutputs(2147483647u, 10),
              (std::vector<uint32_t>{904772199u, 1064192912u, 1906522326u, 4285143873u, 547006276u,
                                     44221428u, 2785557915u, 3086200219u, 3882166955u, 1307696526u}));
    EXPECT_EQ(firstOutputs(2147483648u, 10),
              (std::vector<uint32_t>{3802665797u, 2348422453u, 77172185u, 2594230312u, 3860939425u,
                                     3189465778u, 2298123692u, 2355150791u, 1308024730u, 4017304374u}));
}

// Crossing the block boundary regenerates the whole state; re-seeding restarts the
// sequence exactly (Core seeds once, but a restarted sequence must not depend on history).
TEST(Sfmt, ReseedingRestartsTheSequenceAcrossBlocks)
{
    Sfmt19937 generator;
    generator.seed(12345);
    std::vector<uint32_t> first(2000);
    for (auto& word : first) {
        word = generator.next();
    }
    generator.seed(12345);
    for (size_t i = 0; i < first.size(); ++i) {
        ASSERT_EQ(generator.next(), first[i]) << "output " << i;
    }
    // The second block is not a copy of the first.
    EXPECT_NE(std::vector<uint32_t>(first.begin(), first.begin() + 624),
              std::vector<uint32_t>(first.begin() + 624, first.begin() + 1248));
}

TEST(Sfmt, UnitMappingIncludesBothEnds)
{
    EXPECT_EQ(unitFromWord(0u), 0.0f);
    EXPECT_EQ(unitFromWord(4294967295u), 1.0f);
    EXPECT_FLOAT_EQ(unitFromWord(2147483648u), 0.5f);
    EXPECT_LE(unitFromWord(4294967294u), 1.0f);
}

TEST(Sfmt, SharedGeneratorSeededWith12345StaysInRangeWithSaneMean)
{
    seedRandom(12345);
    Sfmt19937 reference;
    reference.seed(12345);
    double sum = 0.0;
    const int draws = 100000;
    for (int i = 0; i < draws; ++i) {
        float r = randomUnit();
        ASSERT_EQ(r, unitFromWord(reference.next()));
        ASSERT_GE(r, 0.0f);
        ASSERT_LE(r, 1.0f);
        sum += r;
    }
    EXPECT_NEAR(sum / draws, 0.5, 0.01);
}
