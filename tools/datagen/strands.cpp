#include "datagen/strands.h"

#include "datagen/ao_baker.h"
#include "datagen/chart_atlas.h"
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
constexpr int samplesPerStrand = 2400;  // fine sampling of a centre line before the rings

// A frame travelling along a curve without twisting (rotation-minimising, by the double
// reflection method): normals[i] and binormals[i] span the plane across tangent i.
void travellingFrames(const std::vector<Vec3>& points, std::vector<Vec3>& tangents, std::vector<Vec3>& normals,
                      std::vector<Vec3>& binormals)
{
    const size_t n = points.size();
    tangents.resize(n);
    normals.resize(n);
    binormals.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const Vec3 a = points[i == 0 ? 0 : i - 1], b = points[i + 1 < n ? i + 1 : n - 1];
        tangents[i] = normalize(b - a);
    }
    const Vec3 t0 = tangents[0];
    const Vec3 helper = std::fabs(t0.y) < 0.9f ? Vec3(0.0f, 1.0f, 0.0f) : Vec3(1.0f, 0.0f, 0.0f);
    normals[0] = normalize(cross(helper, t0));
    for (size_t i = 0; i + 1 < n; ++i) {
        const Vec3 v1 = points[i + 1] - points[i];
        const float c1 = dot(v1, v1);
        if (c1 == 0.0f) {
            normals[i + 1] = normals[i];
            continue;
        }
        const Vec3 rn = normals[i] - v1 * (2.0f / c1 * dot(v1, normals[i]));
        const Vec3 rt = tangents[i] - v1 * (2.0f / c1 * dot(v1, tangents[i]));
        const Vec3 v2 = tangents[i + 1] - rt;
        const float c2 = dot(v2, v2);
        normals[i + 1] = c2 == 0.0f ? rn : normalize(rn - v2 * (2.0f / c2 * dot(v2, rn)));
    }
    for (size_t i = 0; i < n; ++i) {
        binormals[i] = cross(tangents[i], normals[i]);
    }
}

// A bundle's spine: from its root outwards along `dir`, winding in a widening spiral
// around that direction and bending aside towards its end.
struct Spine {
    Vec3 root, dir, u, v;
    float length, turns, phase, spiral, bend;
    Vec3 at(float s) const
    {
        const float f = s / length;
        const float a = phase + 2.0f * pi * turns * f;
        const float r = spiral * std::pow(f, 1.3f);
        return root + dir * (0.85f * s) + (u * std::cos(a) + v * std::sin(a)) * r + u * (bend * f * f);
    }
};

std::vector<Spine> spines(const StrandsShape& shape)
{
    Random random(shape.seed);
    std::vector<Spine> out;
    const int count = shape.roots * shape.bundlesPerRoot;
    const float golden = pi * (3.0f - std::sqrt(5.0f));
    for (int b = 0; b < count; ++b) {
        const int root = b % shape.roots;
        const float ra = 2.0f * pi * (float(root) + 0.25f) / float(shape.roots);
        Spine s;
        s.root = Vec3(0.9f * std::cos(ra), 0.5f * float(root) - 0.5f, 0.9f * std::sin(ra));
        // Directions spread evenly over the sphere, each nudged so nothing reads as a lattice.
        const float y = 1.0f - 2.0f * (float(b) + 0.5f) / float(count);
        const float ring = std::sqrt(std::max(0.0f, 1.0f - y * y));
        const float a = golden * float(b) + random.range(-0.3f, 0.3f);
        s.dir = normalize(Vec3(ring * std::cos(a), y + random.range(-0.15f, 0.15f), ring * std::sin(a)));
        const Vec3 helper = std::fabs(s.dir.y) < 0.9f ? Vec3(0.0f, 1.0f, 0.0f) : Vec3(1.0f, 0.0f, 0.0f);
        s.u = normalize(cross(helper, s.dir));
        s.v = cross(s.dir, s.u);
        s.length = shape.length * random.range(0.8f, 1.2f);
        s.turns = random.range(0.7f, 1.4f) * (random.unit() < 0.5f ? -1.0f : 1.0f);
        s.phase = random.range(0.0f, 2.0f * pi);
        s.spiral = random.range(2.0f, 3.5f);
        s.bend = random.range(-1.5f, 1.5f);
        out.push_back(s);
    }
    return out;
}

// Centre line of strand j of a bundle, finely sampled from root to tip.
std::vector<Vec3> strandSamples(const StrandsShape& shape, const Spine& spine, int j, float twistTurns)
{
    std::vector<Vec3> spinePoints(samplesPerStrand + 1);
    for (int i = 0; i <= samplesPerStrand; ++i) {
        spinePoints[size_t(i)] = spine.at(spine.length * float(i) / float(samplesPerStrand));
    }
    std::vector<Vec3> tangents, normals, binormals;
    travellingFrames(spinePoints, tangents, normals, binormals);
    std::vector<Vec3> out(spinePoints.size());
    for (size_t i = 0; i < spinePoints.size(); ++i) {
        const float f = float(i) / float(samplesPerStrand);
        // The strands leave the root together and open up into the twist.
        const float spread = shape.bundleRadius * smoothstep(0.0f, 0.12f, f) * (1.0f - 0.35f * f);
        const float a = 2.0f * pi * (float(j) / float(shape.strandsPerBundle) + twistTurns * f);
        out[i] = spinePoints[i] + (normals[i] * std::cos(a) + binormals[i] * std::sin(a)) * spread;
    }
    return out;
}

