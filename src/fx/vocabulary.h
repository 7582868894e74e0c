// The vocabulary of the translation (internal to src/fx/): what a Cg name in code
// becomes in GLSL 1.20, the GLSL helpers that stand in for Cg intrinsics GLSL lacks,
// and the built-in variable each semantic names in a stage. Constant tables only; the
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
NameMapping mapName(std::string_view name, int stage);

// The GLSL of the helpers named in `used` (as NameMapping::helper gave them), in one
// fixed order, to stand before the program.
std::string helperPrelude(const std::set<std::string_view>& used);

// A built-in variable: the semantic that names it, its GLSL spelling and its floats.
struct Builtin {
    const char* semantic;
    const char* glsl;
    int components;
};
// The built-in a semantic names among the stage's inputs or outputs; null when none.
const Builtin* findBuiltin(int stage, bool output, const std::string& semantic);
// Reads a built-in into a float type of another width: cut, or padded with 0 (and 1 in w).
std::string fromBuiltin(const Builtin& b, const TypeInfo& type);
// The statement that writes `value`, of a float type, to a built-in of another width.
std::string toBuiltin(const Builtin& b, const std::string& value, const TypeInfo& type);

}  // namespace fx
