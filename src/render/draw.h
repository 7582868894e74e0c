// Shared drawing: the passes, targets and helper geometry that both the Core's
// post-processing chain and the demo parts draw with. Below both: it knows effect
// files, meshes and render targets, never the Core or a part, so every resource it
// draws with is an argument.
//
// Effect files are loaded through the archive (the process-wide `loader`); a failed
// load is logged by the loaders and answered with 1. The setters do nothing for a
// parameter the file does not have. Needs the GL context current; main thread only;
// allocates nothing per call except on loading.
#pragma once
#include "resources/shader.h"
#include "resources/texture.h"

#include <cstdint>
#include <cstddef>
#include <initializer_list>

struct Mesh;
struct RenderTarget;

// Loads `path` into the shader (source := path, then loadShader). 0 on success.
int loadShaderFile(Shader& shader, const char* path);
// Loads `path` into the texture (source := path, then loadTexture). 0 on success.
int loadTextureFile(Texture& texture, const char* path);
// Deletes the GL textures / buffers named here and sets their names to 0; names that
// are 0 already (never loaded, or released) are skipped, so owners call these from their
// destructors whatever their init reached.
void releaseTextures(std::initializer_list<Texture*> textures);
void releaseTextures(Texture* textures, size_t count);
void releaseBuffers(std::initializer_list<unsigned int*> buffers);
// Finds a parameter of the shader's effect by name (null when absent: the setters below
// then do nothing).
fx::Parameter* shaderParameter(const Shader& shader, const char* name);
// Binds a GL texture to the named sampler of the shader.
void setShaderSampler(const Shader& shader, const char* name, uint32_t texture);
void setShaderFloat(const Shader& shader, const char* name, float value);
// The first pass of the shader's technique: set its state / reset it.
fx::Pass* beginShaderPass(const Shader& shader);
void endShaderPass(fx::Pass* pass);

// One full-screen pass: the shader's first pass set, the quad mesh drawn, the pass reset.
void runQuadPass(const Shader& shader, const Mesh& quad);
// The same with another technique of the shader's effect.
void runQuadTechnique(fx::Technique* technique, const Mesh& quad);

// Binds the target's framebuffer unless it is the one bound already.
void bindRenderTarget(const RenderTarget& target);
// Binds the window's framebuffer (windowFramebuffer(): 0, or the off-screen frame that
// stands for the window) unless it is bound already.
void bindWindowFramebuffer();
// The separable blur of the bloom and depth-of-field chains, at the viewport set for
// `a`: `vertical` of a into b, `horizontal` of b into a, each reading its source through
// the sampler named `sampler`; leaves the window's framebuffer bound, the result in a.
void blurTargets(const RenderTarget& a, const RenderTarget& b, const Shader& vertical, const Shader& horizontal,
                 const char* sampler, const Mesh& quad);

// 84 lines: a 21 x 21 unit grid in the XZ plane and one in the XY plane, 20 units
// wide, centred on the origin, white at half opacity, under the current matrices.
void drawReferenceGrid();
