// Shader: one effect file loaded from the archive, with its chosen technique.
//
// The owner sets `source` (an archive path such as "shaders/post_mixer.cgfx") and calls
// loadShader once during start-up, with the GL context current. On success `effect` and
// `technique` are set and every scalar float parameter of the effect is registered as a
// tweakable of the control bar (resources/control_bar.h). The effect lives in the shared fx context
// (fx::sharedContext) until fx::releaseSharedContext; a Shader never frees it.
// Use per frame: fx::namedParameter(shader.effect, "name"), set it, then for each pass
// of `technique`: fx::setPassState, draw, fx::resetPassState.
#pragma once
#include "fx/fx.h"

#include <cstdint>
#include <string>
#include <vector>

class Loader;

// A texture binding of a scene shader: the sampler parameter's name and the texture's
// index in the scene's texture list.
struct Sampler {
    std::string name;
    uint32_t texID = 0;
};

struct Shader {
    uint32_t crc = 0;                 // 0 for shaders made in code; the scene file's value otherwise
    std::string source;               // archive path of the effect file
    fx::Effect* effect = nullptr;     // null until loaded (or when compiling failed)
    fx::Technique* technique = nullptr;  // the first technique that validates
    std::vector<Sampler> sampler;     // texture bindings of scene shaders
};

// Loads shader.source from the archive, compiles it, picks the first technique that
// validates and registers the float parameters with the control bar. Logs every step.
// 0 on success, 1 on failure (file missing or empty, unreadable, no valid technique, a
// `sampler` binding whose name is not a sampler parameter of the effect).
unsigned loadShader(Loader& loader, Shader& shader);
// The effect file changed while the demo runs: compiles `text` into the shader's
// effect in place (fx::recompileEffect: its parameters keep their handles) and takes
// the first technique that validates. The bar keeps the value of each tweakable whose
// parameter is still a float of the same name, unless the value was never moved from
// the old default: then it takes the new one; new float parameters join the bar.
// "" on success; else the reason (the first line of the compiler's listing) and the
// shader is as it was.
std::string recompileShader(Shader& shader, const std::vector<char>& text);
