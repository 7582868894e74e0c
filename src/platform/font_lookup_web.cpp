// Faces in the browser: the font files the program handed over (addFontFile), found by
// their family name or by a name they are metric-compatible with.
#include "platform/font_lookup.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <strings.h>

#include <memory>

namespace platform {
namespace {

struct FontFile {
    std::vector<char> bytes;
    std::string family;  // of its first face
};

std::vector<std::unique_ptr<FontFile>> gFonts;

// The family a face name stands for when no file carries it: the metric-compatible
// Liberation families that fontconfig also binds these names to.
const char* substitute(const char* face)
{
    static const struct {
        const char* name;
        const char* family;
    } aliases[] = {{"Arial", "Liberation Sans"},
                   {"Helvetica", "Liberation Sans"},
                   {"Times New Roman", "Liberation Serif"},
                   {"Times", "Liberation Serif"},
                   {"Courier New", "Liberation Mono"},
                   {"Courier", "Liberation Mono"}};
    for (const auto& alias : aliases) {
        if (strcasecmp(face, alias.name) == 0) {
            return alias.family;
        }
    }
    return nullptr;
}

const FontFile* byFamily(const char* family)
{
    for (const auto& font : gFonts) {
        if (strcasecmp(font->family.c_str(), family) == 0) {
            return font.get();
        }
    }
    return nullptr;
}

}  // namespace

bool fontFilesNeeded() { return true; }

void addFontFile(std::vector<char> bytes)
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        return;
    }
    auto font = std::make_unique<FontFile>();
    font->bytes = std::move(bytes);
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(font->bytes.data()), FT_Long(font->bytes.size()),
                           0, &face) == 0) {
        if (face->family_name) {
            font->family = face->family_name;
            gFonts.push_back(std::move(font));
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
}

bool findFace(const char* face, FontSource* source, std::string* error)
{
    const FontFile* font = byFamily(face);
    if (!font && substitute(face)) {
        font = byFamily(substitute(face));
    }
    if (!font) {
        *error = std::string("no font for the face \"") + face + "\"";
        return false;
    }
    source->file = font->family;
    source->bytes = &font->bytes;
    source->index = 0;
    return true;
}

}  // namespace platform
