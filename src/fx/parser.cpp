// Parser of effect files: parameters, annotations, defaults, sampler states, structs,
// functions (their bodies are kept as token ranges for the translator), techniques,
// passes and their state assignments.
#include "fx/model.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace fx {

namespace {

constexpr int maxNesting = 64;

bool equalNoCase(std::string_view a, const char* b)
{
    size_t n = std::strlen(b);
    return a.size() == n && strncasecmp(a.data(), b, n) == 0;
}

struct NamedValue {
    const char* name;
    int value;
};

bool lookupEnum(std::string_view name, const NamedValue* table, size_t count, int& value)
{
    for (size_t i = 0; i < count; ++i) {
        if (equalNoCase(name, table[i].name)) {
            value = table[i].value;
            return true;
        }
    }
    return false;
}

const NamedValue compareFuncs[] = {
    {"Never", GL_NEVER},       {"Less", GL_LESS},         {"LEqual", GL_LEQUAL},          {"LessEqual", GL_LEQUAL},
    {"Equal", GL_EQUAL},       {"Greater", GL_GREATER},   {"NotEqual", GL_NOTEQUAL},      {"GEqual", GL_GEQUAL},
    {"GreaterEqual", GL_GEQUAL}, {"Always", GL_ALWAYS},
};
const NamedValue blendFactors[] = {
    {"Zero", GL_ZERO},
    {"One", GL_ONE},
    {"SrcColor", GL_SRC_COLOR},
    {"OneMinusSrcColor", GL_ONE_MINUS_SRC_COLOR},
    {"SrcAlpha", GL_SRC_ALPHA},
    {"OneMinusSrcAlpha", GL_ONE_MINUS_SRC_ALPHA},
    {"DstAlpha", GL_DST_ALPHA},
    {"OneMinusDstAlpha", GL_ONE_MINUS_DST_ALPHA},
    {"DstColor", GL_DST_COLOR},
    {"OneMinusDstColor", GL_ONE_MINUS_DST_COLOR},
    {"SrcAlphaSaturate", GL_SRC_ALPHA_SATURATE},
    {"ConstantColor", GL_CONSTANT_COLOR},
    {"OneMinusConstantColor", GL_ONE_MINUS_CONSTANT_COLOR},
    {"ConstantAlpha", GL_CONSTANT_ALPHA},
    {"OneMinusConstantAlpha", GL_ONE_MINUS_CONSTANT_ALPHA},
};
const NamedValue faces[] = {{"Front", GL_FRONT}, {"Back", GL_BACK}, {"FrontAndBack", GL_FRONT_AND_BACK}};
const NamedValue polygonModes[] = {{"Point", GL_POINT}, {"Line", GL_LINE}, {"Fill", GL_FILL}};
const NamedValue blendEquations[] = {
    {"FuncAdd", GL_FUNC_ADD},
    {"Add", GL_FUNC_ADD},
    {"FuncSubtract", GL_FUNC_SUBTRACT},
    {"Subtract", GL_FUNC_SUBTRACT},
    {"FuncReverseSubtract", GL_FUNC_REVERSE_SUBTRACT},
    {"ReverseSubtract", GL_FUNC_REVERSE_SUBTRACT},
    {"Min", GL_MIN},
    {"Max", GL_MAX},
};
const NamedValue filters[] = {
    {"Nearest", GL_NEAREST},
    {"Linear", GL_LINEAR},
    {"NearestMipMapNearest", GL_NEAREST_MIPMAP_NEAREST},
    {"LinearMipMapNearest", GL_LINEAR_MIPMAP_NEAREST},
    {"NearestMipMapLinear", GL_NEAREST_MIPMAP_LINEAR},
    {"LinearMipMapLinear", GL_LINEAR_MIPMAP_LINEAR},
};
const NamedValue wraps[] = {
    {"Repeat", GL_REPEAT},
    {"Clamp", GL_CLAMP},
    {"ClampToEdge", GL_CLAMP_TO_EDGE},
    {"ClampToBorder", GL_CLAMP_TO_BORDER},
    {"MirroredRepeat", GL_MIRRORED_REPEAT},
};
const NamedValue stateNames[] = {
    {"VertexProgram", int(StateKind::VertexProgram)},
    {"FragmentProgram", int(StateKind::FragmentProgram)},
    {"DepthTestEnable", int(StateKind::DepthTestEnable)},
    {"DepthMask", int(StateKind::DepthMask)},
    {"DepthFunc", int(StateKind::DepthFunc)},
    {"CullFaceEnable", int(StateKind::CullFaceEnable)},
    {"CullFace", int(StateKind::CullFace)},
    {"BlendEnable", int(StateKind::BlendEnable)},
    {"BlendFunc", int(StateKind::BlendFunc)},
    {"BlendEquation", int(StateKind::BlendEquation)},
    {"AlphaTestEnable", int(StateKind::AlphaTestEnable)},
    {"AlphaFunc", int(StateKind::AlphaFunc)},
    {"PolygonMode", int(StateKind::PolygonMode)},
    {"PolygonOffset", int(StateKind::PolygonOffset)},
    {"LightingEnable", int(StateKind::LightingEnable)},
    {"Texture2DEnable", int(StateKind::Texture2DEnable)},
    {"TextureCubeMapEnable", int(StateKind::TextureCubeMapEnable)},
};

#define COUNT(a) (sizeof(a) / sizeof((a)[0]))

bool parseFloat(std::string_view text, float& out)
{
    std::string s(text);
    while (!s.empty() && std::strchr("fFhHxX", s.back()) && s.find_first_of("xX") != 1) {
        s.pop_back();
    }
    if (s.empty()) {
        return false;
    }
    char* end = nullptr;
    out = std::strtof(s.c_str(), &end);
    return end && *end == '\0';
}

class Parser {
public:
    Parser(EffectData& effect, std::string& listing) : e(effect), t(effect.tokens), listing(listing) {}

