// Translation of one program of a pass (an entry function and its compile arguments)
// from the Cg subset of cg_subset.md to the GLSL of a target: 1.20, 330 core or 300 es,
// each reading only generic attributes,
// uniforms and varyings of ours (the `cgx_` prefix), with GL ES's stricter typing: there
// the integers Cg converts to floats are written as floats (conversions.cpp finds them).
//
// Matrices: a Cg matrix is uploaded row by row, so GLSL column i holds Cg row i and
// every index M[i][j] means the same element in both languages; mul(A, B) then
// becomes (B * A) for every combination of matrices and vectors. The GL state matrices
// (glstate.matrix.*) are uniforms of ours uploaded the same way (transposed).
//
// Here the program's tokens are rewritten; what a single name or semantic becomes
// (intrinsics, helpers, reserved words, built-in variables) is vocabulary.cpp's.
#include "fx/conversions.h"
#include "fx/model.h"
#include "fx/vocabulary.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace fx {

namespace {

constexpr int maxDepth = 48;

std::string number(std::string_view text, bool asFloat = false)
{
    std::string s(text);
    bool hex = s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (!hex) {
        while (!s.empty() && std::strchr("fFhHxX", s.back())) {
            s.pop_back();
        }
        // "1f" was a float in Cg: keep it one in GLSL.
        if ((asFloat || s.size() != text.size()) && s.find_first_of(".eE") == std::string::npos) {
            s += ".0";
        }
    }
    return s;
}

class Translator {
public:
    Translator(const EffectData& effect, int stage, std::string& listing, ProgramTranslation& how)
        : e(effect), t(effect.tokens), stage(stage), listing(listing), how(how), target(how.target)
    {
    }

    bool run(const ProgramRef& program, std::string& glsl, std::vector<ParameterData*>& used);

private:
    const EffectData& e;
    const std::vector<Token>& t;
    int stage;
    std::string& listing;
    ProgramTranslation& how;
    const GlslTarget target;
    Conversions conversions;
    std::vector<size_t> wrapEnds;                       // open float conversions, innermost last
    std::map<std::string, const Builtin*> declarations;  // variables of ours the program uses
    bool ok = true;
    int line = 0;  // the output's current source line (for #line sync)
    std::set<std::string_view> helpersUsed;
    const TypeInfo* returnType = nullptr;  // of the function being emitted

    static bool isFloatVector(const TypeInfo& type) { return type.base == TypeInfo::Float && !type.matrix && type.cols > 1; }

    // A literal scalar at i ("2", "-0.5") followed by ';': its end, else 0.
    size_t scalarLiteralEnd(size_t i, size_t end) const
    {
        if (i < end && isPunct(i, "-")) {
            ++i;
        }
        if (i + 1 < end && t[i].kind == Token::Number && isPunct(i + 1, ";")) {
            return i + 1;
        }
        return 0;
    }

    bool error(int atLine, const std::string& message)
    {
        if (ok) {
            listing += e.file + "(" + std::to_string(atLine) + "): error: " + message + "\n";
        }
        ok = false;
        return false;
    }

    const FunctionData* findFunction(std::string_view name) const
    {
        for (const FunctionData& f : e.functions) {
            if (f.name == name) {
                return &f;
            }
        }
        return nullptr;
    }
    const StructData* findStruct(std::string_view name) const
    {
        for (const StructData& s : e.structs) {
            if (s.name == name) {
                return &s;
            }
        }
        return nullptr;
    }

    bool isPunct(size_t i, const char* s) const { return t[i].kind == Token::Punct && t[i].text == s; }

    // Index of the bracket closing the one at `open`, or `end` when missing.
    size_t matching(size_t open, size_t end) const
    {
        const std::string_view o = t[open].text;
        const char* c = o == "(" ? ")" : o == "[" ? "]" : "}";
        int depth = 0;
        for (size_t i = open; i < end; ++i) {
            if (t[i].kind != Token::Punct) {
                continue;
            }
            if (t[i].text == o) {
                ++depth;
            } else if (t[i].text == c && --depth == 0) {
                return i;
            }
        }
        return end;
    }

