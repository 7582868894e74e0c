// Effects: the abstract demo part and the operations the parts share.
//
// Contract with the Core (core/core.h, which includes this floor; the parts reach back
// only through what the floors below declare: the shared meshes, targets, overlay and
// grid switch in render/core_shared.h, the control bar in resources/control_bar.h):
// - Constructors only set defaults: no GL, file, GUI or random work (effects are built
//   before the GUI bar exists and before the shared random generator is seeded).
// - init() runs once per effect, in schedule order, after the window, the GL context,
//   the data archive and the Core's GUI bar exist and after seedRandom(12345). The
//   Core's meshes and render targets (quadMesh, cubeMesh, sceneCopy, bloomA, bloomB)
//   do not exist yet during init: use them in render only. Return 0 when ready; any
//   other value stops the start-up (the loaders have logged why).
// - render(localTime) runs on every frame whose demo time lies in the entry's span,
//   with localTime = time - startTime, after the Core cleared the depth buffer. Time may
//   go backwards (the tweak bar's time control). Two parts may be active together: the
//   later one draws over the earlier one and inherits its matrices and GL state.
// - render must leave the window framebuffer bound and restore the viewport if it
//   changed it (a gpu::saveState record around off-screen work).
// - Effects own their resources by value (Shader, Texture, Mesh, buffer names) and
//   release them in their destructor. The Core deletes every effect in Core::release
//   (from its destructor at the latest, when the window and its GL context may already
//   be gone: GL deletions then do nothing, so a destructor must not rely on them).
//
// A typical jump-cut part:
//     int init() {
//         registerCamera(camera);                 // the eight camera variables
//         ... load shaders, textures, meshes; return 1 at the first failure ...
//     }
//     void render(float t) {
//         jumpCutCamera(camera, lastCut, blobsCut, t);   // projection, view, spin, cut
//         applyTweaks();
//         ... draw ...
//         handOverOverlay(overlay.crc);
//         controlGrid();
//     }
#pragma once
#include "render/draw.h"

#include <cstdint>
#include <vector>

struct Mesh;

class Effect {
public:
    virtual ~Effect() = default;
    // Loads resources and registers GUI variables; 0 = ready.
    virtual int init() = 0;
    // Draws one frame at `localTime` seconds into the part.
    virtual void render(float localTime) = 0;
    // Puts the state that render advances from frame to frame (last cut, camera eye,
    // cut index, positions stepped from the previous time) back as it was right after
    // init. Offline rendering calls it at a part's start before replaying the part, so
    // that a frame does not depend on which frames were rendered before it. Real-time
    // playback never calls it.
    virtual void restart() {}
};

// ---- the camera block --------------------------------------------------------------

// The eight camera variables every camera-driven part holds (angles in degrees).
struct CameraBlock {
    float camX = 0.0f;
    float camY = 0.0f;
    float camZ = 0.0f;
    float camP = 0.0f;  // pitch, about X
    float camH = 0.0f;  // heading, about Y
    float camB = 0.0f;  // bank, about Z
    float fovy = 70.0f;
    float zFar = 140.0f;
};

// GUI definition strings of the camera variables.
extern const char* const cameraPositionDefinition;        // " min=-100 max=100 step=0.1 "
extern const char* const stripesCameraPositionDefinition;  // " min=-40 max=40 step=0.1 "
extern const char* const cameraAngleDefinition;            // " min=-360 max=360 step=0.5 "
extern const char* const cameraFovyDefinition;             // " min=0 max=360 step=0.5 "
extern const char* const cameraZFarDefinition;             // " min=1 max=500 step=0.5 "

// Registers camX, camY, camZ, camP, camH, camB, fovy and zFar on the Core's bar as
// 32-bit float read-write variables bound to the block's fields (results unchecked;
// the bar may refuse a name another part registered first). Call from init.
void registerCamera(CameraBlock& camera, const char* positionDefinition = cameraPositionDefinition);

