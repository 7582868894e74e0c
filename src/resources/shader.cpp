#include "resources/shader.h"

#include "base/log.h"
#include "resources/control_bar.h"
#include "resources/loader.h"
#include "resources/reload.h"

#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Appends to the current log line without ending it.
template <typename T>
void logPiece(const T& piece)
{
    if (coreLog.created) {
        coreLog.stream << piece;
    }
}

// The first line of a listing, for a one-line note.
std::string firstLine(const char* text)
{
    std::string line = text ? text : "";
    const size_t start = line.find_first_not_of("\n");
    line = start == std::string::npos ? "" : line.substr(start);
    return line.substr(0, line.find('\n'));
}

void reportCompileError(fx::Context* context, const std::string& source)
{
    int error = fx::lastError(context);
    if (error == fx::NoError) {
        return;
    }
    if (error == fx::CompilerError) {
        CORE_LOG("\nsituation: " << "creating effect" << " error: " << fx::errorString(error)
                                 << " cg compiler output: " << fx::lastListing(context));
        noteLoadFailure(source, std::string("creating effect error: ") + fx::errorString(error) + ": " +
                                    firstLine(fx::lastListing(context)));
    } else {
        CORE_LOG("\nsituation: " << "creating effect" << " error: " << fx::errorString(error));
        noteLoadFailure(source, std::string("creating effect error: ") + fx::errorString(error));
    }
}

fx::Technique* chooseTechnique(fx::Effect* effect)
{
    for (fx::Technique* t = fx::firstTechnique(effect); t; t = fx::nextTechnique(t)) {
        if (fx::validateTechnique(t)) {
            return t;
        }
        CORE_LOG("technique " << fx::techniqueName(t) << " did not validate, skipping.");
    }
    return nullptr;
}

// A recompiled effect's parameter that kept its handle keeps its place on the bar.
bool alreadyTweakable(fx::Effect* effect, fx::Parameter* parameter)
{
    for (const Tweakable& t : controlBar.tweakables) {
        if (t.effect == effect && t.parameter == parameter) {
            return true;
        }
    }
    return false;
}

void registerParameters(Shader& shader)
{
    std::string group = shader.source;
    size_t slash = group.rfind('/');
    if (slash != std::string::npos) {
        group = group.substr(slash + 1);
    }
    std::ostringstream definition;
    for (fx::Parameter* p = fx::firstParameter(shader.effect); p; p = fx::nextParameter(p)) {
        const char* name = fx::parameterName(p);
        CORE_LOG("found parameter: " << name);
        float minVal = 0.0f, maxVal = 100.0f, stepVal = 0.01f;
        const char* typeName = fx::typeString(fx::parameterType(p));
        CORE_LOG("param type: " << typeName);
        for (fx::Annotation* a = fx::firstParameterAnnotation(p); a; a = fx::nextAnnotation(a)) {
            const std::string annotationName = fx::annotationName(a);
            const std::string annotationType = fx::typeString(fx::annotationType(a));
            CORE_LOG("\tfound annotation: " << annotationName);
            CORE_LOG("\t\tannotation type: " << annotationType);
            if (annotationType.compare(0, 5, "float") != 0) {
                continue;
            }
            int count = 0;
            const float* values = fx::floatAnnotationValues(a, &count);
            if (count < 1) {
                continue;
            }
            if (annotationName.compare(0, 5, "UIMax") == 0) {
                maxVal = values[0];
            } else if (annotationName.compare(0, 5, "UIMin") == 0) {
                minVal = values[0];
            } else if (annotationName.compare(0, 6, "UIStep") == 0) {
                stepVal = values[0];
            }
        }
        if (std::string(typeName) != "float") {
            continue;
        }
        float value = 0.0f;
        if (fx::defaultValues(p, &value, 1) < 1) {
            value = minVal;
            CORE_LOG("\tno default value specified. setting to minVal (" << minVal << ")");
        }
        definition.str("");
        definition.clear();
        definition << " group=" << group << " label='" << name << "' min=" << minVal << " max=" << maxVal
                   << " step=" << stepVal << " ";
        // The group without its extension "cgfx" (the dot stays), then the parameter name.
        std::string label = group.substr(0, group.size() >= 4 ? group.size() - 4 : 0) + name;
        if (!alreadyTweakable(shader.effect, p)) {
            controlBar.addTweakable(name, shader.effect, label.c_str(), value, definition.str().c_str());
        }
    }
}

