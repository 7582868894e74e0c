#include "scene/scene_renderer.h"

#include "base/matrix.h"
#include "base/screen_settings.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "platform/platform.h"
#include "resources/geometry.h"
#include "scene/envelope.h"

#include <epoxy/gl.h>

#include <cmath>

namespace {

void identity(float* m)
{
    for (int k = 0; k < 16; ++k) {
        m[k] = (k % 5 == 0) ? 1.0f : 0.0f;
    }
}

void translation(float x, float y, float z, float* m)
{
    identity(m);
    m[3] = x;
    m[7] = y;
    m[11] = z;
}

// model := T · R · P · model for one item's angles (degrees), position and pivot.
void placeInParent(const float* transform, const Vector3& pivot, float* model)
{
    float r[16], a[16], b[16];
    rotationMatrix(-transform[5], 0.0f, 0.0f, 1.0f, r);
    rotationMatrix(transform[4], 1.0f, 0.0f, 0.0f, a);
    rotationMatrix(transform[3], 0.0f, 1.0f, 0.0f, b);
    multiplyMatrix(a, b, a);
    multiplyMatrix(r, a, r);
    float p[16];
    translation(-pivot.x, -pivot.y, pivot.z, p);  // the pivot's z is not negated
    multiplyMatrix(p, model, model);
    multiplyMatrix(r, model, model);
    float t[16];
    translation(transform[0], transform[1], transform[2], t);
    multiplyMatrix(t, model, model);
}

void setSemanticMatrix(fx::Effect* effect, const char* semantic, const float* m)
{
    fx::setMatrixParameterRowMajor(fx::parameterBySemantic(effect, semantic), m);
}

void drawRange(const Surface& surface)
{
    const char* base = nullptr;
    gpu::drawRangeElements(GL_TRIANGLES, surface.min, surface.max, GLsizei(surface.polyCount), GL_UNSIGNED_INT,
                           base + size_t(surface.polyOffset) * 4);
}

}  // namespace

float SceneRenderer::channel(float time, const Envelope& envelope)
{
    return evaluateEnvelope(time, envelope, &unknownPost);
}

void SceneRenderer::tellUnknownPost(bool& told)
{
    if (unknownPost && !told) {
        platform::messageBox("error", "Post behaviour type not implemented", platform::MessageIcon::Error);
        told = true;
    }
    unknownPost = false;
}

void SceneRenderer::evaluateObjectMotion(float time, const Object& object)
{
    for (size_t c = 0; c < objectChannels; ++c) {
        objectTransform[c] = channel(time, object.motion.channel[c]);
    }
    for (size_t c = 3; c < 6; ++c) {
        objectTransform[c] *= degreesPerRadian;
    }
}

void SceneRenderer::evaluateCameraMotion(float time, const Motion& motion)
{
    for (size_t c = 0; c < cameraChannels; ++c) {
        cameraTransform[c] = channel(time, motion.channel[c]);
    }
    for (size_t c = 3; c < 6; ++c) {
        cameraTransform[c] *= degreesPerRadian;
    }
}

void SceneRenderer::setCamera(Tessary& scene, float time)
{
    Camera& camera = scene.libCamera.camera[0];
    const float zoom = channel(time, camera.zoomFactor);
    const float fovy = 2.0f * std::atan(1.0f / zoom) * degreesPerRadian;
    const float aspect = screenSettings.viewportHeight > 0 ? float(screenSettings.viewportWidth) / float(screenSettings.viewportHeight) : 1.0f;
    perspectiveMatrix(fovy, aspect, 0.02f, 800.0, projection);
    transposeMatrix(projection);
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadMatrix(projection);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();

    if (camera.parent.type > 1 && !camera.toldParent) {
        platform::messageBox("error", "parent not implemented!", platform::MessageIcon::Error);
        camera.toldParent = true;
    }
    // The camera's own channels also give camPos, whichever way it looks.
    evaluateCameraMotion(time, camera.motion);
    tellUnknownPost(camera.toldPost);
    const float* c = cameraTransform;
    if (camera.target.type != 0) {
        if (camera.target.type != 1) {
            if (!camera.toldTarget) {
                platform::messageBox("error", "target not implemented!", platform::MessageIcon::Error);
                camera.toldTarget = true;
            }
            return;  // the view of the last frame stays
        }
        Object& aim = scene.object[camera.target.number - 1];
        const float tx = channel(time, aim.motion.channel[0]);
        const float ty = channel(time, aim.motion.channel[1]);
        const float tz = channel(time, aim.motion.channel[2]);
        tellUnknownPost(aim.toldPost);
        float roll[16];
        rotationMatrix(c[5], 0.0f, 0.0f, 1.0f, roll);
        const float upright[4] = {0.0f, 1.0f, 0.0f, 0.0f};
        float up[4];
        transformVector(roll, upright, up);
        lookAtMatrix(c[0], c[1], c[2], tx, ty, tz, up[0], up[1], up[2], view);
        return;
    }
    float a[16], b[16];
    rotationMatrix(c[5], 0.0f, 0.0f, 1.0f, view);
    rotationMatrix(-c[4], 1.0f, 0.0f, 0.0f, a);
    multiplyMatrix(view, a, view);
    rotationMatrix(-c[3], 0.0f, 1.0f, 0.0f, b);
    multiplyMatrix(view, b, view);
    translation(-c[0], -c[1], -c[2], a);
    multiplyMatrix(view, a, view);
}