    bool run()
    {
        while (!at(Token::End)) {
            if (isIdent("struct")) {
                if (!parseStruct()) {
                    return false;
                }
            } else if (isIdent("technique")) {
                if (!parseTechnique()) {
                    return false;
                }
            } else if (!parseGlobal()) {
                return false;
            }
        }
        return resolveTextures();
    }

private:
    EffectData& e;
    const std::vector<Token>& t;
    std::string& listing;
    size_t p = 0;

    const Token& cur() const { return t[p]; }
    bool at(Token::Kind k) const { return t[p].kind == k; }
    bool isIdent(const char* s) const { return t[p].kind == Token::Ident && t[p].text == s; }
    bool isPunct(const char* s) const { return t[p].kind == Token::Punct && t[p].text == s; }
    void advance()
    {
        if (t[p].kind != Token::End) {
            ++p;
        }
    }

    bool fail(int line, const std::string& message)
    {
        listing += e.file + "(" + std::to_string(line) + "): error: " + message + "\n";
        return false;
    }
    bool failHere(const std::string& message)
    {
        std::string near = at(Token::End) ? "end of file" : "'" + std::string(cur().text) + "'";
        return fail(cur().line, message + " near " + near);
    }
    bool expectPunct(const char* s)
    {
        if (!isPunct(s)) {
            return failHere(std::string("expected '") + s + "'");
        }
        advance();
        return true;
    }
    bool expectIdent(std::string_view& out)
    {
        if (!at(Token::Ident)) {
            return failHere("expected a name");
        }
        out = cur().text;
        advance();
        return true;
    }

    bool parseType(TypeInfo& type, std::string_view& name)
    {
        if (!at(Token::Ident)) {
            return failHere("expected a type");
        }
        name = cur().text;
        if (!cgType(name, type)) {
            bool known = false;
            for (const StructData& s : e.structs) {
                known = known || s.name == name;
            }
            if (!known) {
                return failHere("unknown type");
            }
            type = TypeInfo();
            type.base = TypeInfo::Struct;
            type.structName = name;
        }
        advance();
        return true;
    }

    bool parseSemantic(std::string& out)
    {
        out.clear();
        std::string_view part;
        if (!expectIdent(part)) {
            return false;
        }
        out += part;
        while (isPunct(".")) {
            advance();
            if (!expectIdent(part)) {
                return false;
            }
            out += ".";
            out += part;
        }
        for (char& c : out) {
            c = char(std::toupper(static_cast<unsigned char>(c)));
        }
        return true;
    }

