#include "effects/effect.h"

#include "base/matrix.h"
#include "base/screen_settings.h"
#include "effects/sfmt.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "gpu/state.h"
#include "render/core_shared.h"
#include "render/draw.h"
#include "resources/control_bar.h"
#include "resources/geometry.h"

#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>

const char* const cameraPositionDefinition = " min=-100 max=100 step=0.1 ";
const char* const stripesCameraPositionDefinition = " min=-40 max=40 step=0.1 ";
const char* const cameraAngleDefinition = " min=-360 max=360 step=0.5 ";
const char* const cameraFovyDefinition = " min=0 max=360 step=0.5 ";
const char* const cameraZFarDefinition = " min=1 max=500 step=0.5 ";

const JumpCut blobsCut = {3.3f, true, 2, {{15.0f, 0, 1, 0}, {5.0f, 1, 0, 0}, {}}};
const JumpCut theHubCut = {3.3f, false, 2, {{15.0f, 0, 1, 0}, {5.0f, 1, 0, 0}, {}}};
const JumpCut vantelCut = {3.1f, false, 2, {{15.0f, 0, 1, 0}, {5.0f, 1, 0, 0}, {}}};
const JumpCut phalanxCut = {3.3f, true, 2, {{15.0f, 0, 1, 0}, {5.0f, 1, 0, 0}, {}}};
const JumpCut randomGeo2Cut = {2.5f, false, 2, {{5.0f, 0, 1, 0}, {14.0f, 1, 0, 0}, {}}};
const JumpCut splinesCut = {3.1f, false, 3, {{5.0f, 0, 1, 0}, {14.0f, 1, 0, 0}, {8.0f, 0, 0, 1}}};

void registerCamera(CameraBlock& camera, const char* positionDefinition)
{
    using tweak::Type;
    tweak::addVarRW(controlBar.bar, "camX", Type::Float, &camera.camX, positionDefinition);
    tweak::addVarRW(controlBar.bar, "camY", Type::Float, &camera.camY, positionDefinition);
    tweak::addVarRW(controlBar.bar, "camZ", Type::Float, &camera.camZ, positionDefinition);
    tweak::addVarRW(controlBar.bar, "camP", Type::Float, &camera.camP, cameraAngleDefinition);
    tweak::addVarRW(controlBar.bar, "camH", Type::Float, &camera.camH, cameraAngleDefinition);
    tweak::addVarRW(controlBar.bar, "camB", Type::Float, &camera.camB, cameraAngleDefinition);
    tweak::addVarRW(controlBar.bar, "fovy", Type::Float, &camera.fovy, cameraFovyDefinition);
    tweak::addVarRW(controlBar.bar, "zFar", Type::Float, &camera.zFar, cameraZFarDefinition);
}

void setProjection(const CameraBlock& camera, float* matrix)
{
    float m[16];
    const float aspect = float(screenSettings.viewportWidth) / float(screenSettings.viewportHeight);
    perspectiveMatrix(camera.fovy, aspect, 0.05, camera.zFar, m);
    transposeMatrix(m);
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadMatrix(m);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    if (matrix) {
        copyMatrix(m, matrix);
    }
}

void fixedCamera(const CameraBlock& camera)
{
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    gpu::translate(camera.camX, camera.camY, camera.camZ);
    gpu::rotate(camera.camH, 0.0f, 1.0f, 0.0f);
    gpu::rotate(camera.camP, 1.0f, 0.0f, 0.0f);
    gpu::rotate(camera.camB, 0.0f, 0.0f, 1.0f);
}

void jumpCutView(const CameraBlock& camera, const JumpCut& cut, float t)
{
    setProjection(camera);
    float view[16];
    lookAtMatrix(camera.camX, camera.camY, camera.camZ, std::sin(t), std::cos(t), 0.0, 0.0, 1.0, 0.0, view);
    transposeMatrix(view);
    gpu::multMatrix(view);
    for (int i = 0; i < cut.spinCount; ++i) {
        const Spin& spin = cut.spins[i];
        gpu::rotate(spin.rate * t, spin.x, spin.y, spin.z);
    }
}

