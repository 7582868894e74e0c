#include "scene/scene_reload.h"

#include "base/log.h"
#include "resources/loader.h"
#include "resources/reload.h"
#include "scene/scene_loader.h"

#include <string>
#include <vector>

namespace {

// The tree's own GL objects stop being reload targets, then go.
void retire(std::unique_ptr<Tessary>& tree)
{
    if (!tree) {
        return;
    }
    for (const Shader& shader : tree->libShader.shaders) {
        reload::forgetShader(&shader);
    }
    const std::vector<Texture>& textures = tree->libTexture.textures;
    for (size_t i = 0; i < tree->texturesLoaded && i < textures.size(); ++i) {
        reload::forgetTexture(textures[i].crc);
    }
    releaseScene(*tree);
    tree.reset();
}

}  // namespace

void noteSceneReload(const char* file, std::unique_ptr<Tessary>& scene)
{
    const std::string entry = file;
    reload::noteCustom(entry, [entry, &scene](Loader& loader, const std::vector<char>&) -> std::string {
        takeLoadFailures();
        std::unique_ptr<Tessary> fresh;
        if (loadScene(entry.c_str(), loader, fresh) != 0) {
            retire(fresh);
            const std::vector<std::string> failures = takeLoadFailures();
            if (failures.empty()) {
                return "the scene did not load";
            }
            // "<entry>: <reason>": the scene's own reason, or the named entry it needs.
            const std::string& line = failures.front();
            return line.compare(0, entry.size() + 2, entry + ": ") == 0 ? line.substr(entry.size() + 2) : line;
        }
        retire(scene);
        scene = std::move(fresh);
        return std::string();
    });
}
