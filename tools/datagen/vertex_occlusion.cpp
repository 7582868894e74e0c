#include "datagen/vertex_occlusion.h"

#include "datagen/cubemap.h"
#include "datagen/noise.h"
#include "datagen/occlusion_rays.h"
#include "datagen/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace datagen {

namespace {

bool traceable(const Mesh& mesh)
{
    const size_t vertices = mesh.points.size() / 3;
    if (mesh.polygons.empty() || mesh.polygons.size() % 3 != 0 || mesh.normals.size() < mesh.points.size()) {
        return false;
    }
    return std::all_of(mesh.polygons.begin(), mesh.polygons.end(),
                       [vertices](int32_t i) { return i >= 0 && size_t(i) < vertices; });
}

}  // namespace

std::vector<float> vertexOcclusion(const Mesh& mesh, int rays, float maxDistance, uint32_t seed)
{
    OcclusionTracer tracer;
    if (rays <= 0 || !traceable(mesh) || !tracer.build(mesh)) {
        return {};
    }
    const size_t vertexCount = mesh.points.size() / 3;
    float extent = 0.0f;
    for (float c : mesh.points) {
        extent = std::max(extent, std::fabs(c));
    }
    const float offset = std::max(extent, 1e-3f) * 1e-4f;
    const float far = maxDistance > 0.0f ? maxDistance : std::numeric_limits<float>::infinity();
    std::vector<float> open(vertexCount, 1.0f);
    parallelFor(int(vertexCount), [&](int begin, int end) {
        for (int vi = begin; vi < end; ++vi) {
            const size_t v = size_t(vi);
            const Vec3 p(mesh.points[v * 3], mesh.points[v * 3 + 1], mesh.points[v * 3 + 2]);
            Vec3 n(mesh.normals[v * 3], mesh.normals[v * 3 + 1], mesh.normals[v * 3 + 2]);
            if (dot(n, n) < 0.5f) {
                continue;  // no direction to look in: leave it open
            }
            n = normalize(n);
            const Vec3 helper = std::fabs(n.x) < 0.9f ? Vec3(1.0f, 0.0f, 0.0f) : Vec3(0.0f, 1.0f, 0.0f);
            const Vec3 t = normalize(cross(helper, n)), b = cross(n, t);
            const Vec3 origin = p + n * offset;
            // Stratified cosine-weighted directions: a Fibonacci lattice, turned by the
            // position, so the copies of a vertex along a chart border agree exactly.
            uint32_t bits[3];
            std::memcpy(bits, &mesh.points[v * 3], sizeof bits);
            Random random(mix64((uint64_t(seed) << 32) ^ mix64(bits[0] ^ (uint64_t(bits[1]) << 21) ^ (uint64_t(bits[2]) << 42))));
            const float shift1 = random.unit(), shift2 = random.unit();
            open[v] = tracer.openShare(origin, n, t, b, n, rays, far, shift1, shift2);
        }
    });
    return open;
}

Image paintVertexValues(const Mesh& mesh, const std::vector<float>& values, int size)
{
    Image image(size, size, 1);
    const size_t vertexCount = mesh.points.size() / 3;
    if (size <= 0 || values.size() != vertexCount || mesh.uvs.size() != vertexCount * 2) {
        return image;
    }
    double mean = 0.0;
    for (float v : values) {
        mean += v;
    }
    mean = values.empty() ? 1.0 : mean / double(values.size());

    // Per texel: the value of the nearest triangle point within `reach` texels.
    constexpr float reach = 2.0f;
    std::vector<float> value(size_t(size) * size, float(mean));
    std::vector<float> distance(size_t(size) * size, std::numeric_limits<float>::infinity());
    for (size_t t = 0; t + 2 < mesh.polygons.size(); t += 3) {
        float x[3], y[3], w[3];
        for (int k = 0; k < 3; ++k) {
            const size_t v = size_t(mesh.polygons[t + size_t(k)]);
            x[k] = mesh.uvs[v * 2] * float(size);
            y[k] = (1.0f - mesh.uvs[v * 2 + 1]) * float(size);
            w[k] = values[v];
        }
        const float area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
        const int x0 = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]}) - reach)));
        const int x1 = std::min(size - 1, int(std::ceil(std::max({x[0], x[1], x[2]}) + reach)));
        const int y0 = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]}) - reach)));
        const int y1 = std::min(size - 1, int(std::ceil(std::max({y[0], y[1], y[2]}) + reach)));
        for (int j = y0; j <= y1; ++j) {
            for (int i = x0; i <= x1; ++i) {
                const float cx = float(i) + 0.5f, cy = float(j) + 0.5f;
                float best = std::numeric_limits<float>::infinity(), bv = 0.0f;
                // Inside: the interpolated value at the centre itself.
                if (area != 0.0f) {
                    const float b1 = ((cx - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (cy - y[0])) / area;
                    const float b2 = ((x[1] - x[0]) * (cy - y[0]) - (cx - x[0]) * (y[1] - y[0])) / area;
                    if (b1 >= 0.0f && b2 >= 0.0f && b1 + b2 <= 1.0f) {
                        best = 0.0f;
                        bv = w[0] * (1.0f - b1 - b2) + w[1] * b1 + w[2] * b2;
                    }
                }
                // Outside: the nearest point of the three edges.
                for (int e = 0; e < 3 && best > 0.0f; ++e) {
                    const int a = e, b = (e + 1) % 3;
                    const float ex = x[b] - x[a], ey = y[b] - y[a];
                    const float len2 = ex * ex + ey * ey;
                    const float s = len2 > 0.0f ? std::clamp(((cx - x[a]) * ex + (cy - y[a]) * ey) / len2, 0.0f, 1.0f) : 0.0f;
                    const float dx = x[a] + s * ex - cx, dy = y[a] + s * ey - cy;
                    const float d = std::sqrt(dx * dx + dy * dy);
                    if (d < best) {
                        best = d;
                        bv = w[a] * (1.0f - s) + w[b] * s;
                    }
                }
                const size_t texel = size_t(j) * size + size_t(i);
                if (best <= reach && best < distance[texel]) {
                    distance[texel] = best;
                    value[texel] = bv;
                }
            }
        }
    }
    for (size_t i = 0; i < value.size(); ++i) {
        image.pixels[i] = uint8_t(std::lround(std::clamp(value[i], 0.0f, 1.0f) * 255.0f));
    }
    return image;
}

}  // namespace datagen
