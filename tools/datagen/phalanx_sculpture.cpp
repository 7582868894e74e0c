#include "datagen/phalanx_sculpture.h"

#include "datagen/ao_baker.h"
#include "datagen/atlas.h"
#include "datagen/draw_order.h"
#include "datagen/image.h"
#include "datagen/mmf_writer.h"
#include "datagen/noise.h"
#include "datagen/parallel.h"

#include <meshoptimizer.h>
#include <openvdb/openvdb.h>
#include <openvdb/tools/SignedFloodFill.h>
#include <openvdb/tools/VolumeToMesh.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <stdexcept>

namespace datagen {

namespace {

constexpr float pi = 3.14159265358979f;

// One phalanx: a bone from a to b, thick at both ends (the joints) and slimmer between.
struct Bone {
    Vec3 a, b;
    float radius;   // at the joints
    float tip;      // end radius relative to `radius` at b (fingertips narrow)
};

float smoothMin(float a, float b, float k)
{
    float h = std::max(k - std::fabs(a - b), 0.0f) / k;
    return std::min(a, b) - h * h * k * 0.25f;
}

float boneDistance(const Bone& bone, const Vec3& p)
{
    Vec3 ab = bone.b - bone.a;
    float h = std::min(std::max(dot(p - bone.a, ab) / dot(ab, ab), 0.0f), 1.0f);
    float e = 2.0f * h - 1.0f;
    e = e * e;
    // Slim shaft, swelling into the condyles at both ends.
    float r = bone.radius * (0.74f + 0.3f * e * e) * (1.0f + (bone.tip - 1.0f) * h * h);
    return length(p - (bone.a + ab * h)) - r;
}

Vec3 rotateAbout(const Vec3& v, const Vec3& axis, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    return v * c + cross(axis, v) * s + axis * (dot(axis, v) * (1.0f - c));
}

struct Sculpture {
    std::vector<std::vector<Bone>> fingers;

    explicit Sculpture(const PhalanxShape& shape)
    {
        Random random(shape.seed);
        const float lengths[4] = {2.25f, 1.75f, 1.35f, 1.0f};
        const float radii[4] = {0.8f, 0.7f, 0.6f, 0.5f};
        for (int f = 0; f < shape.fingers; ++f) {
            const bool middle = f == 0;
            const float around = middle ? 0.0f : 2.0f * pi * (float(f - 1) + random.range(-0.15f, 0.15f)) / float(shape.fingers - 1);
            const float out = middle ? 0.0f : random.range(1.7f, 2.5f);
            Vec3 root(out * std::cos(around), -3.5f, out * std::sin(around));
            Vec3 outward = middle ? Vec3(0.3f, 0, 0.2f) : Vec3(std::cos(around), 0, std::sin(around));
            // Lean out and up; each joint curls the finger back towards the middle.
            float lean = middle ? 0.08f : random.range(0.3f, 0.55f);
            Vec3 direction = normalize(Vec3(0, 1, 0) + outward * lean);
            Vec3 curlAxis = normalize(cross(outward, Vec3(0, 1, 0)));
            const float curl = middle ? -0.05f : random.range(0.18f, 0.32f);
            const float scale = middle ? 1.28f : random.range(0.82f, 1.12f);
            const float thickness = middle ? 1.12f : random.range(0.85f, 1.0f);
            std::vector<Bone> bones;
            Vec3 at = root;
            for (int k = 0; k < 4; ++k) {
                Vec3 next = at + direction * (lengths[k] * scale);
                bones.push_back({at, next, radii[k] * thickness, k == 3 ? 0.62f : 0.92f});
                at = next;
                direction = normalize(rotateAbout(direction, curlAxis, curl));
            }
            fingers.push_back(bones);
        }
    }

