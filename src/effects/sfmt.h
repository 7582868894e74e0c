// The shared random generator: SFMT19937 (the SIMD-oriented Fast Mersenne Twister with
// its published 19937 parameter set), written without SIMD.
//
// One process-wide generator serves every effect. Core::init seeds it with 12345 before
// the first Effect::init; effects draw from it in init (deterministic: the inits run in
// schedule order) and in render. The order of draws is part of each effect's behaviour.
// Main thread only, no locking.
#pragma once
#include <cstdint>

class Sfmt19937 {
public:
    static constexpr int stateWords = 624;  // 156 blocks of 128 bits

    // The standard initialisation: linear recurrence with multiplier 1812433253, then the
    // period certification. Leaves the read index at the end so that the first draw
    // regenerates the whole block.
    void seed(uint32_t value);
    // The next 32-bit output word, untempered.
    uint32_t next();

private:
    void regenerate();
    void certifyPeriod();

    uint32_t state[stateWords] = {};
    int index = stateWords;
};

// Maps an output word onto [0, 1], both ends included: 0 gives exactly 0, 4294967295
// exactly 1.
float unitFromWord(uint32_t word);

// The process-wide generator (zero state until seeded).
extern Sfmt19937 sharedRandom;

// Seeds the process-wide generator (Core::init does it with 12345).
void seedRandom(uint32_t seed);
// Next value of the process-wide generator, in [0, 1].
float randomUnit();
