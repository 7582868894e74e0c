#include "fx/conversions.h"

#include <algorithm>
#include <cstring>

namespace fx {

namespace {

constexpr int maxDepth = 200;

// A typed expression: tokens [b, e); `literal` is the token of a lone number (perhaps
// signed or in parentheses), else npos. base None = not known.
struct Expr {
    TypeInfo type;
    int arraySize = 0;
    size_t b = 0, e = 0;
    size_t literal = std::string::npos;
};

TypeInfo scalarOf(TypeInfo::Base base, int cols = 1)
{
    TypeInfo type;
    type.base = base;
    type.cols = cols;
    return type;
}

bool isSwizzle(std::string_view s)
{
    return !s.empty() && s.size() <= 4 && s.find_first_not_of("xyzwrgba") == std::string_view::npos;
}

class Typer {
public:
    Typer(const EffectData& effect, Conversions& out) : e(effect), t(effect.tokens), out(out)
    {
        if (out.floatLiteral.size() < t.size()) {
            out.floatLiteral.resize(t.size(), 0);
        }
    }

    void function(const FunctionData& f)
    {
        for (const VarDecl& p : f.params) {
            scope.push_back({p.name, p.type, p.arraySize});
        }
        returnType = f.returnType;
        limit = std::min(t.size(), f.bodyEnd + 1);
        size_t i = f.bodyBegin;
        statement(i);
    }

    void initializer(size_t begin, size_t end, const TypeInfo& type, int arraySize, std::string_view typeName)
    {
        limit = std::min(t.size(), end);
        if (begin >= limit) {
            return;
        }
        if (punct(begin, "{")) {
            initList(begin, matching(begin), type, arraySize, typeName);
        } else if (arraySize == 0) {
            Expr x = range(begin, limit);
            convert(x, type, true);
        }
    }

private:
    struct Variable {
        std::string_view name;
        TypeInfo type;
        int arraySize;
    };

    const EffectData& e;
    const std::vector<Token>& t;
    Conversions& out;
    std::vector<Variable> scope;
    TypeInfo returnType;
    size_t limit = 0;
    size_t pos = 0;
    int depth = 0;
    bool lost = false;

    struct Deeper {
        Typer& typer;
        explicit Deeper(Typer& t) : typer(t)
        {
            if (++typer.depth > maxDepth) {
                typer.lost = true;
            }
        }
        ~Deeper() { --typer.depth; }
    };

    bool punct(size_t i, const char* p) const { return i < limit && t[i].kind == Token::Punct && t[i].text == p; }
    bool word(size_t i, const char* w) const { return i < limit && t[i].kind == Token::Ident && t[i].text == w; }
    bool ident(size_t i) const { return i < limit && t[i].kind == Token::Ident; }

    // The bracket closing the one at `open`, or `limit`.
    size_t matching(size_t open) const
    {
        int level = 0;
        for (size_t i = open; i < limit; ++i) {
            if (t[i].kind != Token::Punct) {
                continue;
            }
            const std::string_view p = t[i].text;
            if (p == "(" || p == "[" || p == "{") {
                ++level;
            } else if ((p == ")" || p == "]" || p == "}") && --level == 0) {
                return i;
            }
        }
        return limit;
    }

    // The first `stop` at bracket level 0 in [b, end), or end.
    size_t find(size_t b, size_t end, const char* stop) const
    {
        int level = 0;
        for (size_t i = b; i < end; ++i) {
            if (t[i].kind != Token::Punct) {
                continue;
            }
            const std::string_view p = t[i].text;
            if (level == 0 && p == stop) {
                return i;
            }
            if (p == "(" || p == "[" || p == "{") {
                ++level;
            } else if (p == ")" || p == "]" || p == "}") {
                if (--level < 0) {
                    return i;
                }
            }
        }
        return end;
    }

    bool typeName(std::string_view name, TypeInfo& type) const
    {
        if (cgType(name, type)) {
            return true;
        }
        for (const StructData& s : e.structs) {
            if (s.name == name) {
                type = TypeInfo();
                type.base = TypeInfo::Struct;
                type.structName = name;
                return true;
            }
        }
        return false;
    }