// Set projection: the projection matrix (gpu/matrices.h) := perspective(fovy, viewport
// aspect as a float, near 0.05, far zFar), then the model-view matrix := identity
// (matrix mode is left at model-view). When `matrix` is given it receives the
// projection, column-major.
void setProjection(const CameraBlock& camera, float* matrix = nullptr);

// Fixed camera: model-view := translate(camX, camY, camZ) · rotate(camH about Y) ·
// rotate(camP about X) · rotate(camB about Z), as successive gpu/matrices.h calls.
void fixedCamera(const CameraBlock& camera);

// ---- the jump-cut camera -------------------------------------------------------------

// One rotation of the jump-cut spin: rate·t degrees about (x, y, z).
struct Spin {
    float rate;
    float x, y, z;
};

// A part's jump-cut table.
struct JumpCut {
    float interval;      // seconds between cuts
    bool resetOnRewind;  // lastCut := 0 when time moved back before it
    int spinCount;
    Spin spins[3];       // applied in order after the look-at
};

// The tables of the six jump-cut parts. Phalanx's extra 1.2·t about Z comes after its
// cut test and is not part of the table.
extern const JumpCut blobsCut;
extern const JumpCut theHubCut;
extern const JumpCut vantelCut;
extern const JumpCut phalanxCut;
extern const JumpCut randomGeo2Cut;
extern const JumpCut splinesCut;

// Steps 1-3 of the jump-cut camera: set projection, multiply the model-view by the
// look-at from the eye (camX, camY, camZ) towards (sin t, cos t, 0) with up (0, 1, 0),
// then the table's spin rotations.
void jumpCutView(const CameraBlock& camera, const JumpCut& cut, float t);
// Step 4's test: applies the rewind reset when the table asks for it; true when a cut
// is due, in which case lastCut has been set to t and the caller chooses the new eye.
bool jumpCutDue(float& lastCut, const JumpCut& cut, float t);
// The random eye of a cut: x, y, z from three draws, each then pushed out of the middle
// (|x| < 4, |y| < 4, |z| < 4, a fresh draw per push), written into camX, camY, camZ.
void randomCutPosition(CameraBlock& camera);
// The whole jump-cut camera with random positions. The new eye shows from the next frame.
void jumpCutCamera(CameraBlock& camera, float& lastCut, const JumpCut& cut, float t);

// ---- shaders --------------------------------------------------------------------------

// Apply tweaks: sets every tweakable effect parameter (the GUI's list) to its current
// bar value. Once per frame near the start of render, by every part with a camera block.
void applyTweaks();
// Loading effect files and textures, parameter setters and passes: render/draw.h.

// ---- the Core's shared resources ---------------------------------------------------------

// Draw full-screen quad: the Core's quadMesh under the current pass.
void drawFullScreenQuad();
// One full-screen pass: the shader's first pass set, the quad drawn, the pass reset.
void runFullScreenPass(const Shader& shader);
// Draw environment cube: a cube mesh (the Core's cubeMesh when null) under the current
// pass, whose shader samples a cube map.
void drawEnvironmentCube(const Mesh* cube = nullptr);
// Draw environment behind: the cube drawn after a part's objects with `shader`'s first
// pass (samplers and matrices set by the caller), depth-tested, then the pass reset; the
// depth test is left as it was. The picture is the one drawing the cube first gives (it
// is opaque and lies behind everything inside it), but only the pixels that nothing
// covers are shaded.
void drawEnvironmentBehind(const Shader& shader, const Mesh* cube = nullptr);

// True unless this frame's demo time was rendered before in the run (offline rendering
// replays frames): what a part logs about a frame is written only then.
bool frameIsNew();
// Hands a texture over to the Core, which draws it once over the letterboxed viewport
// after this part's render, then forgets it. Store it on every frame to keep it.
void handOverOverlay(uint32_t texture);
// Draws the reference grid under the current matrices when the Core's "controlgrid"
// switch is on. Call at the end of render.
void controlGrid();
// The control grid after a depth-of-field chain, which leaves an identity projection:
// reloads this frame's projection (16 floats, GL order) first so the grid shows in view.
void controlGridInView(const float* projection);

