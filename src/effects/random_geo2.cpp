#include "effects/random_geo2.h"

int RandomGeo2::init() { return 0; }

void RandomGeo2::render(float /*localTime*/) {}