    std::vector<std::pair<size_t, size_t>> splitArgs(size_t b, size_t end) const
    {
        std::vector<std::pair<size_t, size_t>> args;
        int depth = 0;
        size_t start = b;
        for (size_t i = b; i < end; ++i) {
            if (t[i].kind == Token::Punct) {
                if (t[i].text == "(" || t[i].text == "[" || t[i].text == "{") {
                    ++depth;
                } else if (t[i].text == ")" || t[i].text == "]" || t[i].text == "}") {
                    --depth;
                } else if (depth == 0 && t[i].text == ",") {
                    args.push_back({start, i});
                    start = i + 1;
                }
            }
        }
        if (start < end) {
            args.push_back({start, end});
        }
        return args;
    }

    void syncLine(std::string& o, int tokenLine)
    {
        if (line > 0 && tokenLine > line && tokenLine - line < 64) {
            o.append(size_t(tokenLine - line), '\n');
            line = tokenLine;
        }
    }

    void startLine(std::string& o, int sourceLine)
    {
        // In GLSL 1.20 the line after "#line n" is line n + 1; from 330 and in ES it is n.
        o += "#line " + std::to_string(modernGlsl(target) ? sourceLine : sourceLine - 1) + "\n";
        line = sourceLine;
    }

    std::string mapIdentifier(const Token& k)
    {
        std::string_view name = k.text;
        TypeInfo type;
        if (cgType(name, type)) {
            std::string g = glslType(type);
            if (g.empty()) {
                error(k.line, "type '" + std::string(name) + "' cannot be used in code");
            }
            return g;
        }
        const NameMapping mapped = mapName(name, stage, target);
        if (!mapped.problem.empty()) {
            error(k.line, mapped.problem);
        }
        if (mapped.helper) {
            helpersUsed.insert(mapped.helper);
        }
        return mapped.glsl;
    }

    // End of the operand of a cast starting at s.
    size_t operandEnd(size_t s, size_t end) const
    {
        size_t j = s;
        if (j >= end) {
            return end;
        }
        if (t[j].kind == Token::Number) {
            return j + 1;
        }
        if (t[j].kind == Token::Ident) {
            ++j;
            if (j < end && isPunct(j, "(")) {
                j = std::min(end, matching(j, end) + 1);
            }
        } else if (isPunct(j, "(")) {
            j = std::min(end, matching(j, end) + 1);
        } else {
            return j;
        }
        while (j < end) {
            if (isPunct(j, "[")) {
                j = std::min(end, matching(j, end) + 1);
            } else if (isPunct(j, ".") && j + 1 < end && t[j + 1].kind == Token::Ident) {
                j += 2;
            } else {
                break;
            }
        }
        return j;
    }

    std::string zeroValue(const TypeInfo& type, std::string_view typeName, int arraySize, int depth)
    {
        std::string one;
        if (type.base == TypeInfo::Struct) {
            const StructData* st = findStruct(typeName);
            one = st ? zeroValue(*st, depth + 1) : "";
        } else if (type.base == TypeInfo::Float) {
            one = type.matrix || type.cols > 1 ? glslType(type) + "(0.0)" : "0.0";
        } else if (type.base == TypeInfo::Int) {
            one = type.cols > 1 ? glslType(type) + "(0)" : "0";
        } else if (type.base == TypeInfo::Bool) {
            one = type.cols > 1 ? glslType(type) + "(false)" : "false";
        } else {
            error(0, "a struct with samplers cannot be zero-initialised");
        }
        if (arraySize <= 0) {
            return one;
        }
        std::string s = glslType(type) + "[" + std::to_string(arraySize) + "](";
        for (int k = 0; k < arraySize; ++k) {
            s += (k ? ", " : "") + one;
        }
        return s + ")";
    }

    std::string zeroValue(const StructData& st, int depth)
    {
        if (depth > 8) {
            error(st.line, "structs nested too deeply");
            return "";
        }
        std::string s = glslName(st.name) + "(";
        for (size_t k = 0; k < st.members.size(); ++k) {
            const VarDecl& m = st.members[k];
            s += (k ? ", " : "") + zeroValue(m.type, m.typeName, m.arraySize, depth);
        }
        return s + ")";
    }

