#include "datagen/environments.h"

#include "datagen/dds.h"
#include "datagen/noise.h"

#include <algorithm>
#include <cmath>

namespace datagen {
namespace {

const float pi = 3.14159265f;
// Roughly one texel of a 512 face, in radians: the width of antialiased edges.
const float edge = 0.004f;

float clamp01(float v) { return std::min(std::max(v, 0.0f), 1.0f); }
// 1 inside [lo, hi], 0 outside, with soft edges of width w.
float band(float x, float lo, float hi, float w) { return smoothstep(lo - w, lo + w, x) * (1.0f - smoothstep(hi - w, hi + w, x)); }

// ---------------------------------------------------------------- living room

struct Box {
    Vec3 lo, hi;
    int id;
};

struct Hit {
    float t = 1e30f;
    Vec3 normal;
    int id = -1;
};

// Ray against an axis-aligned box seen from outside.
void hitBox(const Vec3& o, const Vec3& d, const Box& box, Hit& hit)
{
    float tmin = 0.0f, tmax = 1e30f;
    int axis = -1;
    float sign = 0.0f;
    const float* O = &o.x;
    const float* D = &d.x;
    const float* L = &box.lo.x;
    const float* H = &box.hi.x;
    for (int k = 0; k < 3; ++k) {
        if (std::fabs(D[k]) < 1e-9f) {
            if (O[k] < L[k] || O[k] > H[k]) {
                return;
            }
            continue;
        }
        float t0 = (L[k] - O[k]) / D[k], t1 = (H[k] - O[k]) / D[k];
        float s = -1.0f;
        if (t0 > t1) {
            std::swap(t0, t1);
            s = 1.0f;
        }
        if (t0 > tmin) {
            tmin = t0;
            axis = k;
            sign = s;
        }
        tmax = std::min(tmax, t1);
        if (tmin > tmax) {
            return;
        }
    }
    if (axis >= 0 && tmin < hit.t) {
        hit.t = tmin;
        hit.normal = Vec3();
        (&hit.normal.x)[axis] = sign;
        hit.id = box.id;
    }
}

// Room interior: x -4..4, y 0..2.8, z -3.5..3.5; the eye stands at (0, 1.3, 0.4).
const Vec3 roomLo(-4.0f, 0.0f, -3.5f), roomHi(4.0f, 2.8f, 3.5f);
const Vec3 eye(0.0f, 1.3f, 0.4f);
enum Surface { floorId, ceilingId, wallId, windowWallId, sofaId, sofaBackId, tableId, shelfId, cabinetId, poleId };
const Box furniture[] = {
    {{-1.9f, 0.0f, -3.5f}, {1.9f, 0.48f, -2.55f}, sofaId},
    {{-1.9f, 0.0f, -3.5f}, {1.9f, 0.95f, -3.15f}, sofaBackId},
    {{-0.75f, 0.0f, -1.55f}, {0.75f, 0.42f, -0.85f}, tableId},
    {{3.55f, 0.0f, -1.6f}, {4.0f, 2.15f, 0.6f}, shelfId},
    {{-4.0f, 0.0f, 1.2f}, {-3.5f, 0.75f, 2.8f}, cabinetId},
    {{2.6f, 0.0f, -3.2f}, {3.2f, 0.62f, -2.5f}, tableId},  // side table under the small lamp
    {{2.86f, 0.62f, -2.89f}, {2.94f, 0.93f, -2.81f}, poleId},  // its lamp's stem
};
struct Lamp {
    Vec3 position;
    float radius;
    Vec3 colour;  // radiance of the shade
};
const Lamp lamps[] = {
    {{-3.15f, 1.62f, -2.75f}, 0.26f, {9.0f, 5.6f, 2.6f}},
    {{2.9f, 1.05f, -2.85f}, 0.16f, {8.0f, 5.0f, 2.2f}},
};
// The window in the +z wall.
const float windowX0 = -1.8f, windowX1 = 1.8f, windowY0 = 0.55f, windowY1 = 2.45f;

// Light arriving at a point with normal n from lamps (points) and the window (a grid of points).
Vec3 lighting(const Vec3& p, const Vec3& n)
{
    Vec3 light(0.09f, 0.075f, 0.06f);  // bounce
    for (const Lamp& lamp : lamps) {
        Vec3 l = lamp.position - p;
        float d2 = dot(l, l);
        float c = dot(n, l) / std::sqrt(d2);
        if (c > 0.0f) {
            light += lamp.colour * (0.055f * c / (d2 + 0.15f));
        }
    }
    Vec3 daylight(1.0f, 1.05f, 1.15f);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j) {
            Vec3 q(windowX0 + (windowX1 - windowX0) * (i + 0.5f) / 4.0f, windowY0 + (windowY1 - windowY0) * (j + 0.5f) / 3.0f,
                   roomHi.z);
            Vec3 l = q - p;
            float d2 = dot(l, l);
            float dist = std::sqrt(d2);
            float c = dot(n, l) / dist;
            float cw = -l.z / dist;  // the window emits into -z
            if (c > 0.0f && cw > 0.0f) {
                light += daylight * (0.16f * c * cw / (d2 + 0.3f));
            }
        }
    }
    return light;
}

