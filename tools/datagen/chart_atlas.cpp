#include "datagen/chart_atlas.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

namespace datagen {

namespace {

struct Rect {
    float w = 0.0f, h = 0.0f;  // world units
};

struct Placement {
    float x = 0.0f, y = 0.0f;  // texels, lower left of the chart's content
};

// Shelf packing of the charts at `scale` texels per unit, tallest first. False when the
// shelves do not fit the square.
bool shelfPack(const std::vector<Rect>& rects, const std::vector<int>& order, float scale,
               const ChartAtlasSettings& settings, std::vector<Placement>& placed)
{
    const float size = float(settings.size);
    const float pad = float(settings.padding);
    float x = 0.0f, y = 0.0f, shelf = 0.0f;
    for (int c : order) {
        const float w = std::ceil(rects[size_t(c)].w * scale) + 2.0f * pad;
        const float h = std::ceil(rects[size_t(c)].h * scale) + 2.0f * pad;
        if (w > size) {
            return false;
        }
        if (x + w > size) {
            x = 0.0f;
            y += shelf;
            shelf = 0.0f;
        }
        if (y + h > size) {
            return false;
        }
        placed[size_t(c)] = {x + pad, y + pad};
        x += w;
        shelf = std::max(shelf, h);
    }
    return true;
}

struct Vec {
    double x, y, z;
};

Vec sub(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec normalised(const Vec& a)
{
    double l = std::sqrt(dot(a, a));
    return l > 0.0 ? Vec{a.x / l, a.y / l, a.z / l} : Vec{0.0, 0.0, 1.0};
}

Vec point(const Mesh& m, int32_t v) { return {m.points[size_t(v) * 3], m.points[size_t(v) * 3 + 1], m.points[size_t(v) * 3 + 2]}; }

// A chart's plane: the seed's normal and two directions across it.
struct Frame {
    Vec axis, u, v;
};

Frame frameAround(const Vec& axis)
{
    Vec helper = std::fabs(axis.x) < 0.9 ? Vec{1.0, 0.0, 0.0} : Vec{0.0, 1.0, 0.0};
    Vec u = normalised(cross(helper, axis));
    return {axis, u, cross(axis, u)};
}

// A triangle flattened into a chart: corner positions and the mesh's vertex numbers.
struct Flat {
    double x[3], y[3];
    int32_t v[3];
};

double orient(double ax, double ay, double bx, double by, double cx, double cy)
{
    return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

// True when the interiors of the two flat triangles meet. Shared corners and shared
// edges are contact, not overlap; a neighbour folded back over a shared edge overlaps.
bool overlap(const Flat& a, const Flat& b, double eps)
{
    auto shared = [](const Flat& t, int32_t v) { return t.v[0] == v || t.v[1] == v || t.v[2] == v; };
    // Edges crossing properly (neither touches the other's line at an end).
    for (int i = 0; i < 3; ++i) {
        const int i2 = (i + 1) % 3;
        for (int j = 0; j < 3; ++j) {
            const int j2 = (j + 1) % 3;
            if (a.v[i] == b.v[j] || a.v[i] == b.v[j2] || a.v[i2] == b.v[j] || a.v[i2] == b.v[j2]) {
                continue;
            }
            const double d1 = orient(a.x[i], a.y[i], a.x[i2], a.y[i2], b.x[j], b.y[j]);
            const double d2 = orient(a.x[i], a.y[i], a.x[i2], a.y[i2], b.x[j2], b.y[j2]);
            const double d3 = orient(b.x[j], b.y[j], b.x[j2], b.y[j2], a.x[i], a.y[i]);
            const double d4 = orient(b.x[j], b.y[j], b.x[j2], b.y[j2], a.x[i2], a.y[i2]);
            if (((d1 > eps && d2 < -eps) || (d1 < -eps && d2 > eps)) && ((d3 > eps && d4 < -eps) || (d3 < -eps && d4 > eps))) {
                return true;
            }
        }
    }
    // A corner of one strictly inside the other (covers containment and folds).
    auto inside = [eps](const Flat& t, double px, double py) {
        const double s = orient(t.x[0], t.y[0], t.x[1], t.y[1], t.x[2], t.y[2]) > 0.0 ? 1.0 : -1.0;
        for (int e = 0; e < 3; ++e) {
            if (s * orient(t.x[e], t.y[e], t.x[(e + 1) % 3], t.y[(e + 1) % 3], px, py) <= eps) {
                return false;
            }
        }
        return true;
    };
    for (int k = 0; k < 3; ++k) {
        if (!shared(b, a.v[k]) && inside(b, a.x[k], a.y[k])) {
            return true;
        }
        if (!shared(a, b.v[k]) && inside(a, b.x[k], b.y[k])) {
            return true;
        }
    }
    // Two triangles on one edge must lie on its two sides.
    for (int i = 0; i < 3; ++i) {
        const int i2 = (i + 1) % 3, i3 = (i + 2) % 3;
        for (int j = 0; j < 3; ++j) {
            const int j2 = (j + 1) % 3, j3 = (j + 2) % 3;
            const bool sameEdge = (a.v[i] == b.v[j] && a.v[i2] == b.v[j2]) || (a.v[i] == b.v[j2] && a.v[i2] == b.v[j]);
            if (sameEdge) {
                const double sa = orient(a.x[i], a.y[i], a.x[i2], a.y[i2], a.x[i3], a.y[i3]);
                const double sb = orient(a.x[i], a.y[i], a.x[i2], a.y[i2], b.x[j3], b.y[j3]);
                if ((sa > 0.0) == (sb > 0.0)) {
                    return true;
                }
            }
        }
    }
    return false;
}

// The flat triangles of one chart in a grid of buckets, for the overlap test.
class FlatIndex {
public:
    explicit FlatIndex(double cell) : cell_(cell) {}
    void clear()
    {
        buckets_.clear();
        flats_.clear();
    }
    bool collides(const Flat& f, double eps)
    {
        forCells(f, [&](uint64_t key) {
            auto found = buckets_.find(key);
            if (found == buckets_.end()) {
                return false;
            }
            for (int32_t other : found->second) {
                if (overlap(f, flats_[size_t(other)], eps)) {
                    return true;
                }
            }
            return false;
        });
        return hit_;
    }
    void insert(const Flat& f)
    {
        const int32_t id = int32_t(flats_.size());
        flats_.push_back(f);
        forCells(f, [&](uint64_t key) {
            buckets_[key].push_back(id);
            return false;
        });
    }

private:
    template <typename Visit>
    void forCells(const Flat& f, Visit visit)
    {
        hit_ = false;
        const int x0 = int(std::floor(std::min({f.x[0], f.x[1], f.x[2]}) / cell_));
        const int x1 = int(std::floor(std::max({f.x[0], f.x[1], f.x[2]}) / cell_));
        const int y0 = int(std::floor(std::min({f.y[0], f.y[1], f.y[2]}) / cell_));
        const int y1 = int(std::floor(std::max({f.y[0], f.y[1], f.y[2]}) / cell_));
        for (int j = y0; j <= y1; ++j) {
            for (int i = x0; i <= x1; ++i) {
                if (visit((uint64_t(uint32_t(i)) << 32) | uint32_t(j))) {
                    hit_ = true;
                    return;
                }
            }
        }
    }

    double cell_;
    bool hit_ = false;
    std::unordered_map<uint64_t, std::vector<int32_t>> buckets_;
    std::vector<Flat> flats_;
};

}  // namespace

float packCharts(Mesh& mesh, const std::vector<int>& chartOfVertex, const ChartAtlasSettings& settings)
{
    const size_t vertexCount = chartOfVertex.size();
    int chartCount = 0;
    for (int c : chartOfVertex) {
        chartCount = std::max(chartCount, c + 1);
    }
    std::vector<std::vector<size_t>> members(static_cast<size_t>(chartCount));
    for (size_t v = 0; v < vertexCount; ++v) {
        members[size_t(chartOfVertex[v])].push_back(v);
    }

    // Turn each chart to its smallest bounding rectangle and move it to the origin.
    std::vector<Rect> rects(static_cast<size_t>(chartCount));
    double area = 0.0;
    for (int c = 0; c < chartCount; ++c) {
        const std::vector<size_t>& vs = members[size_t(c)];
        if (vs.empty()) {
            continue;
        }
        double best = -1.0, bestAngle = 0.0;
        for (int step = 0; step < 6; ++step) {
            const double a = step * 3.14159265358979 / 12.0;
            const double ca = std::cos(a), sa = std::sin(a);
            double lo[2] = {1e30, 1e30}, hi[2] = {-1e30, -1e30};
            for (size_t v : vs) {
                const double x = mesh.uvs[v * 2], y = mesh.uvs[v * 2 + 1];
                const double rx = ca * x - sa * y, ry = sa * x + ca * y;
                lo[0] = std::min(lo[0], rx), hi[0] = std::max(hi[0], rx);
                lo[1] = std::min(lo[1], ry), hi[1] = std::max(hi[1], ry);
            }
            const double boxArea = (hi[0] - lo[0]) * (hi[1] - lo[1]);
            if (best < 0.0 || boxArea < best * 0.999) {
                best = boxArea;
                bestAngle = a;
            }
        }
        const double ca = std::cos(bestAngle), sa = std::sin(bestAngle);
        double lo[2] = {1e30, 1e30}, hi[2] = {-1e30, -1e30};
        for (size_t v : vs) {
            const double x = mesh.uvs[v * 2], y = mesh.uvs[v * 2 + 1];
            const double rx = ca * x - sa * y, ry = sa * x + ca * y;
            mesh.uvs[v * 2] = float(rx);
            mesh.uvs[v * 2 + 1] = float(ry);
            lo[0] = std::min(lo[0], rx), hi[0] = std::max(hi[0], rx);
            lo[1] = std::min(lo[1], ry), hi[1] = std::max(hi[1], ry);
        }
        // Tall charts stand upright so the shelves stay low.
        const bool turn = (hi[0] - lo[0]) > (hi[1] - lo[1]);
        for (size_t v : vs) {
            const float x = mesh.uvs[v * 2] - float(lo[0]), y = mesh.uvs[v * 2 + 1] - float(lo[1]);
            mesh.uvs[v * 2] = turn ? y : x;
            mesh.uvs[v * 2 + 1] = turn ? x : y;
        }
        const float w = float(hi[0] - lo[0]), h = float(hi[1] - lo[1]);
        rects[size_t(c)] = turn ? Rect{h, w} : Rect{w, h};
        area += double(w) * double(h);
    }

    std::vector<int> order(static_cast<size_t>(chartCount));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&rects](int a, int b) { return rects[size_t(a)].h > rects[size_t(b)].h; });

