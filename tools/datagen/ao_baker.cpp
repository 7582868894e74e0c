#include "datagen/ao_baker.h"

#include "datagen/cubemap.h"
#include "datagen/noise.h"
#include "datagen/occlusion_rays.h"
#include "datagen/parallel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace datagen {
namespace {

bool validMesh(const Mesh& mesh, std::string* error)
{
    size_t vertices = mesh.points.size() / 3;
    const char* problem = nullptr;
    if (mesh.points.size() % 3 != 0 || mesh.normals.size() != mesh.points.size()) {
        problem = "points and normals do not match";
    } else if (mesh.uvs.size() != vertices * 2 || vertices == 0) {
        problem = "mesh has no texture coordinates";
    } else if (mesh.polygons.empty() || mesh.polygons.size() % 3 != 0) {
        problem = "mesh has no triangles";
    } else {
        for (int32_t index : mesh.polygons) {
            if (index < 0 || size_t(index) >= vertices) {
                problem = "triangle index out of range";
                break;
            }
        }
    }
    if (problem && error) {
        *error = problem;
    }
    return problem == nullptr;
}

Vec3 point(const std::vector<float>& list, int32_t index)
{
    return Vec3(list[size_t(index) * 3], list[size_t(index) * 3 + 1], list[size_t(index) * 3 + 2]);
}

// Barycentric weights of texel centre (x, y) in the triangle's texel-space corners.
struct Cover {
    int32_t triangle = -1;
    float b1 = 0, b2 = 0;
};

std::vector<Cover> rasterise(const Mesh& mesh, int size)
{
    std::vector<Cover> cover(size_t(size) * size);
    for (size_t t = 0; t + 2 < mesh.polygons.size(); t += 3) {
        float X[3], Y[3];
        for (int k = 0; k < 3; ++k) {
            int32_t v = mesh.polygons[t + size_t(k)];
            X[k] = mesh.uvs[size_t(v) * 2] * size - 0.5f;
            Y[k] = (1.0f - mesh.uvs[size_t(v) * 2 + 1]) * size - 0.5f;
        }
        float area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
        if (std::fabs(area) < 1e-12f || !std::isfinite(area)) {
            continue;
        }
        int x0 = std::max(0, int(std::floor(std::min({X[0], X[1], X[2]}))));
        int x1 = std::min(size - 1, int(std::ceil(std::max({X[0], X[1], X[2]}))));
        int y0 = std::max(0, int(std::floor(std::min({Y[0], Y[1], Y[2]}))));
        int y1 = std::min(size - 1, int(std::ceil(std::max({Y[0], Y[1], Y[2]}))));
        const float eps = -1e-5f;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                float b1 = ((x - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (y - Y[0])) / area;
                float b2 = ((X[1] - X[0]) * (y - Y[0]) - (x - X[0]) * (Y[1] - Y[0])) / area;
                if (b1 < eps || b2 < eps || 1.0f - b1 - b2 < eps) {
                    continue;
                }
                Cover& c = cover[size_t(y) * size + x];
                if (c.triangle < 0) {
                    c = {int32_t(t / 3), b1, b2};
                }
            }
        }
    }
    return cover;
}

// Orthonormal basis around n (Duff et al., branchless).
void basis(const Vec3& n, Vec3& t, Vec3& b)
{
    float sign = std::copysign(1.0f, n.z);
    float a = -1.0f / (sign + n.z);
    float c = n.x * n.y * a;
    t = Vec3(1.0f + sign * n.x * n.x * a, sign * c, -sign * n.x);
    b = Vec3(c, sign + n.y * n.y * a, -n.y);
}

// Grows covered texels into their uncovered neighbours, `passes` times.
void dilate(std::vector<float>& value, std::vector<uint8_t>& filled, int size, int passes)
{
    std::vector<float> next = value;
    std::vector<uint8_t> nextFilled = filled;
    for (int pass = 0; pass < passes; ++pass) {
        bool grew = false;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                size_t i = size_t(y) * size + x;
                if (filled[i]) {
                    continue;
                }
                float sum = 0.0f;
                int count = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        int nx = x + dx, ny = y + dy;
                        if (nx >= 0 && ny >= 0 && nx < size && ny < size && filled[size_t(ny) * size + nx]) {
                            sum += value[size_t(ny) * size + nx];
                            ++count;
                        }
                    }
                }
                if (count) {
                    next[i] = sum / count;
                    nextFilled[i] = 1;
                    grew = true;
                }
            }
        }
        value = next;
        filled = nextFilled;
        if (!grew) {
            break;
        }
    }
}

}  // namespace

std::vector<int32_t> rasteriseUvs(const Mesh& mesh, int size)
{
    std::vector<int32_t> result;
    if (size <= 0 || !validMesh(mesh, nullptr)) {
        return result;
    }
    for (const Cover& c : rasterise(mesh, size)) {
        result.push_back(c.triangle);
    }
    return result;
}

