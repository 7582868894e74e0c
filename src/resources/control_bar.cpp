#include "resources/control_bar.h"

#include "base/log.h"

namespace {

void setTweakable(const void* value, void* clientData)
{
    size_t i = reinterpret_cast<size_t>(clientData);
    if (i < controlBar.tweakables.size()) {
        controlBar.tweakables[i].value = *static_cast<const float*>(value);
    }
}

void getTweakable(void* value, void* clientData)
{
    size_t i = reinterpret_cast<size_t>(clientData);
    *static_cast<float*>(value) = i < controlBar.tweakables.size() ? controlBar.tweakables[i].value : 0.0f;
}

}  // namespace

int ControlBar::addTweakable(const char* parameterName, fx::Effect* effect, const char* label, float value,
                             const char* definition)
{
    tweakables.push_back({effect, value, parameterName ? parameterName : "", label ? label : "",
                          fx::namedParameter(effect, parameterName)});
    size_t i = tweakables.size() - 1;
    CORE_LOG("\tadding variable to gui: " << "(eff: " << static_cast<const void*>(effect) << ") "
                                          << tweakables[i].parameterName << " " << value << " "
                                          << (definition ? definition : ""));
    if (tweak::addVarCB(bar, tweakables[i].label.c_str(), tweak::Type::Float, setTweakable, getTweakable,
                        reinterpret_cast<void*>(i), definition) != 0) {
        CORE_LOG("\tadding variable to gui error: " << tweak::getLastError());
    }
    return 0;
}

void ControlBar::pushTweakables() const
{
    for (const Tweakable& t : tweakables) {
        fx::setParameter1f(t.parameter, t.value);
    }
}
