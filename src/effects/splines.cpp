#include "effects/splines.h"

int Splines::init() { return 0; }

void Splines::render(float /*localTime*/) {}