namespace {

// m := the placement of the object's parent · m. Parents move, turn and pivot their
// children, but do not scale them. A parent outside the list, or a tree orderParents has
// not seen, leaves m as it is.
void underParent(const Tessary& scene, const Object& object, float* m)
{
    const uint32_t number = object.parent.number;
    if (object.parent.type == 0 || number == 0 || number > scene.object.size() ||
        scene.placements.size() != 16 * scene.object.size()) {
        return;
    }
    multiplyMatrix(&scene.placements[16 * size_t(number - 1)], m, m);
}

}  // namespace

void SceneRenderer::placeParents(Tessary& scene, float time)
{
    if (scene.placements.size() != 16 * scene.object.size()) {
        return;
    }
    for (const uint32_t index : scene.parentsFirst) {
        Object& object = scene.object[index];
        evaluateObjectMotion(time, object);
        tellUnknownPost(object.toldPost);
        float* placement = &scene.placements[16 * size_t(index)];
        identity(placement);
        placeInParent(objectTransform, object.pivot, placement);
        underParent(scene, object, placement);
    }
}

void SceneRenderer::placeObject(Tessary& scene, size_t index, float time)
{
    Object& object = scene.object[index];
    evaluateObjectMotion(time, object);
    tellUnknownPost(object.toldPost);
    identity(model);
    model[0] = objectTransform[6];
    model[5] = objectTransform[7];
    model[10] = objectTransform[8];
    placeInParent(objectTransform, object.pivot, model);
    underParent(scene, object, model);

    multiplyMatrix(view, model, modelview);
    copyMatrix(model, inverseModel);
    transposeMatrix(inverseModel);
    copyMatrix(modelview, inverseModelview);
    transposeMatrix(inverseModelview);
    transposeMatrix(modelview);
}

void SceneRenderer::render(Tessary& scene, float time)
{
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
    setCamera(scene, time);
    placeParents(scene, time);

    for (size_t i = 0; i < scene.object.size(); ++i) {
        Object& object = scene.object[i];
        if (channel(time, object.dissolve) != 0.0f) {
            tellUnknownPost(object.toldPost);
            continue;  // any dissolve hides the object entirely
        }
        placeObject(scene, i, time);
        gpu::loadMatrix(modelview);
        if (object.type != 0) {
            drawObject(object, scene);
        } else if (companion) {
            companion(time);
            gpu::matrixMode(gpu::MatrixMode::Projection);
            gpu::loadMatrix(projection);
            gpu::matrixMode(gpu::MatrixMode::ModelView);
        }
    }
    gpu::setTexturing(false);
    gpu::color(1.0f, 1.0f, 1.0f, 1.0f);
}

void SceneRenderer::drawObject(const Object& object, const Tessary& scene)
{
    if (!object.uploaded) {
        return;  // skipped by the upload: its ids name no buffers
    }
    glBindBuffer(GL_ARRAY_BUFFER, object.pointsID);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, object.polygonsID);
    drawSurfaces(object, scene);
    gpu::unbindVertexLayout();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void SceneRenderer::drawSurfaces(const Object& object, const Tessary& scene)
{
    // The object's buffer is pointed at once, and again only where a surface takes or
    // leaves the texture coordinates.
    int texCoordsBound = -1;
    auto bindLayout = [&texCoordsBound](bool withTexCoords) {
        if (texCoordsBound != int(withTexCoords)) {
            gpu::bindVertexLayout(interleavedLayout(withTexCoords));
            texCoordsBound = int(withTexCoords);
        }
    };
    for (const Surface& surface : object.surface) {
        const Material& material = scene.libMaterial.material[surface.materialID - 1];
        if (material.shader != 0) {
            const Shader& shader = scene.libShader.shaders[material.shader - 1];
            fx::Effect* effect = shader.effect;
            gpu::color(1.0f, 1.0f, 1.0f, 1.0f);
            bindLayout(true);
            fx::setStateMatrixParameter(fx::parameterBySemantic(effect, "state.matrix.mvp"),
                                        fx::StateMatrix::ModelViewProjection, fx::MatrixTransform::Identity);
            setSemanticMatrix(effect, "tsy.matrix.model", model);
            setSemanticMatrix(effect, "tsy.matrix.inverse.model", inverseModel);
            setSemanticMatrix(effect, "tsy.matrix.modelview", modelview);
            setSemanticMatrix(effect, "tsy.matrix.inverse.modelview", inverseModelview);
            fx::setParameter3f(fx::parameterBySemantic(effect, "camPos"), cameraTransform[0], cameraTransform[1],
                               cameraTransform[2]);
            for (const Sampler& sampler : shader.sampler) {
                fx::setupSampler(fx::namedParameter(effect, sampler.name.c_str()),
                                 scene.libTexture.textures[sampler.texID - 1].crc);
            }
            for (fx::Pass* pass = fx::firstPass(shader.technique); pass; pass = fx::nextPass(pass)) {
                fx::setPassState(pass);
                drawRange(surface);
                fx::resetPassState(pass);
            }
        } else if (material.mappingType != 0) {
            glActiveTexture(GL_TEXTURE0);
            gpu::setTexturing(true);
            gpu::color(1.0f, 1.0f, 1.0f, 1.0f);
            glBindTexture(GL_TEXTURE_2D, material.tTexID);
            bindLayout(true);
            drawRange(surface);
        } else {
            gpu::setTexturing(false);
            gpu::color(material.r, material.g, material.b, 1.0f);
            bindLayout(false);
            drawRange(surface);
        }
    }
}