// `count` + 1 points at equal steps of arc length along a sampled line; its length.
float resample(const std::vector<Vec3>& samples, int count, std::vector<Vec3>& out)
{
    std::vector<float> along(samples.size(), 0.0f);
    for (size_t i = 1; i < samples.size(); ++i) {
        along[i] = along[i - 1] + length(samples[i] - samples[i - 1]);
    }
    const float total = along.back();
    out.resize(size_t(count) + 1);
    size_t k = 0;
    for (int i = 0; i <= count; ++i) {
        const float target = total * float(i) / float(count);
        while (k + 2 < samples.size() && along[k + 1] < target) {
            ++k;
        }
        const float span = along[k + 1] - along[k];
        const float t = span > 0.0f ? std::clamp((target - along[k]) / span, 0.0f, 1.0f) : 0.0f;
        out[size_t(i)] = mix(samples[k], samples[k + 1], t);
    }
    return total;
}

float radiusAt(const StrandsShape& shape, float f) { return shape.tubeRadius * (1.0f - 0.6f * f * f); }

struct Builder {
    Mesh mesh;
    std::vector<int> chartOf;
    int charts = 0;

    int32_t vertex(const Vec3& p, const Vec3& n, float u, float v)
    {
        mesh.points.insert(mesh.points.end(), {p.x, p.y, p.z});
        mesh.normals.insert(mesh.normals.end(), {n.x, n.y, n.z});
        mesh.uvs.insert(mesh.uvs.end(), {u, v});
        chartOf.push_back(charts);
        return int32_t(mesh.points.size() / 3 - 1);
    }
};

// One strand's rings, frames and the vertex numbers of its pieces.
struct Tube {
    std::vector<Vec3> centres, tangents, normals, binormals;
    std::vector<float> radius;
    float length = 0.0f;
    std::vector<std::vector<int32_t>> ringVertices;  // per ring, sides + 1, in the piece that starts there
    std::vector<std::vector<int32_t>> ringEnds;      // per ring, the copy that ends the previous piece
    std::vector<int32_t> rootDome, tipDome;          // triangles, ready to append
};

// The dome closing ring `end` of a tube, facing `forward` (+1 beyond the tip, -1
// before the root): its own chart with the rim copied, projected across the tangent.
std::vector<int32_t> dome(Builder& b, const StrandsShape& shape, const Tube& tube, size_t end, float forward)
{
    const int sides = shape.sides;
    const Vec3 c = tube.centres[end], t = tube.tangents[end] * forward;
    const Vec3 nn = tube.normals[end], bn = tube.binormals[end];
    const float r = tube.radius[end];
    std::vector<std::vector<int32_t>> rings;
    for (int h = 0; h < shape.domeRings; ++h) {
        const float theta = 0.5f * pi * float(h) / float(shape.domeRings);
        std::vector<int32_t> ring;
        for (int k = 0; k <= sides; ++k) {
            const float a = 2.0f * pi * float(k % sides) / float(sides);
            const Vec3 dir = nn * std::cos(a) + bn * std::sin(a);
            // The rim (theta 0) lands exactly on the tube's last ring.
            const Vec3 out = dir * std::cos(theta) + t * std::sin(theta);
            const Vec3 n = normalize(out);
            const Vec3 p = c + out * r;
            ring.push_back(b.vertex(p, n, dot(p - c, nn), dot(p - c, bn)));
        }
        rings.push_back(ring);
    }
    const int32_t pole = b.vertex(c + t * r, t, 0.0f, 0.0f);
    ++b.charts;

    // Along +tangent the tube's winding holds; before the root it turns round.
    std::vector<int32_t> tris;
    const auto tri = [&tris, forward](int32_t p, int32_t q, int32_t s) {
        if (forward > 0.0f) {
            tris.insert(tris.end(), {p, q, s});
        } else {
            tris.insert(tris.end(), {p, s, q});
        }
    };
    for (size_t h = 0; h + 1 < rings.size(); ++h) {
        for (int k = 0; k < sides; ++k) {
            const int32_t a = rings[h][size_t(k)], bq = rings[h][size_t(k) + 1];
            const int32_t c2 = rings[h + 1][size_t(k)], d = rings[h + 1][size_t(k) + 1];
            tri(a, bq, c2);
            tri(bq, d, c2);
        }
    }
    for (int k = 0; k < sides; ++k) {
        tri(rings.back()[size_t(k)], rings.back()[size_t(k) + 1], pole);
    }
    return tris;
}