    // Writes an integer expression as a float of `target`'s shape (assignments, arguments)
    // or of its own shape.
    void convert(Expr& x, const TypeInfo& target, bool targetShape)
    {
        if (x.type.base != TypeInfo::Int || x.type.matrix || x.arraySize || target.base != TypeInfo::Float ||
            x.e <= x.b) {
            return;
        }
        const int cols = targetShape && !target.matrix ? target.cols : x.type.cols;
        if (cols == 1 && x.type.cols == 1 && x.literal < out.floatLiteral.size()) {
            out.floatLiteral[x.literal] = 1;
        } else {
            out.wraps.insert({x.b, {x.e, glslType(scalarOf(TypeInfo::Float, cols))}});
        }
        x.type = scalarOf(TypeInfo::Float, cols);
    }

    // Binary operands: an integer beside a float becomes a float.
    void unify(Expr& a, Expr& b)
    {
        if (a.type.base == TypeInfo::Float && b.type.base == TypeInfo::Int) {
            convert(b, scalarOf(TypeInfo::Float), false);
        } else if (b.type.base == TypeInfo::Float && a.type.base == TypeInfo::Int) {
            convert(a, scalarOf(TypeInfo::Float), false);
        }
    }

    static TypeInfo wider(const TypeInfo& a, const TypeInfo& b)
    {
        if (a.base == TypeInfo::None || b.base == TypeInfo::None) {
            return TypeInfo();
        }
        if (a.matrix || b.matrix) {
            return a.matrix ? a : b;
        }
        TypeInfo w = a.cols >= b.cols ? a : b;
        if (a.base == TypeInfo::Float || b.base == TypeInfo::Float) {
            w.base = TypeInfo::Float;
        }
        return w;
    }

    // ---- statements ----

    void statement(size_t& i)
    {
        Deeper guard(*this);
        if (lost || i >= limit) {
            i = std::max(i, limit);
            return;
        }
        if (punct(i, "{")) {
            const size_t close = matching(i);
            const size_t mark = scope.size();
            for (++i; i < close && !lost;) {
                const size_t before = i;
                statement(i);
                i = std::max(i, before + 1);
            }
            scope.resize(mark);
            i = close + 1;
            return;
        }
        if (word(i, "if") || word(i, "while")) {
            const bool isIf = word(i, "if");
            ++i;
            condition(i);
            statement(i);
            if (isIf && word(i, "else")) {
                ++i;
                statement(i);
            }
            return;
        }
        if (word(i, "do")) {
            ++i;
            statement(i);
            if (word(i, "while")) {
                ++i;
                condition(i);
            }
            if (punct(i, ";")) {
                ++i;
            }
            return;
        }
        if (word(i, "for")) {
            ++i;
            if (!punct(i, "(")) {
                return;
            }
            const size_t close = matching(i);
            const size_t mark = scope.size();
            const size_t first = find(i + 1, close, ";");
            const size_t second = first < close ? find(first + 1, close, ";") : close;
            declarationOrExpression(i + 1, first);
            if (first < close) {
                range(first + 1, second);
            }
            if (second < close) {
                range(second + 1, close);
            }
            i = close + 1;
            statement(i);
            scope.resize(mark);
            return;
        }
        const size_t end = find(i, limit, ";");
        if (word(i, "return")) {
            if (end > i + 1) {
                Expr x = range(i + 1, end);
                if (returnType.base == TypeInfo::Float) {
                    convert(x, returnType, true);
                }
            }
        } else if (!word(i, "discard") && !word(i, "break") && !word(i, "continue")) {
            declarationOrExpression(i, end);
        }
        i = end + 1;
    }

    void condition(size_t& i)
    {
        if (punct(i, "(")) {
            const size_t close = matching(i);
            range(i + 1, close);
            i = close + 1;
        }
    }

    void declarationOrExpression(size_t b, size_t end)
    {
        size_t i = b;
        while (word(i, "const") || word(i, "static") || word(i, "uniform")) {
            ++i;
        }
        TypeInfo type;
        if (i + 1 < end && ident(i) && ident(i + 1) && typeName(t[i].text, type)) {
            declaration(i + 1, end, type, t[i].text);
        } else if (b < end) {
            range(b, end);
        }
    }

