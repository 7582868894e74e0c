#include "datagen/cubemap.h"

#include "datagen/parallel.h"

#include <algorithm>

namespace datagen {

CubeMap::CubeMap(int n) : size(n)
{
    for (auto& f : faces) {
        f.assign(size_t(n) * n, Vec3());
    }
}

Vec3 cubeDirection(int face, float s, float t)
{
    float a = 2.0f * s - 1.0f, b = 2.0f * t - 1.0f;
    switch (face) {
    case 0: return {1.0f, -b, -a};
    case 1: return {-1.0f, -b, a};
    case 2: return {a, 1.0f, b};
    case 3: return {a, -1.0f, -b};
    case 4: return {a, -b, 1.0f};
    default: return {-a, -b, -1.0f};
    }
}

void cubeFaceOf(const Vec3& d, int* face, float* s, float* t)
{
    float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    float sc, tc, ma;
    if (ax >= ay && ax >= az) {
        ma = ax;
        if (d.x > 0) { *face = 0; sc = -d.z; tc = -d.y; } else { *face = 1; sc = d.z; tc = -d.y; }
    } else if (ay >= az) {
        ma = ay;
        if (d.y > 0) { *face = 2; sc = d.x; tc = d.z; } else { *face = 3; sc = d.x; tc = -d.z; }
    } else {
        ma = az;
        if (d.z > 0) { *face = 4; sc = d.x; tc = -d.y; } else { *face = 5; sc = -d.x; tc = -d.y; }
    }
    if (ma <= 0.0f) {
        *face = 0;
        *s = *t = 0.5f;
        return;
    }
    *s = 0.5f * (sc / ma + 1.0f);
    *t = 0.5f * (tc / ma + 1.0f);
}

namespace {

// Integral of the solid angle from the face centre to (a, b) on the unit-distance plane.
float areaElement(float a, float b) { return std::atan2(a * b, std::sqrt(a * a + b * b + 1.0f)); }

}  // namespace

float texelSolidAngle(int size, int x, int y)
{
    float inv = 1.0f / float(size);
    float a0 = 2.0f * x * inv - 1.0f, a1 = 2.0f * (x + 1) * inv - 1.0f;
    float b0 = 2.0f * y * inv - 1.0f, b1 = 2.0f * (y + 1) * inv - 1.0f;
    return areaElement(a0, b0) - areaElement(a0, b1) - areaElement(a1, b0) + areaElement(a1, b1);
}

CubeMap renderCube(int size, const Radiance& radiance)
{
    CubeMap cube(size);
    parallelFor(6 * size, [&](int begin, int end) {
        for (int row = begin; row < end; ++row) {
            int face = row / size, y = row % size;
            for (int x = 0; x < size; ++x) {
                Vec3 d = normalize(cubeDirection(face, (x + 0.5f) / size, (y + 0.5f) / size));
                cube.at(face, x, y) = radiance(d);
            }
        }
    });
    return cube;
}

CubeMap downsample(const CubeMap& cube, int factor)
{
    CubeMap out(cube.size / factor);
    float weight = 1.0f / float(factor * factor);
    for (int f = 0; f < 6; ++f) {
        for (int y = 0; y < out.size; ++y) {
            for (int x = 0; x < out.size; ++x) {
                Vec3 sum;
                for (int j = 0; j < factor; ++j) {
                    for (int i = 0; i < factor; ++i) {
                        sum += cube.at(f, x * factor + i, y * factor + j);
                    }
                }
                out.at(f, x, y) = sum * weight;
            }
        }
    }
    return out;
}

Vec3 sampleCube(const CubeMap& cube, const Vec3& direction)
{
    int face;
    float s, t;
    cubeFaceOf(direction, &face, &s, &t);
    int x = std::min(cube.size - 1, std::max(0, int(s * cube.size)));
    int y = std::min(cube.size - 1, std::max(0, int(t * cube.size)));
    return cube.at(face, x, y);
}

CubeMap convolveIrradiance(const CubeMap& source, int outSize)
{
    // Source texels as (direction * solid angle, radiance) pairs.
    struct Texel {
        float dx, dy, dz;
        float r, g, b;
    };
    std::vector<Texel> texels;
    texels.reserve(size_t(6) * source.size * source.size);
    for (int f = 0; f < 6; ++f) {
        for (int y = 0; y < source.size; ++y) {
            for (int x = 0; x < source.size; ++x) {
                Vec3 d = normalize(cubeDirection(f, (x + 0.5f) / source.size, (y + 0.5f) / source.size));
                float w = texelSolidAngle(source.size, x, y) / float(M_PI);
                const Vec3& L = source.at(f, x, y);
                texels.push_back({d.x * w, d.y * w, d.z * w, L.x, L.y, L.z});
            }
        }
    }
    CubeMap out(outSize);
    parallelFor(6 * outSize, [&](int begin, int end) {
        for (int row = begin; row < end; ++row) {
            int face = row / outSize, y = row % outSize;
            for (int x = 0; x < outSize; ++x) {
                Vec3 n = normalize(cubeDirection(face, (x + 0.5f) / outSize, (y + 0.5f) / outSize));
                float r = 0, g = 0, b = 0;
                for (const Texel& t : texels) {
                    float c = n.x * t.dx + n.y * t.dy + n.z * t.dz;
                    c = c > 0.0f ? c : 0.0f;
                    r += c * t.r;
                    g += c * t.g;
                    b += c * t.b;
                }
                out.at(face, x, y) = Vec3(r, g, b);
            }
        }
    });
    return out;
}

std::vector<Image> encodeFaces(const CubeMap& cube, float exposure)
{
    std::vector<Image> faces;
    for (int f = 0; f < 6; ++f) {
        Canvas canvas(cube.size, cube.size);
        for (int y = 0; y < cube.size; ++y) {
            for (int x = 0; x < cube.size; ++x) {
                const Vec3& c = cube.at(f, x, y);
                float* p = canvas.at(x, y);
                float v[3] = {c.x * exposure, c.y * exposure, c.z * exposure};
                for (int k = 0; k < 3; ++k) {
                    // Linear up to 0.8, then a smooth shoulder towards 1.
                    float l = std::max(v[k], 0.0f);
                    if (l > 0.8f) {
                        l = 0.8f + 0.2f * (1.0f - std::exp(-(l - 0.8f) / 0.2f));
                    }
                    p[k] = std::pow(l, 1.0f / 2.2f);
                }
                p[3] = 1.0f;
            }
        }
        faces.push_back(toImage(canvas, 4));
    }
    return faces;
}

}  // namespace datagen