Tube buildTube(Builder& b, const StrandsShape& shape, const StrandCurve& curve)
{
    Tube tube;
    for (size_t i = 0; i + 2 < curve.centres.size(); i += 3) {
        tube.centres.emplace_back(curve.centres[i], curve.centres[i + 1], curve.centres[i + 2]);
    }
    tube.length = curve.length;
    travellingFrames(tube.centres, tube.tangents, tube.normals, tube.binormals);
    const size_t ringCount = tube.centres.size();
    tube.radius.resize(ringCount);
    for (size_t i = 0; i < ringCount; ++i) {
        tube.radius[i] = radiusAt(shape, float(i) / float(shape.rings));
    }
    const float step = tube.length / float(shape.rings);
    // The taper tilts the surface normals towards the tip.
    const float slope = (tube.radius[0] - tube.radius.back()) / tube.length;

    tube.ringVertices.resize(ringCount);
    tube.ringEnds.resize(ringCount);
    const int sides = shape.sides;
    for (int start = 0; start < shape.rings; start += shape.ringsPerChart) {
        const int end = std::min(shape.rings, start + shape.ringsPerChart);
        const float around = 2.0f * pi * tube.radius[size_t(start)];
        for (int i = start; i <= end; ++i) {
            std::vector<int32_t> ring;
            const size_t r = size_t(i);
            for (int k = 0; k <= sides; ++k) {
                const float a = 2.0f * pi * float(k % sides) / float(sides);
                const Vec3 dir = tube.normals[r] * std::cos(a) + tube.binormals[r] * std::sin(a);
                const Vec3 n = normalize(dir + tube.tangents[r] * slope);
                ring.push_back(b.vertex(tube.centres[r] + dir * tube.radius[r], n, float(i - start) * step,
                                        around * float(k) / float(sides)));
            }
            (i == end && end != shape.rings ? tube.ringEnds[r] : tube.ringVertices[r]) = ring;
        }
        ++b.charts;
    }
    tube.ringEnds[size_t(shape.rings)] = tube.ringVertices[size_t(shape.rings)];
    tube.rootDome = dome(b, shape, tube, 0, -1.0f);
    tube.tipDome = dome(b, shape, tube, ringCount - 1, 1.0f);
    return tube;
}

}  // namespace

std::vector<StrandCurve> strandCurves(const StrandsShape& shape)
{
    std::vector<StrandCurve> out;
    Random random(shape.seed ^ 0x5eedu);
    for (const Spine& spine : spines(shape)) {
        const float twist = random.range(1.0f, 2.0f) * (random.unit() < 0.5f ? -1.0f : 1.0f);
        for (int j = 0; j < shape.strandsPerBundle; ++j) {
            std::vector<Vec3> centres;
            StrandCurve curve;
            curve.length = resample(strandSamples(shape, spine, j, twist), shape.rings, centres);
            for (const Vec3& c : centres) {
                curve.centres.insert(curve.centres.end(), {c.x, c.y, c.z});
            }
            out.push_back(curve);
        }
    }
    return out;
}

Mesh makeStrands(const StrandsShape& shape, std::vector<int>* chartOfVertex)
{
    Builder b;
    std::vector<Tube> tubes;
    for (const StrandCurve& curve : strandCurves(shape)) {
        tubes.push_back(buildTube(b, shape, curve));
    }

    // Growth order: root domes, then ring step by ring step across all strands, then tips.
    std::vector<int32_t>& tris = b.mesh.polygons;
    for (const Tube& tube : tubes) {
        tris.insert(tris.end(), tube.rootDome.begin(), tube.rootDome.end());
    }
    for (int i = 0; i < shape.rings; ++i) {
        for (const Tube& tube : tubes) {
            const std::vector<int32_t>& lo = tube.ringVertices[size_t(i)];
            const std::vector<int32_t>& hi = tube.ringEnds[size_t(i) + 1].empty() ? tube.ringVertices[size_t(i) + 1]
                                                                                 : tube.ringEnds[size_t(i) + 1];
            for (int k = 0; k < shape.sides; ++k) {
                const int32_t a = lo[size_t(k)], bq = lo[size_t(k) + 1], c = hi[size_t(k)], d = hi[size_t(k) + 1];
                tris.insert(tris.end(), {a, bq, c, bq, d, c});
            }
        }
    }
    for (const Tube& tube : tubes) {
        tris.insert(tris.end(), tube.tipDome.begin(), tube.tipDome.end());
    }

    ChartAtlasSettings settings;
    settings.padding = 3;
    packCharts(b.mesh, b.chartOf, settings);
    if (chartOfVertex) {
        *chartOfVertex = b.chartOf;
    }
    return b.mesh;
}

void generateStrands(const Context& /*context*/, std::vector<Asset>& out)
{
    Mesh mesh = makeStrands();
    out.push_back({"objects/abs08.mmf", writeMmf(mesh)});

    AoSettings settings;
    settings.size = 1024;
    settings.rays = 48;
    settings.maxDistance = 1.5f;  // neighbours in the bundle, not strands across the tangle
    settings.dilate = 3;
    settings.seed = 808;
    std::string error;
    Image ao = bakeAmbientOcclusion(mesh, settings, &error);
    if (ao.pixels.empty()) {
        throw std::runtime_error("strands ambient occlusion: " + error);
    }
    out.push_back({"textures/abs08-ao1024.png", encodePng(ao)});
}

}  // namespace datagen