    // The largest scale that fits, by bisection from one that surely does not.
    std::vector<Placement> placed(static_cast<size_t>(chartCount));
    float hi = area > 0.0 ? float(settings.size / std::sqrt(area)) : float(settings.size);
    float lo = 0.0f;
    for (int i = 0; i < 40; ++i) {
        const float mid = 0.5f * (lo + hi);
        if (shelfPack(rects, order, mid, settings, placed)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    if (lo <= 0.0f || !shelfPack(rects, order, lo, settings, placed)) {
        return 0.0f;
    }
    const float size = float(settings.size);
    for (size_t v = 0; v < vertexCount; ++v) {
        const Placement& p = placed[size_t(chartOfVertex[v])];
        mesh.uvs[v * 2] = (p.x + mesh.uvs[v * 2] * lo) / size;
        mesh.uvs[v * 2 + 1] = (p.y + mesh.uvs[v * 2 + 1] * lo) / size;
    }
    return lo;
}

Mesh atlasByProjection(const Mesh& welded, const ChartAtlasSettings& settings, std::vector<int>* chartOfVertex)
{
    const size_t triangleCount = welded.polygons.size() / 3;
    const int32_t* tri = welded.polygons.data();

    std::vector<Vec> normal(triangleCount);
    double totalArea = 0.0;
    for (size_t t = 0; t < triangleCount; ++t) {
        const Vec p0 = point(welded, tri[t * 3]), p1 = point(welded, tri[t * 3 + 1]), p2 = point(welded, tri[t * 3 + 2]);
        const Vec n = cross(sub(p1, p0), sub(p2, p0));
        totalArea += 0.5 * std::sqrt(dot(n, n));
        normal[t] = normalised(n);
    }

    // Neighbours across manifold edges (an edge used by exactly two triangles).
    std::vector<std::pair<uint64_t, int32_t>> edges;
    edges.reserve(triangleCount * 3);
    for (size_t t = 0; t < triangleCount; ++t) {
        for (int e = 0; e < 3; ++e) {
            const uint32_t a = uint32_t(tri[t * 3 + e]), b = uint32_t(tri[t * 3 + (e + 1) % 3]);
            edges.push_back({(uint64_t(std::min(a, b)) << 32) | std::max(a, b), int32_t(t)});
        }
    }
    std::sort(edges.begin(), edges.end());
    std::vector<std::vector<int32_t>> neighbours(triangleCount);
    for (size_t i = 0; i < edges.size();) {
        size_t j = i;
        while (j < edges.size() && edges[j].first == edges[i].first) {
            ++j;
        }
        if (j - i == 2) {
            neighbours[size_t(edges[i].second)].push_back(edges[i + 1].second);
            neighbours[size_t(edges[i + 1].second)].push_back(edges[i].second);
        }
        i = j;
    }

    // Buckets about two triangles wide; overlap tolerance far below any triangle.
    const double meanEdge = std::sqrt(totalArea / double(std::max<size_t>(triangleCount, 1)));
    const double cell = std::max(2.0 * meanEdge, 1e-9);
    const double eps = 1e-10 * meanEdge * meanEdge;
    const double coneCos = std::cos(settings.coneDegrees * 3.14159265358979 / 180.0);

    std::vector<int> chartOf(triangleCount, -1);
    std::vector<Frame> frames;
    FlatIndex placed(cell);
    std::vector<int32_t> queue;
    auto tryAdd = [&](size_t t, const Frame& f) {
        Flat flat;
        for (int k = 0; k < 3; ++k) {
            flat.v[k] = tri[t * 3 + size_t(k)];
            const Vec p = point(welded, flat.v[k]);
            flat.x[k] = dot(p, f.u);
            flat.y[k] = dot(p, f.v);
        }
        if (placed.collides(flat, eps)) {
            return false;
        }
        placed.insert(flat);
        return true;
    };
    for (size_t seed = 0; seed < triangleCount; ++seed) {
        if (chartOf[seed] >= 0) {
            continue;
        }
        const int chart = int(frames.size());
        frames.push_back(frameAround(normal[seed]));
        const Frame& f = frames.back();
        placed.clear();
        tryAdd(seed, f);
        chartOf[seed] = chart;
        int members = 1;
        queue.assign(1, int32_t(seed));
        for (size_t q = 0; q < queue.size() && members < settings.maxChartTriangles; ++q) {
            for (int32_t n : neighbours[size_t(queue[q])]) {
                if (chartOf[size_t(n)] >= 0 || dot(normal[size_t(n)], f.axis) < coneCos ||
                    members >= settings.maxChartTriangles || !tryAdd(size_t(n), f)) {
                    continue;
                }
                chartOf[size_t(n)] = chart;
                ++members;
                queue.push_back(n);
            }
        }
    }

    // Split the vertices by chart, keeping the triangle order.
    Mesh out;
    out.textures = welded.textures;
    out.polygons.resize(welded.polygons.size());
    std::vector<int> vertexChart;
    std::unordered_map<uint64_t, int32_t> copyOf;
    copyOf.reserve(welded.points.size() / 3 * 2);
    for (size_t t = 0; t < triangleCount; ++t) {
        const int chart = chartOf[t];
        const Frame& f = frames[size_t(chart)];
        for (int k = 0; k < 3; ++k) {
            const int32_t v = tri[t * 3 + k];
            const uint64_t key = (uint64_t(uint32_t(chart)) << 32) | uint32_t(v);
            auto found = copyOf.find(key);
            if (found == copyOf.end()) {
                const int32_t index = int32_t(out.points.size() / 3);
                found = copyOf.emplace(key, index).first;
                const size_t s = size_t(v) * 3;
                out.points.insert(out.points.end(), welded.points.begin() + long(s), welded.points.begin() + long(s) + 3);
                out.normals.insert(out.normals.end(), welded.normals.begin() + long(s), welded.normals.begin() + long(s) + 3);
                const Vec p = point(welded, v);
                out.uvs.push_back(float(dot(p, f.u)));
                out.uvs.push_back(float(dot(p, f.v)));
                vertexChart.push_back(chart);
            }
            out.polygons[t * 3 + size_t(k)] = found->second;
        }
    }
    packCharts(out, vertexChart, settings);
    if (chartOfVertex) {
        *chartOfVertex = std::move(vertexChart);
    }
    return out;
}

}  // namespace datagen