Vec3 floorAlbedo(const Vec3& p)
{
    // Rug in front of the sofa.
    if (std::fabs(p.x) < 1.7f && p.z > -2.45f && p.z < 0.9f) {
        float bx = std::fabs(p.x) - 1.7f, bz = std::min(p.z + 2.45f, 0.9f - p.z);
        float border = std::min(-bx, bz);
        Vec3 red(0.42f, 0.07f, 0.05f), gold(0.62f, 0.45f, 0.16f), dark(0.16f, 0.04f, 0.05f);
        if (border < 0.08f) {
            return dark;
        }
        if (border < 0.16f) {
            return gold;
        }
        float pattern = std::sin(p.x * 9.0f) * std::sin(p.z * 9.0f);
        return mix(red, dark, 0.35f * smoothstep(0.2f, 0.6f, pattern)) * (0.9f + 0.1f * fbm3(p.x * 8, 0, p.z * 8, 2, 9));
    }
    // Planks along x, 0.19 m wide, staggered joints.
    float plank = std::floor(p.z / 0.19f);
    float offset = hashUnit(int(plank), 0, 0, 71) * 2.4f;
    float along = std::floor((p.x + offset) / 2.4f);
    float tone = hashUnit(int(plank), int(along), 0, 72);
    Vec3 wood = mix(Vec3(0.36f, 0.19f, 0.09f), Vec3(0.55f, 0.33f, 0.16f), tone);
    float grain = fbm3(p.x * 1.5f, plank * 3.1f, p.z * 40.0f, 3, 73);
    wood = wood * (0.85f + 0.15f * grain);
    float gapZ = std::fabs(p.z / 0.19f - plank - 0.5f);
    float gapX = std::fabs((p.x + offset) / 2.4f - along - 0.5f) * 2.4f;
    if (gapZ > 0.47f || gapX > 1.19f) {
        wood = wood * 0.45f;
    }
    return wood;
}

Vec3 wallAlbedo(const Vec3& p, const Vec3& n)
{
    if (p.y < 0.12f) {
        return Vec3(0.78f, 0.76f, 0.72f);  // skirting board
    }
    if (p.y > 2.7f) {
        return Vec3(0.82f, 0.8f, 0.76f);  // cornice
    }
    float along = std::fabs(n.x) > 0.5f ? p.z : p.x;
    // Wallpaper: two close warm tones in vertical stripes, a dado rail at 0.9 m.
    if (std::fabs(p.y - 0.9f) < 0.025f) {
        return Vec3(0.55f, 0.42f, 0.28f);
    }
    if (p.y < 0.9f) {
        return Vec3(0.46f, 0.36f, 0.26f);
    }
    float stripe = smoothstep(-0.1f, 0.1f, std::sin(along * 2.0f * pi / 0.32f));
    Vec3 paper = mix(Vec3(0.72f, 0.6f, 0.45f), Vec3(0.78f, 0.67f, 0.5f), stripe);
    // A painting on the -x wall.
    if (n.x > 0.5f && p.z > -1.4f && p.z < 0.9f && p.y > 1.15f && p.y < 2.2f) {
        float inset = std::min(std::min(p.z + 1.4f, 0.9f - p.z), std::min(p.y - 1.15f, 2.2f - p.y));
        if (inset < 0.06f) {
            return Vec3(0.3f, 0.2f, 0.08f);
        }
        float a = fbm3(p.z * 1.4f, p.y * 1.4f, 0.5f, 4, 31);
        float b = fbm3(p.z * 0.8f, p.y * 0.8f, 3.5f, 3, 32);
        Vec3 c = mix(Vec3(0.08f, 0.22f, 0.42f), Vec3(0.85f, 0.55f, 0.15f), smoothstep(-0.3f, 0.4f, a));
        return mix(c, Vec3(0.75f, 0.2f, 0.15f), smoothstep(0.2f, 0.5f, b));
    }
    return paper;
}

Vec3 furnitureAlbedo(int id, const Vec3& p, const Vec3& n)
{
    switch (id) {
    case sofaId:
    case sofaBackId: {
        Vec3 fabric(0.06f, 0.24f, 0.26f);
        float seam = std::fabs(std::fmod(p.x + 1.9f, 1.27f));
        if (n.y > 0.5f && (seam < 0.02f || seam > 1.25f)) {
            fabric = fabric * 0.5f;
        }
        return fabric * (0.9f + 0.1f * fbm3(p.x * 30, p.y * 30, p.z * 30, 2, 5));
    }
    case tableId:
        return n.y > 0.5f ? Vec3(0.2f, 0.11f, 0.06f) : Vec3(0.12f, 0.07f, 0.04f);
    case shelfId: {
        if (n.x > -0.5f) {
            return Vec3(0.3f, 0.18f, 0.1f);
        }
        // Shelves every 0.42 m; books in between.
        float level = p.y / 0.42f;
        float frac = level - std::floor(level);
        if (frac < 0.08f || p.z < -1.55f || p.z > 0.55f) {
            return Vec3(0.3f, 0.18f, 0.1f);
        }
        float bookWidth = 0.045f + 0.03f * hashUnit(int(std::floor(p.z / 0.06f)), int(level), 0, 11);
        int book = int(std::floor(p.z / bookWidth));
        float h = hashUnit(book, int(level), 0, 12);
        if (frac > 0.72f + 0.22f * h) {
            return Vec3(0.05f, 0.03f, 0.02f);  // gap above the book
        }
        static const Vec3 spines[] = {{0.5f, 0.08f, 0.06f}, {0.08f, 0.2f, 0.4f}, {0.12f, 0.32f, 0.14f},
                                      {0.65f, 0.52f, 0.3f}, {0.2f, 0.12f, 0.3f}, {0.7f, 0.62f, 0.5f}};
        return spines[int(hashUnit(book, int(level), 1, 13) * 6) % 6];
    }
    case cabinetId:
        return n.y > 0.5f ? Vec3(0.4f, 0.38f, 0.34f) : Vec3(0.55f, 0.52f, 0.46f);
    default:
        return Vec3(0.5f, 0.5f, 0.5f);
    }
}