    void emitInitList(const TypeInfo& type, std::string_view typeName, int arraySize, size_t open, size_t close,
                      std::string& o, int depth)
    {
        if (depth > maxDepth) {
            error(t[open].line, "initializer nested too deeply");
            return;
        }
        std::string g = glslType(type);
        if (g.empty() || type.base == TypeInfo::Void) {
            error(t[open].line, "initializer list for a type without components");
            return;
        }
        auto elements = splitArgs(open + 1, close);
        o += g;
        if (arraySize > 0) {
            o += "[" + std::to_string(arraySize) + "]";
            if (int(elements.size()) != arraySize) {
                error(t[open].line, "array of " + std::to_string(arraySize) + " initialised with " +
                                        std::to_string(elements.size()) + " values");
                return;
            }
        }
        o += "(";
        const StructData* s = type.base == TypeInfo::Struct ? findStruct(typeName) : nullptr;
        for (size_t k = 0; k < elements.size() && ok; ++k) {
            if (k) {
                o += ", ";
            }
            auto [b, en] = elements[k];
            if (isPunct(b, "{")) {
                size_t c = matching(b, en);
                if (c != en - 1) {
                    error(t[b].line, "malformed initializer list");
                    return;
                }
                if (arraySize > 0) {
                    emitInitList(type, typeName, 0, b, c, o, depth + 1);
                } else if (s && k < s->members.size()) {
                    const VarDecl& m = s->members[k];
                    emitInitList(m.type, m.typeName, m.arraySize, b, c, o, depth + 1);
                } else {
                    error(t[b].line, "nested initializer list without a matching type");
                    return;
                }
            } else {
                emitRange(b, en, o, depth + 1);
            }
        }
        o += ")";
    }

    // Declared type before `= {` at index eq: "type name [N] =" or "type name =".
    bool declarationBefore(size_t b, size_t eq, TypeInfo& type, std::string_view& typeName, int& arraySize)
    {
        arraySize = 0;
        size_t j = eq;
        if (j >= b + 5 && isPunct(j - 1, "]") && t[j - 2].kind == Token::Number && isPunct(j - 3, "[")) {
            float n = std::strtof(std::string(t[j - 2].text).c_str(), nullptr);
            if (!(n >= 1.0f && n <= 4096.0f)) {
                return false;
            }
            arraySize = int(n);
            j -= 3;
        }
        if (j < b + 2 || t[j - 1].kind != Token::Ident || t[j - 2].kind != Token::Ident) {
            return false;
        }
        typeName = t[j - 2].text;
        if (cgType(typeName, type)) {
            return componentCount(type) > 0;
        }
        if (findStruct(typeName)) {
            type = TypeInfo();
            type.base = TypeInfo::Struct;
            type.structName = typeName;
            return true;
        }
        return false;
    }

    // The member named after '.' at `at`, or "" when none.
    std::string_view memberAt(size_t at, size_t end) const
    {
        return at + 1 < end && isPunct(at, ".") && t[at + 1].kind == Token::Ident ? t[at + 1].text
                                                                                    : std::string_view();
    }

    // "glstate.light[0].diffuse" for the error message: the dotted and indexed path at i.
    std::string glstatePath(size_t i, size_t end) const
    {
        std::string path(t[i].text);
        for (size_t j = i + 1; j < end && path.size() < 80;) {
            if (!memberAt(j, end).empty()) {
                path += "." + std::string(t[j + 1].text);
                j += 2;
            } else if (isPunct(j, "[")) {
                size_t close = matching(j, end);
                path += "[";
                for (size_t k = j + 1; k < close && k < end; ++k) {
                    path += t[k].text;
                }
                path += "]";
                j = close + 1;
            } else {
                break;
            }
        }
        return path;
    }

