#include "effects/phalanx.h"

int Phalanx::init() { return 0; }

void Phalanx::render(float /*localTime*/) {}