// What is seen through the window: bright sky over a band of distant trees.
Vec3 outside(const Vec3& d)
{
    float e = d.y / std::sqrt(d.x * d.x + d.z * d.z + 1e-6f);
    Vec3 sky = mix(Vec3(6.5f, 6.6f, 6.8f), Vec3(2.6f, 3.8f, 6.2f), clamp01(e * 1.8f));
    float trees = 0.06f + 0.05f * fbm3(d.x * 12.0f, 0.0f, d.z * 12.0f, 4, 3);
    if (e < -0.02f) {
        // Sunlit lawn.
        return Vec3(1.3f, 1.9f, 0.6f) * (0.85f + 0.15f * fbm3(d.x * 30.0f, e * 30.0f, 0.0f, 2, 4));
    }
    if (e < trees) {
        float leaves = 0.5f + 0.5f * fbm3(d.x * 40.0f, e * 40.0f, d.z * 40.0f, 3, 5);
        return Vec3(0.5f, 0.85f, 0.35f) * (0.5f + leaves);
    }
    return sky;
}

}  // namespace

Vec3 livingRoomRadiance(const Vec3& d)
{
    // Lamp shades: glowing cylinders, brightest where the bulb shows through the
    // open bottom, with a soft halo around them.
    float nearestLamp = 1e30f;
    Vec3 lampLight, glow;
    for (const Lamp& lamp : lamps) {
        Vec3 toLamp = lamp.position - eye;
        float along = dot(toLamp, d);
        if (along <= 0.0f) {
            continue;
        }
        float miss = length(toLamp - d * along);
        glow += lamp.colour * (0.035f * std::exp(-std::max(miss - lamp.radius, 0.0f) / (0.06f * along)));
        const float r = lamp.radius, half = lamp.radius * 0.75f;
        float ox = eye.x - lamp.position.x, oz = eye.z - lamp.position.z;
        float a = d.x * d.x + d.z * d.z, b = ox * d.x + oz * d.z, c = ox * ox + oz * oz - r * r;
        float disc = b * b - a * c;
        if (a > 1e-9f && disc > 0.0f) {
            float t = (-b - std::sqrt(disc)) / a;
            float y = eye.y + d.y * t - lamp.position.y;
            if (t > 0.0f && std::fabs(y) < half && t < nearestLamp) {
                nearestLamp = t;
                float folds = 0.92f + 0.08f * std::sin(std::atan2(oz + d.z * t, ox + d.x * t) * 24.0f);
                lampLight = lamp.colour * (0.5f * folds * (0.75f + 0.25f * (y + half) / (2.0f * half)));
            }
        }
        for (int cap = -1; cap <= 1; cap += 2) {
            if (std::fabs(d.y) < 1e-6f) {
                continue;
            }
            float t = (lamp.position.y + cap * half - eye.y) / d.y;
            float px = ox + d.x * t, pz = oz + d.z * t;
            if (t > 0.0f && px * px + pz * pz < r * r && t < nearestLamp) {
                nearestLamp = t;
                // Seen from below: the bulb; from above: the shade's lit inside.
                lampLight = lamp.colour * (cap < 0 ? 1.4f : 0.45f);
            }
        }
    }
    // Room shell.
    Hit hit;
    const float* D = &d.x;
    const float* O = &eye.x;
    const float* L = &roomLo.x;
    const float* H = &roomHi.x;
    for (int k = 0; k < 3; ++k) {
        if (std::fabs(D[k]) < 1e-9f) {
            continue;
        }
        float t = ((D[k] > 0 ? H[k] : L[k]) - O[k]) / D[k];
        if (t < hit.t) {
            hit.t = t;
            hit.normal = Vec3();
            (&hit.normal.x)[k] = D[k] > 0 ? -1.0f : 1.0f;
            hit.id = k == 1 ? (D[k] > 0 ? ceilingId : floorId) : (k == 2 && D[k] > 0 ? windowWallId : wallId);
        }
    }
    for (const Box& box : furniture) {
        hitBox(eye, d, box, hit);
    }
    // Floor-lamp pole: a thin vertical cylinder under the big shade.
    {
        const Lamp& lamp = lamps[0];
        float dx = d.x, dz = d.z;
        float a = dx * dx + dz * dz;
        float ox = eye.x - lamp.position.x, oz = eye.z - lamp.position.z;
        float b = ox * dx + oz * dz, c = ox * ox + oz * oz - 0.018f * 0.018f;
        float disc = b * b - a * c;
        if (a > 1e-9f && disc > 0.0f) {
            float t = (-b - std::sqrt(disc)) / a;
            float y = eye.y + d.y * t;
            if (t > 0.0f && t < hit.t && y > 0.0f && y < lamp.position.y) {
                hit.t = t;
                hit.normal = normalize(Vec3(ox + dx * t, 0.0f, oz + dz * t));
                hit.id = -2;
            }
        }
    }
    if (nearestLamp < hit.t) {
        return lampLight + glow * 0.3f;
    }
    Vec3 p = eye + d * hit.t;
    Vec3 albedo;
    switch (hit.id) {
    case floorId: albedo = floorAlbedo(p); break;
    case ceilingId: {
        // Exposed wooden beams across the room.
        float beam = std::fabs(std::remainder(p.x - 0.8f, 1.6f));
        float w = hit.t * edge;
        Vec3 wood = Vec3(0.34f, 0.21f, 0.11f) * (0.85f + 0.15f * fbm3(p.x * 20, 0, p.z * 2, 2, 61));
        albedo = mix(wood, Vec3(0.8f, 0.78f, 0.74f), smoothstep(0.09f - w, 0.09f + w, beam));
        break;
    }
    case wallId: albedo = wallAlbedo(p, hit.normal); break;
    case windowWallId: {
        float inX = band(p.x, windowX0, windowX1, 0.004f), inY = band(p.y, windowY0, windowY1, 0.004f);
        float glass = inX * inY;
        // Mullions and transom.
        float bars = std::max(1.0f - smoothstep(0.025f, 0.035f, std::fabs(p.x)),
                              1.0f - smoothstep(0.02f, 0.03f, std::fabs(p.y - 1.85f)));
        float upperBars = 1.0f - smoothstep(0.02f, 0.03f, std::fabs(std::fabs(p.x) - 0.9f));
        bars = std::max(bars, p.y > 1.85f ? upperBars : 0.0f);
        glass *= 1.0f - bars;
        // Curtains left and right of the window: deep red folds.
        float curtain = std::max(band(p.x, -2.6f, -1.7f, 0.01f), band(p.x, 1.7f, 2.6f, 0.01f)) * band(p.y, 0.15f, 2.62f, 0.01f);
        Vec3 wall = wallAlbedo(p, hit.normal);
        if (curtain > 0.0f) {
            float fold = 0.65f + 0.35f * std::sin(p.x * 38.0f + 0.6f * std::sin(p.y * 3.0f));
            wall = mix(wall, Vec3(0.45f, 0.1f, 0.07f) * fold, curtain);
            glass *= 1.0f - curtain;
        }
        Vec3 frame(0.75f, 0.73f, 0.7f);
        Vec3 base = mix(wall, frame, std::min(inX * inY, 1.0f)) * lighting(p, hit.normal);
        Vec3 outdoor = outside(d);
        Vec3 result = mix(base, outdoor, glass);
        return result + glow;
    }
    case -2:
    case poleId: albedo = Vec3(0.08f, 0.07f, 0.06f); break;
    default: albedo = furnitureAlbedo(hit.id, p, hit.normal); break;
    }
    return albedo * lighting(p + hit.normal * 0.01f, hit.normal) + glow;
}