    // glstate.matrix.[inverse.|transpose.|invtrans.]{mvp|modelview[0]|projection|texture[0-7]}
    // reads the current GL matrix from its built-in uniform. A Cg matrix sits transposed in
    // GLSL (column i holds row i, see the top), so the matrix itself is the Transpose
    // built-in, transpose.X the plain one, inverse.X the InverseTranspose one and
    // invtrans.X the Inverse one. Returns the index after the expression.
    size_t emitGlstate(size_t i, size_t end, std::string& o)
    {
        auto refuse = [&]() {
            error(t[i].line, "'" + glstatePath(i, end) +
                                 "' is not supported (glstate gives matrix.mvp, modelview[0], projection and "
                                 "texture[0], each also with inverse., transpose. or invtrans.)");
            return end;
        };
        size_t j = i + 1;
        if (memberAt(j, end) != "matrix") {
            return refuse();
        }
        j += 2;
        std::string_view form = memberAt(j, end);
        if (form == "inverse" || form == "transpose" || form == "invtrans") {
            j += 2;
        } else {
            form = "";
        }
        const std::string_view name = memberAt(j, end);
        if (name != "mvp" && name != "modelview" && name != "projection" && name != "texture") {
            return refuse();
        }
        j += 2;
        // modelview and texture are arrays; without an index they mean element 0.
        int index = 0;
        if ((name == "modelview" || name == "texture") && j < end && isPunct(j, "[")) {
            const std::string_view n = j + 2 < end && isPunct(j + 2, "]") ? t[j + 1].text : std::string_view();
            if (n.empty() || n.size() > 2 || t[j + 1].kind != Token::Number ||
                n.find_first_not_of("0123456789") != std::string_view::npos) {
                return refuse();
            }
            index = std::atoi(std::string(n).c_str());
            j += 3;
        }
        if (index > 0) {
            return refuse();
        }
        const int matrix = name == "mvp" ? 0 : name == "modelview" ? 1 : name == "projection" ? 2 : 3;
        const int formIndex = form.empty() ? 0 : form == "inverse" ? 1 : form == "transpose" ? 2 : 3;
        const int which = 4 * matrix + formIndex;
        how.stateMatrices |= 1u << which;
        o += std::string(stateMatrixName(which)) + " ";
        return j;
    }

public:
    void emitRange(size_t b, size_t end, std::string& o, int depth)
    {
        if (depth > maxDepth) {
            error(t[b < t.size() ? b : 0].line, "expression nested too deeply");
            return;
        }
        const size_t openWraps = wrapEnds.size();
        for (size_t i = b; i < end && ok;) {
            closeWraps(openWraps, i, o);
            openWrapsAt(i, o);
            const Token& k = t[i];
            syncLine(o, k.line);
            // Cg promotes a scalar to a vector in "return 0;" and "float4 c = 0.5;".
            if (k.kind == Token::Ident && k.text == "return" && returnType && isFloatVector(*returnType)) {
                if (size_t se = scalarLiteralEnd(i + 1, end)) {
                    o += "return " + glslType(*returnType) + "(";
                    emitRange(i + 1, se, o, depth + 1);
                    o += ") ";
                    i = se;
                    continue;
                }
            }
            if (k.kind == Token::Punct && k.text == "=") {
                TypeInfo type;
                std::string_view typeName;
                int arraySize = 0;
                size_t se = scalarLiteralEnd(i + 1, end);
                if (se && declarationBefore(b, i, type, typeName, arraySize) && arraySize == 0 && isFloatVector(type)) {
                    o += "= " + glslType(type) + "(";
                    emitRange(i + 1, se, o, depth + 1);
                    o += ") ";
                    i = se;
                    continue;
                }
            }
            if (k.kind == Token::Punct && k.text == "(" && i + 3 < end && t[i + 1].kind == Token::Ident &&
                isPunct(i + 2, ")") &&
                (t[i + 3].kind == Token::Ident || t[i + 3].kind == Token::Number || isPunct(i + 3, "("))) {
                TypeInfo type;
                if (const StructData* st = findStruct(t[i + 1].text)) {
                    // (S)0 zero-initialises a struct; nothing else casts to one.
                    if (t[i + 3].kind != Token::Number || t[i + 3].text != "0") {
                        error(k.line, "casts to struct types are only supported from 0");
                        return;
                    }
                    o += zeroValue(*st, 0) + " ";
                    i += 4;
                    continue;
                }
                if (cgType(t[i + 1].text, type)) {
                    size_t oe = operandEnd(i + 3, end);
                    o += mapIdentifier(t[i + 1]) + "(";
                    emitRange(i + 3, oe, o, depth + 1);
                    o += ") ";
                    i = oe;
                    continue;
                }
            }
            if (k.kind == Token::Ident && k.text == "glstate") {
                size_t next = emitGlstate(i, end, o);
                if (!ok) {
                    return;
                }
                i = next;
                continue;
            }
            if (k.kind == Token::Ident && k.text == "mul" && i + 1 < end && isPunct(i + 1, "(")) {
                size_t close = matching(i + 1, end);
                if (close >= end) {
                    error(k.line, "missing ')'");
                    return;
                }
                auto args = splitArgs(i + 2, close);
                if (args.size() != 2) {
                    error(k.line, "mul takes two arguments");
                    return;
                }
                o += "((";
                emitRange(args[1].first, args[1].second, o, depth + 1);
                o += ") * (";
                emitRange(args[0].first, args[0].second, o, depth + 1);
                o += ")) ";
                i = close + 1;
                continue;
            }
            if (k.kind == Token::Punct && k.text == "=" && i + 1 < end && isPunct(i + 1, "{")) {
                TypeInfo type;
                std::string_view typeName;
                int arraySize = 0;
                if (!declarationBefore(b, i, type, typeName, arraySize)) {
                    error(k.line, "initializer lists are only supported in declarations");
                    return;
                }
                size_t close = matching(i + 1, end);
                if (close >= end) {
                    error(k.line, "missing '}'");
                    return;
                }
                o += "= ";
                emitInitList(type, typeName, arraySize, i + 1, close, o, depth + 1);
                o += " ";
                i = close + 1;
                continue;
            }
            switch (k.kind) {
            case Token::Ident:
                if (k.text == "static" || k.text == "uniform") {
                    break;
                }
                o += mapIdentifier(k);
                o += ' ';
                break;
            case Token::Number:
                o += number(k.text, i < conversions.floatLiteral.size() && conversions.floatLiteral[i]);
                o += ' ';
                break;
            case Token::String:
                error(k.line, "strings are not supported in code");
                return;
            case Token::Punct:
                if (k.text == "::") {
                    error(k.line, "'::' is not supported");
                    return;
                }
                if (k.text == "." && i + 1 < end && t[i + 1].kind == Token::Ident && t[i + 1].text[0] == '_') {
                    error(k.line, "matrix swizzles are not supported");
                    return;
                }
                o += k.text;
                if (k.text != ".") {
                    o += ' ';
                } else if (i + 1 < end && t[i + 1].kind == Token::Ident) {
                    o += t[i + 1].text;  // member or swizzle: never renamed
                    o += ' ';
                    ++i;
                }
                break;
            default:
                return;
            }
            ++i;
        }
        closeWraps(openWraps, end, o);
    }

