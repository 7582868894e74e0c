#include "datagen/basic_meshes.h"

#include "datagen/mmf_writer.h"

#include <cmath>

namespace datagen {

Mesh makeQuad()
{
    Mesh m;
    m.points = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    m.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    m.uvs = {0, 0, 1, 0, 1, 1, 0, 1};
    m.polygons = {0, 1, 2, 0, 2, 3};
    // drawMesh passes texture coordinates only for meshes with a texture item, and every
    // full-screen pass samples its inputs through the quad's coordinates.
    m.textures.push_back({0, "textures\\screen.png"});
    return m;
}

Mesh makeCube(float edge)
{
    const float h = edge * 0.5f;
    // Per face: outward normal n, and two in-plane axes u, v with u x v = n.
    const float faces[6][9] = {
        {1, 0, 0, 0, 0, -1, 0, 1, 0},  {-1, 0, 0, 0, 0, 1, 0, 1, 0},
        {0, 1, 0, 1, 0, 0, 0, 0, -1},  {0, -1, 0, 1, 0, 0, 0, 0, 1},
        {0, 0, 1, 1, 0, 0, 0, 1, 0},   {0, 0, -1, -1, 0, 0, 0, 1, 0},
    };
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    Mesh m;
    for (int f = 0; f < 6; ++f) {
        const float* n = faces[f];
        const float* u = faces[f] + 3;
        const float* v = faces[f] + 6;
        int base = int(m.points.size() / 3);
        for (const auto& c : corners) {
            for (int k = 0; k < 3; ++k) {
                m.points.push_back(h * (n[k] + c[0] * u[k] + c[1] * v[k]));
                m.normals.push_back(n[k]);
            }
            m.uvs.push_back((c[0] + 1) * 0.5f);
            m.uvs.push_back((c[1] + 1) * 0.5f);
        }
        for (int k : {0, 1, 2, 0, 2, 3}) {
            m.polygons.push_back(base + k);
        }
    }
    return m;
}

namespace {

// Appends one vertex with its normal and texture coordinate.
void addVertex(Mesh& m, float x, float y, float z, float nx, float ny, float nz, float u, float v)
{
    m.points.insert(m.points.end(), {x, y, z});
    m.normals.insert(m.normals.end(), {nx, ny, nz});
    m.uvs.insert(m.uvs.end(), {u, v});
}

// A ring side between heights y0 (radius r0) and y1 (radius r1), normals tilted by the
// slope, u around, v = height; CCW seen from outside.
void addSide(Mesh& m, int segments, float y0, float r0, float y1, float r1)
{
    const float twoPi = 6.28318530718f;
    const float slope = (r0 - r1) / (y1 - y0);
    const float scale = 1.0f / std::sqrt(1.0f + slope * slope);
    int base = int(m.points.size() / 3);
    for (int s = 0; s <= segments; ++s) {
        float a = twoPi * float(s) / float(segments);
        float c = std::cos(a), d = std::sin(a);
        addVertex(m, r0 * c, y0, r0 * d, c * scale, slope * scale, d * scale, float(s) / float(segments), y0);
        addVertex(m, r1 * c, y1, r1 * d, c * scale, slope * scale, d * scale, float(s) / float(segments), y1);
    }
    for (int s = 0; s < segments; ++s) {
        int a = base + 2 * s;
        for (int k : {a, a + 1, a + 3, a, a + 3, a + 2}) {
            m.polygons.push_back(k);
        }
    }
}

// A flat disc at height y facing down (-y), texture coordinates projected from above.
void addBottomDisc(Mesh& m, int segments, float y, float r)
{
    const float twoPi = 6.28318530718f;
    int centre = int(m.points.size() / 3);
    addVertex(m, 0, y, 0, 0, -1, 0, 0.5f, 0.5f);
    for (int s = 0; s <= segments; ++s) {
        float a = twoPi * float(s) / float(segments);
        float c = std::cos(a), d = std::sin(a);
        addVertex(m, r * c, y, r * d, 0, -1, 0, 0.5f + 0.5f * c, 0.5f + 0.5f * d);
    }
    for (int s = 0; s < segments; ++s) {
        for (int k : {centre, centre + 1 + s, centre + 2 + s}) {
            m.polygons.push_back(k);
        }
    }
}

}  // namespace

Mesh makeArrow()
{
    const int segments = 16;
    const float shaftRadius = 0.05f, shaftLength = 0.7f, headRadius = 0.12f;
    Mesh m;
    addBottomDisc(m, segments, 0.0f, shaftRadius);
    addSide(m, segments, 0.0f, shaftRadius, shaftLength, shaftRadius);
    addBottomDisc(m, segments, shaftLength, headRadius);
    addSide(m, segments, shaftLength, headRadius, 1.0f, 0.0f);
    return m;
}

void generateBasicMeshes(const Context&, std::vector<Asset>& out)
{
    out.push_back({"objects/quad.mmf", writeMmf(makeQuad())});
    out.push_back({"objects/cube_env100out.mmf", writeMmf(makeCube(100.0f))});
    out.push_back({"objects/arrow.mmf", writeMmf(makeArrow())});
}

}  // namespace datagen
