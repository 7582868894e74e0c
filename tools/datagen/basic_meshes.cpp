#include "datagen/basic_meshes.h"

#include "datagen/mmf_writer.h"

namespace datagen {

Mesh makeQuad()
{
    Mesh m;
    m.points = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    m.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    m.uvs = {0, 0, 1, 0, 1, 1, 0, 1};
    m.polygons = {0, 1, 2, 0, 2, 3};
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

void generateBasicMeshes(const Context&, std::vector<Asset>& out)
{
    out.push_back({"objects/quad.mmf", writeMmf(makeQuad())});
    out.push_back({"objects/cube_env100out.mmf", writeMmf(makeCube(100.0f))});
}

}  // namespace datagen
