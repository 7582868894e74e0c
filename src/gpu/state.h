// GL state a piece of drawing changes and puts back: a record of our own in place of
// an attribute stack. saveState reads what the record holds from GL; restoreState sets
// it all again. Only state that every GL we run on has (GL 2.1, 3.3 core, ES 3.0).
//
// Needs the context current; main thread only; allocates nothing.
#pragma once

namespace gpu {

struct StateRecord {
    bool blend = false;
    int blendSrcRgb = 0, blendDstRgb = 0, blendSrcAlpha = 0, blendDstAlpha = 0;
    int blendEquationRgb = 0, blendEquationAlpha = 0;
    bool depthTest = false;
    bool depthMask = true;
    int depthFunc = 0;
    bool cullFace = false;
    int cullMode = 0;
    bool scissorTest = false;
    int scissor[4] = {};
    int viewport[4] = {};
    bool colorMask[4] = {true, true, true, true};
    bool polygonOffsetFill = false;
    float polygonOffset[2] = {};
    bool texturing = false;  // gpu/immediate.h's textured plain draws
    float color[4] = {1, 1, 1, 1};
};

StateRecord saveState();
void restoreState(const StateRecord& record);

}  // namespace gpu
