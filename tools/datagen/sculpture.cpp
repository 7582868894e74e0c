#include "datagen/sculpture.h"

#include "datagen/chart_atlas.h"
#include "datagen/cubemap.h"
#include "datagen/draw_order.h"
#include "datagen/image.h"
#include "datagen/mmf_writer.h"
#include "datagen/vertex_occlusion.h"

#include <meshoptimizer.h>
#include <openvdb/openvdb.h>
#include <openvdb/tools/LevelSetFilter.h>
#include <openvdb/tools/SignedFloodFill.h>
#include <openvdb/tools/VolumeToMesh.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace datagen {

namespace {

constexpr float pi = 3.14159265358979f;

// Polynomial smooth minimum: equals min away from the seam, rounds it over radius k.
float smoothMin(float a, float b, float k)
{
    const float h = std::max(k - std::fabs(a - b), 0.0f) / k;
    return std::min(a, b) - h * h * k * 0.25f;
}

float smoothMax(float a, float b, float k) { return -smoothMin(-a, -b, k); }

struct P3 {
    float x, y, z;
};

P3 knotPoint(const SculptureShape& s, float phi)
{
    const float r = s.knotMajor + s.knotMinor * std::cos(float(s.knotQ) * phi);
    return {r * std::cos(float(s.knotP) * phi), s.knotMinor * std::sin(float(s.knotQ) * phi),
            r * std::sin(float(s.knotP) * phi)};
}

float segmentDistance(const P3& p, const P3& a, const P3& b)
{
    const float abx = b.x - a.x, aby = b.y - a.y, abz = b.z - a.z;
    const float apx = p.x - a.x, apy = p.y - a.y, apz = p.z - a.z;
    const float len2 = abx * abx + aby * aby + abz * abz;
    const float h = len2 > 0.0f ? std::clamp((apx * abx + apy * aby + apz * abz) / len2, 0.0f, 1.0f) : 0.0f;
    const float dx = apx - h * abx, dy = apy - h * aby, dz = apz - h * abz;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

constexpr int knotSegments = 720;

// Everything but the knot: the ball cut down to the gyroid's thick walls, plus the core.
float latticeDistance(const SculptureShape& s, float x, float y, float z)
{
    const float k = 2.0f * pi / s.gyroidPeriod;
    const float g = std::sin(k * x) * std::cos(k * y) + std::sin(k * y) * std::cos(k * z) +
                    std::sin(k * z) * std::cos(k * x);
    // |grad g| is about 1.2 k over the surface: divide to get a distance.
    const float sheet = std::fabs(g) / (1.2f * k) - s.wallHalf;
    const float ball = std::sqrt(x * x + y * y + z * z) - s.ballRadius;
    const float core = std::sqrt(x * x + y * y + z * z) - s.coreRadius;
    return smoothMin(smoothMax(ball, sheet, s.fillet), core, s.fillet);
}

Vec3 cross3(const float* a, const float* b)
{
    return cross(Vec3(a[0], a[1], a[2]), Vec3(b[0], b[1], b[2]));
}

}  // namespace

float sculptureDistance(const SculptureShape& s, float x, float y, float z)
{
    float knot = 1e30f;
    P3 prev = knotPoint(s, 0.0f);
    for (int i = 1; i <= knotSegments; ++i) {
        const P3 next = knotPoint(s, 2.0f * pi * float(i) / float(knotSegments));
        knot = std::min(knot, segmentDistance({x, y, z}, prev, next));
        prev = next;
    }
    return smoothMin(latticeDistance(s, x, y, z), knot - s.knotRadius, s.fillet);
}

Mesh makeSculptureSurface(const SculptureShape& s)
{
    openvdb::initialize();
    const float reach = std::max(s.ballRadius, s.knotMajor + s.knotMinor + s.knotRadius) + 4.0f * s.voxel;
    const int half = int(std::ceil(reach / s.voxel));
    const int n = 2 * half + 1;
    const float band = 3.0f * s.voxel;

    // The knot's distance only matters near it: each segment of the curve lowers the
    // samples in its own box (much cheaper than every sample against every segment).
    std::vector<float> knot(size_t(n) * n * n, 1e30f);
    const auto at = [n](int i, int j, int k) { return (size_t(k) * n + size_t(j)) * n + size_t(i); };
    P3 prev = knotPoint(s, 0.0f);
    const float grow = s.knotRadius + band + s.fillet;
    for (int seg = 1; seg <= knotSegments; ++seg) {
        const P3 next = knotPoint(s, 2.0f * pi * float(seg) / float(knotSegments));
        int lo[3], hi[3];
        const float a[3] = {prev.x, prev.y, prev.z}, b[3] = {next.x, next.y, next.z};
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::max(0, int(std::floor((std::min(a[c], b[c]) - grow) / s.voxel)) + half);
            hi[c] = std::min(n - 1, int(std::ceil((std::max(a[c], b[c]) + grow) / s.voxel)) + half);
        }
        for (int k = lo[2]; k <= hi[2]; ++k) {
            for (int j = lo[1]; j <= hi[1]; ++j) {
                for (int i = lo[0]; i <= hi[0]; ++i) {
                    const P3 p = {float(i - half) * s.voxel, float(j - half) * s.voxel, float(k - half) * s.voxel};
                    float& d = knot[at(i, j, k)];
                    d = std::min(d, segmentDistance(p, prev, next));
                }
            }
        }
        prev = next;
    }

