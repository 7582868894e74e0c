// Deterministic randomness for generators: a small counter-based random source and
// 3D gradient noise (smooth, seamless because it is evaluated on directions or points,
// never on face coordinates).
#pragma once
#include <cmath>
#include <cstdint>

namespace datagen {

inline uint64_t mix64(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Sequential random numbers from a seed (splitmix64).
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next() { return mix64(state++ * 0x2545F4914F6CDD1Dull + 0x1234567ull); }
    // Uniform in [0, 1).
    float unit() { return float(next() >> 40) * (1.0f / 16777216.0f); }
    float range(float lo, float hi) { return lo + (hi - lo) * unit(); }
};

// Hash of an integer lattice point to [0, 1).
inline float hashUnit(int x, int y, int z, uint32_t seed)
{
    uint64_t h = mix64((uint64_t(uint32_t(x)) * 73856093u) ^ (uint64_t(uint32_t(y)) << 21) ^
                       (uint64_t(uint32_t(z)) << 42) ^ (uint64_t(seed) * 0x9E3779B1ull));
    return float(h >> 40) * (1.0f / 16777216.0f);
}

// Gradient noise in 3D, roughly in [-1, 1].
float noise3(float x, float y, float z, uint32_t seed);
// Fractal sum of noise3 octaves (lacunarity 2, gain 0.5), roughly in [-1, 1].
float fbm3(float x, float y, float z, int octaves, uint32_t seed);

}  // namespace datagen