    bool parseArraySize(int& size)
    {
        size = 0;
        if (!isPunct("[")) {
            return true;
        }
        advance();
        float n = 0;
        if (!at(Token::Number) || !parseFloat(cur().text, n) || n < 1 || n > 4096 || float(int(n)) != n) {
            return failHere("expected an array size");
        }
        size = int(n);
        advance();
        return expectPunct("]");
    }

    // Comma-separated constants up to and including `close` ("}" or ")").
    bool parseConstantList(std::vector<float>& out, int depth, const char* close)
    {
        while (!isPunct(close)) {
            if (!parseConstant(out, depth + 1)) {
                return false;
            }
            if (isPunct(",")) {
                advance();
            } else if (!isPunct(close)) {
                return failHere(std::string("expected ',' or '") + close + "'");
            }
        }
        advance();
        return true;
    }

    // A constant: number, true/false, {list} or typeN(list); values are appended.
    bool parseConstant(std::vector<float>& out, int depth)
    {
        if (depth > maxNesting) {
            return failHere("initializer nested too deeply");
        }
        if (isPunct("{")) {
            advance();
            return parseConstantList(out, depth, "}");
        }
        if (isIdent("true") || isIdent("false")) {
            out.push_back(isIdent("true") ? 1.0f : 0.0f);
            advance();
            return true;
        }
        TypeInfo type;
        if (at(Token::Ident) && cgType(cur().text, type) && componentCount(type) > 0) {
            advance();
            if (!expectPunct("(")) {
                return false;
            }
            return parseConstantList(out, depth, ")");
        }
        float sign = 1.0f;
        if (isPunct("-") || isPunct("+")) {
            sign = isPunct("-") ? -1.0f : 1.0f;
            advance();
        }
        float value = 0;
        if (!at(Token::Number) || !parseFloat(cur().text, value)) {
            return failHere("expected a constant value");
        }
        out.push_back(sign * value);
        advance();
        return true;
    }

    bool parseAnnotations(AnnotationList& list)
    {
        if (!isPunct("<")) {
            return true;
        }
        advance();
        while (!isPunct(">")) {
            TypeInfo type;
            std::string_view typeName, name;
            if (!parseType(type, typeName) || !expectIdent(name) || !expectPunct("=")) {
                return false;
            }
            AnnotationData a;
            a.name = std::string(name);
            a.type = publicType(type);
            if (type.base == TypeInfo::String) {
                if (!at(Token::String)) {
                    return failHere("expected a string");
                }
                a.text = std::string(cur().text);
                advance();
            } else if (componentCount(type) > 0) {
                if (!parseConstant(a.values, 0)) {
                    return false;
                }
            } else {
                return failHere("annotations must be numbers, booleans or strings");
            }
            a.list = &list;
            a.index = list.items.size();
            list.items.push_back(std::move(a));
            if (!expectPunct(";")) {
                return false;
            }
        }
        advance();
        return true;
    }

    bool parseStruct()
    {
        StructData s;
        s.line = cur().line;
        advance();
        if (!expectIdent(s.name)) {
            return false;
        }
        for (const StructData& other : e.structs) {
            if (other.name == s.name) {
                return fail(s.line, "struct '" + std::string(s.name) + "' redefined");
            }
        }
        if (!expectPunct("{")) {
            return false;
        }
        while (!isPunct("}")) {
            VarDecl m;
            m.line = cur().line;
            if (!parseType(m.type, m.typeName) || !expectIdent(m.name) || !parseArraySize(m.arraySize)) {
                return false;
            }
            if (isPunct(":")) {
                advance();
                if (!parseSemantic(m.semantic)) {
                    return false;
                }
            }
            if (!expectPunct(";")) {
                return false;
            }
            s.members.push_back(m);
        }
        advance();
        if (!expectPunct(";")) {
            return false;
        }
        e.order.push_back({0, e.structs.size()});
        e.structs.push_back(std::move(s));
        return true;
    }

    bool skipBalanced(const char* open, const char* close, size_t& endIndex)
    {
        int depth = 0;
        int line = cur().line;
        while (!at(Token::End)) {
            if (isPunct(open)) {
                ++depth;
            } else if (isPunct(close)) {
                if (--depth == 0) {
                    endIndex = p;
                    advance();
                    return true;
                }
            }
            advance();
        }
        return fail(line, std::string("missing '") + close + "'");
    }

