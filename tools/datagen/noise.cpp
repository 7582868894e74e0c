#include "datagen/noise.h"

namespace datagen {
namespace {

inline float fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }

inline float gradient(int x, int y, int z, uint32_t seed, float dx, float dy, float dz)
{
    // Twelve edge directions of a cube, picked by hash.
    static const float g[12][3] = {{1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0}, {1, 0, 1}, {-1, 0, 1},
                                   {1, 0, -1}, {-1, 0, -1}, {0, 1, 1}, {0, -1, 1}, {0, 1, -1}, {0, -1, -1}};
    int i = int(hashUnit(x, y, z, seed) * 12.0f) % 12;
    return g[i][0] * dx + g[i][1] * dy + g[i][2] * dz;
}

inline float lerp(float a, float b, float t) { return a + (b - a) * t; }

}  // namespace

float noise3(float x, float y, float z, uint32_t seed)
{
    float fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    int ix = int(fx), iy = int(fy), iz = int(fz);
    float dx = x - fx, dy = y - fy, dz = z - fz;
    float u = fade(dx), v = fade(dy), w = fade(dz);
    float n000 = gradient(ix, iy, iz, seed, dx, dy, dz);
    float n100 = gradient(ix + 1, iy, iz, seed, dx - 1, dy, dz);
    float n010 = gradient(ix, iy + 1, iz, seed, dx, dy - 1, dz);
    float n110 = gradient(ix + 1, iy + 1, iz, seed, dx - 1, dy - 1, dz);
    float n001 = gradient(ix, iy, iz + 1, seed, dx, dy, dz - 1);
    float n101 = gradient(ix + 1, iy, iz + 1, seed, dx - 1, dy, dz - 1);
    float n011 = gradient(ix, iy + 1, iz + 1, seed, dx, dy - 1, dz - 1);
    float n111 = gradient(ix + 1, iy + 1, iz + 1, seed, dx - 1, dy - 1, dz - 1);
    return lerp(lerp(lerp(n000, n100, u), lerp(n010, n110, u), v), lerp(lerp(n001, n101, u), lerp(n011, n111, u), v), w);
}

float fbm3(float x, float y, float z, int octaves, uint32_t seed)
{
    float sum = 0.0f, amplitude = 0.5f, norm = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * noise3(x, y, z, seed + uint32_t(i) * 131u);
        norm += amplitude;
        amplitude *= 0.5f;
        x = x * 2.03f + 17.1f;
        y = y * 2.03f - 5.3f;
        z = z * 2.03f + 9.7f;
    }
    return sum / norm * 1.4f;
}

}  // namespace datagen
