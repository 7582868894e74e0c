#include "tweak/tweak.h"

#include "platform/gui_backend.h"

#include <imgui.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace tweak {

namespace {

void defaultHandler(const char* message) { std::fprintf(stderr, "tweak bar: %s\n", message); }

bool gInitialized = false;
bool gVisible = false;
const std::vector<std::string>* gNotice = nullptr;
std::deque<Bar> gBars;
std::string gLastError;
ErrorHandler gHandler = defaultHandler;

int fail(const std::string& message)
{
    gLastError = message;
    if (gHandler) {
        gHandler(gLastError.c_str());
    }
    return 1;
}

bool sameKey(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

struct Attribute {
    std::string key;
    std::string value;
    bool hasValue = false;
};

// Splits "key=value key='quoted value' flag" into attributes; false on a broken quote.
bool splitAttributes(const char* text, std::deque<Attribute>& out)
{
    const char* p = text ? text : "";
    while (*p) {
        while (*p && std::isspace(static_cast<unsigned char>(*p))) {
            ++p;
        }
        if (!*p) {
            break;
        }
        Attribute a;
        while (*p && *p != '=' && !std::isspace(static_cast<unsigned char>(*p))) {
            a.key += *p++;
        }
        if (*p == '=') {
            ++p;
            a.hasValue = true;
            if (*p == '\'' || *p == '"' || *p == '`') {
                char quote = *p++;
                while (*p && *p != quote) {
                    a.value += *p++;
                }
                if (*p != quote) {
                    return false;
                }
                ++p;
            } else {
                while (*p && !std::isspace(static_cast<unsigned char>(*p))) {
                    a.value += *p++;
                }
            }
        }
        out.push_back(std::move(a));
    }
    return true;
}

bool parseNumber(const std::string& text, double& out)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

bool parseBool(const std::string& text, bool& out)
{
    if (sameKey(text, "true") || text == "1") {
        out = true;
    } else if (sameKey(text, "false") || text == "0") {
        out = false;
    } else {
        return false;
    }
    return true;
}

bool parseKey(const std::string& text, int& out)
{
    if (text.size() == 1) {
        out = static_cast<unsigned char>(text[0]);
        return true;
    }
    if (sameKey(text, "SPACE")) {
        out = ' ';
        return true;
    }
    return false;
}

int applyToBar(Bar& bar, const Attribute& a)
{
    const std::string& k = a.key;
    bool flag = false;
    if (sameKey(k, "show") && !a.hasValue) {
        bar.shown = true;
        bar.iconified = false;
    } else if (sameKey(k, "hide") && !a.hasValue) {
        bar.shown = false;
    } else if (sameKey(k, "iconify") && !a.hasValue) {
        bar.iconified = true;
    } else if (sameKey(k, "label") && a.hasValue) {
        bar.label = a.value;
    } else if (sameKey(k, "help") && a.hasValue) {
    } else if ((sameKey(k, "visible") || sameKey(k, "iconified")) && a.hasValue && parseBool(a.value, flag)) {
        (sameKey(k, "visible") ? bar.shown : bar.iconified) = flag;
    } else if (sameKey(k, "refresh") && a.hasValue) {
        double v = 0;
        if (!parseNumber(a.value, v) || v < 0) {
            return fail("invalid refresh value '" + a.value + "' for bar '" + bar.name + "'");
        }
        bar.refresh = float(v);
    } else if (sameKey(k, "valuesWidth") && a.hasValue) {
        double v = 0;
        if (!parseNumber(a.value, v) || v < 0 || v > 4096) {
            return fail("invalid valuesWidth '" + a.value + "' for bar '" + bar.name + "'");
        }
        bar.valuesWidth = int(v);
    } else if ((sameKey(k, "size") || sameKey(k, "position")) && a.hasValue) {
        int w = 0, h = 0;
        char extra = 0;
        if (std::sscanf(a.value.c_str(), "%d %d %c", &w, &h, &extra) != 2 || w < 0 || h < 0) {
            return fail("invalid " + k + " '" + a.value + "' for bar '" + bar.name + "'");
        }
        if (sameKey(k, "size")) {
            bar.width = w;
            bar.height = h;
        }
    } else {
        return fail("unknown bar attribute '" + k + "' for bar '" + bar.name + "'");
    }
    return 0;
}

int applyToVariable(Variable& v, const Attribute& a)
{
    const std::string& k = a.key;
    double number = 0;
    bool flag = false;
    if (sameKey(k, "show") && !a.hasValue) {
        v.visible = true;
    } else if (sameKey(k, "hide") && !a.hasValue) {
        v.visible = false;
    } else if (!a.hasValue) {
        return fail("attribute '" + k + "' of '" + v.name + "' needs a value");
    } else if (sameKey(k, "label")) {
        v.label = a.value;
    } else if (sameKey(k, "group")) {
        v.group = a.value;
    } else if (sameKey(k, "help")) {
        v.help = a.value;
    } else if (sameKey(k, "visible") || sameKey(k, "readonly")) {
        if (!parseBool(a.value, flag)) {
            return fail("invalid value '" + a.value + "' for " + k + " of '" + v.name + "'");
        }
        (sameKey(k, "visible") ? v.visible : v.readOnly) = flag;
    } else if (sameKey(k, "min") || sameKey(k, "max") || sameKey(k, "step") || sameKey(k, "precision")) {
        if (v.isButton || !parseNumber(a.value, number)) {
            return fail("invalid value '" + a.value + "' for " + k + " of '" + v.name + "'");
        }
        if (sameKey(k, "min")) {
            v.min = number;
            v.hasMin = true;
        } else if (sameKey(k, "max")) {
            v.max = number;
            v.hasMax = true;
        } else if (sameKey(k, "step")) {
            if (number < 0) {
                return fail("negative step for '" + v.name + "'");
            }
            v.step = number;
        } else {
            if (number < 0 || number > 12) {
                return fail("precision of '" + v.name + "' out of range");
            }
            v.precision = int(number);
        }
    } else if (sameKey(k, "keyincr") || sameKey(k, "keydecr")) {
        int key = 0;
        if (!parseKey(a.value, key)) {
            return fail("unknown key '" + a.value + "' for '" + v.name + "'");
        }
        (sameKey(k, "keyincr") ? v.keyIncr : v.keyDecr) = key;
    } else {
        return fail("unknown attribute '" + k + "' for '" + v.name + "'");
    }
    return 0;
}

// Applies the attributes in order; 1 at the first one refused.
template <typename Target, typename Apply>
int applyEach(Target& target, const std::deque<Attribute>& attributes, Apply apply)
{
    for (const Attribute& a : attributes) {
        if (apply(target, a) != 0) {
            return 1;
        }
    }
    return 0;
}

int applyAll(Variable& v, const char* definition)
{
    std::deque<Attribute> attributes;
    if (!splitAttributes(definition, attributes)) {
        return fail(std::string("unterminated quote in definition '") + definition + "'");
    }
    return applyEach(v, attributes, applyToVariable);
}

Variable* addVariable(Bar* bar, const char* name)
{
    if (!gInitialized) {
        fail("the tweak bar is not started");
        return nullptr;
    }
    bool known = false;
    for (const Bar& b : gBars) {
        known = known || &b == bar;
    }
    if (!known) {  // null, or a bar of an earlier start
        fail("invalid bar");
        return nullptr;
    }
    if (!name || !*name) {
        fail("a variable needs a name");
        return nullptr;
    }
    if (findVariable(bar, name)) {
        fail(std::string("a variable named '") + name + "' already exists in bar '" + bar->name + "'");
        return nullptr;
    }
    Variable& v = bar->variables.emplace_back();
    v.name = name;
    v.label = name;
    return &v;
}

double stepOf(const Variable& v)
{
    if (v.step > 0) {
        return v.step;
    }
    return v.type == Type::Float ? 0.01 : 1.0;
}

void drawVariable(Variable& v)
{
    if (!v.visible) {
        return;
    }
    ImGui::PushID(v.name.c_str());
    if (v.readOnly) {
        ImGui::BeginDisabled();
    }
    if (v.isButton) {
        if (ImGui::Button(v.label.c_str()) && v.button) {
            v.button(v.clientData);
        }
    } else {
        double value = 0;
        getValue(&v, &value);
        if (v.type == Type::Float) {
            float f = float(value);
            char format[16];
            std::snprintf(format, sizeof(format), "%%.%df", v.precision >= 0 ? v.precision : 3);
            float lo = v.hasMin ? float(v.min) : 0.0f, hi = v.hasMax ? float(v.max) : 0.0f;
            if (ImGui::DragFloat(v.label.c_str(), &f, float(stepOf(v)), lo, hi, format)) {
                setValue(&v, f);
            }
        } else if (v.type == Type::Int32) {
            int i = int(value);
            int lo = v.hasMin ? int(v.min) : 0, hi = v.hasMax ? int(v.max) : 0;
            if (ImGui::DragInt(v.label.c_str(), &i, float(stepOf(v)), lo, hi)) {
                setValue(&v, i);
            }
        } else {
            bool b = value != 0;
            if (ImGui::Checkbox(v.label.c_str(), &b)) {
                setValue(&v, b ? 1 : 0);
            }
        }
    }
    if (v.readOnly) {
        ImGui::EndDisabled();
    }
    if (!v.help.empty() && ImGui::IsItemHovered()) {
        ImGui::SetTooltip("%s", v.help.c_str());
    }
    ImGui::PopID();
}

void drawBar(Bar& bar, int index)
{
    ImGui::SetNextWindowPos(ImVec2(12.0f + 24.0f * float(index), 12.0f), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(float(bar.width), float(bar.height)), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowCollapsed(bar.iconified, ImGuiCond_FirstUseEver);
    ImGui::PushID(bar.name.c_str());
    if (ImGui::Begin(bar.label.c_str())) {
        if (bar.valuesWidth > 0) {
            ImGui::PushItemWidth(float(bar.valuesWidth));
        }
        for (Variable& v : bar.variables) {
            if (v.group.empty()) {
                drawVariable(v);
            }
        }
        // Groups in the order of their first variable (no allocation: scan back).
        for (size_t i = 0; i < bar.variables.size(); ++i) {
            const std::string& group = bar.variables[i].group;
            bool first = !group.empty();
            for (size_t j = 0; j < i && first; ++j) {
                first = bar.variables[j].group != group;
            }
            if (!first || !ImGui::TreeNode(group.c_str())) {
                continue;
            }
            for (size_t j = i; j < bar.variables.size(); ++j) {
                if (bar.variables[j].group == group) {
                    drawVariable(bar.variables[j]);
                }
            }
            ImGui::TreePop();
        }
        if (bar.valuesWidth > 0) {
            ImGui::PopItemWidth();
        }
    }
    ImGui::End();
    ImGui::PopID();
}

}  // namespace

int init()
{
    if (gInitialized) {
        return fail("the tweak bar is already started");
    }
    gInitialized = true;
    gVisible = false;
    gLastError.clear();
    return 0;
}

void terminate()
{
    gBars.clear();
    platform::guiShutdown();
    gInitialized = false;
    gVisible = false;
    gHandler = defaultHandler;
}

bool initialized() { return gInitialized; }

Bar* newBar(const char* name)
{
    if (!gInitialized) {
        fail("the tweak bar is not started");
        return nullptr;
    }
    if (!name || !*name || std::strchr(name, '/') || findBar(name)) {
        fail(std::string("cannot create bar '") + (name ? name : "") + "'");
        return nullptr;
    }
    Bar& bar = gBars.emplace_back();
    bar.name = name;
    bar.label = name;
    return &bar;
}

Bar* findBar(const char* name)
{
    if (!name) {
        return nullptr;
    }
    for (Bar& bar : gBars) {
        if (bar.name == name) {
            return &bar;
        }
    }
    return nullptr;
}

Variable* findVariable(Bar* bar, const char* name)
{
    if (!bar || !name) {
        return nullptr;
    }
    for (Variable& v : bar->variables) {
        if (v.name == name) {
            return &v;
        }
    }
    return nullptr;
}

int define(const char* definition)
{
    if (!gInitialized) {
        return fail("the tweak bar is not started");
    }
    std::deque<Attribute> attributes;
    if (!splitAttributes(definition, attributes)) {
        return fail(std::string("unterminated quote in definition '") + (definition ? definition : "") + "'");
    }
    if (attributes.empty() || attributes[0].hasValue) {
        return fail(std::string("definition '") + (definition ? definition : "") + "' names no bar");
    }
    std::string target = attributes[0].key;
    attributes.pop_front();
    size_t slash = target.find('/');
    Bar* bar = findBar(target.substr(0, slash).c_str());
    if (!bar) {
        return fail("unknown bar '" + target.substr(0, slash) + "'");
    }
    if (slash != std::string::npos) {
        Variable* v = findVariable(bar, target.substr(slash + 1).c_str());
        if (!v) {
            return fail("unknown variable '" + target + "'");
        }
        return applyEach(*v, attributes, applyToVariable);
    }
    return applyEach(*bar, attributes, applyToBar);
}

int addButton(Bar* bar, const char* name, ButtonCallback callback, void* clientData, const char* definition)
{
    Variable* v = addVariable(bar, name);
    if (!v) {
        return 1;
    }
    v->isButton = true;
    v->button = callback;
    v->clientData = clientData;
    return applyAll(*v, definition);
}

int addVarRW(Bar* bar, const char* name, Type type, void* variable, const char* definition)
{
    if (!variable) {
        return fail(std::string("variable '") + (name ? name : "") + "' has no address");
    }
    Variable* v = addVariable(bar, name);
    if (!v) {
        return 1;
    }
    v->type = type;
    v->address = variable;
    return applyAll(*v, definition);
}

int addVarCB(Bar* bar, const char* name, Type type, SetCallback set, GetCallback get, void* clientData,
             const char* definition)
{
    if (!get) {
        return fail(std::string("variable '") + (name ? name : "") + "' has no getter");
    }
    Variable* v = addVariable(bar, name);
    if (!v) {
        return 1;
    }
    v->type = type;
    v->set = set;
    v->get = get;
    v->clientData = clientData;
    v->readOnly = set == nullptr;
    return applyAll(*v, definition);
}

void handleErrors(ErrorHandler handler) { gHandler = handler ? handler : defaultHandler; }

const char* getLastError() { return gLastError.c_str(); }

bool getValue(Variable* v, double* value)
{
    if (!v || v->isButton || !value) {
        return false;
    }
    union {
        float f;
        int32_t i;
        bool b;
    } storage{};
    void* p = v->address;
    if (!p) {
        if (!v->get) {
            return false;
        }
        v->get(&storage, v->clientData);
        p = &storage;
    }
    switch (v->type) {
    case Type::Float:
        *value = *static_cast<float*>(p);
        break;
    case Type::Int32:
        *value = *static_cast<int32_t*>(p);
        break;
    case Type::BoolCpp:
        *value = *static_cast<bool*>(p) ? 1.0 : 0.0;
        break;
    }
    return true;
}

bool setValue(Variable* v, double value)
{
    if (!v || v->isButton || (!v->address && !v->set) || std::isnan(value)) {
        return false;
    }
    if (v->hasMax && value > v->max) {
        value = v->max;
    }
    if (v->hasMin && value < v->min) {
        value = v->min;
    }
    union {
        float f;
        int32_t i;
        bool b;
    } storage{};
    switch (v->type) {
    case Type::Float:
        storage.f = float(value);
        break;
    case Type::Int32:
        value = value < -2147483648.0 ? -2147483648.0 : value > 2147483647.0 ? 2147483647.0 : value;
        storage.i = int32_t(std::lround(value));
        break;
    case Type::BoolCpp:
        storage.b = value != 0.0;
        break;
    }
    if (v->address) {
        size_t size = v->type == Type::Float ? sizeof(float) : v->type == Type::Int32 ? sizeof(int32_t) : sizeof(bool);
        std::memcpy(v->address, &storage, size);
    } else {
        v->set(&storage, v->clientData);
    }
    return true;
}

bool handleEvent(const platform::Event& event)
{
    if (!gInitialized) {
        return false;
    }
    if (event.kind == platform::Event::KeyDown && event.key == platform::guiToggleKey()) {
        gVisible = !gVisible;
        return true;
    }
    bool typing = gVisible && platform::guiTyping();
    if (!typing && event.kind == platform::Event::KeyDown && event.key != 0) {
        bool handled = false;
        for (Bar& bar : gBars) {
            for (Variable& v : bar.variables) {
                if (v.isButton || v.readOnly || (event.key != v.keyIncr && event.key != v.keyDecr)) {
                    continue;
                }
                double value = 0;
                if (getValue(&v, &value)) {
                    setValue(&v, value + (event.key == v.keyIncr ? stepOf(v) : -stepOf(v)));
                    handled = true;
                }
            }
        }
        if (handled) {
            return true;
        }
    }
    return gVisible && platform::guiProcessEvent(event);
}

// The notice in the foreground, above the bars: each line wrapped at the window's
// width, the whole on a dark box that keeps it readable over any picture.
void drawNotice(const std::vector<std::string>& lines)
{
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImFont* font = ImGui::GetFont();
    const float size = ImGui::GetFontSize() * (display.y >= 1000.0f ? 2.0f : display.y >= 700.0f ? 1.5f : 1.0f);
    const float margin = size * 0.5f;
    const float wrap = display.x - 4.0f * margin > size * 8.0f ? display.x - 4.0f * margin : size * 8.0f;
    float width = 0.0f;
    float height = 0.0f;
    for (const std::string& line : lines) {
        const ImVec2 extent = font->CalcTextSizeA(size, FLT_MAX, wrap, line.c_str());
        width = extent.x > width ? extent.x : width;
        height += extent.y;
    }
    ImDrawList* list = ImGui::GetForegroundDrawList();
    list->AddRectFilled(ImVec2(margin, margin), ImVec2(3.0f * margin + width, 3.0f * margin + height),
                        IM_COL32(0, 0, 0, 230), margin * 0.5f);
    float y = 2.0f * margin;
    for (const std::string& line : lines) {
        list->AddText(font, size, ImVec2(2.0f * margin, y), IM_COL32(255, 214, 96, 255), line.c_str(), nullptr, wrap);
        y += font->CalcTextSizeA(size, FLT_MAX, wrap, line.c_str()).y;
    }
}

void draw()
{
    const bool notice = gNotice && !gNotice->empty();
    if (!gInitialized || !(gVisible || notice) || !platform::guiInit()) {
        return;
    }
    platform::guiNewFrame();
    int index = 0;
    for (Bar& bar : gBars) {
        if (bar.shown && gVisible) {
            drawBar(bar, index++);
        }
    }
    if (notice) {
        drawNotice(*gNotice);
    }
    platform::guiRender();
}

void setNotice(const std::vector<std::string>* lines) { gNotice = lines; }

bool visible() { return gVisible; }
void setVisible(bool on) { gVisible = on; }

}  // namespace tweak
