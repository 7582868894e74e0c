#include "gpu/state.h"

#include "gpu/immediate.h"

#include <epoxy/gl.h>

namespace gpu {
namespace {

void setEnabled(GLenum cap, bool on)
{
    if (on) {
        glEnable(cap);
    } else {
        glDisable(cap);
    }
}

}  // namespace

StateRecord saveState()
{
    StateRecord r;
    GLint v[4];
    GLboolean b[4];
    r.blend = glIsEnabled(GL_BLEND);
    glGetIntegerv(GL_BLEND_SRC_RGB, &r.blendSrcRgb);
    glGetIntegerv(GL_BLEND_DST_RGB, &r.blendDstRgb);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &r.blendSrcAlpha);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &r.blendDstAlpha);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &r.blendEquationRgb);
    glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &r.blendEquationAlpha);
    r.depthTest = glIsEnabled(GL_DEPTH_TEST);
    glGetBooleanv(GL_DEPTH_WRITEMASK, b);
    r.depthMask = b[0];
    glGetIntegerv(GL_DEPTH_FUNC, &r.depthFunc);
    r.cullFace = glIsEnabled(GL_CULL_FACE);
    glGetIntegerv(GL_CULL_FACE_MODE, &r.cullMode);
    r.scissorTest = glIsEnabled(GL_SCISSOR_TEST);
    glGetIntegerv(GL_SCISSOR_BOX, r.scissor);
    glGetIntegerv(GL_VIEWPORT, r.viewport);
    glGetBooleanv(GL_COLOR_WRITEMASK, b);
    for (int i = 0; i < 4; ++i) {
        r.colorMask[i] = b[i];
    }
    r.polygonOffsetFill = glIsEnabled(GL_POLYGON_OFFSET_FILL);
    glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &r.polygonOffset[0]);
    glGetFloatv(GL_POLYGON_OFFSET_UNITS, &r.polygonOffset[1]);
    (void)v;
    r.texturing = texturing();
    const float* c = currentColor();
    for (int i = 0; i < 4; ++i) {
        r.color[i] = c[i];
    }
    return r;
}

void restoreState(const StateRecord& r)
{
    setEnabled(GL_BLEND, r.blend);
    glBlendFuncSeparate(GLenum(r.blendSrcRgb), GLenum(r.blendDstRgb), GLenum(r.blendSrcAlpha), GLenum(r.blendDstAlpha));
    glBlendEquationSeparate(GLenum(r.blendEquationRgb), GLenum(r.blendEquationAlpha));
    setEnabled(GL_DEPTH_TEST, r.depthTest);
    glDepthMask(r.depthMask ? GL_TRUE : GL_FALSE);
    glDepthFunc(GLenum(r.depthFunc));
    setEnabled(GL_CULL_FACE, r.cullFace);
    glCullFace(GLenum(r.cullMode));
    setEnabled(GL_SCISSOR_TEST, r.scissorTest);
    glScissor(r.scissor[0], r.scissor[1], r.scissor[2], r.scissor[3]);
    glViewport(r.viewport[0], r.viewport[1], r.viewport[2], r.viewport[3]);
    glColorMask(r.colorMask[0], r.colorMask[1], r.colorMask[2], r.colorMask[3]);
    setEnabled(GL_POLYGON_OFFSET_FILL, r.polygonOffsetFill);
    glPolygonOffset(r.polygonOffset[0], r.polygonOffset[1]);
    setTexturing(r.texturing);
    color(r.color[0], r.color[1], r.color[2], r.color[3]);
}

}  // namespace gpu