    bool parseFunction(TypeInfo returnType, std::string_view returnTypeName, std::string_view name, int line)
    {
        FunctionData f;
        f.name = name;
        f.returnType = returnType;
        f.returnTypeName = returnTypeName;
        f.line = line;
        advance();  // '('
        while (!isPunct(")")) {
            VarDecl d;
            d.line = cur().line;
            while (isIdent("in") || isIdent("out") || isIdent("inout") || isIdent("uniform") || isIdent("const") ||
                   isIdent("varying")) {
                if (!isIdent("const") && !isIdent("varying")) {
                    d.qualifier = cur().text;
                }
                advance();
            }
            if (!parseType(d.type, d.typeName)) {
                return false;
            }
            if (d.type.base == TypeInfo::Void || d.type.base == TypeInfo::String || d.type.base == TypeInfo::Texture) {
                return fail(d.line, "invalid parameter type '" + std::string(d.typeName) + "'");
            }
            if (!expectIdent(d.name) || !parseArraySize(d.arraySize)) {
                return false;
            }
            if (isPunct(":")) {
                advance();
                if (!parseSemantic(d.semantic)) {
                    return false;
                }
            }
            f.params.push_back(d);
            if (isPunct(",")) {
                advance();
            } else if (!isPunct(")")) {
                return failHere("expected ',' or ')'");
            }
        }
        advance();
        if (isPunct(":")) {
            advance();
            if (!parseSemantic(f.returnSemantic)) {
                return false;
            }
        }
        if (!isPunct("{")) {
            return failHere("expected a function body");
        }
        f.bodyBegin = p;
        if (!skipBalanced("{", "}", f.bodyEnd)) {
            return false;
        }
        for (size_t i = f.bodyBegin; i < f.bodyEnd; ++i) {
            if (t[i].kind == Token::Ident) {
                f.identifiers.push_back(t[i].text);
            }
        }
        e.order.push_back({2, e.functions.size()});
        e.functions.push_back(std::move(f));
        return true;
    }

    bool parseSamplerState(ParameterData& param)
    {
        advance();  // sampler_state
        if (!expectPunct("{")) {
            return false;
        }
        SamplerStateData& s = param.samplerState;
        while (!isPunct("}")) {
            std::string_view name;
            int line = cur().line;
            if (!expectIdent(name) || !expectPunct("=")) {
                return false;
            }
            if (equalNoCase(name, "Texture")) {
                std::string_view tex;
                if (!expectPunct("<") || !expectIdent(tex) || !expectPunct(">")) {
                    return false;
                }
                s.textureName = std::string(tex);
            } else if (equalNoCase(name, "GenerateMipMap")) {
                if (isIdent("true") || isIdent("false")) {
                    s.generateMipmap = isIdent("true");
                } else if (at(Token::Number)) {
                    s.generateMipmap = cur().text != "0";
                } else {
                    return failHere("expected true or false");
                }
                advance();
            } else {
                int* field = nullptr;
                const NamedValue* table = filters;
                size_t count = COUNT(filters);
                if (equalNoCase(name, "MinFilter")) {
                    field = &s.minFilter;
                } else if (equalNoCase(name, "MagFilter")) {
                    field = &s.magFilter;
                } else {
                    table = wraps;
                    count = COUNT(wraps);
                    if (equalNoCase(name, "WrapS")) {
                        field = &s.wrapS;
                    } else if (equalNoCase(name, "WrapT")) {
                        field = &s.wrapT;
                    } else if (equalNoCase(name, "WrapR")) {
                        field = &s.wrapR;
                    }
                }
                if (!field) {
                    return fail(line, "unknown sampler state '" + std::string(name) + "'");
                }
                std::string_view value;
                if (!expectIdent(value)) {
                    return false;
                }
                if (!lookupEnum(value, table, count, *field)) {
                    return fail(line, "invalid value '" + std::string(value) + "' for sampler state '" +
                                          std::string(name) + "'");
                }
            }
            if (!expectPunct(";")) {
                return false;
            }
        }
        advance();
        return true;
    }

