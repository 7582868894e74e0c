#include "datagen/atlas.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>
#include <utility>

namespace datagen {

int32_t Chart::addVertex(const Vec3& p, const Vec3& n, float lx, float ly)
{
    points.insert(points.end(), {p.x, p.y, p.z});
    normals.insert(normals.end(), {n.x, n.y, n.z});
    layout.insert(layout.end(), {lx, ly});
    return int32_t(vertexCount() - 1);
}

void orientTriangles(Chart& chart)
{
    auto point = [&chart](int32_t i) { return Vec3(chart.points[3 * i], chart.points[3 * i + 1], chart.points[3 * i + 2]); };
    auto normal = [&chart](int32_t i) {
        return Vec3(chart.normals[3 * i], chart.normals[3 * i + 1], chart.normals[3 * i + 2]);
    };
    for (size_t t = 0; t < chart.triangles.size(); t += 3) {
        int32_t* tri = &chart.triangles[t];
        Vec3 face = cross(point(tri[1]) - point(tri[0]), point(tri[2]) - point(tri[0]));
        Vec3 n = normal(tri[0]) + normal(tri[1]) + normal(tri[2]);
        if (dot(face, n) < 0.0f) {
            std::swap(tri[1], tri[2]);
        }
    }
}

namespace {

struct Box2 {
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    float width() const { return std::max(x1 - x0, 0.0f); }
    float height() const { return std::max(y1 - y0, 0.0f); }
};

Box2 bounds(const Chart& chart)
{
    Box2 b;
    for (size_t i = 0; i < chart.layout.size(); i += 2) {
        b.x0 = std::min(b.x0, chart.layout[i]);
        b.x1 = std::max(b.x1, chart.layout[i]);
        b.y0 = std::min(b.y0, chart.layout[i + 1]);
        b.y1 = std::max(b.y1, chart.layout[i + 1]);
    }
    if (chart.layout.empty()) {
        b = Box2{0, 0, 0, 0};
    }
    return b;
}

struct Placement {
    int x = 0, y = 0;  // lower-left texel of the chart's cell (its gap included)
};

// Shelf packing of cells (w, h texels, gap included) into a square of `size`, tallest
// first; false when they do not fit.
bool shelfPack(const std::vector<int>& w, const std::vector<int>& h, const std::vector<size_t>& order, int size,
               std::vector<Placement>& out)
{
    int x = 0, y = 0, shelf = 0;
    for (size_t k : order) {
        if (w[k] > size) {
            return false;
        }
        if (x + w[k] > size) {
            y += shelf;
            x = 0;
            shelf = 0;
        }
        if (y + h[k] > size) {
            return false;
        }
        out[k] = {x, y};
        x += w[k];
        shelf = std::max(shelf, h[k]);
    }
    return true;
}

}  // namespace

Mesh packAtlas(const std::vector<Chart>& charts, const AtlasSettings& settings, float* density)
{
    const int size = settings.size;
    const int gap = settings.gap;
    // Cells are measured with the gap on their far sides; the near border gets its own.
    const int usable = size - gap;
    std::vector<Box2> boxes;
    for (const Chart& c : charts) {
        boxes.push_back(bounds(c));
    }
    std::vector<int> w(charts.size()), h(charts.size());
    std::vector<size_t> order(charts.size());
    std::vector<Placement> placed(charts.size());

    auto cells = [&](float s) {
        for (size_t i = 0; i < charts.size(); ++i) {
            w[i] = int(std::ceil(boxes[i].width() * s)) + 1 + gap;
            h[i] = int(std::ceil(boxes[i].height() * s)) + 1 + gap;
        }
        std::iota(order.begin(), order.end(), size_t(0));
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return h[a] > h[b]; });
    };
    // The largest density that still fits, by bisection.
    float lo = 0.0f, hi = 1.0f;
    for (;;) {
        cells(hi);
        if (!shelfPack(w, h, order, usable, placed)) {
            break;
        }
        lo = hi;
        hi *= 2.0f;
    }
    for (int i = 0; i < 40; ++i) {
        float mid = 0.5f * (lo + hi);
        cells(mid);
        if (shelfPack(w, h, order, usable, placed)) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    cells(lo);
    shelfPack(w, h, order, usable, placed);
    if (density) {
        *density = lo;
    }

    Mesh mesh;
    for (size_t i = 0; i < charts.size(); ++i) {
        const Chart& c = charts[i];
        const int32_t base = int32_t(mesh.points.size() / 3);
        mesh.points.insert(mesh.points.end(), c.points.begin(), c.points.end());
        mesh.normals.insert(mesh.normals.end(), c.normals.begin(), c.normals.end());
        const float ox = float(placed[i].x + gap) + 0.5f;
        const float oy = float(placed[i].y + gap) + 0.5f;
        for (size_t v = 0; v < c.layout.size(); v += 2) {
            mesh.uvs.push_back((ox + (c.layout[v] - boxes[i].x0) * lo) / float(size));
            mesh.uvs.push_back((oy + (c.layout[v + 1] - boxes[i].y0) * lo) / float(size));
        }
        for (int32_t t : c.triangles) {
            mesh.polygons.push_back(base + t);
        }
    }
    return mesh;
}

