#include "effects/stripes_dof.h"

int StripesDOF::init() { return 0; }

void StripesDOF::render(float /*localTime*/) {}
