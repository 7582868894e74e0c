#include "effects/vantel.h"

int Vantel::init() { return 0; }

void Vantel::render(float /*localTime*/) {}

int VantelObject::init() { return 0; }

void VantelObject::render(float /*localTime*/) {}
