#include "datagen/wizard.h"

#include "datagen/noise.h"
#include "datagen/scene_meshes.h"
#include "datagen/scene_textures.h"
#include "scene/scene_archive.h"

#include <cmath>
#include <stdexcept>

namespace datagen {

namespace {

const float twoPi = 6.28318530718f;

// ---- pictures ----

const Vec3 horizonGlow{1.0f, 0.50f, 0.26f};
const Vec3 duskMid{0.52f, 0.22f, 0.36f};
const Vec3 zenith{0.05f, 0.05f, 0.17f};
const Vec3 haze{0.42f, 0.2f, 0.22f};  // the land where it meets the sky
const float sunU = 0.3f;              // the sun's place around the dome (behind the spire)

Vec3 skyColour(float u, float v)
{
    const float elevation = (v - 0.5f) * 2.0f;  // -1 nadir, 0 horizon, 1 zenith
    float du = std::fabs(u - sunU);
    du = std::fmin(du, 1.0f - du) * twoPi;      // radians around from the sun
    if (elevation < 0.0f) {
        return mix(haze, Vec3{0.04f, 0.02f, 0.04f}, smoothstep(0.0f, 0.3f, -elevation));
    }
    Vec3 c = mix(horizonGlow, duskMid, smoothstep(0.0f, 0.22f, elevation));
    c = mix(c, zenith, smoothstep(0.12f, 0.85f, elevation));
    // Warmer and brighter towards the sun, low down.
    const float warm = std::exp(-du * du * 1.2f) * std::exp(-elevation * 6.0f);
    c += Vec3{0.6f, 0.3f, 0.1f} * warm;
    const float e = elevation * 1.5708f;
    const float angle = std::sqrt(du * du + (e - 0.05f) * (e - 0.05f));
    c += Vec3{1.0f, 0.8f, 0.55f} * (std::exp(-angle * angle * 900.0f) * 2.0f + std::exp(-angle * angle * 40.0f) * 0.35f);
    // Thin cloud streaks lit from below near the horizon.
    const float streak = fbm3(u * 24.0f, elevation * 40.0f, 3.0f, 4, 77) * 0.5f + 0.5f;
    c = mix(c, c * Vec3{1.25f, 0.9f, 0.85f}, smoothstep(0.55f, 0.8f, streak) * smoothstep(0.35f, 0.05f, elevation));
    // Stars where the sky is dark.
    const int sx = int(u * 700.0f), sy = int(v * 350.0f);
    const float star = hashUnit(sx, sy, 0, 5);
    if (star > 0.994f && elevation > 0.3f) {
        c += Vec3{0.8f, 0.8f, 0.9f} * ((star - 0.994f) * 160.0f * smoothstep(0.3f, 0.7f, elevation));
    }
    return c;
}

// The circle around the spire, 28 units across: warm stone with a glowing ring of runes.
Vec3 plazaColour(float u, float v)
{
    const float x = (u - 0.5f) * 28.0f, z = (v - 0.5f) * 28.0f;
    const float r = std::sqrt(x * x + z * z);
    const float a = std::atan2(z, x);
    const float grain = fbm3(x * 1.7f, z * 1.7f, 0.5f, 4, 11) * 0.5f + 0.5f;
    Vec3 stone = mix(Vec3{0.16f, 0.11f, 0.12f}, Vec3{0.3f, 0.21f, 0.2f}, grain);
    // Flagstones in rings.
    const float ringJoint = std::fabs(std::fmod(r, 1.6f) - 0.8f);
    const float radialJoint = std::fabs(std::fmod(a * (3.0f + std::floor(r / 1.6f) * 2.0f) + 40.0f, 1.0f) - 0.5f);
    stone = stone * (0.75f + 0.25f * smoothstep(0.76f, 0.7f, ringJoint) * smoothstep(0.5f, 0.44f, radialJoint));
    // Light pooled around the spire's foot and the glowing circle lines.
    Vec3 c = stone * (1.0f + 1.6f * std::exp(-r * 0.35f));
    const Vec3 glow{1.0f, 0.62f, 0.26f};
    for (float ring : {7.0f, 8.6f, 12.5f}) {
        const float d = std::fabs(r - ring);
        c += glow * (std::exp(-d * d * 60.0f) * 1.3f + std::exp(-d * d * 3.0f) * 0.12f);
    }
    // Rune marks between the two inner lines.
    if (r > 7.2f && r < 8.4f) {
        const float cell = a / twoPi * 48.0f + 48.0f;
        const int index = int(cell);
        const float fu = cell - float(index), fv = (r - 7.2f) / 1.2f;
        const float bar = hashUnit(index, 1, 0, 21) > 0.5f ? std::fabs(fu - 0.5f) : std::fabs(fv - 0.5f);
        const float tick = std::fabs(fu - hashUnit(index, 2, 0, 21));
        if ((bar < 0.08f || tick < 0.06f) && fv > 0.15f && fv < 0.85f) {
            c += glow * 0.9f;
        }
    }
    // Fade into the land at the rim.
    const float edge = smoothstep(12.8f, 14.0f, r);
    return mix(c, Vec3{0.12f, 0.07f, 0.09f}, edge);
}

// The land from the plaza's rim (radius 14) to 160 units: dark heath fading into haze.
Vec3 landColour(float u, float v)
{
    const float x = (u - 0.5f) * 320.0f, z = (v - 0.5f) * 320.0f;
    const float r = std::sqrt(x * x + z * z);
    const float n = fbm3(x * 0.08f, z * 0.08f, 1.5f, 5, 31) * 0.5f + 0.5f;
    Vec3 c = mix(Vec3{0.05f, 0.03f, 0.05f}, Vec3{0.14f, 0.08f, 0.09f}, n);
    return mix(c, haze, smoothstep(20.0f, 150.0f, r));
}

Vec3 stoneColour(float u, float v)
{
    // Periodic around (u) so that the turned meshes show no seam.
    const float a = u * twoPi;
    const float n = fbm3(std::cos(a) * 2.0f, std::sin(a) * 2.0f, v * 9.0f, 5, 41) * 0.5f + 0.5f;
    const float strata = 0.5f + 0.5f * std::sin(v * 90.0f + n * 6.0f);
    Vec3 c = mix(Vec3{0.36f, 0.3f, 0.33f}, Vec3{0.62f, 0.55f, 0.52f}, n);
    return c * (0.85f + 0.15f * strata);
}

Vec3 runeColour(float u, float v)
{
    const Vec3 gold{1.0f, 0.72f, 0.3f};
    const float cell = u * 40.0f;
    const int index = int(cell);
    const float fu = cell - float(index);
    const float stroke = hashUnit(index, 0, 0, 91) > 0.5f ? std::fabs(fu - 0.5f) : std::fabs(v - 0.5f);
    const bool mark = (stroke < 0.1f || std::fabs(fu - v) < 0.08f) && fu > 0.15f && fu < 0.85f;
    return mark ? Vec3{1.3f, 1.0f, 0.6f} : gold * 0.55f;
}

Vec3 crystalColour(float /*u*/, float v) { return mix(Vec3{0.35f, 0.85f, 1.0f}, Vec3{0.85f, 0.45f, 1.0f}, v); }

// ---- the storyboard ----

// Channels by name.
enum { px, py, pz, heading, pitch, bank, sx, sy, sz };

// A channel that runs from `from` to `to` in `period` seconds and keeps going.
Envelope spin(float from, float to, float period, uint32_t behaviour)
{
    return envelope({key(0.0f, from, spanLinear), key(period, to, spanLinear)}, behaviour, behaviour);
}

// Hidden until `time`, then shown (a stepped key).
Envelope appearAt(float time) { return envelope({key(0.0f, 1.0f), key(time, 0.0f, spanStepped)}); }

// Profile of the spire, from the ground up: a flared foot, a waist, a swelling body,
// a collar that glows and a needle.
std::vector<ProfilePoint> spireBody()
{
    return {{2.6f, 0.0f}, {2.3f, 0.35f}, {1.55f, 1.2f}, {1.25f, 2.4f}, {1.5f, 4.0f},
            {1.45f, 5.4f}, {1.05f, 7.2f}, {0.8f, 8.6f}, {0.78f, 9.0f}};
}
std::vector<ProfilePoint> spireCollar() { return {{0.78f, 9.0f}, {1.12f, 9.2f}, {1.12f, 9.5f}, {0.7f, 9.75f}}; }
std::vector<ProfilePoint> spireNeedle()
{
    return {{0.7f, 9.75f}, {0.62f, 10.8f}, {0.42f, 12.4f}, {0.2f, 13.8f}, {0.0f, 14.8f}};
}

}  // namespace

SceneBuilder wizardScene()
{
    SceneBuilder b("wizard.xml");

    // Textures and looks.
    const uint32_t skyTexture = b.addTexture("textures/wizard_sky.png");
    const uint32_t plazaTexture = b.addTexture("textures/wizard_plaza.png");
    const uint32_t landTexture = b.addTexture("textures/wizard_land.png");
    const uint32_t stoneTexture = b.addTexture("textures/wizard_stone.png");
    const uint32_t runeTexture = b.addTexture("textures/wizard_runes.png");
    const uint32_t crystalTexture = b.addTexture("textures/wizard_crystal.png");
    const uint32_t stoneShader = b.addShader("shaders/scene_dusk_stone.cgfx", {{"texDetail", stoneTexture}});
    const uint32_t crystalShader = b.addShader("shaders/scene_dusk_glow.cgfx", {{"texGlow", crystalTexture}});
    const uint32_t stone = b.addShadedMaterial(stoneShader);
    const uint32_t crystal = b.addShadedMaterial(crystalShader);
    const uint32_t sky = b.addTexturedMaterial(skyTexture);
    const uint32_t plaza = b.addTexturedMaterial(plazaTexture);
    const uint32_t land = b.addTexturedMaterial(landTexture);
    const uint32_t runes = b.addTexturedMaterial(runeTexture);
    const uint32_t ember = b.addFlatMaterial(1.0f, 0.66f, 0.3f);

    // The world: dome, land and plaza never move.
    b.addObject(b.addMesh(dome(380.0f, 48, 24)), {sky}, still(0, 0, 0));
    Mesh landMesh = disc(160.0f, 64, 10, 14.0f);
    translate(landMesh, 0.0f, -0.02f, 0.0f);
    b.addObject(b.addMesh(landMesh), {land}, still(0, 0, 0));
    b.addObject(b.addMesh(disc(14.0f, 64, 12)), {plaza}, still(0, 0, 0));

    // The spire: stone body, glowing collar, stone needle (three surfaces).
    PartedMesh spire;
    spire.add(turnProfile(spireBody(), 72, 0.22f, 7, 0.22f));
    spire.add(turnProfile(spireCollar(), 72));
    spire.add(turnProfile(spireNeedle(), 48, 0.5f, 7, 0.3f));
    const uint32_t tower = b.addObject(b.addMesh(spire), {stone, ember, stone}, still(0, 0, 0));

    // Rune rings light up one after another (2.5, 4, 5.5 s), tilted, each turning at
    // its own pace for ever (offset: every turn adds a whole turn), the middle one
    // rocking on a tangent-Bezier wobble.
    const MeshIds ringMeshes[3] = {b.addMesh(torus(2.75f, 0.07f, 96, 8)), b.addMesh(torus(2.15f, 0.06f, 96, 8)),
                                   b.addMesh(torus(1.55f, 0.05f, 96, 8))};
    const float ringHeights[3] = {4.6f, 7.9f, 11.4f};
    for (int i = 0; i < 3; ++i) {
        Motion m = still(0, ringHeights[i], 0, 0, 0.18f - 0.12f * float(i), 0.1f * float(i));
        m.channel[heading] = spin(0.0f, (i % 2 ? -1.0f : 1.0f) * twoPi / 3.0f, 5.0f + 1.5f * float(i), behaviourOffset);
        if (i == 1) {
            Key rock = key(3.0f, 0.25f, spanBezierTangent);
            rock.p4 = 0.0f;
            Key back = key(6.0f, -0.1f, spanBezierTangent);
            back.p5 = 0.05f;
            m.channel[bank] = envelope({key(0.0f, -0.1f), rock, back}, behaviourOscillate, behaviourOscillate);
        }
        const uint32_t ring = b.addObject(ringMeshes[i], {runes}, m);
        b.object(ring).parent = {1, tower};
        b.object(ring).dissolve = appearAt(2.5f + 1.5f * float(i));
    }

    // Three orbits (children of the spire) carry twelve stones (children of the orbits):
    // stones share three rock shapes, bob on oscillating keys, tumble about pivots off
    // their centres, and arrive one by one from 5 s to 13.25 s.
    const MeshIds rocks[3] = {b.addMesh(rock(0.55f, 0.35f, 0.8f, 3)), b.addMesh(rock(0.42f, 0.45f, 1.0f, 4)),
                              b.addMesh(rock(0.7f, 0.3f, 0.65f, 5))};
    const float orbitRadius[3] = {5.2f, 7.0f, 9.2f};
    const float orbitHeight[3] = {3.2f, 6.6f, 10.2f};
    const float orbitPeriod[3] = {26.0f, -34.0f, 42.0f};
    int stoneIndex = 0;
    for (int o = 0; o < 3; ++o) {
        Motion m = still(0, orbitHeight[o], 0, 0, 0.06f * float(o), 0);
        m.channel[heading] = spin(0.0f, orbitPeriod[o] > 0 ? twoPi : -twoPi, std::fabs(orbitPeriod[o]), behaviourRepeat);
        const uint32_t orbit = b.addNull(m);
        b.object(orbit).parent = {1, tower};
        const int count = 3 + o;
        for (int k = 0; k < count; ++k, ++stoneIndex) {
            const float a = twoPi * (float(k) + 0.3f * float(o)) / float(count);
            Motion s = still(orbitRadius[o] * std::cos(a), 0, orbitRadius[o] * std::sin(a));
            const float bob = 0.25f + 0.1f * float(k % 3);
            s.channel[py] = envelope({tcbKey(0.0f, -bob, 0.0f), tcbKey(1.6f + 0.3f * float(k), bob, 0.0f)},
                                     behaviourOscillate, behaviourOscillate);
            s.channel[pitch] = spin(0.0f, twoPi, 9.0f + float(k), behaviourRepeat);
            s.channel[bank] = spin(0.3f * float(k), 0.3f * float(k) + twoPi, 13.0f + 2.0f * float(o), behaviourRepeat);
            const uint32_t id = b.addObject(rocks[(k + o) % 3], {stone}, s);
            b.object(id).parent = {1, orbit};
            b.object(id).pivot = {0.15f, -0.1f, 0.2f};
            b.object(id).dissolve = appearAt(5.0f + 0.75f * float(stoneIndex));
        }
    }

    // The crystal kindles over the needle at 11.5 s, turning and breathing; a shock
    // ring runs out over the ground from it and is gone at 13.5 s (reset after its keys).
    Mesh gem = octahedron(0.7f);
    Motion c = still(0, 16.4f, 0, 0, 0, 0, 1.0f);
    c.channel[heading] = spin(0.0f, twoPi, 7.0f, behaviourRepeat);
    c.channel[sy] = envelope({tcbKey(0.0f, 1.5f, 0.3f), tcbKey(1.2f, 1.8f, 0.3f)}, behaviourOscillate, behaviourOscillate);
    const uint32_t gemId = b.addObject(b.addMesh(gem), {crystal}, c);
    b.object(gemId).parent = {1, tower};
    b.object(gemId).dissolve = appearAt(11.5f);
    Motion wave = still(0, 0.08f, 0, 0, 0, 0, 1.0f);
    for (int axis : {sx, sy, sz}) {
        wave.channel[axis] = envelope({key(11.5f, 0.3f), key(13.5f, 9.0f, spanLinear)}, behaviourReset, behaviourReset);
    }
    b.addObject(b.addMesh(torus(1.0f, 0.025f, 96, 6)), {ember}, wave);

    // The camera is aimed at a point that climbs the spire (target type 1) and moves on
    // a TCB path from the foot of the tower up and out; a slow Bezier zoom; a Hermite lean.
    Motion focus = still(0, 0, 0);
    focus.channel[py] = envelope({tcbKey(0, 2.2f, 0), tcbKey(5, 5.0f, 0), tcbKey(10, 9.5f, 0), tcbKey(14, 12.5f, 0),
                                  tcbKey(20, 9.5f, 0.2f)});
    const uint32_t aim = b.addNull(focus);
    Motion cam = still(0, 0, 0);
    const float times[6] = {0, 4, 8, 12, 16, 20};
    const float path[6][3] = {{4.5f, 1.0f, 13.5f}, {-5.0f, 2.0f, 14.0f}, {-12.5f, 4.5f, 10.5f},
                              {-13.5f, 8.5f, 14.5f}, {-4.0f, 11.5f, 23.0f}, {8.0f, 12.5f, 28.0f}};
    for (int axis = 0; axis < 3; ++axis) {
        std::vector<Key> keys;
        for (int k = 0; k < 6; ++k) {
            keys.push_back(tcbKey(times[k], path[k][axis], 0.0f, 0.0f, 0.0f));
        }
        cam.channel[axis] = envelope(keys);
    }
    Key lean = key(0.0f, 0.05f, spanHermite);
    lean.p5 = -0.01f;
    Key upright = key(20.0f, -0.04f, spanHermite);
    upright.p4 = 0.0f;
    cam.channel[bank] = envelope({lean, upright});
    const uint32_t cameraId = b.addCamera("dusk", cam,
                                          envelope({bezierKey(0.0f, 1.25f, 0.0f, 0.0f, 6.0f, 0.0f),
                                                    bezierKey(20.0f, 1.75f, -6.0f, -0.05f, 0.0f, -6.0f)}));
    b.scene.libCamera.camera[cameraId - 1].target = {1, aim};

    // The sun, low behind the spire (kept for tools; the renderer lights by effect files).
    Light sun;
    sun.r = 1.0f;
    sun.g = 0.6f;
    sun.b = 0.35f;
    sun.intensity = 1.2f;
    sun.motion = still(-60.0f, 12.0f, -190.0f);
    b.scene.light.push_back(sun);
    return b;
}

void generateWizard(const Context& /*context*/, std::vector<Asset>& out)
{
    const SceneBuilder scene = wizardScene();
    std::string reason;
    if (checkScene(scene.scene, &reason) != 0) {
        throw std::runtime_error("wizard.xml would be refused: " + reason);
    }
    out.push_back({"wizard.xml", scene.xml()});
    out.push_back({"textures/wizard_sky.png", encodePng(toImage(paint(1024, 512, skyColour), 3))});
    out.push_back({"textures/wizard_plaza.png", encodePng(toImage(paint(512, 512, plazaColour), 3))});
    out.push_back({"textures/wizard_land.png", encodePng(toImage(paint(256, 256, landColour), 3))});
    out.push_back({"textures/wizard_stone.png", encodePng(toImage(paint(256, 256, stoneColour), 3))});
    out.push_back({"textures/wizard_runes.png", encodePng(toImage(paint(256, 16, runeColour), 3))});
    out.push_back({"textures/wizard_crystal.png", encodePng(toImage(paint(16, 64, crystalColour), 3))});
}

}  // namespace datagen