Image bakeAmbientOcclusion(const Mesh& mesh, const AoSettings& settings, std::string* error)
{
    if (settings.size <= 0 || settings.size > 8192 || settings.rays <= 0 || settings.traceDivisor <= 0) {
        if (error) {
            *error = "bad bake settings";
        }
        return Image();
    }
    if (!validMesh(mesh, error)) {
        return Image();
    }
    OcclusionTracer tracer;
    if (!tracer.build(mesh)) {
        if (error) {
            *error = "cannot build the ray-tracing scene";
        }
        return Image();
    }
    const int size = std::max(1, settings.size / settings.traceDivisor);
    std::vector<Cover> cover = rasterise(mesh, size);
    std::vector<uint32_t> texels;
    for (size_t i = 0; i < cover.size(); ++i) {
        if (cover[i].triangle >= 0) {
            texels.push_back(uint32_t(i));
        }
    }
    // Offsets scale with the model so that rays leave the surface they start on.
    Vec3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (size_t k = 0; k + 2 < mesh.points.size(); k += 3) {
        lo = Vec3(std::min(lo.x, mesh.points[k]), std::min(lo.y, mesh.points[k + 1]), std::min(lo.z, mesh.points[k + 2]));
        hi = Vec3(std::max(hi.x, mesh.points[k]), std::max(hi.y, mesh.points[k + 1]), std::max(hi.z, mesh.points[k + 2]));
    }
    const float diagonal = std::max(length(hi - lo), 1e-6f);
    const float offset = diagonal * 2e-5f;
    const float far = settings.maxDistance > 0.0f ? settings.maxDistance : std::numeric_limits<float>::infinity();
    const int rays = settings.rays;
    std::vector<float> value(cover.size(), 0.0f);
    parallelFor(int(texels.size()), [&](int begin, int end) {
        for (int j = begin; j < end; ++j) {
            const uint32_t texel = texels[size_t(j)];
            const Cover& c = cover[texel];
            const int32_t* tri = &mesh.polygons[size_t(c.triangle) * 3];
            float b0 = 1.0f - c.b1 - c.b2;
            Vec3 p0 = point(mesh.points, tri[0]), p1 = point(mesh.points, tri[1]), p2 = point(mesh.points, tri[2]);
            Vec3 p = p0 * b0 + p1 * c.b1 + p2 * c.b2;
            Vec3 ng = normalize(cross(p1 - p0, p2 - p0));
            Vec3 n = normalize(point(mesh.normals, tri[0]) * b0 + point(mesh.normals, tri[1]) * c.b1 +
                               point(mesh.normals, tri[2]) * c.b2);
            if (dot(n, n) < 0.5f) {
                n = ng;
            }
            if (dot(ng, n) < 0.0f) {
                ng = ng * -1.0f;
            }
            Vec3 t, b;
            basis(n, t, b);
            Vec3 origin = p + ng * offset;
            // Stratified cosine-weighted directions: a Fibonacci lattice, shifted per texel.
            Random random(mix64(uint64_t(settings.seed) << 32 | texel));
            float shift1 = random.unit(), shift2 = random.unit();
            value[texel] = tracer.openShare(origin, n, t, b, ng, rays, far, shift1, shift2);
        }
    });
    std::vector<uint8_t> filled(cover.size(), 0);
    for (uint32_t texel : texels) {
        filled[texel] = 1;
    }
    if (settings.smooth) {
        std::vector<float> smoothed = value;
        for (uint32_t texel : texels) {
            int x = int(texel % uint32_t(size)), y = int(texel / uint32_t(size));
            float sum = 0.0f, weight = 0.0f;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= size || ny >= size || !filled[size_t(ny) * size + nx]) {
                        continue;
                    }
                    float w = float((dx == 0 ? 2 : 1) * (dy == 0 ? 2 : 1));
                    sum += w * value[size_t(ny) * size + nx];
                    weight += w;
                }
            }
            smoothed[texel] = sum / weight;
        }
        value.swap(smoothed);
    }
    double mean = 0.0;
    for (uint32_t texel : texels) {
        mean += value[texel];
    }
    mean = texels.empty() ? 1.0 : mean / double(texels.size());
    // The bilinear enlargement reads one coarse texel past a chart: grow at least that far.
    dilate(value, filled, size, settings.dilate <= 0 ? 0 : std::max(2, settings.dilate * size / settings.size));
    for (size_t i = 0; i < value.size(); ++i) {
        if (!filled[i]) {
            value[i] = float(mean);
        }
    }
    // Enlarge to the picture size (texel centres map onto texel centres).
    const int out = settings.size;
    Image image(out, out, 1);
    const float scale = float(size) / float(out);
    for (int y = 0; y < out; ++y) {
        float fy = std::min(std::max((y + 0.5f) * scale - 0.5f, 0.0f), float(size - 1));
        int y0 = int(fy), y1 = std::min(y0 + 1, size - 1);
        float wy = fy - y0;
        for (int x = 0; x < out; ++x) {
            float fx = std::min(std::max((x + 0.5f) * scale - 0.5f, 0.0f), float(size - 1));
            int x0 = int(fx), x1 = std::min(x0 + 1, size - 1);
            float wx = fx - x0;
            float top = value[size_t(y0) * size + x0] * (1 - wx) + value[size_t(y0) * size + x1] * wx;
            float bottom = value[size_t(y1) * size + x0] * (1 - wx) + value[size_t(y1) * size + x1] * wx;
            float v = top * (1 - wy) + bottom * wy;
            image.pixels[size_t(y) * out + x] = uint8_t(std::lround(std::min(std::max(v, 0.0f), 1.0f) * 255.0f));
        }
    }
    return image;
}

}  // namespace datagen