    // The narrow band of the level set; the flood fill then marks the inside.
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(band);
    grid->setTransform(openvdb::math::Transform::createLinearTransform(double(s.voxel)));
    grid->setGridClass(openvdb::GRID_LEVEL_SET);
    {
        openvdb::FloatGrid::Accessor acc = grid->getAccessor();
        for (int k = 0; k < n; ++k) {
            for (int j = 0; j < n; ++j) {
                for (int i = 0; i < n; ++i) {
                    const float x = float(i - half) * s.voxel, y = float(j - half) * s.voxel, z = float(k - half) * s.voxel;
                    const float d = smoothMin(latticeDistance(s, x, y, z), knot[at(i, j, k)] - s.knotRadius, s.fillet);
                    if (std::fabs(d) < band) {
                        acc.setValue(openvdb::Coord(i - half, j - half, k - half), d);
                    }
                }
            }
        }
    }
    knot = std::vector<float>();
    openvdb::tools::signedFloodFill(grid->tree());
    {
        openvdb::tools::LevelSetFilter<openvdb::FloatGrid> filter(*grid);
        for (int i = 0; i < s.smoothing; ++i) {
            filter.meanCurvature();
        }
    }

    std::vector<openvdb::Vec3s> points;
    std::vector<openvdb::Vec3I> triangles;
    std::vector<openvdb::Vec4I> quads;
    openvdb::tools::volumeToMesh(*grid, points, triangles, quads, 0.0, 0.0);