// ---------------------------------------------------------------- space

namespace {

const Vec3 brightStar = normalize(Vec3(0.45f, 0.28f, -0.85f));
const Vec3 galacticPole = normalize(Vec3(0.3f, 0.85f, 0.25f));

}  // namespace

Vec3 spaceRadiance(const Vec3& d)
{
    Vec3 colour(0.0025f, 0.003f, 0.006f);
    // A galactic band with nebulae concentrated in it.
    float lat = dot(d, galacticPole);
    float bandWeight = std::exp(-lat * lat / 0.09f);
    Vec3 q = d * 2.2f;
    float wx = fbm3(q.x + 3.1f, q.y, q.z, 3, 101), wy = fbm3(q.x, q.y + 7.3f, q.z, 3, 102);
    Vec3 warped(q.x + 0.9f * wx, q.y + 0.9f * wy, q.z);
    float cloud = fbm3(warped.x, warped.y, warped.z, 6, 103);
    float hue = fbm3(q.x * 0.6f, q.y * 0.6f, q.z * 0.6f + 11.0f, 3, 104);
    float density = smoothstep(-0.15f, 0.7f, cloud) * (0.25f + 0.75f * bandWeight);
    Vec3 magenta(0.62f, 0.08f, 0.4f), teal(0.04f, 0.3f, 0.5f), amber(0.7f, 0.32f, 0.06f);
    Vec3 tint = mix(magenta, teal, smoothstep(-0.35f, 0.35f, hue));
    tint = mix(tint, amber, smoothstep(0.25f, 0.6f, hue) * 0.6f);
    // Glowing core of the nebula near the bright star.
    float nearStar = std::max(dot(d, brightStar), 0.0f);
    float emission = density * density * (0.4f + 1.1f * std::pow(nearStar, 4.0f));
    // Dark dust lanes cut through it.
    float dust = fbm3(warped.x * 3.0f, warped.y * 3.0f, warped.z * 3.0f, 4, 105);
    float lane = 1.0f - 0.75f * smoothstep(0.15f, 0.45f, dust) * bandWeight;
    colour += tint * (emission * lane);
    // Unresolved stars of the band: a faint milky glow.
    colour += Vec3(0.03f, 0.03f, 0.038f) * (bandWeight * (0.5f + 0.5f * fbm3(q.x * 4, q.y * 4, q.z * 4, 3, 106)) * lane);
    // The bright star: core, halo and four diffraction spikes.
    float c = dot(d, brightStar);
    if (c > 0.0f) {
        float angle = std::acos(std::min(c, 1.0f));
        Vec3 u = normalize(cross(brightStar, Vec3(0, 1, 0)));
        Vec3 v = cross(u, brightStar);
        float x = dot(d, u), y = dot(d, v);
        float spikes = std::exp(-std::fabs(x) / 0.04f) * std::exp(-(y * y) / (0.002f * 0.002f)) +
                       std::exp(-std::fabs(y) / 0.04f) * std::exp(-(x * x) / (0.002f * 0.002f));
        Vec3 starColour(0.8f, 0.88f, 1.0f);
        colour += starColour * (400.0f * std::exp(-angle / 0.0035f) + 1.2f * std::exp(-angle / 0.03f) +
                                0.25f * std::exp(-angle / 0.15f) + 3.0f * spikes);
    }
    return colour;
}