// ---- the sprite cloud ---------------------------------------------------------------------

// One tumbling sprite: its position, tumbling rate and texture (an index into the
// part's sprite textures, always below their count).
struct Sprite {
    float x, y, z;
    float w;
    int texture;
};

// Fills `count` sprites, each from five shared random draws in the order x = 24r - 12,
// y = 20r - 10, z = 24r - 12, w = 30r - 15, texture = r * textureCount truncated (a draw
// of exactly 1 keeps the last texture instead of one past the array).
void fillSprites(Sprite* sprites, int count, int textureCount);
// Loads the sprite pictures textures/particle01.png ... particleNN.png (NN = count) into
// `textures`, resized to count. 0 on success, 1 at the first that fails.
int loadSpriteTextures(std::vector<Texture>& textures, int count);
// How a sprite's quad reaches the sprite shader.
enum class SpriteQuad {
    Tumbling,  // the quad turned with its sprite, drawn as given
    // Only the centre turned, the corners 0.1 beside it in x and y: for shaders that
    // find the centre back from the texture coordinate and face the quad to the camera.
    Facing,
};

// The four corners of a sprite's quad at time t: the quad of half size 0.1 around the
// position (x, y, z) at the corners (-, +), (-, -), (+, -), (+, +), turned by the sprite's
// own matrix, rotations 2wt about Y, wt about Z, 1.5wt about X and a translation by the
// position, applied in this order to the model-view; for Facing only the centre is
// turned. drawSprites gives them the texture coordinates (0, 1), (0, 0), (1, 0), (1, 1).
void spriteQuad(const Sprite& sprite, float t, SpriteQuad quad, float corners[4][3]);

// A part's sprite cloud as drawSprites reads it.
struct SpriteCloud {
    const Shader* shader;
    const char* sampler;      // the shader's sampler of the sprite pictures
    const Texture* textures;  // textureCount of them
    int textureCount;
    const Sprite* sprites;
    int count;
    SpriteQuad quad;
};
// Draws the sprites at time t under the current matrices with the shader's first pass,
// which adds them as light without writing depth, so their order does not matter: per
// texture the sampler bound to it, the pass set and that texture's sprites drawn as one
// batch of quads (spriteQuad); the pass is reset after the last.
void drawSprites(const SpriteCloud& cloud, float t);

// ---- the depth-of-field chain --------------------------------------------------------

// A part's own copies of the chain's five effect files.
struct DofShaders {
    Shader render;   // shaders/dof_render.cgfx (drawn with by StripesDOF only)
    Shader copy;     // shaders/dof_copy.cgfx
    Shader gaussH;   // shaders/dof_gaussH.cgfx
    Shader gaussV;   // shaders/dof_gaussV.cgfx
    Shader combine;  // shaders/dof_combine.cgfx
};

// Loads the five files in the order render, copy, gaussH, gaussV, combine; 1 at the
// first failure.
int loadDofShaders(DofShaders& shaders);
// Off-screen scene: saves the GL state (gpu::saveState, the viewport among it), binds
// the Core's sceneCopy (with its depth buffer sceneDepth) and sets the viewport to its
// size. The part then clears and draws its scene, and calls runDofChain.
void beginDofScene();
// The chain over sceneCopy, ending in the window: projection := identity (the matrix
// mode stays on the projection, the model-view keeps the camera view); dof_copy of
// sceneCopy into bloomA at 256 x 256; dof_gaussV of bloomA into bloomB; dof_gaussH of
// bloomB into bloomA; framebuffer 0 and the saved state restored; dof_combine of sceneCopy
// ("texScreen") and bloomA ("texBlur") drawn into the window. bloomA, bloomB and
// sceneCopy are overwritten (the Core's own chain overwrites them again later).
void runDofChain(const DofShaders& shaders);
