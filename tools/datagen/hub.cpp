#include "datagen/hub.h"

#include "datagen/ao_baker.h"
#include "datagen/atlas.h"
#include "datagen/draw_order.h"
#include "datagen/image.h"
#include "datagen/mmf_writer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace datagen {

namespace {

constexpr float pi = 3.14159265358979f;

// Where a part sits: its own axes and origin in the hub's frame.
struct Xform {
    Vec3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1}, o;
    Vec3 point(const Vec3& p) const { return o + x * p.x + y * p.y + z * p.z; }
    Vec3 direction(const Vec3& d) const { return normalize(x * d.x + y * d.y + z * d.z); }
};

// Turned by `angle` about the hub's axis, then moved to `at` (in the turned frame).
Xform turned(float angle, const Vec3& at = Vec3())
{
    Xform f;
    const float c = std::cos(angle), s = std::sin(angle);
    f.x = Vec3(c, 0, -s);
    f.z = Vec3(s, 0, c);
    f.o = f.point(at);
    return f;
}

// A part's Y axis from a to b (its length along Y is |b - a|; use a unit profile).
Xform between(const Vec3& a, const Vec3& b)
{
    Xform f;
    f.y = normalize(b - a);
    Vec3 helper = std::fabs(f.y.y) < 0.9f ? Vec3(0, 1, 0) : Vec3(1, 0, 0);
    f.x = normalize(cross(helper, f.y));
    f.z = cross(f.x, f.y);
    f.o = a;
    return f;
}

// One point of a revolved profile in (radius, height); `smooth` keeps the normal
// continuous through it, otherwise the profile turns a machined edge there.
struct ProfilePoint {
    float r, y;
    bool smooth = false;
};

using Profile = std::vector<ProfilePoint>;