bool jumpCutDue(float& lastCut, const JumpCut& cut, float t)
{
    if (cut.resetOnRewind && t < lastCut) {
        lastCut = 0.0f;
    }
    if (t - lastCut > cut.interval) {
        lastCut = t;
        return true;
    }
    return false;
}

void randomCutPosition(CameraBlock& camera)
{
    float x = (randomUnit() - 0.5f) * 20.0f;
    float y = (randomUnit() - 0.5f) * 4.0f;
    float z = (randomUnit() - 0.5f) * 20.0f;
    if (std::fabs(x) < 4.0f) {
        x *= 2.0f + 10.0f * randomUnit();
    }
    if (std::fabs(y) < 4.0f) {
        y *= 2.0f + 2.0f * randomUnit();
    }
    if (std::fabs(z) < 4.0f) {
        z *= 2.0f + 10.0f * randomUnit();
    }
    camera.camX = x;
    camera.camY = y;
    camera.camZ = z;
}

void jumpCutCamera(CameraBlock& camera, float& lastCut, const JumpCut& cut, float t)
{
    jumpCutView(camera, cut, t);
    if (jumpCutDue(lastCut, cut, t)) {
        randomCutPosition(camera);
    }
}

bool frameIsNew() { return coreShared.frameIsNew; }

void handOverOverlay(uint32_t texture) { coreShared.overlayTexture = texture; }

void controlGrid()
{
    if (coreShared.controlgrid) {
        drawReferenceGrid();
    }
}

void controlGridInView(const float* projection)
{
    if (!coreShared.controlgrid) {
        return;
    }
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadMatrix(projection);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    drawReferenceGrid();
}

void applyTweaks() { controlBar.pushTweakables(); }

void drawFullScreenQuad() { drawMesh(coreShared.quadMesh); }

void runFullScreenPass(const Shader& shader) { runQuadPass(shader, coreShared.quadMesh); }

void drawEnvironmentCube(const Mesh* cube) { drawMesh(cube ? *cube : coreShared.cubeMesh); }

void drawEnvironmentBehind(const Shader& shader, const Mesh* cube)
{
    const bool depthTest = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
    fx::Pass* pass = beginShaderPass(shader);
    glEnable(GL_DEPTH_TEST);
    drawEnvironmentCube(cube);
    endShaderPass(pass);
    if (!depthTest) {
        glDisable(GL_DEPTH_TEST);
    }
}

int loadSpriteTextures(std::vector<Texture>& textures, int count)
{
    textures.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        char path[32];
        std::snprintf(path, sizeof path, "textures/particle%02d.png", i + 1);
        if (loadTextureFile(textures[size_t(i)], path) != 0) {
            return 1;
        }
    }
    return 0;
}

void fillSprites(Sprite* sprites, int count, int textureCount)
{
    for (int i = 0; i < count; ++i) {
        Sprite& s = sprites[i];
        s.x = 24.0f * randomUnit() - 12.0f;
        s.y = 20.0f * randomUnit() - 10.0f;
        s.z = 24.0f * randomUnit() - 12.0f;
        s.w = 30.0f * randomUnit() - 15.0f;
        const int index = int(randomUnit() * float(textureCount));
        s.texture = index < textureCount ? index : textureCount - 1;
    }
}