    // Opens the float conversions (conversions.cpp) that start at token i.
    void openWrapsAt(size_t i, std::string& o)
    {
        auto [first, last] = conversions.wraps.equal_range(i);
        // The widest first: the one ending last opens first.
        std::vector<std::pair<size_t, const std::string*>> here;
        for (auto it = first; it != last; ++it) {
            here.push_back({it->second.first, &it->second.second});
        }
        std::sort(here.begin(), here.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& [wrapEnd, constructor] : here) {
            o += *constructor + "(";
            wrapEnds.push_back(wrapEnd);
        }
    }
    // Closes the conversions opened since `keep` open ones that end at or before i.
    void closeWraps(size_t keep, size_t i, std::string& o)
    {
        while (wrapEnds.size() > keep && wrapEnds.back() <= i) {
            o += ") ";
            wrapEnds.pop_back();
        }
    }

private:
    std::string declaration(const VarDecl& d, bool withQualifier)
    {
        std::string s;
        if (withQualifier && (d.qualifier == "out" || d.qualifier == "inout")) {
            s += std::string(d.qualifier) + " ";
        }
        s += glslType(d.type);
        s += " " + glslName(d.name);
        if (d.arraySize > 0) {
            s += "[" + std::to_string(d.arraySize) + "]";
        }
        return s;
    }

    void emitFunction(const FunctionData& f, std::string& o)
    {
        startLine(o, f.line);
        o += glslType(f.returnType);
        o += " " + glslName(f.name) + "(";
        for (size_t k = 0; k < f.params.size(); ++k) {
            o += (k ? ", " : "") + declaration(f.params[k], true);
        }
        o += ")\n";
        ++line;
        returnType = &f.returnType;
        emitRange(f.bodyBegin, f.bodyEnd + 1, o, 0);
        returnType = nullptr;
        o += "\n";
    }

