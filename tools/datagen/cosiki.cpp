#include "datagen/cosiki.h"

#include "datagen/basic_meshes.h"
#include "datagen/noise.h"
#include "datagen/scene_meshes.h"
#include "datagen/scene_textures.h"
#include "scene/scene_archive.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace datagen {

namespace {

const float twoPi = 6.28318530718f;

enum { px, py, pz, heading, pitch, bank, sx, sy, sz };

// ---- pictures ----

// Bright, but below the bloom's threshold for most of the picture, so that only the
// highlights glow: the white flash before the part opens onto a pale, airy studio.
const Vec3 horizon{0.72f, 0.7f, 0.69f};

Vec3 skyColour(float u, float v)
{
    const float elevation = (v - 0.5f) * 2.0f;
    if (elevation < 0.0f) {
        return horizon;
    }
    Vec3 c = mix(horizon, Vec3{0.36f, 0.56f, 0.84f}, smoothstep(0.02f, 0.7f, elevation));
    const float cloud = fbm3(u * 10.0f, elevation * 8.0f, 0.5f, 5, 303) * 0.5f + 0.5f;
    return mix(c, Vec3{0.72f, 0.72f, 0.76f}, smoothstep(0.55f, 0.75f, cloud) * 0.7f * smoothstep(0.05f, 0.2f, elevation));
}

// The floor, 120 units across: pale grey with a lattice of pastel dots near the middle and
// a soft pool of shade under the play area, fading into the horizon.
Vec3 floorColour(float u, float v)
{
    const float x = (u - 0.5f) * 120.0f, z = (v - 0.5f) * 120.0f;
    const float r = std::sqrt(x * x + z * z);
    Vec3 c{0.6f, 0.6f, 0.63f};
    const float gx = x / 1.5f - std::floor(x / 1.5f) - 0.5f, gz = z / 1.5f - std::floor(z / 1.5f) - 0.5f;
    const float dot = std::sqrt(gx * gx + gz * gz);
    const Vec3 dots[4] = {{0.36f, 0.7f, 0.6f}, {0.92f, 0.55f, 0.45f}, {0.58f, 0.5f, 0.85f}, {0.9f, 0.75f, 0.35f}};
    const int which = (int(std::floor(x / 1.5f)) + 2 * int(std::floor(z / 1.5f))) & 3;
    c = mix(c, dots[which], smoothstep(0.12f, 0.08f, dot) * smoothstep(26.0f, 8.0f, r));
    c = c * (1.0f - 0.18f * std::exp(-r * r * 0.01f));
    return mix(c, horizon, smoothstep(22.0f, 58.0f, r));
}

Vec3 paintColour(const Vec3& light, const Vec3& deep, float u, float v)
{
    const float speckle = hashUnit(int(u * 64.0f), int(v * 64.0f), 0, 17) * 0.04f;
    return mix(light, deep, v * 0.8f) + Vec3{speckle, speckle, speckle};
}

Vec3 candyColour(float u, float v)
{
    const float stripe = std::fmod((u + v) * 6.0f, 1.0f);
    return stripe < 0.5f ? Vec3{0.92f, 0.4f, 0.5f} : Vec3{0.8f, 0.78f, 0.78f};
}

struct Paint {
    const char* name;
    Vec3 light, deep;
};
const Paint paints[5] = {
    {"textures/cosiki_paint_mint.png", {0.5f, 0.9f, 0.75f}, {0.22f, 0.65f, 0.55f}},
    {"textures/cosiki_paint_peach.png", {1.0f, 0.7f, 0.55f}, {0.95f, 0.45f, 0.38f}},
    {"textures/cosiki_paint_lilac.png", {0.75f, 0.65f, 1.0f}, {0.5f, 0.38f, 0.85f}},
    {"textures/cosiki_paint_butter.png", {1.0f, 0.9f, 0.5f}, {0.95f, 0.7f, 0.22f}},
    {"textures/cosiki_paint_sky.png", {0.6f, 0.8f, 1.0f}, {0.3f, 0.55f, 0.92f}},
};

// ---- the storyboard ----

Envelope loop(float from, float to, float period, uint32_t behaviour)
{
    return envelope({key(0.0f, from, spanLinear), key(period, to, spanLinear)}, behaviour, behaviour);
}

Envelope bob(float low, float high, float period, float phase)
{
    return envelope({tcbKey(phase, low, 0.0f), tcbKey(phase + period * 0.5f, high, 0.0f)}, behaviourOscillate,
                    behaviourOscillate);
}

// Hidden before `from` and from `to` on (stepped keys); `to` past the part = never leaves.
Envelope visible(float from, float to)
{
    std::vector<Key> keys = {key(0.0f, from > 0.0f ? 1.0f : 0.0f)};
    if (from > 0.0f) {
        keys.push_back(key(from, 0.0f, spanStepped));
    }
    if (to < 30.0f) {
        keys.push_back(key(to, 1.0f, spanStepped));
    }
    return envelope(keys);
}

}  // namespace