    bool parseGlobal()
    {
        bool isStatic = false, isConst = false;
        while (isIdent("static") || isIdent("const") || isIdent("uniform") || isIdent("extern") || isIdent("shared")) {
            isStatic = isStatic || isIdent("static");
            isConst = isConst || isIdent("const");
            advance();
        }
        int line = cur().line;
        TypeInfo type;
        std::string_view typeName, name;
        if (!parseType(type, typeName) || !expectIdent(name)) {
            return false;
        }
        TypeInfo clash;
        if (cgType(name, clash)) {
            return fail(line, "'" + std::string(name) + "' is a type name");
        }
        if (isPunct("(")) {
            return parseFunction(type, typeName, name, line);
        }
        if (type.base == TypeInfo::Void) {
            return fail(line, "variable '" + std::string(name) + "' declared void");
        }
        if (isStatic) {
            return parseStatic(type, typeName, name, line, isConst);
        }
        if (type.base == TypeInfo::Struct) {
            return fail(line, "parameters of struct type are not supported");
        }
        if (isPunct("[")) {
            return fail(line, "array parameters are not supported (declare the array static)");
        }
        if (e.byName.count(name)) {
            return fail(line, "parameter '" + std::string(name) + "' redefined");
        }
        ParameterData& param = e.parameters.emplace_back();
        param.effect = e.handle();
        param.index = e.parameters.size() - 1;
        param.name = std::string(name);
        param.glslName = glslName(name);
        param.type = type;
        param.publicType = publicType(type);
        param.line = line;
        if (isPunct(":")) {
            advance();
            if (!parseSemantic(param.semantic)) {
                return false;
            }
        }
        if (!parseAnnotations(param.annotations)) {
            return false;
        }
        if (isPunct("=")) {
            advance();
            if (isIdent("sampler_state")) {
                if (!type.isSampler()) {
                    return fail(line, "sampler_state given to a parameter that is not a sampler");
                }
                if (!parseSamplerState(param)) {
                    return false;
                }
            } else if (type.base == TypeInfo::String && at(Token::String)) {
                advance();
            } else {
                std::vector<float> values;
                int count = componentCount(type);
                if (count == 0) {
                    return fail(line, "parameter '" + param.name + "' cannot have a default value");
                }
                if (!parseConstant(values, 0)) {
                    return false;
                }
                if (values.size() == 1 && count > 1 && !type.matrix) {
                    values.assign(size_t(count), values[0]);
                }
                if (int(values.size()) != count) {
                    return fail(line, "default value of '" + param.name + "' has " + std::to_string(values.size()) +
                                          " values, expected " + std::to_string(count));
                }
                for (int i = 0; i < count; ++i) {
                    param.defaults[i] = param.value[i] = values[size_t(i)];
                }
                param.defaultCount = count;
            }
        }
        if (!expectPunct(";")) {
            return false;
        }
        // The maps hold views of the stored strings (the deque never moves its elements).
        e.byName[param.name] = &param;
        if (!param.semantic.empty() && !e.bySemantic.count(param.semantic)) {
            e.bySemantic[param.semantic] = &param;
        }
        return true;
    }

    bool parseStatic(const TypeInfo& type, std::string_view typeName, std::string_view name, int line, bool isConst)
    {
        StaticData s;
        s.decl.type = type;
        s.decl.typeName = typeName;
        s.decl.name = name;
        s.decl.line = line;
        s.isConst = isConst;
        if (type.base >= TypeInfo::Sampler1D && type.base <= TypeInfo::String) {
            return fail(line, "static '" + std::string(name) + "' must be a number, vector, matrix or struct");
        }
        if (!parseArraySize(s.decl.arraySize)) {
            return false;
        }
        if (isPunct("=")) {
            advance();
            s.initBegin = p;
            int depth = 0;
            while (!at(Token::End) && !(depth == 0 && isPunct(";"))) {
                if (isPunct("{") || isPunct("(")) {
                    ++depth;
                } else if (isPunct("}") || isPunct(")")) {
                    --depth;
                }
                if (at(Token::Ident)) {
                    s.identifiers.push_back(cur().text);
                }
                advance();
            }
            s.initEnd = p;
            if (s.initEnd == s.initBegin) {
                return failHere("expected an initializer");
            }
        }
        if (!expectPunct(";")) {
            return false;
        }
        e.order.push_back({1, e.statics.size()});
        e.statics.push_back(std::move(s));
        return true;
    }

