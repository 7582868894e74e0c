// libFuzzer target: effect-file text through the parser and the GLSL translator of
// every pass, for every GLSL target. Malformed text must end as a compile error, never
// a crash or a hang.
#include "fx/model.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fx::EffectData effect;
    effect.file = "fuzz.cgfx";
    effect.text.assign(reinterpret_cast<const char*>(data), size);
    std::string listing;
    if (!fx::parseEffect(effect, listing)) {
        return 0;
    }
    for (const fx::TechniqueData& technique : effect.techniques) {
        for (const fx::PassData& pass : technique.passes) {
            for (fx::GlslTarget target : {fx::GlslTarget::Glsl120,
                                          fx::GlslTarget::Glsl330, fx::GlslTarget::Essl300}) {
                std::string glsl;
                std::vector<fx::ParameterData*> used;
                fx::ProgramTranslation how;
                how.target = target;
                how.alphaFunc = 0x0204;  // GL_GREATER
                how.fragmentReads = ~0u;
                if (pass.vertex.present) {
                    fx::translateProgram(effect, pass.vertex, 0, glsl, used, listing, how);
                }
                if (pass.fragment.present) {
                    fx::translateProgram(effect, pass.fragment, 1, glsl, used, listing, how);
                }
            }
        }
    }
    return 0;
}