    std::vector<unsigned int> indices;
    indices.reserve(triangles.size() * 3 + quads.size() * 6);
    for (const openvdb::Vec3I& t : triangles) {
        indices.insert(indices.end(), {t[0], t[1], t[2]});
    }
    const auto dist2 = [&points](unsigned a, unsigned b) { return (points[a] - points[b]).lengthSqr(); };
    for (const openvdb::Vec4I& q : quads) {
        // Split along the shorter diagonal.
        if (dist2(q[0], q[2]) <= dist2(q[1], q[3])) {
            indices.insert(indices.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
        } else {
            indices.insert(indices.end(), {q[0], q[1], q[3], q[1], q[2], q[3]});
        }
    }
    std::vector<float> positions(points.size() * 3);
    for (size_t i = 0; i < points.size(); ++i) {
        positions[i * 3] = points[i].x();
        positions[i * 3 + 1] = points[i].y();
        positions[i * 3 + 2] = points[i].z();
    }

    // Down to the budget; the error bound only stops it on surfaces too curved to lose.
    const size_t target = size_t(s.maxTriangles) * 3;
    if (indices.size() > target) {
        std::vector<unsigned int> simpler(indices.size());
        simpler.resize(meshopt_simplify(simpler.data(), indices.data(), indices.size(), positions.data(),
                                        points.size(), sizeof(float) * 3, target, 0.02f));
        indices.swap(simpler);
    }
    // Drop the vertices the simplification left unused.
    std::vector<unsigned int> remap(points.size());
    const size_t used = meshopt_optimizeVertexFetchRemap(remap.data(), indices.data(), indices.size(), points.size());
    meshopt_remapIndexBuffer(indices.data(), indices.data(), indices.size(), remap.data());
    std::vector<float> compact(used * 3);
    meshopt_remapVertexBuffer(compact.data(), positions.data(), points.size(), sizeof(float) * 3, remap.data());

    Mesh m;
    m.points = std::move(compact);
    m.polygons.assign(indices.begin(), indices.end());
    // The level set's triangles turn one way: make them counter-clockwise from outside
    // (positive enclosed volume).
    double volume = 0.0;
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        const float* a = &m.points[size_t(m.polygons[t]) * 3];
        const float* b = &m.points[size_t(m.polygons[t + 1]) * 3];
        const float* c = &m.points[size_t(m.polygons[t + 2]) * 3];
        const Vec3 bc = cross3(b, c);
        volume += double(a[0]) * bc.x + double(a[1]) * bc.y + double(a[2]) * bc.z;
    }
    if (volume < 0.0) {
        for (size_t t = 0; t < m.polygons.size(); t += 3) {
            std::swap(m.polygons[t + 1], m.polygons[t + 2]);
        }
    }

    // Area-weighted smooth normals.
    m.normals.assign(m.points.size(), 0.0f);
    for (size_t t = 0; t < m.polygons.size(); t += 3) {
        const float* a = &m.points[size_t(m.polygons[t]) * 3];
        const float* b = &m.points[size_t(m.polygons[t + 1]) * 3];
        const float* c = &m.points[size_t(m.polygons[t + 2]) * 3];
        const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const Vec3 fn = cross3(e1, e2);
        for (int k = 0; k < 3; ++k) {
            float* nv = &m.normals[size_t(m.polygons[t + size_t(k)]) * 3];
            nv[0] += fn.x, nv[1] += fn.y, nv[2] += fn.z;
        }
    }
    for (size_t v = 0; v < m.normals.size(); v += 3) {
        float* nv = &m.normals[v];
        float len = std::sqrt(nv[0] * nv[0] + nv[1] * nv[1] + nv[2] * nv[2]);
        if (len < 1e-12f) {
            // Only slivers meet here: the field's gradient says where outside is.
            const float* p = &m.points[v];
            const float h = 0.25f * s.voxel;
            for (int c = 0; c < 3; ++c) {
                float a[3] = {p[0], p[1], p[2]}, b[3] = {p[0], p[1], p[2]};
                a[c] += h;
                b[c] -= h;
                nv[c] = sculptureDistance(s, a[0], a[1], a[2]) - sculptureDistance(s, b[0], b[1], b[2]);
            }
            len = std::sqrt(nv[0] * nv[0] + nv[1] * nv[1] + nv[2] * nv[2]);
        }
        const float inv = len > 0.0f ? 1.0f / len : 0.0f;
        nv[0] *= inv, nv[1] *= inv, nv[2] *= inv;
    }
    return m;
}

Mesh makeSculpture(const SculptureShape& shape)
{
    return inDrawOrder(atlasByProjection(makeSculptureSurface(shape)));
}

void generateSculpture(const Context& /*context*/, std::vector<Asset>& out)
{
    Mesh mesh = makeSculpture();
    out.push_back({"objects/abs06.mmf", writeMmf(mesh)});

    // The labyrinth's many small charts get their occlusion from the vertices. Rays
    // reach across the labyrinth's depth, not to the far side of the ball.
    const std::vector<float> open = vertexOcclusion(mesh, 64, 3.0f, 606);
    if (open.empty()) {
        throw std::runtime_error("sculpture ambient occlusion: the mesh cannot be traced");
    }
    out.push_back({"textures/abs06-split-ao1024.png", encodePng(paintVertexValues(mesh, open, 1024))});
}

}  // namespace datagen