namespace {

// Calls covered(triangle, texel) for every texel centre of a size x size raster that
// lies inside a triangle's texture-space image; returns the summed area in texels.
template <typename Covered>
double rasteriseTriangles(const Mesh& mesh, int size, Covered covered)
{
    double summed = 0.0;
    for (size_t t = 0; t + 2 < mesh.polygons.size(); t += 3) {
        float x[3], y[3];
        for (int k = 0; k < 3; ++k) {
            size_t v = size_t(mesh.polygons[t + size_t(k)]);
            x[k] = mesh.uvs[2 * v] * float(size);
            y[k] = mesh.uvs[2 * v + 1] * float(size);
        }
        double area = 0.5 * ((double(x[1]) - x[0]) * (double(y[2]) - y[0]) - (double(x[2]) - x[0]) * (double(y[1]) - y[0]));
        summed += std::fabs(area);
        if (area == 0.0) {
            continue;
        }
        const double sign = area > 0 ? 1.0 : -1.0;
        int x0 = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]}))));
        int x1 = std::min(size - 1, int(std::ceil(std::max({x[0], x[1], x[2]}))));
        int y0 = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]}))));
        int y1 = std::min(size - 1, int(std::ceil(std::max({y[0], y[1], y[2]}))));
        for (int py = y0; py <= y1; ++py) {
            for (int px = x0; px <= x1; ++px) {
                // Off-centre by an odd fraction so that a centre never sits on a shared edge.
                const double cx = px + 0.5 + 1.23e-4, cy = py + 0.5 + 3.71e-4;
                bool inside = true;
                for (int k = 0; k < 3 && inside; ++k) {
                    int j = (k + 1) % 3;
                    double e = (double(x[j]) - x[k]) * (cy - y[k]) - (double(y[j]) - y[k]) * (cx - x[k]);
                    inside = e * sign > 0.0;
                }
                if (inside) {
                    covered(t / 3, size_t(py) * size_t(size) + size_t(px));
                }
            }
        }
    }
    return summed;
}

}  // namespace

UvCoverage measureUvCoverage(const Mesh& mesh, int size)
{
    UvCoverage result;
    std::vector<uint8_t> hits(size_t(size) * size, 0);
    for (float u : mesh.uvs) {
        if (!(u >= 0.0f && u <= 1.0f)) {
            result.insideUnitSquare = false;
        }
    }
    result.summedArea = rasteriseTriangles(mesh, size, [&](size_t, size_t texel) {
        uint8_t& hit = hits[texel];
        if (hit == 1) {
            ++result.overlappingTexels;
        }
        hit = uint8_t(std::min(2, hit + 1));
    });
    for (uint8_t hit : hits) {
        result.coveredTexels += hit > 0;
    }
    return result;
}