    // Values of a state: a name, number or true/false, or typeN(v, v).
    bool parseStateValues(std::vector<std::string>& values)
    {
        TypeInfo type;
        if (at(Token::Ident) && cgType(cur().text, type) && componentCount(type) > 1) {
            advance();
            if (!expectPunct("(")) {
                return false;
            }
            while (!isPunct(")")) {
                if (values.size() > 4) {
                    return failHere("too many values");
                }
                if (isPunct("-")) {
                    advance();
                    if (!at(Token::Number)) {
                        return failHere("expected a number");
                    }
                    values.push_back("-" + std::string(cur().text));
                } else if (at(Token::Ident) || at(Token::Number)) {
                    values.push_back(std::string(cur().text));
                } else {
                    return failHere("expected a state value");
                }
                advance();
                if (isPunct(",")) {
                    advance();
                } else if (!isPunct(")")) {
                    return failHere("expected ',' or ')'");
                }
            }
            advance();
            return true;
        }
        if (at(Token::Ident) || at(Token::Number)) {
            values.push_back(std::string(cur().text));
            advance();
            return true;
        }
        return failHere("expected a state value");
    }

    bool parseProgram(ProgramRef& program)
    {
        program.present = false;
        program.line = cur().line;
        if (isIdent("NULL")) {
            advance();
            return true;
        }
        if (!isIdent("compile")) {
            return failHere("expected 'compile profile entry(...)'");
        }
        advance();
        std::string_view profile;
        if (!expectIdent(profile) || !expectIdent(program.entry) || !expectPunct("(")) {
            return false;
        }
        program.profile = std::string(profile);
        int depth = 0;
        size_t start = p;
        while (!(depth == 0 && isPunct(")"))) {
            if (at(Token::End)) {
                return failHere("missing ')'");
            }
            if (isPunct("(") || isPunct("[") || isPunct("{")) {
                ++depth;
            } else if (isPunct(")") || isPunct("]") || isPunct("}")) {
                --depth;
            } else if (depth == 0 && isPunct(",")) {
                if (p == start) {
                    return failHere("empty compile argument");
                }
                program.args.push_back({start, p});
                start = p + 1;
            } else if (at(Token::String)) {
                return failHere("strings are not program arguments");
            }
            advance();
        }
        if (p != start) {
            program.args.push_back({start, p});
        } else if (!program.args.empty()) {
            return failHere("empty compile argument");
        }
        advance();
        program.present = true;
        return true;
    }

    bool boolValue(std::string_view v, int& out)
    {
        if (equalNoCase(v, "true") || v == "1") {
            out = 1;
        } else if (equalNoCase(v, "false") || v == "0") {
            out = 0;
        } else {
            return false;
        }
        return true;
    }

    bool enumValue(std::string_view v, const NamedValue* table, size_t count, int& out)
    {
        if (lookupEnum(v, table, count, out)) {
            return true;
        }
        float f = 0;
        if (!v.empty() && std::isdigit(static_cast<unsigned char>(v[0])) && parseFloat(v, f)) {
            for (size_t i = 0; i < count; ++i) {
                if (float(table[i].value) == f) {
                    out = table[i].value;
                    return true;
                }
            }
        }
        return false;
    }