void spriteQuad(const Sprite& s, float t, SpriteQuad quad, float corners[4][3])
{
    // The sprite's own turn and place, column-major: Ry(2wt) Rz(wt) Rx(1.5wt) T(x, y, z).
    float m[16];
    float r[16];
    rotationMatrix(2.0f * s.w * t, 0.0f, 1.0f, 0.0f, m);
    rotationMatrix(s.w * t, 0.0f, 0.0f, 1.0f, r);
    multiplyMatrix(r, m, m);
    rotationMatrix(1.5f * s.w * t, 1.0f, 0.0f, 0.0f, r);
    multiplyMatrix(r, m, m);
    for (int row = 0; row < 3; ++row) {
        m[12 + row] += m[row] * s.x + m[4 + row] * s.y + m[8 + row] * s.z;
    }
    // Corners about the centre (x, y, z) in the order (-, +), (-, -), (+, -), (+, +).
    const float dx[4] = {-0.1f, -0.1f, 0.1f, 0.1f};
    const float dy[4] = {0.1f, -0.1f, -0.1f, 0.1f};
    const float centre[4] = {s.x, s.y, s.z, 1.0f};
    float turnedCentre[4];
    transformVector(m, centre, turnedCentre);
    for (int k = 0; k < 4; ++k) {
        if (quad == SpriteQuad::Facing) {
            corners[k][0] = turnedCentre[0] + dx[k];
            corners[k][1] = turnedCentre[1] + dy[k];
            corners[k][2] = turnedCentre[2];
        } else {
            const float corner[4] = {s.x + dx[k], s.y + dy[k], s.z, 1.0f};
            float turned[4];
            transformVector(m, corner, turned);
            corners[k][0] = turned[0];
            corners[k][1] = turned[1];
            corners[k][2] = turned[2];
        }
    }
}

void drawSprites(const SpriteCloud& cloud, float t)
{
    static const float cornerUv[4][2] = {{0.0f, 1.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}};
    fx::Pass* pass = fx::firstPass(cloud.shader->technique);
    fx::Parameter* samplerParameter = shaderParameter(*cloud.shader, cloud.sampler);
    // Added light without depth writes: the order of the sprites does not change the
    // picture, so each texture's sprites go out in one draw.
    for (int texture = 0; texture < cloud.textureCount; ++texture) {
        fx::setupSampler(samplerParameter, cloud.textures[texture].crc);
        fx::setPassState(pass);
        gpu::begin(gpu::Primitive::Quads);
        for (int i = 0; i < cloud.count; ++i) {
            const Sprite& s = cloud.sprites[i];
            if (s.texture != texture) {
                continue;
            }
            float corners[4][3];
            spriteQuad(s, t, cloud.quad, corners);
            for (int k = 0; k < 4; ++k) {
                gpu::texCoord(cornerUv[k][0], cornerUv[k][1]);
                gpu::vertex(corners[k][0], corners[k][1], corners[k][2]);
            }
        }
        gpu::end();
    }
    fx::resetPassState(pass);
}

int loadDofShaders(DofShaders& shaders)
{
    if (loadShaderFile(shaders.render, "shaders/dof_render.cgfx") != 0 ||
        loadShaderFile(shaders.copy, "shaders/dof_copy.cgfx") != 0 ||
        loadShaderFile(shaders.gaussH, "shaders/dof_gaussH.cgfx") != 0 ||
        loadShaderFile(shaders.gaussV, "shaders/dof_gaussV.cgfx") != 0 ||
        loadShaderFile(shaders.combine, "shaders/dof_combine.cgfx") != 0) {
        return 1;
    }
    return 0;
}

namespace {

// What beginDofScene found, put back by runDofChain.
gpu::StateRecord dofSceneState;

}  // namespace

void beginDofScene()
{
    dofSceneState = gpu::saveState();
    bindRenderTarget(coreShared.sceneCopy);
    glViewport(0, 0, coreShared.sceneCopy.width, coreShared.sceneCopy.height);
}

void runDofChain(const DofShaders& shaders)
{
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadIdentity();

    bindRenderTarget(coreShared.bloomA);
    glViewport(0, 0, coreShared.bloomA.width, coreShared.bloomA.height);
    setShaderSampler(shaders.copy, "texScreen", coreShared.sceneCopy.colorTexture);
    runFullScreenPass(shaders.copy);

    blurTargets(coreShared.bloomA, coreShared.bloomB, shaders.gaussV, shaders.gaussH, "texBlur", coreShared.quadMesh);
    gpu::restoreState(dofSceneState);

    setShaderSampler(shaders.combine, "texScreen", coreShared.sceneCopy.colorTexture);
    setShaderSampler(shaders.combine, "texBlur", coreShared.bloomA.colorTexture);
    runFullScreenPass(shaders.combine);
}