    // Declarators "name [N] [= init], ..." from i.
    void declaration(size_t i, size_t end, const TypeInfo& type, std::string_view name)
    {
        while (i < end && ident(i) && !lost) {
            Variable v{t[i].text, type, 0};
            ++i;
            if (punct(i, "[")) {
                const size_t close = matching(i);
                if (i + 2 == close && t[i + 1].kind == Token::Number) {
                    v.arraySize = std::max(1, std::atoi(std::string(t[i + 1].text).c_str()));
                }
                i = close + 1;
            }
            const size_t next = find(i, end, ",");
            if (punct(i, "=") && i + 1 < next) {
                if (punct(i + 1, "{")) {
                    initList(i + 1, matching(i + 1), type, v.arraySize, name);
                } else if (v.arraySize == 0) {
                    Expr x = range(i + 1, next);
                    convert(x, type, true);
                }
            }
            scope.push_back(v);
            i = next + 1;
        }
    }

    // A `{...}` list for a value of `type`: array elements and struct members; a vector's
    // or matrix's list becomes a constructor, which converts by itself.
    void initList(size_t open, size_t close, const TypeInfo& type, int arraySize, std::string_view name)
    {
        Deeper guard(*this);
        const StructData* structure = nullptr;
        if (type.base == TypeInfo::Struct) {
            for (const StructData& s : e.structs) {
                structure = s.name == type.structName || s.name == name ? &s : structure;
            }
        }
        size_t k = 0;
        for (size_t b = open + 1; b < close && !lost; ++k) {
            const size_t end = find(b, close, ",");
            TypeInfo element = arraySize > 0 ? type : TypeInfo();
            int elementArray = 0;
            std::string_view elementName = arraySize > 0 ? name : std::string_view();
            if (arraySize == 0 && structure && k < structure->members.size()) {
                element = structure->members[k].type;
                elementArray = structure->members[k].arraySize;
                elementName = structure->members[k].typeName;
            }
            if (punct(b, "{")) {
                initList(b, matching(b), element, elementArray, elementName);
            } else if (b < end && elementArray == 0) {
                Expr x = range(b, end);
                convert(x, element, true);
            }
            b = end + 1;
        }
    }

    // ---- expressions ----

    Expr range(size_t b, size_t end)
    {
        const size_t savedLimit = limit;
        const size_t savedPos = pos;
        limit = std::min(end, savedLimit);
        pos = b;
        Expr x;
        x.b = b;
        if (b < limit) {
            x = expression();
        }
        limit = savedLimit;
        pos = savedPos;
        return x;
    }

    Expr unknown(size_t b)
    {
        Expr x;
        x.b = b;
        x.e = std::max(b, pos);
        return x;
    }

    Expr expression()
    {
        Expr x = assignment();
        while (punct(pos, ",") && !lost) {
            ++pos;
            x = assignment();
        }
        return x;
    }

    Expr assignment()
    {
        static const char* const ops[] = {"=", "+=", "-=", "*=", "/=", "%="};
        const size_t b = pos;
        Expr left = ternary();
        for (const char* op : ops) {
            if (punct(pos, op)) {
                ++pos;
                Expr right = assignment();
                if (left.type.base == TypeInfo::Float) {
                    // "v = 1" promotes to the vector; "v *= 2" scales by a float.
                    convert(right, left.type, op[0] == '=');
                }
                left.b = b;
                left.e = pos;
                left.literal = std::string::npos;
                return left;
            }
        }
        return left;
    }

    Expr ternary()
    {
        const size_t b = pos;
        Expr x = binary(0);
        if (!punct(pos, "?")) {
            return x;
        }
        ++pos;
        Expr a = assignment();
        if (punct(pos, ":")) {
            ++pos;
        }
        Expr c = assignment();
        unify(a, c);
        Expr result;
        result.type = wider(a.type, c.type);
        result.b = b;
        result.e = pos;
        return result;
    }