Mesh packAtlasSeparated(std::vector<Chart> charts, const AtlasSettings& settings)
{
    for (int round = 0;; ++round) {
        Mesh mesh = packAtlas(charts, settings);
        const size_t triangles = mesh.polygons.size() / 3;
        std::vector<int32_t> owner(size_t(settings.size) * size_t(settings.size), -1);
        std::vector<char> overlapping(triangles, 0);
        bool any = false;
        rasteriseTriangles(mesh, settings.size, [&](size_t t, size_t texel) {
            if (owner[texel] < 0) {
                owner[texel] = int32_t(t);
            } else {
                overlapping[t] = 1;
                overlapping[size_t(owner[texel])] = 1;
                any = true;
            }
        });
        if (!any || round == 8) {
            return mesh;
        }
        // Triangle order in the mesh is chart order, then each chart's own order.
        size_t t = 0;
        const size_t chartCount = charts.size();
        for (size_t c = 0; c < chartCount; ++c) {
            std::vector<int32_t> keep;
            const size_t count = charts[c].triangles.size() / 3;
            for (size_t k = 0; k < count; ++k, ++t) {
                const int32_t* tri = &charts[c].triangles[3 * k];
                if (!overlapping[t] || count == 1) {
                    keep.insert(keep.end(), tri, tri + 3);
                    continue;
                }
                Chart single;
                for (int j = 0; j < 3; ++j) {
                    const size_t v = size_t(tri[j]);
                    single.addVertex(Vec3(charts[c].points[3 * v], charts[c].points[3 * v + 1], charts[c].points[3 * v + 2]),
                                     Vec3(charts[c].normals[3 * v], charts[c].normals[3 * v + 1], charts[c].normals[3 * v + 2]),
                                     charts[c].layout[2 * v], charts[c].layout[2 * v + 1]);
                }
                single.addTriangle(0, 1, 2);
                charts.push_back(std::move(single));
            }
            charts[c].triangles = std::move(keep);
        }
    }
}

namespace {

int findRoot(std::vector<int>& parent, int i)
{
    while (parent[size_t(i)] != i) {
        parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
        i = parent[size_t(i)];
    }
    return i;
}

const Vec3 facingAxes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};

}  // namespace

