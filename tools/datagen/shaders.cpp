#include "datagen/shaders.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace datagen {

void generateShaders(const Context& context, std::vector<Asset>& out)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::path(context.dataDir) / "shaders";
    if (!fs::is_directory(dir)) {
        throw std::runtime_error("missing source folder " + dir.string());
    }
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().extension() == ".cgfx") {
            names.push_back(entry.path().filename().string());
        }
    }
    // Directory order is the file system's: sort for the same archive on every run.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        out.push_back({"shaders/" + name, readSource(context, "shaders/" + name)});
    }
}

}  // namespace datagen
