// The one list of generators. Add a line here for every new archive entry or family.
#include "datagen/asset.h"
#include "datagen/basic_meshes.h"
#include "datagen/shaders.h"
#include "datagen/environments.h"
#include "datagen/fonts.h"
#include "datagen/overlays.h"
#include "datagen/sculpture.h"
#include "datagen/sprites.h"
#include "datagen/strands.h"
#include "datagen/music.h"
#include "datagen/virus.h"
#include "datagen/hub.h"
#include "datagen/phalanx_sculpture.h"
#include "datagen/wizard.h"
#include "datagen/cosiki.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace datagen {

const std::vector<Generator>& registry()
{
    static const std::vector<Generator> generators = {
        {"objects/basic", generateBasicMeshes},
        {"shaders", generateShaders},
        {"textures/living_room", generateLivingRoom},
        {"textures/hd210", generateHd210},
        {"textures/rnl", generateRnl},
        {"textures/campus_cross", generateCampusCross},
        {"textures/particle", generateSprites},
        {"textures/overlay", generateOverlays},
        {"music/drovel-contemplation.ogg", generateMusic},
        {"objects/virus", generateVirus},
        {"textures/virus2", generateVirus2},
        {"objects/hub", generateHub},
        {"objects/phalanx_object", generatePhalanxSculpture},
        {"objects/abs06", generateSculpture},
        {"objects/abs08", generateStrands},
        {"wizard", generateWizard},
        {"cosiki2", generateCosiki},
        {"fonts", generateFonts},
    };
    return generators;
}

std::vector<uint8_t> readSource(const Context& context, const std::string& relativePath)
{
    std::string path = context.dataDir + "/" + relativePath;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("missing source file " + path);
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace datagen