std::vector<Chart> chartsByFacing(const Mesh& mesh, int minTriangles)
{
    const size_t triangles = mesh.polygons.size() / 3;
    auto point = [&mesh](int32_t i) {
        return Vec3(mesh.points[3 * size_t(i)], mesh.points[3 * size_t(i) + 1], mesh.points[3 * size_t(i) + 2]);
    };
    std::vector<Vec3> faceNormal(triangles);
    std::vector<int> axis(triangles);
    for (size_t t = 0; t < triangles; ++t) {
        const int32_t* tri = &mesh.polygons[3 * t];
        faceNormal[t] = normalize(cross(point(tri[1]) - point(tri[0]), point(tri[2]) - point(tri[0])));
        int best = 0;
        for (int a = 1; a < 6; ++a) {
            if (dot(faceNormal[t], facingAxes[a]) > dot(faceNormal[t], facingAxes[best])) {
                best = a;
            }
        }
        axis[t] = best;
    }
    // Neighbours across shared edges (vertex pairs), up to three per triangle.
    std::vector<int> neighbour(triangles * 3, -1);
    {
        std::unordered_map<uint64_t, int> edges;
        edges.reserve(triangles * 2);
        for (size_t t = 0; t < triangles; ++t) {
            for (int k = 0; k < 3; ++k) {
                uint32_t a = uint32_t(mesh.polygons[3 * t + size_t(k)]);
                uint32_t b = uint32_t(mesh.polygons[3 * t + size_t((k + 1) % 3)]);
                uint64_t key = (uint64_t(std::min(a, b)) << 32) | std::max(a, b);
                auto found = edges.find(key);
                if (found == edges.end()) {
                    edges.emplace(key, int(3 * t + size_t(k)));
                } else if (found->second >= 0) {
                    int other = found->second;
                    neighbour[3 * t + size_t(k)] = other / 3;
                    neighbour[size_t(other)] = int(t);
                    found->second = -1;  // a third triangle on one edge stays unlinked
                }
            }
        }
    }
    std::vector<int> parent(triangles);
    std::iota(parent.begin(), parent.end(), 0);
    for (size_t t = 0; t < triangles; ++t) {
        for (int k = 0; k < 3; ++k) {
            int n = neighbour[3 * t + size_t(k)];
            if (n >= 0 && axis[size_t(n)] == axis[t]) {
                int a = findRoot(parent, int(t)), b = findRoot(parent, n);
                if (a != b) {
                    parent[size_t(std::max(a, b))] = std::min(a, b);
                }
            }
        }
    }
    // Small groups join the neighbouring group they share most edges with, when every
    // one of their triangles faces that group's axis too.
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<int> size(triangles, 0);
        std::vector<std::vector<int>> members(triangles);
        for (size_t t = 0; t < triangles; ++t) {
            int r = findRoot(parent, int(t));
            ++size[size_t(r)];
            members[size_t(r)].push_back(int(t));
        }
        bool merged = false;
        std::vector<char> received(triangles, 0);  // groups that grew this pass stay put
        for (size_t r = 0; r < triangles; ++r) {
            if (size[r] == 0 || size[r] >= minTriangles || received[r] || findRoot(parent, int(r)) != int(r)) {
                continue;
            }
            std::vector<std::pair<int, int>> shared;  // (root, edges)
            for (int t : members[r]) {
                for (int k = 0; k < 3; ++k) {
                    int n = neighbour[3 * size_t(t) + size_t(k)];
                    if (n < 0) {
                        continue;
                    }
                    int nr = findRoot(parent, n);
                    if (nr == int(r)) {
                        continue;
                    }
                    auto it = std::find_if(shared.begin(), shared.end(), [nr](const auto& s) { return s.first == nr; });
                    if (it == shared.end()) {
                        shared.push_back({nr, 1});
                    } else {
                        ++it->second;
                    }
                }
            }
            std::stable_sort(shared.begin(), shared.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
            for (const auto& candidate : shared) {
                const Vec3& a = facingAxes[axis[size_t(candidate.first)]];
                bool faces = std::all_of(members[r].begin(), members[r].end(),
                                         [&](int t) { return dot(faceNormal[size_t(t)], a) > 0.2f; });
                if (faces) {
                    int target = findRoot(parent, candidate.first);
                    for (int t : members[r]) {
                        axis[size_t(t)] = axis[size_t(target)];
                    }
                    parent[r] = target;
                    received[size_t(target)] = 1;
                    merged = true;
                    break;
                }
            }
        }
        if (!merged) {
            break;
        }
    }

    // One chart per group, in the order of each group's first triangle.
    std::vector<int> chartOf(triangles, -1);
    std::vector<Chart> charts;
    std::vector<int> rootChart(triangles, -1);
    for (size_t t = 0; t < triangles; ++t) {
        int r = findRoot(parent, int(t));
        if (rootChart[size_t(r)] < 0) {
            rootChart[size_t(r)] = int(charts.size());
            charts.emplace_back();
        }
        chartOf[t] = rootChart[size_t(r)];
    }
    std::vector<std::vector<size_t>> chartTriangles(charts.size());
    for (size_t t = 0; t < triangles; ++t) {
        chartTriangles[size_t(chartOf[t])].push_back(t);
    }
    std::vector<int32_t> remap(mesh.points.size() / 3, -1);
    std::vector<int> remapChart(mesh.points.size() / 3, -1);
    for (size_t c = 0; c < charts.size(); ++c) {
        Chart& chart = charts[c];
        const Vec3& a = facingAxes[axis[chartTriangles[c].front()]];
        // A right-handed basis (u, v, a), so every chart keeps its orientation.
        Vec3 u = std::fabs(a.y) > 0.5f ? Vec3(1, 0, 0) : Vec3(0, 1, 0);
        u = normalize(cross(u, a));
        Vec3 v = cross(a, u);
        for (size_t t : chartTriangles[c]) {
            int32_t corner[3];
            for (int k = 0; k < 3; ++k) {
                int32_t i = mesh.polygons[3 * t + size_t(k)];
                if (remapChart[size_t(i)] != int(c)) {
                    Vec3 p = point(i);
                    Vec3 n(mesh.normals[3 * size_t(i)], mesh.normals[3 * size_t(i) + 1], mesh.normals[3 * size_t(i) + 2]);
                    remap[size_t(i)] = chart.addVertex(p, n, dot(p, u), dot(p, v));
                    remapChart[size_t(i)] = int(c);
                }
                corner[k] = remap[size_t(i)];
            }
            chart.addTriangle(corner[0], corner[1], corner[2]);
        }
    }
    return charts;
}

}  // namespace datagen
