// fonts/LiberationSans-Regular.ttf: the face the Greetings part asks for as "Arial",
// copied from the system (fonts-liberation2, SIL Open Font License 1.1) for the browser
// build, which has no system fonts to look in. The native program finds it through
// fontconfig and does not read this entry.
#pragma once
#include "datagen/asset.h"

namespace datagen {

void generateFonts(const Context& context, std::vector<Asset>& out);

}  // namespace datagen
