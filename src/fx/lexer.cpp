// Tokens and type names of effect files.
#include "fx/model.h"

#include <cctype>
#include <cstring>

namespace fx {

namespace {

bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

const char* const twoCharPuncts[] = {"==", "!=", "<=", ">=", "&&", "||", "++", "--", "+=", "-=",
                                     "*=", "/=", "%=", "<<", ">>", "::", "&=", "|=", "^="};

std::string lineError(const std::string& file, int line, const std::string& text)
{
    return file + "(" + std::to_string(line) + "): error: " + text + "\n";
}

}  // namespace

bool tokenize(std::string_view text, const std::string& file, std::vector<Token>& out, std::string& error)
{
    out.clear();
    int line = 1;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            while (i < n && text[i] != '\n') {
                ++i;
            }
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            int startLine = line;
            i += 2;
            while (i + 1 < n && !(text[i] == '*' && text[i + 1] == '/')) {
                line += text[i] == '\n';
                ++i;
            }
            if (i + 1 >= n) {
                error += lineError(file, startLine, "unterminated comment");
                return false;
            }
            i += 2;
        } else if (c == '#') {
            error += lineError(file, line, "preprocessor directives are not supported");
            return false;
        } else if (identStart(c)) {
            size_t s = i;
            while (i < n && identChar(text[i])) {
                ++i;
            }
            out.push_back({Token::Ident, text.substr(s, i - s), line});
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            size_t s = i;
            while (i < n && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '.' ||
                             ((text[i] == '+' || text[i] == '-') && (text[i - 1] == 'e' || text[i - 1] == 'E') &&
                              !(text[s] == '0' && s + 1 < n && (text[s + 1] == 'x' || text[s + 1] == 'X'))))) {
                ++i;
            }
            out.push_back({Token::Number, text.substr(s, i - s), line});
        } else if (c == '"') {
            size_t s = i++;
            while (i < n && text[i] != '"' && text[i] != '\n') {
                ++i;
            }
            if (i >= n || text[i] != '"') {
                error += lineError(file, line, "unterminated string");
                return false;
            }
            ++i;
            out.push_back({Token::String, text.substr(s + 1, i - s - 2), line});
        } else if (std::strchr("{}()[];,.:=<>+-*/%!&|^~?", c) && c != '\0') {
            size_t len = 1;
            if (i + 1 < n) {
                for (const char* p : twoCharPuncts) {
                    if (text[i] == p[0] && text[i + 1] == p[1]) {
                        len = 2;
                        break;
                    }
                }
            }
            out.push_back({Token::Punct, text.substr(i, len), line});
            i += len;
        } else if (c == '\0') {
            break;  // the text ends at its terminator
        } else {
            error += lineError(file, line, "unexpected character '" + std::string(1, c) + "'");
            return false;
        }
    }
    out.push_back({Token::End, std::string_view(), line});
    return true;
}

bool cgType(std::string_view name, TypeInfo& info)
{
    info = TypeInfo();
    struct Named {
        const char* name;
        TypeInfo::Base base;
    };
    static const Named samplers[] = {
        {"sampler1D", TypeInfo::Sampler1D}, {"sampler2D", TypeInfo::Sampler2D},
        {"sampler3D", TypeInfo::Sampler3D}, {"samplerCUBE", TypeInfo::SamplerCube},
        {"texture", TypeInfo::Texture},     {"string", TypeInfo::String},
        {"void", TypeInfo::Void},
    };
    for (const Named& s : samplers) {
        if (name == s.name) {
            info.base = s.base;
            return true;
        }
    }
    static const Named scalars[] = {{"float", TypeInfo::Float}, {"half", TypeInfo::Float}, {"fixed", TypeInfo::Float},
                                    {"int", TypeInfo::Int},     {"bool", TypeInfo::Bool}};
    for (const Named& s : scalars) {
        size_t len = std::strlen(s.name);
        if (name.substr(0, len) != s.name) {
            continue;
        }
        std::string_view rest = name.substr(len);
        info.base = s.base;
        if (rest.empty()) {
            return true;
        }
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
            info.cols = rest[0] - '0';
            return true;
        }
        // Only square float matrices.
        if (rest.size() == 3 && rest[1] == 'x' && rest[0] >= '2' && rest[0] <= '4' && rest[0] == rest[2] &&
            s.base == TypeInfo::Float) {
            info.rows = info.cols = rest[0] - '0';
            info.matrix = true;
            return true;
        }
        info = TypeInfo();
        return false;
    }
    return false;
}

std::string glslType(const TypeInfo& info)
{
    switch (info.base) {
    case TypeInfo::Float:
        if (info.matrix) {
            return "mat" + std::to_string(info.rows);
        }
        return info.cols == 1 ? "float" : "vec" + std::to_string(info.cols);
    case TypeInfo::Int:
        return info.cols == 1 ? "int" : "ivec" + std::to_string(info.cols);
    case TypeInfo::Bool:
        return info.cols == 1 ? "bool" : "bvec" + std::to_string(info.cols);
    case TypeInfo::Sampler1D:
        return "sampler1D";
    case TypeInfo::Sampler2D:
        return "sampler2D";
    case TypeInfo::Sampler3D:
        return "sampler3D";
    case TypeInfo::SamplerCube:
        return "samplerCube";
    case TypeInfo::Void:
        return "void";
    case TypeInfo::Struct:
        return glslName(info.structName);
    default:
        return "";
    }
}

Type publicType(const TypeInfo& info)
{
    switch (info.base) {
    case TypeInfo::Float:
        if (info.matrix) {
            return info.rows == 2 ? Type::Float2x2 : info.rows == 3 ? Type::Float3x3 : Type::Float4x4;
        }
        return Type(int(Type::Float) + info.cols - 1);
    case TypeInfo::Int:
        return Type(int(Type::Int) + info.cols - 1);
    case TypeInfo::Bool:
        return Type(int(Type::Bool) + info.cols - 1);
    case TypeInfo::Sampler1D:
        return Type::Sampler1D;
    case TypeInfo::Sampler2D:
        return Type::Sampler2D;
    case TypeInfo::Sampler3D:
        return Type::Sampler3D;
    case TypeInfo::SamplerCube:
        return Type::SamplerCube;
    case TypeInfo::Texture:
        return Type::Texture;
    case TypeInfo::String:
        return Type::String;
    default:
        return Type::Unknown;
    }
}

int componentCount(const TypeInfo& info)
{
    switch (info.base) {
    case TypeInfo::Float:
    case TypeInfo::Int:
    case TypeInfo::Bool:
        return info.rows * info.cols;
    default:
        return 0;
    }
}

const char* typeString(Type type)
{
    static const char* const names[] = {
        "unknown",   "float",     "float2",   "float3",    "float4",   "float2x2",    "float3x3",
        "float4x4",  "int",       "int2",     "int3",      "int4",     "bool",        "bool2",
        "bool3",     "bool4",     "sampler1D", "sampler2D", "sampler3D", "samplerCUBE", "texture",
        "string",
    };
    size_t i = size_t(type);
    return i < sizeof(names) / sizeof(names[0]) ? names[i] : "unknown";
}

}  // namespace fx