SceneBuilder cosikiScene()
{
    SceneBuilder b("cosiki2.xml");
    Random random(2024);

    // Looks: five pastel paints through one effect file, candy stripes and flat colours.
    uint32_t paint[5];
    for (int i = 0; i < 5; ++i) {
        const uint32_t texture = b.addTexture(paints[i].name);
        paint[i] = b.addShadedMaterial(b.addShader("shaders/scene_pastel.cgfx", {{"texPaint", texture}}));
    }
    const uint32_t candy = b.addTexturedMaterial(b.addTexture("textures/cosiki_candy.png"));
    const uint32_t sky = b.addTexturedMaterial(b.addTexture("textures/cosiki_sky.png"));
    const uint32_t floor = b.addTexturedMaterial(b.addTexture("textures/cosiki_floor.png"));
    const uint32_t coral = b.addFlatMaterial(0.95f, 0.42f, 0.45f);
    const uint32_t white = b.addFlatMaterial(0.74f, 0.72f, 0.78f);
    const uint32_t teal = b.addFlatMaterial(0.25f, 0.62f, 0.7f);

    b.addObject(b.addMesh(dome(300.0f, 40, 20)), {sky}, still(0, 0, 0));
    b.addObject(b.addMesh(disc(60.0f, 64, 8)), {floor}, still(0, 0, 0));

    // Shared shapes: every little thing draws from one of these vertex streams.
    const MeshIds cube = b.addMesh(makeCube(0.5f));
    const MeshIds ball = b.addMesh(sphere(0.3f, 20, 12));
    const MeshIds ring = b.addMesh(torus(0.28f, 0.09f, 28, 10));
    const MeshIds gem = b.addMesh(octahedron(0.16f));
    PartedMesh pedestalParts;  // a painted drum with a candy top: two surfaces
    pedestalParts.add(turnProfile({{0.0f, 0.0f}, {0.55f, 0.0f}, {0.55f, 0.5f}, {0.5f, 0.55f}}, 32));
    pedestalParts.add(turnProfile({{0.5f, 0.55f}, {0.56f, 0.6f}, {0.56f, 0.72f}, {0.0f, 0.74f}}, 32));
    const MeshIds pedestal = b.addMesh(pedestalParts);

    // 1. The parade: sixteen cubes roll across the floor from the left, each a hop and a
    //    quarter turn every 0.8 s, for ever (offset keeps adding the step).
    const uint32_t track = b.addNull(still(0, 0, 3.0f, 0.35f));
    for (int k = 0; k < 16; ++k) {
        Motion m = still(0, 0.25f, 0);
        m.channel[px] = envelope({key(0.0f, -16.0f + 1.3f * float(k), spanLinear), key(0.8f, -15.0f + 1.3f * float(k), spanLinear)},
                                 behaviourOffset, behaviourOffset);
        m.channel[py] = envelope({tcbKey(0.0f, 0.25f, 0.0f), tcbKey(0.4f, 0.7f, -0.5f), tcbKey(0.8f, 0.25f, 0.0f)},
                                 behaviourRepeat, behaviourRepeat);
        m.channel[bank] = loop(0.0f, -twoPi / 4.0f, 0.8f, behaviourOffset);
        const uint32_t id = b.addObject(cube, {k % 4 == 3 ? candy : paint[k % 5]}, m);
        b.object(id).parent = {1, track};
    }

    // 2. The carousel: a turning hub (repeat) with three arms turning the other way at
    //    three heights, each carrying six things that bob; some balls have a tiny gem
    //    circling them (four levels: carousel, arm, thing, gem).
    const uint32_t carousel = b.addNull(still(0, 0, -2.0f));
    b.object(carousel).motion.channel[heading] = loop(0.0f, twoPi, 16.0f, behaviourRepeat);
    for (int a = 0; a < 3; ++a) {
        Motion arm = still(0, 0.9f + 0.85f * float(a), 0, 0.7f * float(a));
        arm.channel[heading] = loop(0.7f * float(a), 0.7f * float(a) - twoPi, 9.0f + 3.0f * float(a), behaviourRepeat);
        const uint32_t armId = b.addNull(arm);
        b.object(armId).parent = {1, carousel};
        const float radius = 2.8f - 0.6f * float(a);
        for (int k = 0; k < 6; ++k) {
            const float angle = twoPi * float(k) / 6.0f;
            Motion m = still(radius * std::cos(angle), 0, radius * std::sin(angle));
            m.channel[py] = bob(-0.15f, 0.15f, 1.4f + 0.2f * float(k), 0.23f * float(k));
            m.channel[pitch] = loop(0.0f, twoPi, 3.0f + float(k), behaviourRepeat);
            const bool isRing = (k + a) % 2 == 1;
            const uint32_t thing = b.addObject(isRing ? ring : ball, {paint[(k + 2 * a) % 5]}, m);
            b.object(thing).parent = {1, armId};
            if (!isRing && k % 3 == 0) {
                Motion g = still(0.5f, 0.1f, 0);
                const uint32_t moon = b.addObject(gem, {a == 1 ? coral : teal}, g);
                b.object(moon).parent = {1, thing};
                b.object(moon).pivot = {0.5f, 0.0f, 0.0f};  // turns about its planet
                b.object(moon).motion.channel[heading] = loop(0.0f, twoPi, 1.3f, behaviourRepeat);
            }
        }
    }

    // 3. Confetti: thirty gems and balls over the floor, each bobbing and spinning at its
    //    own pace; a third of them pop in during the first seconds, a few leave at the end.
    for (int k = 0; k < 30; ++k) {
        const float angle = random.range(0.0f, twoPi);
        const float radius = random.range(3.5f, 9.0f);
        Motion m = still(radius * std::cos(angle), 0, -2.0f + radius * std::sin(angle));
        const float height = random.range(0.3f, 2.4f);
        m.channel[py] = bob(height - 0.3f, height + 0.3f, random.range(1.2f, 2.6f), random.range(0.0f, 2.0f));
        m.channel[heading] = loop(0.0f, twoPi, random.range(2.0f, 5.0f), behaviourRepeat);
        m.channel[bank] = loop(random.unit(), random.unit() + twoPi, random.range(3.0f, 7.0f), behaviourRepeat);
        const uint32_t looks[4] = {coral, white, teal, candy};
        const uint32_t id = b.addObject(k % 3 == 0 ? ball : gem, {k % 3 == 0 ? paint[k % 5] : looks[k % 4]}, m);
        if (k % 3 == 0) {
            b.object(id).motion.channel[sx] = constant(0.45f);
            b.object(id).motion.channel[sy] = constant(0.45f);
            b.object(id).motion.channel[sz] = constant(0.45f);
        }
        const float from = k % 3 == 1 ? 0.6f + 0.12f * float(k) : 0.0f;
        const float to = k % 7 == 0 ? 15.5f + 0.25f * float(k % 5) : 99.0f;
        b.object(id).dissolve = visible(from, to);
    }

    // 4. Three pedestals around the carousel; on each a companion placeholder (the scene
    //    companion's tiny sculpture), turning slowly.
    for (int k = 0; k < 3; ++k) {
        const float angle = 0.6f + twoPi * float(k) / 3.0f;
        const float x = 5.2f * std::cos(angle), z = -2.0f + 5.2f * std::sin(angle);
        b.addObject(pedestal, {paint[(k + 2) % 5], candy}, still(x, 0, z));
        Motion m = still(x, 1.45f, z, 0, 0, 0, 0.9f);
        m.channel[heading] = loop(0.0f, twoPi, 12.0f, behaviourRepeat);
        b.addCompanion(m);
    }

    // The free camera drifts around the play area: TCB path and heading, a Hermite
    // pitch, a bank that sways (oscillate), a slow zoom.
    Motion cam = still(0, 0, 0);
    const float times[5] = {0.0f, 5.0f, 10.0f, 15.0f, 19.0f};
    const float path[5][3] = {{2.0f, 4.6f, 8.5f}, {-4.8f, 3.6f, 5.8f}, {-7.6f, 2.7f, -0.6f},
                              {-5.8f, 2.1f, -8.2f}, {-1.2f, 1.8f, -10.0f}};
    std::vector<Key> pathKeys[3], headingKeys;
    std::vector<Key> pitchKeys;
    for (int k = 0; k < 5; ++k) {
        for (int axis = 0; axis < 3; ++axis) {
            pathKeys[axis].push_back(tcbKey(times[k], path[k][axis], 0.0f));
        }
        // Aim near the carousel, a little ahead of the drift.
        const float dx = 0.0f - path[k][0], dy = 0.9f - path[k][1], dz = -1.5f - path[k][2];
        headingKeys.push_back(tcbKey(times[k], std::atan2(dx, -dz) + 0.08f, 0.0f));
        Key p = key(times[k], std::atan2(-dy, std::sqrt(dx * dx + dz * dz)), spanHermite);
        pitchKeys.push_back(p);
    }
    for (int axis = 0; axis < 3; ++axis) {
        cam.channel[axis] = envelope(pathKeys[axis]);
    }
    cam.channel[heading] = envelope(headingKeys);
    cam.channel[pitch] = envelope(pitchKeys);
    cam.channel[bank] = envelope({tcbKey(0.0f, -0.04f, 0.0f), tcbKey(3.0f, 0.05f, 0.0f)}, behaviourOscillate,
                                 behaviourOscillate);
    Key zoomStart = key(0.0f, 1.45f, spanHermite);
    Key zoomEnd = key(19.0f, 1.75f, spanHermite);
    b.addCamera("studio", cam, envelope({zoomStart, zoomEnd}));

    Light light;
    light.intensity = 1.0f;
    light.motion = still(-20.0f, 30.0f, 12.0f);
    b.scene.light.push_back(light);
    return b;
}

void generateCosiki(const Context& /*context*/, std::vector<Asset>& out)
{
    const SceneBuilder scene = cosikiScene();
    std::string reason;
    if (checkScene(scene.scene, &reason) != 0) {
        throw std::runtime_error("cosiki2.xml would be refused: " + reason);
    }
    out.push_back({"cosiki2.xml", scene.xml()});
    out.push_back({"textures/cosiki_sky.png", encodePng(toImage(paint(512, 256, skyColour), 3))});
    out.push_back({"textures/cosiki_floor.png", encodePng(toImage(paint(512, 512, floorColour), 3))});
    out.push_back({"textures/cosiki_candy.png", encodePng(toImage(paint(64, 64, candyColour), 3))});
    for (const Paint& p : paints) {
        const Vec3 light = p.light, deep = p.deep;
        out.push_back({p.name, encodePng(toImage(paint(64, 64, [&](float u, float v) { return paintColour(light, deep, u, v); }), 3))});
    }
}

}  // namespace datagen
