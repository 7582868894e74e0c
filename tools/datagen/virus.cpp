#include "datagen/virus.h"

#include "datagen/ao_baker.h"
#include "datagen/cubemap.h"
#include "datagen/image.h"
#include "datagen/mmf_writer.h"
#include "datagen/noise.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace datagen {

namespace {

constexpr float pi = 3.14159265358979f;

struct Knob {
    float x, y, z;  // unit centre
    float height;   // relative to the shape's spike height
};

// Knob k of n: a Fibonacci spiral over the sphere, each centre nudged by a seeded
// offset so the pattern does not read as a lattice.
Knob knob(const VirusShape& shape, int k)
{
    const float golden = pi * (3.0f - std::sqrt(5.0f));
    float y = 1.0f - 2.0f * (float(k) + 0.5f) / float(shape.spikes);
    float ring = std::sqrt(std::max(0.0f, 1.0f - y * y));
    float a = golden * float(k) + 0.6f * (hashUnit(k, 1, 0, shape.seed) - 0.5f);
    y += 0.12f * (hashUnit(k, 2, 0, shape.seed) - 0.5f);
    float x = ring * std::cos(a);
    float z = ring * std::sin(a);
    float len = std::sqrt(x * x + y * y + z * z);
    return {x / len, y / len, z / len, 0.75f + 0.5f * hashUnit(k, 3, 0, shape.seed)};
}

// Height profile of one knob at x = angle / half-width: a soft mound carrying a stalk
// with a domed top, all derivatives continuous enough for smooth vertex normals.
float knobProfile(float x)
{
    if (x >= 1.0f) {
        return 0.0f;
    }
    float mound = (1.0f - x * x) * (1.0f - x * x);
    float stalk = 1.0f - smoothstep(0.2f, 0.55f, x);
    return 0.3f * mound + 0.7f * stalk * (1.0f - 0.9f * x * x);
}

}  // namespace

float virusRadius(const VirusShape& shape, float dx, float dy, float dz)
{
    float r = 1.0f + shape.lumpiness * fbm3(dx * 1.7f, dy * 1.7f, dz * 1.7f, 3, shape.seed);
    for (int k = 0; k < shape.spikes; ++k) {
        Knob c = knob(shape, k);
        float d = std::min(1.0f, std::max(-1.0f, dx * c.x + dy * c.y + dz * c.z));
        float x = std::acos(d) / shape.spikeWidth;
        r += shape.spikeHeight * c.height * knobProfile(x);
    }
    return r;
}

Mesh makeVirus(const VirusShape& shape)
{
    const int columns = shape.columns;
    const int rows = shape.rows;
    Mesh m;
    const size_t vertexCount = size_t(columns + 1) * (rows + 1);
    m.points.reserve(vertexCount * 3);
    m.normals.assign(vertexCount * 3, 0.0f);
    m.uvs.reserve(vertexCount * 2);

    // Vertex (i, j): i around from u = 0 to 1 (column `columns` repeats column 0 with
    // u = 1), j from the north pole (v = 1) to the south pole (v = 0).
    for (int j = 0; j <= rows; ++j) {
        float theta = pi * float(j) / float(rows);
        for (int i = 0; i <= columns; ++i) {
            float phi = 2.0f * pi * float(i % columns) / float(columns);
            float dx = std::sin(theta) * std::cos(phi);
            float dy = std::cos(theta);
            float dz = -std::sin(theta) * std::sin(phi);
            if (j == 0 || j == rows) {
                dx = 0.0f;
                dz = 0.0f;
            }
            float r = shape.radius * virusRadius(shape, dx, dy, dz);
            m.points.insert(m.points.end(), {r * dx, r * dy, r * dz});
            m.uvs.insert(m.uvs.end(), {float(i) / float(columns), 1.0f - float(j) / float(rows)});
        }
    }

    auto index = [columns](int i, int j) { return int32_t(j * (columns + 1) + i); };
    auto triangle = [&m](int32_t a, int32_t b, int32_t c) { m.polygons.insert(m.polygons.end(), {a, b, c}); };
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            int32_t a = index(i, j), b = index(i + 1, j), c = index(i, j + 1), d = index(i + 1, j + 1);
            // Seen from outside, i grows to the right and j downwards.
            if (j != 0) {
                triangle(a, c, b);
            }
            if (j != rows - 1) {
                triangle(b, c, d);
            }
        }
    }

    // Smooth normals: area-weighted face normals summed over each welded position (the
    // seam column and the pole rows are one point each), then shared by its copies.
    auto welded = [columns, rows](int32_t v) {
        int j = v / (columns + 1);
        int i = v % (columns + 1);
        if (j == 0) {
            return 0;
        }
        if (j == rows) {
            return 1;
        }
        return 2 + (j - 1) * columns + (i % columns);
    };
    std::vector<float> sum(size_t(2 + (rows - 1) * columns) * 3, 0.0f);
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        const float* p0 = &m.points[size_t(m.polygons[t]) * 3];
        const float* p1 = &m.points[size_t(m.polygons[t + 1]) * 3];
        const float* p2 = &m.points[size_t(m.polygons[t + 2]) * 3];
        float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        for (int k = 0; k < 3; ++k) {
            float* s = &sum[size_t(welded(m.polygons[t + k])) * 3];
            s[0] += n[0];
            s[1] += n[1];
            s[2] += n[2];
        }
    }
    for (size_t v = 0; v < vertexCount; ++v) {
        const float* s = &sum[size_t(welded(int32_t(v))) * 3];
        float len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        float inv = len > 0.0f ? 1.0f / len : 0.0f;
        m.normals[v * 3] = s[0] * inv;
        m.normals[v * 3 + 1] = s[1] * inv;
        m.normals[v * 3 + 2] = s[2] * inv;
    }
    return m;
}

namespace {

Image bakeVirusOcclusion(const Mesh& mesh, int rays, uint32_t seed)
{
    AoSettings settings;
    settings.size = 1024;
    settings.rays = rays;
    settings.maxDistance = 2.5f;  // the knobs shade their own feet, not the far side
    settings.seed = seed;
    std::string error;
    Image ao = bakeAmbientOcclusion(mesh, settings, &error);
    if (ao.pixels.empty()) {
        throw std::runtime_error("virus ambient occlusion: " + error);
    }
    return ao;
}

}  // namespace

void generateVirus(const Context& /*context*/, std::vector<Asset>& out)
{
    Mesh mesh = makeVirus();
    out.push_back({"objects/virus.mmf", writeMmf(mesh)});
    out.push_back({"textures/virus-ao1024.png", encodePng(bakeVirusOcclusion(mesh, 64, 77))});
}

VirusShape secondVirusShape()
{
    VirusShape shape;
    shape.spikes = 21;
    shape.spikeHeight = 0.45f;
    shape.spikeWidth = 0.32f;
    shape.lumpiness = 0.1f;
    shape.seed = 3141;
    return shape;
}

void generateVirus2(const Context& /*context*/, std::vector<Asset>& out)
{
    // Only the occlusion ships: the scene companion loads it alongside its own shapes.
    out.push_back({"textures/virus2-ao1024.png", encodePng(bakeVirusOcclusion(makeVirus(secondVirusShape()), 32, 78))});
}

}  // namespace datagen
