#include "render/lod.h"

#include "resources/mesh.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>

LodChain buildLodChain(const Mesh& mesh, const float* fractions, int extraLevels)
{
    LodChain chain;
    const size_t vertexCount = mesh.points.size() / 3;
    const size_t indexCount = mesh.polygons.size() - mesh.polygons.size() % 3;
    if (vertexCount == 0 || indexCount == 0) {
        return chain;
    }
    std::vector<uint32_t> source(indexCount);
    for (size_t i = 0; i < indexCount; ++i) {
        if (mesh.polygons[i] < 0 || size_t(mesh.polygons[i]) >= vertexCount) {
            return chain;
        }
        source[i] = uint32_t(mesh.polygons[i]);
    }
    for (size_t v = 0; v < vertexCount; ++v) {
        const float* p = &mesh.points[v * 3];
        chain.radius = std::max(chain.radius, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
    }

    extraLevels = std::clamp(extraLevels, 0, maxLodLevels - 1);
    std::vector<uint32_t> level(indexCount);
    for (int i = 0; i <= extraLevels; ++i) {
        size_t count = indexCount;
        if (i == 0) {
            level = source;
        } else {
            const size_t target = size_t(double(indexCount) * fractions[i - 1]) / 3 * 3;
            level.resize(indexCount);
            count = meshopt_simplify(level.data(), source.data(), indexCount, mesh.points.data(), vertexCount,
                                     3 * sizeof(float), target, 0.02f, 0, nullptr);
            level.resize(count);
        }
        meshopt_optimizeVertexCache(level.data(), level.data(), count, vertexCount);
        chain.first[i] = uint32_t(chain.indices.size());
        chain.count[i] = uint32_t(count);
        chain.indices.insert(chain.indices.end(), level.begin(), level.begin() + long(count));
    }
    chain.levels = extraLevels + 1;
    return chain;
}

ViewVolume viewVolume(const float* m, int viewportHeight)
{
    // Rows of the projection (column-major storage): row r = m[r], m[4 + r], m[8 + r], m[12 + r].
    auto row = [&](int r, int k) { return m[4 * k + r]; };
    ViewVolume view;
    for (int p = 0; p < 6; ++p) {
        const int r = p / 2;                      // x, y, z rows
        const float sign = p % 2 == 0 ? 1.0f : -1.0f;  // w + row, w - row
        float* plane = view.planes[p];
        float length = 0.0f;
        for (int k = 0; k < 4; ++k) {
            plane[k] = row(3, k) + sign * row(r, k);
            if (k < 3) {
                length += plane[k] * plane[k];
            }
        }
        length = std::sqrt(length);
        if (length > 0.0f) {
            for (int k = 0; k < 4; ++k) {
                plane[k] /= length;
            }
        }
    }
    view.pixelsPerUnit = std::fabs(m[5]) * 0.5f * float(viewportHeight);
    return view;
}

bool outsideView(const ViewVolume& view, const float* c, float radius)
{
    for (const auto& plane : view.planes) {
        if (plane[0] * c[0] + plane[1] * c[1] + plane[2] * c[2] + plane[3] < -radius) {
            return true;
        }
    }
    return false;
}

float maxStretch(const float* m)
{
    // The largest eigenvalue of the symmetric MᵀM, in closed form (trigonometric solution
    // of its characteristic cubic).
    double a[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            a[i][j] = 0.0;
            for (int k = 0; k < 3; ++k) {
                a[i][j] += double(m[4 * i + k]) * double(m[4 * j + k]);  // column i · column j
            }
        }
    }
    const double offDiagonal = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
    const double q = (a[0][0] + a[1][1] + a[2][2]) / 3.0;
    double largest;
    if (offDiagonal == 0.0) {
        largest = std::max({a[0][0], a[1][1], a[2][2]});
    } else {
        const double d0 = a[0][0] - q, d1 = a[1][1] - q, d2 = a[2][2] - q;
        const double p = std::sqrt((d0 * d0 + d1 * d1 + d2 * d2 + 2.0 * offDiagonal) / 6.0);
        // det((A - qI) / p) / 2, kept inside acos's domain against rounding.
        const double b00 = d0 / p, b11 = d1 / p, b22 = d2 / p;
        const double b01 = a[0][1] / p, b02 = a[0][2] / p, b12 = a[1][2] / p;
        const double det = b00 * (b11 * b22 - b12 * b12) - b01 * (b01 * b22 - b12 * b02) + b02 * (b01 * b12 - b11 * b02);
        const double r = std::clamp(det / 2.0, -1.0, 1.0);
        largest = q + 2.0 * p * std::cos(std::acos(r) / 3.0);
    }
    return float(std::sqrt(std::max(largest, 0.0)));
}

int levelForPixels(float pixels, const float* minPixels, int levels)
{
    for (int i = 0; i < levels - 1; ++i) {
        if (pixels >= minPixels[i]) {
            return i;
        }
    }
    return levels - 1;
}

int chooseLevel(const ViewVolume& view, const float* c, float radius, const float* minPixels, int levels)
{
    if (outsideView(view, c, radius) || levels <= 0) {
        return -1;
    }
    const float distance = -c[2];
    const float pixels = distance > radius ? radius * view.pixelsPerUnit / distance : 1e30f;
    return levelForPixels(pixels, minPixels, levels);
}