namespace {

// Projects a direction onto a given face; false when it points away from that face.
bool projectToFace(const Vec3& d, int face, float* s, float* t)
{
    float ma, sc, tc;
    switch (face) {
    case 0: ma = d.x; sc = -d.z; tc = -d.y; break;
    case 1: ma = -d.x; sc = d.z; tc = -d.y; break;
    case 2: ma = d.y; sc = d.x; tc = d.z; break;
    case 3: ma = -d.y; sc = d.x; tc = -d.z; break;
    case 4: ma = d.z; sc = d.x; tc = -d.y; break;
    default: ma = -d.z; sc = -d.x; tc = -d.y; break;
    }
    if (ma <= 0.1f) {
        return false;
    }
    *s = 0.5f * (sc / ma + 1.0f);
    *t = 0.5f * (tc / ma + 1.0f);
    return true;
}

// Adds point stars to the faces; each star is splatted into every face it touches,
// so stars on an edge appear on both sides of it.
void addStars(CubeMap& cube, uint64_t seed, int count)
{
    static const Vec3 temperatures[] = {{0.45f, 0.6f, 1.0f}, {0.7f, 0.8f, 1.0f}, {1.0f, 1.0f, 1.0f},
                                        {1.0f, 0.85f, 0.55f}, {1.0f, 0.62f, 0.3f}, {1.0f, 0.42f, 0.28f}};
    Random random(seed);
    for (int i = 0; i < count; ++i) {
        float z = random.range(-1.0f, 1.0f), phi = random.range(0.0f, 2.0f * pi);
        float r = std::sqrt(std::max(0.0f, 1.0f - z * z));
        Vec3 d(r * std::cos(phi), z, r * std::sin(phi));
        // Pull a third of the stars towards the galactic band.
        if (i % 3 == 0) {
            float lat = dot(d, galacticPole);
            d = normalize(d - galacticPole * (lat * 0.7f));
        }
        float u = std::max(random.unit(), 1e-4f);
        float brightness = 0.025f * std::pow(u, -1.1f);
        Vec3 colour = temperatures[int(random.unit() * 6) % 6] * std::min(brightness, 1.3f);
        // Bright stars grow instead of burning out to white, so they keep their colour.
        float sigma = 0.55f + 0.3f * std::min(std::sqrt(brightness), 2.2f);
        int radius = int(std::ceil(sigma * 3.0f));
        for (int f = 0; f < 6; ++f) {
            float s, t;
            if (!projectToFace(d, f, &s, &t)) {
                continue;
            }
            float px = s * cube.size - 0.5f, py = t * cube.size - 0.5f;
            if (px < -radius || py < -radius || px > cube.size + radius || py > cube.size + radius) {
                continue;
            }
            int x0 = std::max(0, int(std::floor(px)) - radius), x1 = std::min(cube.size - 1, int(std::ceil(px)) + radius);
            int y0 = std::max(0, int(std::floor(py)) - radius), y1 = std::min(cube.size - 1, int(std::ceil(py)) + radius);
            for (int y = y0; y <= y1; ++y) {
                for (int x = x0; x <= x1; ++x) {
                    float dx = x - px, dy = y - py;
                    float w = std::exp(-(dx * dx + dy * dy) / (2.0f * sigma * sigma));
                    cube.at(f, x, y) += colour * w;
                }
            }
        }
    }
}

// Adds a light of the given total flux (integral of radiance over solid angle) as
// a small Gaussian spot around the direction, normalised over the texels' solid
// angles so that the light's share of the irradiance does not depend on the face size.
void addSpotLight(CubeMap& cube, const Vec3& direction, const Vec3& flux, float sigma)
{
    struct Tap {
        int face, x, y;
        float weight;
    };
    std::vector<Tap> taps;
    double norm = 0.0;
    const int radius = int(std::ceil(sigma * 3.0f));
    for (int f = 0; f < 6; ++f) {
        float s, t;
        if (!projectToFace(direction, f, &s, &t)) {
            continue;
        }
        float px = s * cube.size - 0.5f, py = t * cube.size - 0.5f;
        for (int y = std::max(0, int(std::floor(py)) - radius); y <= std::min(cube.size - 1, int(std::ceil(py)) + radius); ++y) {
            for (int x = std::max(0, int(std::floor(px)) - radius); x <= std::min(cube.size - 1, int(std::ceil(px)) + radius); ++x) {
                float dx = x - px, dy = y - py;
                float w = std::exp(-(dx * dx + dy * dy) / (2.0f * sigma * sigma));
                taps.push_back({f, x, y, w});
                norm += w * texelSolidAngle(cube.size, x, y);
            }
        }
    }
    for (const Tap& tap : taps) {
        cube.at(tap.face, tap.x, tap.y) += flux * float(tap.weight / norm);
    }
}

}  // namespace

