#include "datagen/fonts.h"

#include "datagen/text.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace datagen {

void generateFonts(const Context&, std::vector<Asset>& out)
{
    Font font("Liberation Sans", "Regular");
    std::ifstream in(font.path(), std::ios::binary);
    if (!font.valid() || !in) {
        throw std::runtime_error("font not found (install fonts-liberation2)");
    }
    Asset asset;
    asset.name = "fonts/LiberationSans-Regular.ttf";
    asset.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    out.push_back(std::move(asset));
}

}  // namespace datagen