// Revolves the profile about the part's Y axis with `segments` steps around. Profiles
// run counter-clockwise in the (r, y) half plane (outwards along the bottom, up the
// outside, inwards along the top) so that normals face out. `faceted` gives every step
// around a flat normal (hexagonal bolt heads). The surface is unrolled into charts laid
// out as (angle × radius, arc length along the profile), a small gap opened at every
// machined edge; a chart spans at most about maxChartSize around and along.
void revolve(std::vector<Chart>& charts, const Profile& profile, int segments, const Xform& at, bool faceted = false)
{
    const float maxChartSize = 4.0f;
    const float edgeGap = 0.05f;
    const size_t count = profile.size();
    // Per segment of the profile: its 2D normal; per point: the layout height (arc
    // length plus a gap at every sharp point) and the normals on either side.
    std::vector<float> segNr(count - 1), segNy(count - 1), segLength(count - 1);
    for (size_t i = 0; i + 1 < count; ++i) {
        float dr = profile[i + 1].r - profile[i].r, dy = profile[i + 1].y - profile[i].y;
        float len = std::sqrt(dr * dr + dy * dy);
        segLength[i] = len;
        segNr[i] = len > 0 ? dy / len : 0.0f;
        segNy[i] = len > 0 ? -dr / len : 0.0f;
    }
    // Normal of point i as seen from segment `seg` (smooth points average both sides).
    auto pointNormal = [&](size_t i, size_t seg, float& nr, float& ny) {
        nr = segNr[seg];
        ny = segNy[seg];
        if (i > 0 && i + 1 < count && profile[i].smooth) {
            float lr = segNr[i - 1] + segNr[i], ly = segNy[i - 1] + segNy[i];
            float len = std::sqrt(lr * lr + ly * ly);
            if (len > 0) {
                nr = lr / len;
                ny = ly / len;
            }
        }
    };

    // Group segments into bands no longer than maxChartSize (a single longer segment
    // makes its own band).
    size_t first = 0;
    while (first + 1 < count) {
        size_t last = first;  // segments first..last-1 ... grow
        float bandLength = 0.0f, rMax = 0.0f;
        while (last + 1 < count && (last == first || bandLength + segLength[last] <= maxChartSize)) {
            bandLength += segLength[last] + edgeGap;
            rMax = std::max({rMax, profile[last].r, profile[last + 1].r});
            ++last;
        }
        const int sectors = std::max(1, std::min(segments, int(std::ceil(2.0f * pi * rMax / maxChartSize))));
        const int perChart = (segments + sectors - 1) / sectors;
        for (int k0 = 0; k0 < segments; k0 += perChart) {
            const int k1 = std::min(segments, k0 + perChart);
            const float a0 = 2.0f * pi * float(k0) / float(segments);
            Chart chart;
            auto vertex = [&](size_t i, size_t seg, float v, float angle, float normalAngle) {
                const ProfilePoint& p = profile[i];
                float nr, ny;
                pointNormal(i, seg, nr, ny);
                Vec3 position(p.r * std::cos(angle), p.y, p.r * std::sin(angle));
                Vec3 normal(nr * std::cos(normalAngle), ny, nr * std::sin(normalAngle));
                return chart.addVertex(at.point(position), at.direction(normal), (angle - a0) * p.r, v);
            };
            // One row of vertices at profile point i (as part of segment seg): one per
            // step edge, or two per step for flat facets.
            auto row = [&](size_t i, size_t seg, float v) {
                std::vector<int32_t> r;
                for (int k = k0; k < k1; ++k) {
                    float b0 = 2.0f * pi * float(k) / float(segments);
                    float b1 = 2.0f * pi * float(k + 1) / float(segments);
                    if (faceted) {
                        r.push_back(vertex(i, seg, v, b0, 0.5f * (b0 + b1)));
                        r.push_back(vertex(i, seg, v, b1, 0.5f * (b0 + b1)));
                    } else {
                        if (k == k0) {
                            r.push_back(vertex(i, seg, v, b0, b0));
                        }
                        r.push_back(vertex(i, seg, v, b1, b1));
                    }
                }
                return r;
            };
            float v = 0.0f;
            std::vector<int32_t> lower;
            for (size_t seg = first; seg < last; ++seg) {
                // A smooth point carries the previous row on; a machined edge opens a gap.
                if (seg == first || !profile[seg].smooth) {
                    lower = row(seg, seg, v);
                }
                v += segLength[seg];
                std::vector<int32_t> upper = row(seg + 1, seg, v);
                for (int k = 0; k < k1 - k0; ++k) {
                    int32_t a = faceted ? lower[2 * k] : lower[k], b = faceted ? lower[2 * k + 1] : lower[k + 1];
                    int32_t c = faceted ? upper[2 * k] : upper[k], d = faceted ? upper[2 * k + 1] : upper[k + 1];
                    chart.addTriangle(a, b, d);
                    chart.addTriangle(a, d, c);
                }
                if (!profile[seg + 1].smooth) {
                    v += edgeGap;
                }
                lower = upper;
            }
            orientTriangles(chart);
            charts.push_back(std::move(chart));
        }
        first = last;
    }
}

// A box of half extents (hx, hy, hz) around the part's origin, its six faces unfolded
// into one cross-shaped chart with a small gap between faces.
void box(std::vector<Chart>& charts, float hx, float hy, float hz, const Xform& at)
{
    Chart chart;
    const float g = 0.06f;
    const float W = 2 * hx, H = 2 * hy, D = 2 * hz;
    // Each face: centre normal, the two in-face axes (u, v) with their half sizes, and
    // where its lower-left corner goes in the layout.
    struct Face {
        Vec3 n, u, v;
        float hu, hv, lx, ly;
    };
    const Face faces[6] = {
        {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}, hz, hy, 0, D + g},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, hx, hy, D + g, D + g},
        {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}, hz, hy, D + W + 2 * g, D + g},
        {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}, hx, hy, 2 * D + W + 3 * g, D + g},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}, hx, hz, D + g, D + H + 2 * g},
        {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}, hx, hz, D + g, 0},
    };
    for (const Face& f : faces) {
        Vec3 c(f.n.x * hx, f.n.y * hy, f.n.z * hz);
        int32_t v[4];
        for (int k = 0; k < 4; ++k) {
            float su = (k == 1 || k == 2) ? 1.0f : -1.0f;
            float sv = k >= 2 ? 1.0f : -1.0f;
            Vec3 p = c + f.u * (su * f.hu) + f.v * (sv * f.hv);
            v[k] = chart.addVertex(at.point(p), at.direction(f.n), f.lx + (su + 1) * f.hu, f.ly + (sv + 1) * f.hv);
        }
        chart.addTriangle(v[0], v[1], v[2]);
        chart.addTriangle(v[0], v[2], v[3]);
    }
    orientTriangles(chart);
    charts.push_back(std::move(chart));
}

