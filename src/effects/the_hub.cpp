#include "effects/the_hub.h"

int TheHub::init() { return 0; }

void TheHub::render(float /*localTime*/) {}
