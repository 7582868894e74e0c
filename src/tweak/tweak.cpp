#include "tweak/tweak.h"

namespace tweak {

bool handleEvent(const platform::Event&) { return false; }
void draw() {}

}  // namespace tweak