// A round tube of `radius` along the path (points in the hub's frame), open at both
// ends (they sink into other parts), cut into charts about two turns long.
void tube(std::vector<Chart>& charts, const std::vector<Vec3>& path, float radius, int around)
{
    // Parallel-transported frame along the path.
    std::vector<Vec3> side(path.size()), up(path.size());
    std::vector<float> s(path.size(), 0.0f);
    for (size_t i = 0; i < path.size(); ++i) {
        Vec3 t = normalize(path[std::min(i + 1, path.size() - 1)] - path[i > 0 ? i - 1 : 0]);
        if (i == 0) {
            Vec3 helper = std::fabs(t.y) < 0.9f ? Vec3(0, 1, 0) : Vec3(1, 0, 0);
            side[0] = normalize(cross(t, helper));
        } else {
            s[i] = s[i - 1] + length(path[i] - path[i - 1]);
            Vec3 prev = side[i - 1];
            side[i] = normalize(prev - t * dot(prev, t));
        }
        up[i] = cross(side[i], t);
    }
    const float pieceLength = 4.0f * pi * radius;
    size_t first = 0;
    while (first + 1 < path.size()) {
        size_t last = first + 1;
        while (last + 1 < path.size() && s[last] - s[first] < pieceLength) {
            ++last;
        }
        Chart chart;
        for (size_t i = first; i <= last; ++i) {
            for (int k = 0; k <= around; ++k) {
                float a = 2.0f * pi * float(k) / float(around);
                Vec3 n = side[i] * std::cos(a) + up[i] * std::sin(a);
                chart.addVertex(path[i] + n * radius, n, a * radius, s[i] - s[first]);
            }
        }
        const int columns = around + 1;
        for (size_t i = 0; i < last - first; ++i) {
            for (int k = 0; k < around; ++k) {
                int32_t v00 = int32_t(i * columns + k), v01 = v00 + 1;
                int32_t v10 = int32_t((i + 1) * columns + k), v11 = v10 + 1;
                chart.addTriangle(v00, v01, v11);
                chart.addTriangle(v00, v11, v10);
            }
        }
        orientTriangles(chart);
        charts.push_back(std::move(chart));
        first = last;
    }
}

Vec3 bezier(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, float t)
{
    float u = 1.0f - t;
    return a * (u * u * u) + b * (3 * u * u * t) + c * (3 * u * t * t) + d * (t * t * t);
}

// A profile that is symmetric about y = 0: the lower half given from the axis at the
// bottom up to y = 0, mirrored into the upper half.
Profile mirrored(const Profile& lower)
{
    Profile p = lower;
    for (size_t i = lower.size() - 1; i-- > 0;) {
        ProfilePoint q = lower[i];
        q.y = -q.y;
        p.push_back(q);
    }
    return p;
}

// Hexagonal bolt head with a washer, standing on the part's origin along its Y axis.
// Only what can be seen: the washer's underside lies on the metal and the middle of its
// top under the head, the head's underside on the washer.
void bolt(std::vector<Chart>& charts, float size, const Xform& at)
{
    Profile washer = {{1.45f * size, 0.0f}, {1.45f * size, 0.18f * size}, {0.8f * size, 0.18f * size}};
    revolve(charts, washer, 8, at);
    Profile head = {{size, 0.18f * size}, {size, 0.75f * size}, {0.85f * size, 0.9f * size}, {0.0f, 0.9f * size}};
    revolve(charts, head, 6, at, true);
}

}  // namespace