    void emitStatic(const StaticData& s, std::string& o)
    {
        startLine(o, s.decl.line);
        // GLSL 1.20 has no const arrays.
        if (s.isConst && s.decl.arraySize == 0) {
            o += "const ";
        }
        o += declaration(s.decl, false);
        if (s.initEnd > s.initBegin) {
            o += " = ";
            if (isPunct(s.initBegin, "{")) {
                size_t close = matching(s.initBegin, s.initEnd);
                if (close + 1 != s.initEnd) {
                    error(s.decl.line, "malformed initializer list");
                    return;
                }
                emitInitList(s.decl.type, s.decl.typeName, s.decl.arraySize, s.initBegin, close, o, 0);
            } else {
                emitRange(s.initBegin, s.initEnd, o, 0);
            }
        }
        o += ";\n";
    }

    // Joins `var` (a local of `type`, or the entry's result) to the built-ins its semantics
    // name, struct members one by one. Without `written` it reads the stage's inputs into
    // `var`; with it, it writes `var` to the stage's outputs and records the built-ins written.
    void glue(const std::string& var, const TypeInfo& type, std::string_view typeName, const std::string& semantic,
              int atLine, std::string& o, std::set<std::string>* written)
    {
        const bool output = written != nullptr;
        if (type.base == TypeInfo::Struct) {
            const StructData* s = findStruct(typeName);
            for (const VarDecl& m : s->members) {
                if (m.semantic.empty()) {
                    error(m.line, "member '" + std::string(m.name) + "' of an entry struct needs a semantic");
                    return;
                }
                glue(var + "." + std::string(m.name), m.type, m.typeName, m.semantic, m.line, o, written);
            }
            return;
        }
        if (semantic.empty()) {
            error(atLine, (output ? "entry output '" : "entry parameter '") + var + "' needs a semantic");
            return;
        }
        const Builtin* b = findBuiltin(stage, output, semantic, target);
        if (!b) {
            error(atLine, "semantic '" + semantic + "' is not a " + (stage == 0 ? "vertex" : "fragment") +
                              " program " + (output ? "output" : "input"));
            return;
        }
        if (type.base != TypeInfo::Float || type.matrix) {
            error(atLine, std::string("semantic ") + b->semantic + " needs a float or float vector");
            return;
        }
        if (b->declare) {
            declarations[b->glsl] = b;
            how.varyings |= b->varying;
        }
        if (output) {
            written->insert(b->glsl);
            o += "  " + toBuiltin(*b, var, type);
        } else {
            o += "  " + var + " = " + fromBuiltin(*b, type) + ";\n";
        }
    }

    void emitMain(const FunctionData& f, const ProgramRef& program, std::string& o)
    {
        startLine(o, program.line);
        o += "void main()\n{\n";
        std::string call = glslName(f.name) + "(";
        size_t argIndex = 0;
        std::set<std::string> written;
        std::string outputs;
        for (size_t k = 0; k < f.params.size() && ok; ++k) {
            const VarDecl& d = f.params[k];
            std::string local = "cgx_p" + std::to_string(k);
            if (k) {
                call += ", ";
            }
            bool isUniform = d.qualifier == "uniform" || (d.qualifier.empty() && d.semantic.empty() &&
                                                          d.type.base != TypeInfo::Struct);
            if (d.arraySize > 0) {
                error(d.line, "entry parameter '" + std::string(d.name) + "' cannot be an array");
                return;
            }
            if (isUniform) {
                if (argIndex < program.args.size()) {
                    findConversions(e, program.args[argIndex].first, program.args[argIndex].second, d.type,
                                    conversions);
                    call += "(";
                    emitRange(program.args[argIndex].first, program.args[argIndex].second, call, 0);
                    call += ")";
                    ++argIndex;
                } else {
                    auto it = e.byName.find(d.name);
                    if (it == e.byName.end()) {
                        error(d.line, "uniform parameter '" + std::string(d.name) + "' of '" + std::string(f.name) +
                                          "' has no compile argument");
                        return;
                    }
                    call += it->second->glslName;
                }
                continue;
            }
            std::string typeName = glslType(d.type);
            o += "  " + typeName + " " + local + ";\n";
            if (d.qualifier != "out") {
                glue(local, d.type, d.typeName, d.semantic, d.line, o, nullptr);
            }
            if (d.qualifier == "out" || d.qualifier == "inout") {
                glue(local, d.type, d.typeName, d.semantic, d.line, outputs, &written);
            }
            call += local;
        }
        if (ok && argIndex < program.args.size()) {
            error(program.line, "too many compile arguments for '" + std::string(f.name) + "'");
            return;
        }
        call += ")";
        if (f.returnType.base == TypeInfo::Void) {
            o += "  " + call + ";\n";
        } else {
            std::string typeName = glslType(f.returnType);
            o += "  " + typeName + " cgx_result = " + call + ";\n";
            glue("cgx_result", f.returnType, f.returnTypeName, f.returnSemantic, f.line, outputs, &written);
        }
        o += outputs;
        if (ok && stage == 0) {
            writeUnwrittenVaryings(o);
        }
        if (ok && stage == 1 && how.alphaFunc) {
            alphaTest(written, o);
        }
        if (ok && stage == 0 && !written.count("gl_Position")) {
            error(f.line, "vertex program '" + std::string(f.name) + "' writes no POSITION");
        }
        if (ok && stage == 1 && written.count("gl_FragColor") && written.size() > 1) {
            bool data = false;
            for (const std::string& w : written) {
                data = data || w.rfind("gl_FragData", 0) == 0;
            }
            if (data) {
                size_t at = 0;
                while ((at = o.find("gl_FragColor", at)) != std::string::npos) {
                    o.replace(at, 12, "gl_FragData[0]");
                }
            }
        }
        o += "}\n";
    }

