// Where Cg converts an integer to a float on its own (internal to src/fx/). Cg, like
// desktop GLSL, turns `x * 2`, `pow(x, 2)`, `float y = i;` and `return 0;` into float
// arithmetic; GLSL ES converts nothing, so the translator writes those integers as
// floats for the generic targets: a literal gains ".0", any other integer expression is
// wrapped in a float constructor. Found by typing the code's expressions from the
// declarations in reach (locals, entry and function parameters, statics, effect
// parameters); what cannot be typed is left as it is. Malformed code ends the search,
// never the program.
#pragma once
#include "fx/model.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fx {

struct Conversions {
    std::vector<unsigned char> floatLiteral;  // by token index: 1 = write this integer as a float
    // Wrapped expressions: first token -> (token after the last, constructor).
    std::multimap<size_t, std::pair<size_t, std::string>> wraps;
};

// The conversions of a function's body.
void findConversions(const EffectData& effect, const FunctionData& function, Conversions& out);
// The conversions of the expression or `{...}` list in tokens [begin, end) that
// initialises (or is passed as) a value of `type` (an array of arraySize when > 0).
void findConversions(const EffectData& effect, size_t begin, size_t end, const TypeInfo& type, Conversions& out,
                     int arraySize = 0, std::string_view typeName = {});

}  // namespace fx