    bool parseState(PassData& pass)
    {
        std::string_view name;
        int line = cur().line;
        if (!expectIdent(name)) {
            return false;
        }
        int kindValue = 0;
        if (!lookupEnum(name, stateNames, COUNT(stateNames), kindValue)) {
            return fail(line, "unknown state '" + std::string(name) + "'");
        }
        int index = 0;
        if (!parseArraySize(index) || !expectPunct("=")) {
            return false;
        }
        StateKind kind = StateKind(kindValue);
        if (kind == StateKind::VertexProgram || kind == StateKind::FragmentProgram) {
            ProgramRef& program = kind == StateKind::VertexProgram ? pass.vertex : pass.fragment;
            if (!parseProgram(program)) {
                return false;
            }
            return expectPunct(";");
        }
        std::vector<std::string> v;
        if (!parseStateValues(v)) {
            return false;
        }
        StateAssignment s;
        s.kind = kind;
        bool ok = false;
        switch (kind) {
        case StateKind::DepthTestEnable:
        case StateKind::DepthMask:
        case StateKind::CullFaceEnable:
        case StateKind::BlendEnable:
        case StateKind::AlphaTestEnable:
        case StateKind::LightingEnable:
        case StateKind::Texture2DEnable:
        case StateKind::TextureCubeMapEnable:
            ok = v.size() == 1 && boolValue(v[0], s.i[0]);
            break;
        case StateKind::DepthFunc:
            ok = v.size() == 1 && enumValue(v[0], compareFuncs, COUNT(compareFuncs), s.i[0]);
            break;
        case StateKind::CullFace:
            ok = v.size() == 1 && enumValue(v[0], faces, COUNT(faces), s.i[0]);
            break;
        case StateKind::BlendFunc:
            ok = v.size() == 2 && enumValue(v[0], blendFactors, COUNT(blendFactors), s.i[0]) &&
                 enumValue(v[1], blendFactors, COUNT(blendFactors), s.i[1]);
            break;
        case StateKind::BlendEquation:
            ok = v.size() == 1 && enumValue(v[0], blendEquations, COUNT(blendEquations), s.i[0]);
            break;
        case StateKind::AlphaFunc:
            ok = v.size() == 2 && enumValue(v[0], compareFuncs, COUNT(compareFuncs), s.i[0]) &&
                 parseFloat(v[1], s.f[0]);
            break;
        case StateKind::PolygonMode:
            ok = v.size() == 2 && enumValue(v[0], faces, COUNT(faces), s.i[0]) &&
                 enumValue(v[1], polygonModes, COUNT(polygonModes), s.i[1]);
            break;
        case StateKind::PolygonOffset:
            ok = v.size() == 2 && parseFloat(v[0], s.f[0]) && parseFloat(v[1], s.f[1]);
            break;
        default:
            break;
        }
        if (!ok) {
            return fail(line, "invalid value for state '" + std::string(name) + "'");
        }
        pass.states.push_back(s);
        return expectPunct(";");
    }

    bool parseTechnique()
    {
        advance();
        TechniqueData& tech = e.techniques.emplace_back();
        tech.effect = e.handle();
        tech.index = e.techniques.size() - 1;
        if (at(Token::Ident)) {
            tech.name = std::string(cur().text);
            advance();
        }
        if (!parseAnnotations(tech.annotations) || !expectPunct("{")) {
            return false;
        }
        while (!isPunct("}")) {
            if (!isIdent("pass")) {
                return failHere("expected 'pass'");
            }
            advance();
            PassData& pass = tech.passes.emplace_back();
            pass.technique = tech.handle();
            pass.index = tech.passes.size() - 1;
            if (at(Token::Ident)) {
                pass.name = std::string(cur().text);
                advance();
            }
            if (!parseAnnotations(pass.annotations) || !expectPunct("{")) {
                return false;
            }
            while (!isPunct("}")) {
                if (!parseState(pass)) {
                    return false;
                }
            }
            advance();
        }
        advance();
        if (isPunct(";")) {
            advance();
        }
        return true;
    }

    bool resolveTextures()
    {
        for (ParameterData& param : e.parameters) {
            const std::string& name = param.samplerState.textureName;
            if (name.empty()) {
                continue;
            }
            auto it = e.byName.find(name);
            if (it == e.byName.end() || it->second->type.base != TypeInfo::Texture) {
                return fail(param.line, "sampler '" + param.name + "' names unknown texture '" + name + "'");
            }
            param.textureParameter = it->second;
        }
        for (const TechniqueData& tech : e.techniques) {
            for (const PassData& pass : tech.passes) {
                for (const ProgramRef* program : {&pass.vertex, &pass.fragment}) {
                    if (!program->present) {
                        continue;
                    }
                    bool found = false;
                    for (const FunctionData& f : e.functions) {
                        found = found || f.name == program->entry;
                    }
                    if (!found) {
                        return fail(program->line, "entry function '" + std::string(program->entry) + "' not found");
                    }
                }
            }
        }
        return true;
    }
};

}  // namespace

bool parseEffect(EffectData& effect, std::string& listing)
{
    std::string error;
    if (!tokenize(effect.text, effect.file, effect.tokens, error)) {
        listing += error;
        return false;
    }
    Parser parser(effect, listing);
    if (!parser.run()) {
        return false;
    }
    effect.listed.clear();
    for (ParameterData& param : effect.parameters) {
        effect.listed.push_back(&param);
    }
    return true;
}

}  // namespace fx
