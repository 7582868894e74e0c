// Environment cube maps: radiance as a function of direction, rendered into six faces,
// and the cosine-weighted irradiance ("diffuse") map of such an environment.
//
// Face order and orientation are OpenGL's: faces +X, -X, +Y, -Y, +Z, -Z; texel (x, y)
// of a face sits at s = (x + 0.5) / size, t = (y + 0.5) / size, and row 0 is t = 0,
// which is how the texture loader uploads the rows of a DDS face.
#pragma once
#include "datagen/image.h"

#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace datagen {

struct Vec3 {
    float x = 0, y = 0, z = 0;
    Vec3() = default;
    Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
    Vec3 operator*(const Vec3& o) const { return {x * o.x, y * o.y, z * o.z}; }
    Vec3& operator+=(const Vec3& o) { x += o.x; y += o.y; z += o.z; return *this; }
};
inline float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(const Vec3& a, const Vec3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float length(const Vec3& a) { return std::sqrt(dot(a, a)); }
inline Vec3 normalize(const Vec3& a) { float l = length(a); return l > 0 ? a * (1.0f / l) : a; }
inline Vec3 mix(const Vec3& a, const Vec3& b, float t) { return a + (b - a) * t; }
inline float smoothstep(float e0, float e1, float x)
{
    float t = std::fmin(std::fmax((x - e0) / (e1 - e0), 0.0f), 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// Linear RGB radiance per texel, faces in OpenGL order.
struct CubeMap {
    int size = 0;
    std::array<std::vector<Vec3>, 6> faces;

    explicit CubeMap(int n = 0);
    Vec3& at(int face, int x, int y) { return faces[face][size_t(y) * size + x]; }
    const Vec3& at(int face, int x, int y) const { return faces[face][size_t(y) * size + x]; }
};

// Direction (not normalised) through face coordinates s, t in [0, 1].
Vec3 cubeDirection(int face, float s, float t);
// Face and s, t in [0, 1] that a direction passes through.
void cubeFaceOf(const Vec3& direction, int* face, float* s, float* t);
// Solid angle of texel (x, y) on a face of the given size.
float texelSolidAngle(int size, int x, int y);

using Radiance = std::function<Vec3(const Vec3& direction)>;

// Evaluates radiance at every texel centre (normalised direction), in parallel.
CubeMap renderCube(int size, const Radiance& radiance);
// Box-filters each face down by an integer factor (size must divide).
CubeMap downsample(const CubeMap& cube, int factor);
// Nearest texel in the direction.
Vec3 sampleCube(const CubeMap& cube, const Vec3& direction);

// Cosine-weighted irradiance divided by pi: the radiance a white Lambertian surface
// facing each direction reflects. A constant environment maps to itself. Computed by
// direct summation over the source texels (weighted by their solid angle), so it is
// exact for the given source; keep the source small (16-32 per face).
CubeMap convolveIrradiance(const CubeMap& source, int outSize);

// Display encoding shared by the sharp and the diffuse maps: exposure, a soft
// shoulder above 1 and gamma 2.2, RGBA faces with alpha 255.
std::vector<Image> encodeFaces(const CubeMap& cube, float exposure);

}  // namespace datagen
