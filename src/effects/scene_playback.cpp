#include "effects/scene_playback.h"

int Scene01::init() { return 0; }

void Scene01::render(float /*localTime*/) {}

int Scene02::init() { return 0; }

void Scene02::render(float /*localTime*/) {}
