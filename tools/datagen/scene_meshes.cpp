#include "datagen/scene_meshes.h"

#include "datagen/noise.h"

#include <cmath>

namespace datagen {

namespace {

const float twoPi = 6.28318530718f;
const float pi = 3.14159265359f;

void vertex(Mesh& m, float x, float y, float z, float u, float v)
{
    m.points.insert(m.points.end(), {x, y, z});
    m.normals.insert(m.normals.end(), {0.0f, 0.0f, 0.0f});
    m.uvs.insert(m.uvs.end(), {u, v});
}

// Triangles of a (columns + 1) x (rows + 1) vertex grid starting at `base`, row-major.
// With `flip`, a grid whose columns turn counter-clockwise about +y and whose rows climb
// faces outward.
void grid(Mesh& m, int base, int columns, int rows, bool flip)
{
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int a = base + r * (columns + 1) + c;
            const int b = a + 1;
            const int d = a + columns + 1;
            const int e = d + 1;
            if (flip) {
                m.polygons.insert(m.polygons.end(), {a, b, e, a, e, d});
            } else {
                m.polygons.insert(m.polygons.end(), {a, e, b, a, d, e});
            }
        }
    }
}

}  // namespace

void smoothNormals(Mesh& m)
{
    std::fill(m.normals.begin(), m.normals.end(), 0.0f);
    m.normals.resize(m.points.size(), 0.0f);
    for (size_t t = 0; t + 2 < m.polygons.size(); t += 3) {
        const float* p[3];
        for (int k = 0; k < 3; ++k) {
            p[k] = &m.points[3 * size_t(m.polygons[t + k])];
        }
        const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        for (int k = 0; k < 3; ++k) {
            float* out = &m.normals[3 * size_t(m.polygons[t + k])];
            out[0] += n[0];
            out[1] += n[1];
            out[2] += n[2];
        }
    }
    for (size_t i = 0; i < m.normals.size(); i += 3) {
        float* n = &m.normals[i];
        const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len > 0.0f) {
            n[0] /= len;
            n[1] /= len;
            n[2] /= len;
        } else {
            n[1] = 1.0f;
        }
    }
}

void translate(Mesh& m, float x, float y, float z)
{
    for (size_t i = 0; i < m.points.size(); i += 3) {
        m.points[i] += x;
        m.points[i + 1] += y;
        m.points[i + 2] += z;
    }
}

Mesh turnProfile(const std::vector<ProfilePoint>& profile, int segments, float twist, int lobes, float lobeDepth)
{
    Mesh m;
    float length = 0.0f;
    std::vector<float> along(profile.size(), 0.0f);
    for (size_t i = 1; i < profile.size(); ++i) {
        length += std::hypot(profile[i].radius - profile[i - 1].radius, profile[i].height - profile[i - 1].height);
        along[i] = length;
    }
    for (size_t i = 0; i < profile.size(); ++i) {
        for (int s = 0; s <= segments; ++s) {
            const float a = twoPi * float(s) / float(segments);
            const float angle = a + twist * profile[i].height;
            const float flute = 1.0f - lobeDepth * (0.5f + 0.5f * std::cos(float(lobes) * a));
            const float r = profile[i].radius * flute;
            vertex(m, r * std::cos(angle), profile[i].height, -r * std::sin(angle), float(s) / float(segments),
                   length > 0.0f ? along[i] / length : 0.0f);
        }
    }
    grid(m, 0, segments, int(profile.size()) - 1, true);
    smoothNormals(m);
    return m;
}

Mesh torus(float major, float minor, int segments, int sides)
{
    Mesh m;
    for (int j = 0; j <= sides; ++j) {
        const float b = twoPi * float(j) / float(sides);
        for (int i = 0; i <= segments; ++i) {
            const float a = twoPi * float(i) / float(segments);
            const float r = major + minor * std::cos(b);
            vertex(m, r * std::cos(a), minor * std::sin(b), -r * std::sin(a), float(i) / float(segments),
                   float(j) / float(sides));
        }
    }
    grid(m, 0, segments, sides, true);
    smoothNormals(m);
    return m;
}

Mesh sphere(float radius, int segments, int rings)
{
    std::vector<ProfilePoint> profile;
    for (int r = 0; r <= rings; ++r) {
        const float a = -0.5f * pi + pi * float(r) / float(rings);
        profile.push_back({radius * std::cos(a), radius * std::sin(a)});
    }
    profile.front().radius = 0.0f;
    profile.back().radius = 0.0f;
    return turnProfile(profile, segments);
}

Mesh rock(float radius, float roughness, float squash, uint32_t seed)
{
    Mesh m = sphere(1.0f, 18, 10);
    for (size_t i = 0; i < m.points.size(); i += 3) {
        float* p = &m.points[i];
        const float d = 1.0f + roughness * fbm3(p[0] * 1.3f + 7.0f, p[1] * 1.3f, p[2] * 1.3f, 4, seed);
        // Flat cuts make it read as stone rather than a blob.
        const float cut = std::fmax(0.82f, 1.0f - 0.4f * std::fabs(noise3(p[0] * 0.8f, p[1] * 0.8f, p[2] * 0.8f, seed + 1)));
        p[0] *= radius * d * cut;
        p[1] *= radius * d * cut * squash;
        p[2] *= radius * d * cut;
    }
    smoothNormals(m);
    return m;
}

Mesh dome(float radius, int segments, int rings)
{
    Mesh m = sphere(radius, segments, rings);
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        std::swap(m.polygons[t + 1], m.polygons[t + 2]);
    }
    for (float& n : m.normals) {
        n = -n;
    }
    return m;
}

Mesh disc(float radius, int segments, int rings, float inner)
{
    Mesh m;
    for (int r = 0; r <= rings; ++r) {
        const float rr = inner + (radius - inner) * float(r) / float(rings);
        for (int s = 0; s <= segments; ++s) {
            const float a = twoPi * float(s) / float(segments);
            const float x = rr * std::cos(a), z = -rr * std::sin(a);
            vertex(m, x, 0.0f, z, 0.5f + 0.5f * x / radius, 0.5f + 0.5f * z / radius);
        }
    }
    grid(m, 0, segments, rings, false);
    smoothNormals(m);
    for (size_t i = 0; i < m.normals.size(); i += 3) {
        m.normals[i] = 0.0f;
        m.normals[i + 1] = 1.0f;
        m.normals[i + 2] = 0.0f;
    }
    return m;
}

Mesh octahedron(float radius)
{
    const float v[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const int faces[8][3] = {{0, 2, 4}, {4, 2, 1}, {1, 2, 5}, {5, 2, 0}, {4, 3, 0}, {1, 3, 4}, {5, 3, 1}, {0, 3, 5}};
    Mesh m;
    for (int f = 0; f < 8; ++f) {
        const int base = int(m.points.size() / 3);
        for (int k = 0; k < 3; ++k) {
            const float* p = v[faces[f][k]];
            vertex(m, radius * p[0], radius * p[1], radius * p[2], k == 1 ? 1.0f : 0.0f, k == 2 ? 1.0f : 0.0f);
        }
        m.polygons.insert(m.polygons.end(), {base, base + 1, base + 2});
    }
    smoothNormals(m);
    return m;
}

}  // namespace datagen