    float distance(const Vec3& p) const
    {
        // The mound: a flattened ellipsoid with a flat foot.
        Vec3 q(p.x / 4.0f, (p.y + 4.6f) / 1.5f, p.z / 4.0f);
        float mound = (length(q) - 1.0f) * 1.3f;
        mound = std::max(mound, -(p.y + 5.2f));
        float all = mound;
        for (const std::vector<Bone>& bones : fingers) {
            // Joints: bones meet with a tight blend that leaves a crease.
            float finger = boneDistance(bones[0], p);
            for (size_t k = 1; k < bones.size(); ++k) {
                finger = smoothMin(finger, boneDistance(bones[k], p), 0.12f);
            }
            all = smoothMin(all, finger, 0.75f);
        }
        return all;
    }

    Vec3 gradient(const Vec3& p, float h) const
    {
        Vec3 g(distance(p + Vec3(h, 0, 0)) - distance(p - Vec3(h, 0, 0)),
               distance(p + Vec3(0, h, 0)) - distance(p - Vec3(0, h, 0)),
               distance(p + Vec3(0, 0, h)) - distance(p - Vec3(0, 0, h)));
        return normalize(g);
    }
};

// The mesh reduced to about `triangles` triangles by edge collapses that keep the shape
// (meshoptimizer), its unused vertices dropped and its triangles put in vertex-cache
// order. Positions and normals of the kept vertices are the field's own.
Mesh simplified(const Mesh& mesh, int triangles)
{
    const size_t vertexCount = mesh.points.size() / 3;
    std::vector<unsigned int> indices(mesh.polygons.begin(), mesh.polygons.end());
    std::vector<unsigned int> kept(indices.size());
    float error = 0.0f;
    kept.resize(meshopt_simplify(kept.data(), indices.data(), indices.size(), mesh.points.data(), vertexCount,
                                 3 * sizeof(float), size_t(triangles) * 3, 0.02f, 0, &error));
    meshopt_optimizeVertexCache(kept.data(), kept.data(), kept.size(), vertexCount);
    Mesh out;
    std::vector<int32_t> remap(vertexCount, -1);
    for (unsigned int i : kept) {
        if (remap[i] < 0) {
            remap[i] = int32_t(out.points.size() / 3);
            out.points.insert(out.points.end(), &mesh.points[3 * i], &mesh.points[3 * i] + 3);
            out.normals.insert(out.normals.end(), &mesh.normals[3 * i], &mesh.normals[3 * i] + 3);
        }
        out.polygons.push_back(remap[i]);
    }
    return out;
}

}  // namespace

float phalanxDistance(const PhalanxShape& shape, float x, float y, float z)
{
    return Sculpture(shape).distance(Vec3(x, y, z));
}

Mesh makePhalanxSculpture(const PhalanxShape& shape)
{
    static std::once_flag vdbReady;
    std::call_once(vdbReady, [] { openvdb::initialize(); });

    const Sculpture sculpture(shape);
    const float voxel = shape.voxel;
    const float band = 3.0f * voxel;
    // The field is sampled only near the surface: coarse blocks first, then every voxel
    // of a block whose centre lies within reach of the zero level set.
    const int block = 4;
    const int lo = int(std::floor(-7.0f / voxel)) / block * block - block;
    const int hi = int(std::ceil(7.0f / voxel)) / block * block + block;
    const int blocks = (hi - lo) / block;
    const float reach = 1.5f * (float(block) * voxel * 0.87f + band);

    auto grid = openvdb::FloatGrid::create(band);
    grid->setTransform(openvdb::math::Transform::createLinearTransform(voxel));
    grid->setGridClass(openvdb::GRID_LEVEL_SET);
    std::vector<std::vector<std::pair<openvdb::Coord, float>>> slabs(static_cast<size_t>(blocks));
    parallelFor(blocks, [&](int begin, int end) {
        for (int bx = begin; bx < end; ++bx) {
            std::vector<std::pair<openvdb::Coord, float>>& out = slabs[size_t(bx)];
            for (int by = 0; by < blocks; ++by) {
                for (int bz = 0; bz < blocks; ++bz) {
                    const int x0 = lo + bx * block, y0 = lo + by * block, z0 = lo + bz * block;
                    Vec3 centre = Vec3(float(x0), float(y0), float(z0)) * voxel + Vec3(1, 1, 1) * (0.5f * block * voxel);
                    if (std::fabs(sculpture.distance(centre)) > reach) {
                        continue;
                    }
                    for (int i = 0; i < block; ++i) {
                        for (int j = 0; j < block; ++j) {
                            for (int k = 0; k < block; ++k) {
                                Vec3 p = Vec3(float(x0 + i), float(y0 + j), float(z0 + k)) * voxel;
                                float d = sculpture.distance(p);
                                if (std::fabs(d) < band) {
                                    out.push_back({openvdb::Coord(x0 + i, y0 + j, z0 + k), d});
                                }
                            }
                        }
                    }
                }
            }
        }
    });
    {
        auto accessor = grid->getAccessor();
        for (const auto& slab : slabs) {
            for (const auto& voxelValue : slab) {
                accessor.setValue(voxelValue.first, voxelValue.second);
            }
        }
    }
    openvdb::tools::signedFloodFill(grid->tree(), false);

    std::vector<openvdb::Vec3s> points;
    std::vector<openvdb::Vec3I> triangles;
    std::vector<openvdb::Vec4I> quads;
    openvdb::tools::volumeToMesh(*grid, points, triangles, quads, 0.0, shape.adaptivity);

    Mesh mesh;
    for (const openvdb::Vec3s& p : points) {
        Vec3 q(p.x(), p.y(), p.z());
        Vec3 n = sculpture.gradient(q, 0.5f * voxel);
        mesh.points.insert(mesh.points.end(), {q.x, q.y, q.z});
        mesh.normals.insert(mesh.normals.end(), {n.x, n.y, n.z});
    }
    auto point = [&mesh](uint32_t i) { return Vec3(mesh.points[3 * i], mesh.points[3 * i + 1], mesh.points[3 * i + 2]); };
    auto normal = [&mesh](uint32_t i) { return Vec3(mesh.normals[3 * i], mesh.normals[3 * i + 1], mesh.normals[3 * i + 2]); };
    // Counter-clockwise seen from outside, judged by the field's normals.
    auto emit = [&](uint32_t a, uint32_t b, uint32_t c) {
        Vec3 face = cross(point(b) - point(a), point(c) - point(a));
        if (dot(face, normal(a) + normal(b) + normal(c)) < 0.0f) {
            std::swap(b, c);
        }
        mesh.polygons.insert(mesh.polygons.end(), {int32_t(a), int32_t(b), int32_t(c)});
    };
    for (const openvdb::Vec3I& t : triangles) {
        emit(t[0], t[1], t[2]);
    }
    for (const openvdb::Vec4I& q : quads) {
        // Split along the shorter diagonal.
        if (length(point(q[0]) - point(q[2])) <= length(point(q[1]) - point(q[3]))) {
            emit(q[0], q[1], q[2]);
            emit(q[0], q[2], q[3]);
        } else {
            emit(q[0], q[1], q[3]);
            emit(q[1], q[2], q[3]);
        }
    }
    return inDrawOrder(packAtlasSeparated(chartsByFacing(simplified(mesh, shape.triangles))));
}

void generatePhalanxSculpture(const Context& /*context*/, std::vector<Asset>& out)
{
    Mesh mesh = makePhalanxSculpture();
    out.push_back({"objects/phalanx_object.mmf", writeMmf(mesh)});

    AoSettings settings;
    settings.size = 1024;
    settings.rays = 64;
    settings.maxDistance = 2.5f;
    settings.dilate = 3;
    settings.seed = 8080;
    std::string error;
    Image ao = bakeAmbientOcclusion(mesh, settings, &error);
    if (ao.pixels.empty()) {
        throw std::runtime_error("phalanx ambient occlusion: " + error);
    }
    out.push_back({"textures/phalanx-ao1024.png", encodePng(ao)});
}

}  // namespace datagen
