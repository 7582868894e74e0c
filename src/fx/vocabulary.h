// The vocabulary of the translation (internal to src/fx/): what a Cg name in code
// becomes in the GLSL of a target, the GLSL helpers that stand in for Cg intrinsics GLSL
// lacks, and the variable each semantic names in a stage (one of ours, or a GLSL
// built-in such as gl_Position). Constant tables only; the
// translator (translator.cpp) rewrites a program's tokens with it. glslName (model.h)
// is defined here too.
#pragma once
#include "fx/model.h"

#include <set>
#include <string>
#include <string_view>

namespace fx {

// What an identifier of code (not a type name) becomes in a stage (0 vertex, 1 fragment).
struct NameMapping {
    std::string glsl;
    const char* helper = nullptr;  // the helper the program then needs (helperPrelude), else null
    std::string problem;           // not empty: the name is refused here, with this message
};
NameMapping mapName(std::string_view name, int stage, GlslTarget target);

// The GLSL of the helpers named in `used` (as NameMapping::helper gave them), in one
// fixed order, to stand before the program.
std::string helperPrelude(const std::set<std::string_view>& used, GlslTarget target);

// The variable a semantic names: its GLSL spelling and its floats; for a variable of ours
// the type to declare it with, its location (vertex inputs, fragment outputs) or varying
// bit, and whether written values are clamped to [0, 1] as GL clamps vertex colours.
struct Builtin {
    const char* semantic;
    const char* glsl;
    int components;
    const char* declare = nullptr;
    int location = -1;
    uint32_t varying = 0;
    bool clamp = false;
};
// The variable a semantic names among the stage's inputs or outputs; null when none.
const Builtin* findBuiltin(int stage, bool output, const std::string& semantic, GlslTarget target);
// Every varying of the generic targets (bit set in Builtin::varying).
const Builtin* const* genericVaryings(size_t& count);
// Whether a target is 330 core or 300 es (in/out, texture(), layout outputs).
inline bool modernGlsl(GlslTarget target) { return target == GlslTarget::Glsl330 || target == GlslTarget::Essl300; }
// Reads a built-in into a float type of another width: cut, or padded with 0 (and 1 in w).
std::string fromBuiltin(const Builtin& b, const TypeInfo& type);
// The statement that writes `value`, of a float type, to a built-in of another width.
std::string toBuiltin(const Builtin& b, const std::string& value, const TypeInfo& type);

}  // namespace fx