    // Varyings the fragment program reads and this vertex program does not write: 0.
    void writeUnwrittenVaryings(std::string& o)
    {
        size_t count = 0;
        const Builtin* const* varyings = genericVaryings(count);
        for (size_t k = 0; k < count; ++k) {
            const Builtin& v = *varyings[k];
            if ((how.fragmentReads & v.varying) && !(how.varyings & v.varying)) {
                declarations[v.glsl] = &v;
                how.varyings |= v.varying;
                o += std::string("  ") + v.glsl + " = " + v.declare + "(0.0);\n";
            }
        }
    }

    // GL's alpha test, after the colour is computed: the function is the pass's, the
    // reference a uniform (in 255ths). GL compares alpha as the 8-bit colour buffers we
    // draw into hold it, so the alpha is rounded to 255ths first.
    void alphaTest(const std::set<std::string>& written, std::string& o)
    {
        const char* colour = modernGlsl(target) ? "cgx_FragData0" : "gl_FragColor";
        const char* op = nullptr;
        switch (how.alphaFunc) {
        case 0x0200:  // GL_NEVER
            o += "  discard;\n";
            return;
        case 0x0201: op = "<"; break;
        case 0x0202: op = "=="; break;
        case 0x0203: op = "<="; break;
        case 0x0204: op = ">"; break;
        case 0x0205: op = "!="; break;
        case 0x0206: op = ">="; break;
        default: return;  // GL_ALWAYS
        }
        if (!written.count(colour)) {
            return;
        }
        how.alphaRef = true;
        o += std::string("  if (!(floor(clamp(") + colour + ".a, 0.0, 1.0) * 255.0 + 0.5) " + op + " " + kAlphaRefName +
             ")) discard;\n";
    }