// ---------------------------------------------------------------- studio

Vec3 studioRadiance(const Vec3& d)
{
    float elevation = std::asin(std::min(std::max(d.y, -1.0f), 1.0f));
    float azimuth = std::atan2(d.z, d.x);
    // Dark backdrop, a touch lighter towards the floor, which reflects.
    Vec3 colour = mix(Vec3(0.012f, 0.012f, 0.016f), Vec3(0.03f, 0.028f, 0.03f), smoothstep(0.2f, -0.3f, d.y));
    // Overhead softbox.
    if (d.y > 0.0f) {
        float a = d.x / d.y, b = d.z / d.y;
        float box = band(a, -0.55f, 0.55f, 0.03f) * band(b, -0.32f, 0.32f, 0.03f);
        float falloff = 1.0f - 0.35f * (a * a + b * b);
        colour += Vec3(3.2f, 3.1f, 3.0f) * (box * falloff);
        // Its frame, a faint grey rim.
        colour += Vec3(0.06f, 0.06f, 0.06f) * (band(a, -0.62f, 0.62f, 0.01f) * band(b, -0.39f, 0.39f, 0.01f) * (1.0f - box));
    }
    // Vertical strip lights at fixed azimuths.
    struct Strip {
        float azimuth, width, low, high;
        Vec3 colour;
    };
    static const Strip strips[] = {
        {0.35f, 0.05f, -0.12f, 1.15f, {3.2f, 1.5f, 0.45f}},   // warm orange
        {1.9f, 0.04f, -0.1f, 1.05f, {0.35f, 1.9f, 2.6f}},     // cyan
        {3.3f, 0.07f, -0.15f, 1.2f, {2.4f, 0.35f, 1.9f}},     // magenta
        {4.6f, 0.025f, -0.2f, 1.25f, {2.6f, 2.6f, 2.6f}},     // white
        {5.5f, 0.035f, 0.0f, 0.95f, {0.6f, 0.8f, 3.0f}},      // blue
    };
    for (const Strip& s : strips) {
        float da = std::remainder(azimuth - s.azimuth, 2.0f * pi) * std::cos(elevation);
        float across = 1.0f - smoothstep(s.width * 0.6f, s.width, std::fabs(da));
        float alongStrip = band(elevation, s.low, s.high, 0.02f);
        colour += s.colour * (across * alongStrip);
        // Soft spill onto the backdrop around each strip.
        colour += s.colour * (0.03f * std::exp(-std::fabs(da) / 0.15f) * band(elevation, s.low - 0.1f, s.high + 0.1f, 0.15f));
        // Blurred reflection in the glossy floor.
        float mirrored = band(-elevation, s.low, s.high, 0.08f) * (elevation < 0 ? 1.0f : 0.0f);
        colour += s.colour * (0.12f * mirrored * std::exp(-std::fabs(da) / (s.width * 2.5f)));
    }
    // Two horizontal bands around the room: a wide warm one that turns pink towards
    // the back, and a thin cool one higher up.
    float warmBand = band(elevation, 0.33f, 0.41f, 0.012f);
    colour += mix(Vec3(2.2f, 1.1f, 0.3f), Vec3(1.8f, 0.3f, 0.9f), 0.5f + 0.5f * std::sin(azimuth)) * (0.8f * warmBand);
    colour += Vec3(1.4f, 1.7f, 2.2f) * (0.9f * band(elevation, 0.86f, 0.875f, 0.006f));
    // A thin ring of light just below the horizon whose hue turns with the azimuth.
    float ring = band(elevation, -0.07f, -0.045f, 0.008f);
    Vec3 hue(0.5f + 0.5f * std::cos(azimuth), 0.5f + 0.5f * std::cos(azimuth - 2.1f), 0.5f + 0.5f * std::cos(azimuth + 2.1f));
    colour += hue * (0.9f * ring);
    return colour;
}

// ---------------------------------------------------------------- campus

