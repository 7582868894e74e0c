// Between the effect runtime's two files (internal to src/fx/): runtime.cpp holds the
// contexts, effects, techniques and passes (programs built with the driver, pass state
// set and reset); parameters.cpp holds the parameters' values, textures and sampler
// states, and the annotations. setPassState uploads and binds what parameters.cpp keeps.
// Main thread only; the GL calls need a current context.
#pragma once
#include "fx/model.h"

#include <epoxy/gl.h>

#include <cstdint>

namespace fx {

// runtime.cpp: whether a context gives the shader entry points (false before a context).
bool glReady();
// runtime.cpp: the texture target a sampler type binds (GL_TEXTURE_2D for sampler2D).
GLenum samplerTarget(const TypeInfo& type);
// parameters.cpp: the texture a sampler draws with: its own, else its texture parameter's.
uint32_t effectiveTexture(const ParameterData& sampler);
// Binds `texture` to the sampler's target and applies the sampler's filter and wrap states.
void applySamplerState(const ParameterData& sampler, uint32_t texture);
// parameters.cpp: the inverse of a column-major 4x4 matrix; false (out untouched) when singular.
bool invertMatrix(const float* m, float* out);

}  // namespace fx