// The scene's texture bindings must name samplers of the effect: a binding that finds
// none leaves its objects without their texture. The first that does not, or null.
const Sampler* unknownSampler(const Shader& shader)
{
    for (const Sampler& s : shader.sampler) {
        const fx::Parameter* p = fx::namedParameter(shader.effect, s.name.c_str());
        const fx::Type type = p ? fx::parameterType(p) : fx::Type::Unknown;
        if (type != fx::Type::Sampler1D && type != fx::Type::Sampler2D && type != fx::Type::Sampler3D &&
            type != fx::Type::SamplerCube) {
            return &s;
        }
    }
    return nullptr;
}

}  // namespace

unsigned loadShader(Loader& loader, Shader& shader)
{
    logPiece("load shader: ");
    logPiece(shader.source);
    logPiece(" .. ");
    uint32_t size = loader.fileSize(shader.source.c_str());
    if (size == 0) {
        CORE_LOG(" error, file size 0");
        noteLoadFailure(shader.source, "error, file size 0");
        return 1;
    }
    std::vector<char> text;
    try {
        text.assign(size_t(size) + 1, '\0');
    } catch (const std::bad_alloc&) {
        noteLoadFailure(shader.source, "out of memory for " + std::to_string(size) + " bytes");
        return 1;
    }
    char* buffer = text.data();
    if (loader.readFile(shader.source.c_str(), &buffer) != 0) {
        return 1;
    }
    text[size] = '\0';
    CORE_LOG("ok");

    fx::Context* context = fx::sharedContext();
    try {
        shader.effect = fx::createEffect(context, text.data(), shader.source.c_str());
    } catch (const std::bad_alloc&) {
        noteLoadFailure(shader.source, "out of memory while compiling");
        return 1;
    }
    reportCompileError(context, shader.source);
    text.clear();
    text.shrink_to_fit();

    shader.technique = chooseTechnique(shader.effect);
    if (!shader.technique) {
        CORE_LOG("no valid technique ");
        noteLoadFailure(shader.source, "no valid technique");
        return 1;
    }
    CORE_LOG("using technique " << fx::techniqueName(shader.technique));
    if (const Sampler* s = unknownSampler(shader)) {
        CORE_LOG("no sampler " << s->name << " in the effect");
        noteLoadFailure(shader.source, "the scene binds texture " + std::to_string(s->texID) + " to \"" + s->name +
                                           "\", which is not a sampler of this effect");
        return 1;
    }
    registerParameters(shader);
    reload::noteShader(shader);
    return 0;
}

std::string recompileShader(Shader& shader, const std::vector<char>& text)
{
    if (!shader.effect) {
        return "never loaded";
    }
    // Which tweakables still show the default of the version they came from.
    std::vector<bool> untouched(controlBar.tweakables.size(), false);
    for (size_t i = 0; i < controlBar.tweakables.size(); ++i) {
        const Tweakable& t = controlBar.tweakables[i];
        float value = 0.0f;
        untouched[i] = t.effect == shader.effect && fx::defaultValues(t.parameter, &value, 1) == 1 && value == t.value;
    }
    std::string source(text.begin(), text.end());
    fx::Context* context = fx::sharedContext();
    fx::Technique* technique = nullptr;
    try {
        technique = fx::recompileEffect(shader.effect, source.c_str());
    } catch (const std::bad_alloc&) {
        return "out of memory while compiling";
    }
    if (!technique) {
        fx::lastError(context);
        const std::string line = firstLine(fx::lastListing(context));
        CORE_LOG("reloading " << shader.source << " failed: " << fx::lastListing(context));
        return line.empty() ? "no valid technique" : line;
    }
    shader.technique = technique;
    for (size_t i = 0; i < untouched.size(); ++i) {
        Tweakable& t = controlBar.tweakables[i];
        if (untouched[i]) {
            fx::defaultValues(t.parameter, &t.value, 1);
        }
    }
    CORE_LOG("reloaded " << shader.source << ", using technique " << fx::techniqueName(technique));
    registerParameters(shader);
    return std::string();
}