namespace {

const Vec3 sunDirection = normalize(Vec3(0.55f, 0.45f, -0.7f));
// The sun: a small disc, just bright enough to glint in polished steel. It is left out
// of the irradiance (campusSkyLight): a disc bright enough to light the courtyard would,
// blurred into it, burn a white patch into the background.
const float sunRadius = 0.0105f;
const float sunDiscRadiance = 3.0f;
const Vec3 sunColour(1.0f, 0.93f, 0.82f);

Vec3 skyColour(const Vec3& d)
{
    float up = std::max(d.y, 0.0f);
    Vec3 zenith(0.16f, 0.34f, 0.78f), horizon(0.78f, 0.86f, 0.96f);
    Vec3 sky = mix(horizon, zenith, std::pow(up, 0.45f));
    float c = std::max(dot(d, sunDirection), 0.0f);
    sky += Vec3(1.0f, 0.85f, 0.62f) * (0.9f * std::pow(c, 12.0f) + 0.25f * std::pow(c, 3.0f));
    return sky;
}

// Skyline: buildings (elevation in radians per azimuth) and tree crowns.
struct Building {
    float start, end, height;
    Vec3 colour;
    float lit;
};

std::vector<Building> makeSkyline()
{
    std::vector<Building> buildings;
    Random random(2024);
    float a = -pi;
    static const Vec3 materials[] = {{0.42f, 0.2f, 0.14f}, {0.55f, 0.53f, 0.5f}, {0.3f, 0.36f, 0.42f},
                                     {0.62f, 0.55f, 0.45f}, {0.36f, 0.32f, 0.3f}};
    while (a < pi) {
        float width = random.range(0.12f, 0.42f);
        float gap = random.range(0.05f, 0.5f);
        if (a + width > pi) {
            break;
        }
        Building b;
        b.start = a;
        b.end = a + width;
        b.height = random.range(0.04f, 0.17f);
        b.colour = materials[int(random.unit() * 5) % 5];
        b.lit = random.range(0.35f, 1.0f);
        buildings.push_back(b);
        a += width + gap;
    }
    return buildings;
}

const std::vector<Building>& skyline()
{
    static const std::vector<Building> buildings = makeSkyline();
    return buildings;
}

Vec3 groundColour(const Vec3& d)
{
    const float eyeHeight = 1.7f;
    float t = eyeHeight / std::max(-d.y, 1e-4f);
    float x = d.x * t, z = d.z * t;
    float distance = std::sqrt(x * x + z * z);
    Vec3 grass = mix(Vec3(0.1f, 0.2f, 0.04f), Vec3(0.2f, 0.3f, 0.07f), 0.5f + 0.5f * fbm3(x * 0.3f, 0.0f, z * 0.3f, 3, 201));
    grass = grass * (0.92f + 0.08f * (std::sin(x * 1.2f) > 0 ? 1.0f : -1.0f) * std::exp(-distance / 40.0f));
    Vec3 paving(0.5f, 0.47f, 0.42f);
    float w = std::max(0.02f, distance * 0.004f);  // antialias with distance
    float path = std::max(1.0f - smoothstep(1.2f - w, 1.2f + w, std::fabs(x)), 1.0f - smoothstep(1.2f - w, 1.2f + w, std::fabs(z)));
    float plaza = band(distance, 1.6f, 2.6f, w);
    float paved = std::max(path, plaza);
    // Slab joints and a ring of darker stones round the plaza.
    float joint = std::max(1.0f - smoothstep(0.0f, w * 1.5f, std::fabs(std::remainder(x, 0.9f))),
                           1.0f - smoothstep(0.0f, w * 1.5f, std::fabs(std::remainder(z, 0.9f))));
    Vec3 stone = paving * (1.0f - 0.25f * joint * std::exp(-distance / 25.0f));
    stone = mix(stone, Vec3(0.32f, 0.3f, 0.3f), band(distance, 2.45f, 2.6f, w));
    // A round lawn with a small pool in the middle of the crossing.
    float island = 1.0f - smoothstep(1.6f - w, 1.6f + w, distance);
    Vec3 pool = mix(Vec3(0.05f, 0.16f, 0.2f), Vec3(0.25f, 0.35f, 0.4f), 0.5f + 0.5f * fbm3(x * 3.0f, 0.0f, z * 3.0f, 2, 202));
    Vec3 centre = distance < 0.9f ? pool : (distance < 1.0f ? Vec3(0.6f, 0.58f, 0.55f) : grass);
    Vec3 albedo = mix(mix(grass, stone, paved), centre, island);
    Vec3 light = sunColour * (2.2f * sunDirection.y) + Vec3(0.35f, 0.42f, 0.55f) * 0.7f;
    Vec3 lit = albedo * light;
    // Aerial haze towards the horizon.
    float haze = 1.0f - std::exp(-distance / 160.0f);
    return mix(lit, skyColour(Vec3(d.x, 0.0f, d.z)) * 0.9f, haze);
}

}  // namespace

Vec3 campusSunDirection() { return sunDirection; }

Vec3 campusRadiance(const Vec3& d)
{
    Vec3 colour = campusSkyLight(d);
    if (d.y > 0.0f) {
        float angle = std::acos(std::min(std::max(dot(d, sunDirection), 0.0f), 1.0f));
        colour += sunColour * (sunDiscRadiance * (1.0f - smoothstep(sunRadius * 0.85f, sunRadius * 1.15f, angle)));
    }
    return colour;
}