Mesh makeHub(const HubShape& shape)
{
    std::vector<Chart> charts;
    const int seg = shape.segments;
    // Steps around a revolved part of the given outer radius: the outline strays from the
    // circle no farther than the rim's does (the same sagitta), at least 40 steps.
    constexpr float rimRadius = 7.25f;  // the rim profile's outermost point
    auto around = [seg](float radius) {
        return std::max(40, int(std::ceil(float(seg) * std::sqrt(radius / rimRadius))));
    };

    // Outer parts first: drawn first, they hide what lies behind them from the fill.
    // Flange where the spokes meet the drum, and the outer rim with a raised lip.
    Profile flange = mirrored({{2.5f, -0.75f}, {3.3f, -0.75f}, {3.45f, -0.6f}, {3.45f, 0.0f, true}});
    revolve(charts, flange, around(3.45f), Xform());
    Profile rim = {{6.1f, -0.8f}, {6.95f, -0.8f}, {7.1f, -0.65f}, {7.1f, -0.25f}, {7.25f, -0.2f},
                   {7.25f, 0.2f},  {7.1f, 0.25f},  {7.1f, 0.65f},  {6.95f, 0.8f},  {6.1f, 0.8f},
                   {6.0f, 0.7f},   {6.0f, -0.7f},  {6.1f, -0.8f}};
    revolve(charts, rim, seg, Xform());
    // Two stacked rings above and below, on posts standing on the spokes.
    for (float side : {-1.0f, 1.0f}) {
        Profile ring = {{4.55f, -0.18f}, {5.15f, -0.18f}, {5.25f, -0.08f}, {5.25f, 0.08f}, {5.15f, 0.18f},
                        {4.55f, 0.18f},  {4.45f, 0.08f},  {4.45f, -0.08f}, {4.55f, -0.18f}};
        Xform at;
        at.o = Vec3(0, side * 2.05f, 0);
        revolve(charts, ring, around(5.25f), at);
        Profile lip = {{2.5f, -0.12f}, {3.8f, -0.12f}, {3.9f, -0.02f}, {3.9f, 0.02f}, {3.8f, 0.12f}, {2.5f, 0.12f}};
        at.o = Vec3(0, side * 3.05f, 0);
        revolve(charts, lip, around(3.9f), at);
    }

    // Drum with its spindles: a stepped, chamfered turning, mirrored about the middle.
    Profile drum = mirrored({{0.0f, -5.6f},
                             {0.55f, -5.6f},
                             {0.7f, -5.45f},
                             {0.7f, -4.6f},
                             {0.95f, -4.5f},
                             {0.95f, -3.7f},
                             {1.7f, -3.7f},
                             {1.7f, -3.45f},
                             {2.45f, -3.45f},
                             {2.55f, -3.35f},
                             {2.55f, -2.95f},
                             {2.25f, -2.75f},
                             {2.25f, -1.6f},
                             {2.05f, -1.5f},
                             {2.05f, -1.25f},
                             {2.3f, -1.15f},
                             {2.6f, -1.15f},
                             {2.6f, 0.0f, true}});
    revolve(charts, drum, around(2.6f), Xform());

    // Spokes: I-beams from the flange to the rim, with posts carrying the rings.
    for (int i = 0; i < shape.spokes; ++i) {
        const float a = 2.0f * pi * float(i) / float(shape.spokes);
        box(charts, 1.4f, 0.07f, 0.36f, turned(a, Vec3(4.72f, 0.5f, 0)));
        box(charts, 1.4f, 0.07f, 0.36f, turned(a, Vec3(4.72f, -0.5f, 0)));
        box(charts, 1.4f, 0.43f, 0.09f, turned(a, Vec3(4.72f, 0.0f, 0)));
        for (float side : {-1.0f, 1.0f}) {
            Profile post = {{0.0f, 0.0f}, {0.16f, 0.0f}, {0.16f, 1.5f}, {0.0f, 1.5f}};
            Xform at = turned(a, Vec3(4.85f, side * 0.55f, 0));
            if (side < 0) {
                at.y = at.y * -1.0f;
                at.x = at.x * -1.0f;
            }
            revolve(charts, post, 12, at);
        }
        // A gusset plate between the spoke and the drum.
        box(charts, 0.35f, 0.9f, 0.05f, turned(a, Vec3(3.05f, 0.0f, 0)));
    }

    // Ribs on the drum between the flange and the top and bottom collars.
    for (int i = 0; i < shape.ribs; ++i) {
        const float a = 2.0f * pi * (float(i) + 0.5f) / float(shape.ribs);
        for (float side : {-1.0f, 1.0f}) {
            box(charts, 0.2f, 0.55f, 0.045f, turned(a, Vec3(2.4f, side * 2.15f, 0)));
        }
    }

    // Bolts: round the rim's top and bottom faces and on the flange.
    for (int i = 0; i < shape.rimBolts; ++i) {
        const float a = 2.0f * pi * (float(i) + 0.5f) / float(shape.rimBolts);
        for (float side : {-1.0f, 1.0f}) {
            Xform at = turned(a, Vec3(6.55f, side * 0.8f, 0));
            if (side < 0) {
                at.y = at.y * -1.0f;
                at.x = at.x * -1.0f;
            }
            bolt(charts, 0.13f, at);
        }
    }
    for (int i = 0; i < 2 * shape.spokes; ++i) {
        const float a = 2.0f * pi * (float(i) + 0.5f) / float(2 * shape.spokes);
        for (float side : {-1.0f, 1.0f}) {
            Xform at = turned(a, Vec3(3.0f, side * 0.75f, 0));
            if (side < 0) {
                at.y = at.y * -1.0f;
                at.x = at.x * -1.0f;
            }
            bolt(charts, 0.12f, at);
        }
    }

    // Pistons from the upper lip ring down to the spokes, and from the lower one up.
    for (int i = 0; i < shape.pistons; ++i) {
        const float a = 2.0f * pi * (float(i) + 0.5f) / float(shape.pistons);
        for (float side : {-1.0f, 1.0f}) {
            Xform f = turned(a);
            Vec3 from = f.point(Vec3(3.65f, side * 2.95f, 0));
            Vec3 to = f.point(Vec3(5.6f, side * 0.85f, 0));
            const float len = length(to - from);
            Profile piston = {{0.0f, 0.0f},
                              {0.2f, 0.0f},
                              {0.2f, 0.45f * len},
                              {0.15f, 0.5f * len},
                              {0.09f, 0.5f * len},
                              {0.09f, len},
                              {0.0f, len}};
            revolve(charts, piston, 12, between(from, to));
        }
    }

    // Cable runs arcing from the upper collar out over the ring to the rim.
    for (int i = 0; i < shape.cables; ++i) {
        const float a = 2.0f * pi * (float(i) + 0.25f) / float(shape.cables);
        for (float side : {-1.0f, 1.0f}) {
            Xform f = turned(a);
            Vec3 p0 = f.point(Vec3(2.2f, side * 2.9f, 0.0f));
            Vec3 p1 = f.point(Vec3(3.2f, side * 4.1f, 0.6f));
            Vec3 p2 = f.point(Vec3(6.4f, side * 3.2f, 0.9f));
            Vec3 p3 = f.point(Vec3(6.7f, side * 0.6f, 0.4f));
            std::vector<Vec3> path;
            for (int k = 0; k <= 28; ++k) {
                path.push_back(bezier(p0, p1, p2, p3, float(k) / 28.0f));
            }
            tube(charts, path, 0.085f, 8);
        }
    }

    return inDrawOrder(packAtlas(charts));
}

void generateHub(const Context& /*context*/, std::vector<Asset>& out)
{
    Mesh mesh = makeHub();
    out.push_back({"objects/hub.mmf", writeMmf(mesh)});

    AoSettings settings;
    settings.size = 1024;
    settings.rays = 64;
    settings.maxDistance = 3.0f;
    settings.dilate = 3;
    settings.seed = 1515;
    std::string error;
    Image ao = bakeAmbientOcclusion(mesh, settings, &error);
    if (ao.pixels.empty()) {
        throw std::runtime_error("hub ambient occlusion: " + error);
    }
    out.push_back({"textures/hub-ao-1024.png", encodePng(ao)});
}

}  // namespace datagen