    Expr binary(int level)
    {
        static const char* const levels[][4] = {
            {"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"==", "!="}, {"<", ">", "<=", ">="}, {"<<", ">>"}, {"+", "-"},
            {"*", "/", "%"},
        };
        constexpr int count = int(sizeof(levels) / sizeof(levels[0]));
        if (level == count) {
            return unary();
        }
        const size_t b = pos;
        Expr left = binary(level + 1);
        for (bool more = true; more && !lost;) {
            more = false;
            for (const char* op : levels[level]) {
                if (op && punct(pos, op)) {
                    ++pos;
                    Expr right = binary(level + 1);
                    TypeInfo type;
                    if (level <= 1 || level == 5 || level == 6) {
                        unify(left, right);
                        type = scalarOf(TypeInfo::Bool);
                    } else if (level >= 8) {
                        unify(left, right);
                        type = wider(left.type, right.type);
                    } else {
                        type = left.type;
                    }
                    left = Expr();
                    left.type = type;
                    left.b = b;
                    left.e = pos;
                    more = true;
                    break;
                }
            }
        }
        return left;
    }

    Expr unary()
    {
        Deeper guard(*this);
        const size_t b = pos;
        if (lost || pos >= limit) {
            pos = std::max(pos, limit);
            return unknown(b);
        }
        if (punct(pos, "-") || punct(pos, "+") || punct(pos, "!") || punct(pos, "~") || punct(pos, "++") ||
            punct(pos, "--")) {
            const bool sign = punct(pos, "-") || punct(pos, "+");
            const bool negation = punct(pos, "!");
            ++pos;
            Expr x = unary();
            x.b = b;
            if (!sign) {
                x.literal = std::string::npos;
            }
            if (negation) {
                x.type = scalarOf(TypeInfo::Bool);
            }
            return x;
        }
        TypeInfo cast;
        if (punct(pos, "(") && ident(pos + 1) && punct(pos + 2, ")") && typeName(t[pos + 1].text, cast) &&
            (ident(pos + 3) || punct(pos + 3, "(") || (pos + 3 < limit && t[pos + 3].kind == Token::Number))) {
            pos += 3;
            Expr x = unary();
            x.type = cast;
            x.b = b;
            x.literal = std::string::npos;
            return x;
        }
        return postfix(primary());
    }

    Expr postfix(Expr x)
    {
        while (!lost) {
            if (punct(pos, "[")) {
                const size_t close = matching(pos);
                range(pos + 1, close);
                pos = close + 1;
                if (x.arraySize > 0) {
                    x.arraySize = 0;
                } else if (x.type.matrix) {
                    x.type = scalarOf(x.type.base, x.type.cols);  // row i
                } else if (x.type.cols > 1) {
                    x.type = scalarOf(x.type.base);
                } else {
                    x.type = TypeInfo();
                }
            } else if (punct(pos, ".") && ident(pos + 1)) {
                x.type = member(x, t[pos + 1].text);
                x.arraySize = memberArray;
                pos += 2;
            } else if (punct(pos, "++") || punct(pos, "--")) {
                ++pos;
            } else {
                break;
            }
            x.literal = std::string::npos;
        }
        x.e = pos;
        return x;
    }

    int memberArray = 0;
    TypeInfo member(const Expr& x, std::string_view name)
    {
        memberArray = 0;
        if (x.arraySize > 0) {
            return TypeInfo();
        }
        if (x.type.base == TypeInfo::Struct) {
            for (const StructData& s : e.structs) {
                if (s.name != x.type.structName) {
                    continue;
                }
                for (const VarDecl& m : s.members) {
                    if (m.name == name) {
                        memberArray = m.arraySize;
                        return m.type;
                    }
                }
            }
            return TypeInfo();
        }
        if (!x.type.matrix && (x.type.base == TypeInfo::Float || x.type.base == TypeInfo::Int ||
                               x.type.base == TypeInfo::Bool) && isSwizzle(name)) {
            return scalarOf(x.type.base, int(name.size()));
        }
        return TypeInfo();
    }

    Expr primary()
    {
        const size_t b = pos;
        const Token& k = t[pos];
        if (k.kind == Token::Number) {
            ++pos;
            Expr x;
            const std::string_view s = k.text;
            const bool hex = s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
            const bool isFloat = !hex && (s.find_first_of(".eEfFhH") != std::string_view::npos);
            x.type = scalarOf(isFloat ? TypeInfo::Float : TypeInfo::Int);
            x.b = b;
            x.e = pos;
            x.literal = b;
            return x;
        }
        if (punct(pos, "(")) {
            const size_t close = matching(pos);
            Expr x = range(pos + 1, close);
            pos = close + 1;
            x.b = b;
            x.e = pos;
            return x;
        }
        if (k.kind != Token::Ident) {
            ++pos;
            return unknown(b);
        }
        ++pos;
        if (k.text == "true" || k.text == "false") {
            Expr x = unknown(b);
            x.type = scalarOf(TypeInfo::Bool);
            return x;
        }
        if (k.text == "glstate") {
            while (punct(pos, ".") && ident(pos + 1)) {
                pos += 2;
                if (punct(pos, "[")) {
                    pos = matching(pos) + 1;
                }
            }
            Expr x = unknown(b);
            x.type = scalarOf(TypeInfo::Float, 4);
            x.type.rows = 4;
            x.type.matrix = true;
            return x;
        }
        if (punct(pos, "(")) {
            return call(b, k.text);
        }
        Expr x = unknown(b);
        lookUp(k.text, x);
        return x;
    }

    void lookUp(std::string_view name, Expr& x) const
    {
        for (size_t i = scope.size(); i-- > 0;) {
            if (scope[i].name == name) {
                x.type = scope[i].type;
                x.arraySize = scope[i].arraySize;
                return;
            }
        }
        for (const StaticData& s : e.statics) {
            if (s.decl.name == name) {
                x.type = s.decl.type;
                x.arraySize = s.decl.arraySize;
                return;
            }
        }
        auto it = e.byName.find(name);
        if (it != e.byName.end()) {
            x.type = it->second->type;
        }
    }

    // A call at `b` (name) with pos at its '('.
    Expr call(size_t b, std::string_view name)
    {
        const size_t close = matching(pos);
        std::vector<Expr> args;
        for (size_t a = pos + 1; a < close && !lost;) {
            const size_t end = find(a, close, ",");
            args.push_back(range(a, end));
            a = end + 1;
        }
        pos = close + 1;
        Expr x = unknown(b);
        TypeInfo constructed;
        if (typeName(name, constructed)) {
            x.type = constructed;  // constructors convert by themselves
            return x;
        }
        std::vector<const FunctionData*> candidates;
        for (const FunctionData& f : e.functions) {
            if (f.name == name && f.params.size() == args.size()) {
                candidates.push_back(&f);
            }
        }
        if (!candidates.empty()) {
            for (size_t k = 0; k < args.size(); ++k) {
                bool toFloat = true;
                for (const FunctionData* f : candidates) {
                    const VarDecl& p = f->params[k];
                    toFloat = toFloat && p.type.base == TypeInfo::Float && p.qualifier != "out" &&
                              p.qualifier != "inout" && p.type.cols == candidates[0]->params[k].type.cols;
                }
                if (toFloat) {
                    convert(args[k], candidates[0]->params[k].type, true);
                }
            }
            x.type = candidates[0]->returnType;
            return x;
        }
        if (name == "mul") {
            if (args.size() == 2) {
                const TypeInfo& l = args[0].type;
                const TypeInfo& r = args[1].type;
                if (l.matrix && r.matrix) {
                    x.type = l;
                    x.type.cols = r.cols;
                } else if (l.matrix && r.base != TypeInfo::None) {
                    x.type = scalarOf(TypeInfo::Float, l.rows);
                } else if (r.matrix && l.base != TypeInfo::None) {
                    x.type = scalarOf(TypeInfo::Float, r.cols);
                }
            }
            return x;
        }
        // Intrinsics: integers among floats, or given to a function of floats only, convert.
        static const char* const integerToo[] = {"abs", "min", "max", "clamp", "sign"};
        bool anyFloat = false;
        for (const Expr& a : args) {
            anyFloat = anyFloat || a.type.base == TypeInfo::Float;
        }
        bool floatsOnly = true;
        for (const char* n : integerToo) {
            floatsOnly = floatsOnly && name != n;
        }
        TypeInfo result = args.empty() ? TypeInfo() : args[0].type;
        for (Expr& a : args) {
            if (anyFloat || floatsOnly) {
                convert(a, scalarOf(TypeInfo::Float), false);
            }
            result = wider(result, a.type);
        }
        if (name == "dot" || name == "length" || name == "distance" || name == "determinant") {
            x.type = scalarOf(TypeInfo::Float);
        } else if (name == "cross") {
            x.type = scalarOf(TypeInfo::Float, 3);
        } else if (name == "all" || name == "any") {
            x.type = scalarOf(TypeInfo::Bool);
        } else if (name.substr(0, 3) == "tex") {
            x.type = scalarOf(TypeInfo::Float, 4);
        } else if (name == "transpose" && !args.empty()) {
            x.type = args[0].type;
        } else if (name != "sincos" && name != "clip") {
            x.type = result;
        }
        return x;
    }
};

}  // namespace

void findConversions(const EffectData& effect, const FunctionData& function, Conversions& out)
{
    Typer(effect, out).function(function);
}

void findConversions(const EffectData& effect, size_t begin, size_t end, const TypeInfo& type, Conversions& out,
                     int arraySize, std::string_view typeName)
{
    Typer(effect, out).initializer(begin, end, type, arraySize, typeName);
}

}  // namespace fx
