#include "effects/credits.h"

int Credits::init() { return 0; }

void Credits::render(float /*localTime*/) {}
