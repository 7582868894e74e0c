#include "effects/sfmt.h"

namespace {

constexpr int blocks = Sfmt19937::stateWords / 4;
constexpr int pos1 = 122;
constexpr int sl1 = 18;
constexpr int sl2Bytes = 1;
constexpr int sr1 = 11;
constexpr int sr2Bytes = 1;
constexpr uint32_t mask[4] = {0xdfffffefu, 0xddfecb7fu, 0xbffaffffu, 0xbffffff6u};
constexpr uint32_t parity[4] = {0x00000001u, 0x00000000u, 0x00000000u, 0x13c9e684u};

// 128-bit shifts by whole bytes over four little-endian 32-bit words.
void shiftLeft128(const uint32_t* in, uint32_t* out, int bytes)
{
    uint64_t high = (uint64_t(in[3]) << 32) | in[2];
    uint64_t low = (uint64_t(in[1]) << 32) | in[0];
    uint64_t outHigh = (high << (bytes * 8)) | (low >> (64 - bytes * 8));
    uint64_t outLow = low << (bytes * 8);
    out[0] = uint32_t(outLow);
    out[1] = uint32_t(outLow >> 32);
    out[2] = uint32_t(outHigh);
    out[3] = uint32_t(outHigh >> 32);
}

void shiftRight128(const uint32_t* in, uint32_t* out, int bytes)
{
    uint64_t high = (uint64_t(in[3]) << 32) | in[2];
    uint64_t low = (uint64_t(in[1]) << 32) | in[0];
    uint64_t outLow = (low >> (bytes * 8)) | (high << (64 - bytes * 8));
    uint64_t outHigh = high >> (bytes * 8);
    out[0] = uint32_t(outLow);
    out[1] = uint32_t(outLow >> 32);
    out[2] = uint32_t(outHigh);
    out[3] = uint32_t(outHigh >> 32);
}

// r = a ^ (a << 8 bits) ^ ((b >> 11) & mask) ^ (c >> 8 bits) ^ (d << 18), word-wise.
void recursion(uint32_t* r, const uint32_t* a, const uint32_t* b, const uint32_t* c, const uint32_t* d)
{
    uint32_t x[4];
    uint32_t y[4];
    shiftLeft128(a, x, sl2Bytes);
    shiftRight128(c, y, sr2Bytes);
    for (int k = 0; k < 4; ++k) {
        r[k] = a[k] ^ x[k] ^ ((b[k] >> sr1) & mask[k]) ^ y[k] ^ (d[k] << sl1);
    }
}

}  // namespace

Sfmt19937 sharedRandom;

void Sfmt19937::seed(uint32_t value)
{
    state[0] = value;
    for (int i = 1; i < stateWords; ++i) {
        state[i] = 1812433253u * (state[i - 1] ^ (state[i - 1] >> 30)) + uint32_t(i);
    }
    index = stateWords;
    certifyPeriod();
}

void Sfmt19937::certifyPeriod()
{
    uint32_t inner = 0;
    for (int k = 0; k < 4; ++k) {
        inner ^= state[k] & parity[k];
    }
    for (int shift = 16; shift > 0; shift >>= 1) {
        inner ^= inner >> shift;
    }
    if (inner & 1) {
        return;
    }
    // Flip the lowest parity bit so that the state lies on the full period.
    for (int k = 0; k < 4; ++k) {
        for (uint32_t work = 1; work != 0; work <<= 1) {
            if (work & parity[k]) {
                state[k] ^= work;
                return;
            }
        }
    }
}

void Sfmt19937::regenerate()
{
    const uint32_t* r1 = &state[(blocks - 2) * 4];
    const uint32_t* r2 = &state[(blocks - 1) * 4];
    for (int i = 0; i < blocks; ++i) {
        uint32_t* block = &state[i * 4];
        const uint32_t* b = &state[((i + pos1) % blocks) * 4];
        recursion(block, block, b, r1, r2);
        r1 = r2;
        r2 = block;
    }
    index = 0;
}

uint32_t Sfmt19937::next()
{
    if (index >= stateWords) {
        regenerate();
    }
    return state[index++];
}

float unitFromWord(uint32_t word)
{
    // In double first: the product of the largest word is exactly 1, and every result
    // rounds into [0, 1] when narrowed.
    return float(double(word) * (1.0 / 4294967295.0));
}

void seedRandom(uint32_t seed) { sharedRandom.seed(seed); }

float randomUnit() { return unitFromWord(sharedRandom.next()); }
