#include "effects/blobs.h"

int Blobs::init() { return 0; }

void Blobs::render(float /*localTime*/) {}
