#include "effects/greetings.h"

int Greetings::init() { return 0; }

void Greetings::render(float /*localTime*/) {}
