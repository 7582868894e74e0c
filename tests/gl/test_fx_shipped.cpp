// Every effect file shipped in data/shaders compiles, and its first technique
// translates, compiles and links on this driver.
#include "gl_fixture.h"

#include "fx/fx.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::filesystem::path> shippedEffects()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(CORE_SOURCE_DIR) + "/data/shaders")) {
        if (entry.path().extension() == ".cgfx") {
            files.push_back(entry.path());
        }
    }
    return files;
}

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

class ShippedEffects : public GlTest {};

TEST_F(ShippedEffects, EveryFileCompilesAndItsFirstTechniqueValidates)
{
    auto files = shippedEffects();
    ASSERT_GE(files.size(), 6u);
    fx::Context* context = fx::createContext();
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::string text = readText(file);
        fx::Effect* effect = fx::createEffect(context, text.c_str(), file.filename().c_str());
        ASSERT_NE(effect, nullptr) << fx::lastListing(context);
        fx::Technique* technique = fx::firstTechnique(effect);
        ASSERT_NE(technique, nullptr);
        EXPECT_TRUE(fx::validateTechnique(technique)) << fx::lastListing(context) << "\n"
                                                      << fx::passFragmentSource(fx::firstPass(technique));
    }
    fx::destroyContext(context);
}