    // The version line, precision and the declarations of the variables of ours.
    std::string header() const
    {
        std::string h;
        switch (target) {
        case GlslTarget::Glsl330:
            h = "#version 330 core\n";
            break;
        case GlslTarget::Essl300:
            h = "#version 300 es\nprecision highp float;\nprecision highp int;\n"
                "precision highp sampler2D;\nprecision highp samplerCube;\nprecision highp sampler3D;\n";
            break;
        default:
            h = "#version 120\n";
            // Built into 1.20's vertex programs; offline compilers ask for the extension.
            if (target == GlslTarget::Glsl120 && (helpersUsed.count("tex2Dlod") || helpersUsed.count("texCUBElod"))) {
                h += "#extension GL_ARB_shader_texture_lod : enable\n";
            }
            break;
        }
        for (const auto& [name, b] : declarations) {
            const bool fragmentOutput = stage == 1 && b->location >= 0;
            if (fragmentOutput) {
                h += "layout(location = " + std::to_string(b->location) + ") out ";
            } else if (modernGlsl(target)) {
                h += stage == 0 && b->location < 0 ? "out " : "in ";
            } else {
                h += stage == 0 && b->location >= 0 ? "attribute " : "varying ";
            }
            h += std::string(b->declare) + " " + name + ";\n";
        }
        for (int k = 0; k < kStateMatrixCount; ++k) {
            if (how.stateMatrices & (1u << k)) {
                h += std::string("uniform mat4 ") + stateMatrixName(k) + ";\n";
            }
        }
        if (how.alphaRef) {
            h += std::string("uniform float ") + kAlphaRefName + ";\n";
        }
        return h;
    }
};

bool Translator::run(const ProgramRef& program, std::string& glsl, std::vector<ParameterData*>& used)
{
    const FunctionData* entry = findFunction(program.entry);
    if (!entry) {
        return error(program.line, "entry function '" + std::string(program.entry) + "' not found");
    }
    // Functions reachable from the entry, by name (overloads come along).
    std::set<std::string_view> names = {entry->name};
    std::set<std::string_view> identifiers;
    for (auto [b, en] : program.args) {
        for (size_t i = b; i < en; ++i) {
            if (t[i].kind == Token::Ident) {
                identifiers.insert(t[i].text);
            }
        }
    }
    std::vector<std::string_view> work = {entry->name};
    for (std::string_view id : identifiers) {
        if (findFunction(id) && names.insert(id).second) {
            work.push_back(id);
        }
    }
    while (!work.empty()) {
        std::string_view name = work.back();
        work.pop_back();
        for (const FunctionData& f : e.functions) {
            if (f.name != name) {
                continue;
            }
            for (std::string_view id : f.identifiers) {
                identifiers.insert(id);
                if (findFunction(id) && names.insert(id).second) {
                    work.push_back(id);
                }
            }
        }
    }
    // Statics used, and what their initialisers use.
    std::vector<bool> staticUsed(e.statics.size(), false);
    for (bool grew = true; grew;) {
        grew = false;
        for (size_t k = 0; k < e.statics.size(); ++k) {
            if (!staticUsed[k] && identifiers.count(e.statics[k].decl.name)) {
                staticUsed[k] = grew = true;
                identifiers.insert(e.statics[k].identifiers.begin(), e.statics[k].identifiers.end());
            }
        }
    }

    for (auto [kind, index] : e.order) {
        if (kind == 1 && staticUsed[index]) {
            const StaticData& st = e.statics[index];
            findConversions(e, st.initBegin, st.initEnd, st.decl.type, conversions, st.decl.arraySize,
                            st.decl.typeName);
        } else if (kind == 2 && names.count(e.functions[index].name)) {
            findConversions(e, e.functions[index], conversions);
        }
    }
    std::string body;
    for (const StructData& s : e.structs) {
        startLine(body, s.line);
        body += "struct " + glslName(s.name) + " {\n";
        for (const VarDecl& m : s.members) {
            body += "  " + declaration(m, false) + ";\n";
        }
        body += "};\n";
    }
    used.clear();
    for (const ParameterData* listed : e.listed) {
        const ParameterData& param = *listed;
        bool usable = componentCount(param.type) > 0 || param.type.isSampler();
        if (usable && identifiers.count(param.name)) {
            if (target == GlslTarget::Essl300 && param.type.base == TypeInfo::Sampler1D) {
                return error(param.line, "1D samplers are not available in GLSL ES");
            }
            used.push_back(const_cast<ParameterData*>(&param));
            body += "uniform " + glslType(param.type) + " " + param.glslName + ";\n";
        }
    }
    for (auto [kind, index] : e.order) {
        if (!ok) {
            break;
        }
        if (kind == 1 && staticUsed[index]) {
            emitStatic(e.statics[index], body);
        } else if (kind == 2 && names.count(e.functions[index].name)) {
            emitFunction(e.functions[index], body);
        }
    }
    if (ok) {
        emitMain(*entry, program, body);
    }
    if (!ok) {
        return false;
    }
    glsl = header();
    glsl += helperPrelude(helpersUsed, target);
    glsl += body;
    return true;
}

}  // namespace

bool translateProgram(const EffectData& effect, const ProgramRef& program, int stage, std::string& glsl,
                      std::vector<ParameterData*>& used, std::string& listing, ProgramTranslation& how)
{
    how.varyings = 0;
    how.stateMatrices = 0;
    how.alphaRef = false;
    Translator translator(effect, stage, listing, how);
    return translator.run(program, glsl, used);
}

bool translateProgram(const EffectData& effect, const ProgramRef& program, int stage, std::string& glsl,
                      std::vector<ParameterData*>& used, std::string& listing)
{
    ProgramTranslation how;
    return translateProgram(effect, program, stage, glsl, used, listing, how);
}

}  // namespace fx