Vec3 campusSkyLight(const Vec3& d)
{
    float elevation = std::asin(std::min(std::max(d.y, -1.0f), 1.0f));
    float azimuth = std::atan2(d.z, d.x);
    Vec3 colour;
    if (d.y < 0.0f) {
        colour = groundColour(d);
    } else {
        colour = skyColour(d);
        // Clouds on a plane above, thinning towards the horizon.
        float k = 1.0f / (d.y + 0.06f);
        float cx = d.x * k * 0.6f, cz = d.z * k * 0.6f;
        float shape = fbm3(cx, 0.0f, cz, 5, 301) + 0.35f * fbm3(cx * 3.0f, 1.0f, cz * 3.0f, 3, 302);
        float density = smoothstep(0.05f, 0.55f, shape) * smoothstep(0.0f, 0.12f, d.y);
        float c = std::max(dot(d, sunDirection), 0.0f);
        Vec3 cloud = mix(Vec3(0.55f, 0.6f, 0.68f), Vec3(1.25f, 1.2f, 1.12f), 0.4f + 0.6f * smoothstep(0.1f, 0.6f, shape)) +
                     Vec3(1.0f, 0.8f, 0.55f) * (1.5f * std::pow(c, 16.0f));
        colour = mix(colour, cloud, density * 0.92f);
    }
    // Trees and buildings along the horizon (drawn over sky and far ground).
    float tree = 0.015f + 0.045f * smoothstep(-0.2f, 0.6f, fbm3(std::cos(azimuth) * 7.0f, std::sin(azimuth) * 7.0f, 0.0f, 5, 401));
    for (const Building& b : skyline()) {
        if (azimuth < b.start || azimuth > b.end || elevation < -0.01f) {
            continue;
        }
        float e = 1.0f - smoothstep(b.height - 0.0015f, b.height + 0.0015f, elevation);
        if (e <= 0.0f) {
            break;
        }
        float u = (azimuth - b.start) / (b.end - b.start);
        float windowsX = std::fabs(std::remainder(u * (b.end - b.start) * 90.0f, 1.0f));
        float windowsY = std::fabs(std::remainder(elevation * 160.0f, 1.0f));
        float window = (windowsX < 0.3f && windowsY < 0.28f && elevation > 0.008f && elevation < b.height - 0.006f) ? 1.0f : 0.0f;
        Vec3 facade = b.colour * (0.5f + 1.3f * b.lit);
        facade = mix(facade, Vec3(0.35f, 0.45f, 0.55f) * (0.6f + 0.8f * b.lit), window * 0.8f);
        Vec3 hazy = mix(facade, skyColour(Vec3(d.x, 0.0f, d.z)), 0.12f);
        colour = mix(colour, hazy, e);
    }
    if (elevation > -0.01f) {
        float e = 1.0f - smoothstep(tree - 0.002f, tree + 0.002f, elevation);
        Vec3 leaves = Vec3(0.07f, 0.13f, 0.05f) * (0.8f + 0.4f * fbm3(azimuth * 80.0f, elevation * 80.0f, 0.0f, 2, 402));
        colour = mix(colour, mix(leaves, skyColour(Vec3(d.x, 0.0f, d.z)) * 0.5f, 0.3f), e);
    }
    return colour;
}

// ---------------------------------------------------------------- generators

namespace {

// Uncompressed BGRA: these smooth, dithered faces deflate to less than DXT1 would
// take and keep their gradients free of block artefacts.
// The irradiance is blurred from `lighting`, the sharp cube unless given.
void emitEnvironment(const char* name, const CubeMap& sharp, float exposure, std::vector<Asset>& out,
                     const CubeMap* lighting = nullptr)
{
    std::string base = std::string("textures/") + name;
    out.push_back({base + ".dds", encodeDds(encodeFaces(sharp, exposure), DdsFormat::Bgra8)});
    const CubeMap& source = lighting ? *lighting : sharp;
    CubeMap diffuse = convolveIrradiance(downsample(source, source.size / 32), diffuseSize);
    out.push_back({base + "_diff.dds", encodeDds(encodeFaces(diffuse, exposure), DdsFormat::Bgra8)});
}

}  // namespace

void generateLivingRoom(const Context&, std::vector<Asset>& out)
{
    emitEnvironment("living_room", renderCube(environmentSize, livingRoomRadiance), 1.25f, out);
}

void generateHd210(const Context&, std::vector<Asset>& out)
{
    CubeMap cube = renderCube(environmentSize, spaceRadiance);
    addStars(cube, 210, 14000);
    // The bright star is the key light: a white surface facing it reflects about 0.2.
    addSpotLight(cube, brightStar, Vec3(0.8f, 0.88f, 1.0f) * (0.22f * pi), 1.0f);
    emitEnvironment("hd210", cube, 1.0f, out);
}

void generateRnl(const Context&, std::vector<Asset>& out)
{
    emitEnvironment("rnl", renderCube(environmentSize, studioRadiance), 1.0f, out);
}

void generateCampusCross(const Context&, std::vector<Asset>& out)
{
    const CubeMap sky = renderCube(environmentSize, campusSkyLight);
    emitEnvironment("campus_cross", renderCube(environmentSize, campusRadiance), 0.72f, out, &sky);
}

}  // namespace datagen
