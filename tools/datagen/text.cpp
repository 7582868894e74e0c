#include "datagen/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <map>
#include <mutex>

namespace datagen {

struct Font::State {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

namespace {

std::string findFont(const std::string& family, const std::string& style)
{
    // fontconfig's global configuration is not safe to build from two threads at once.
    // Loading the configuration is slow, so each family/style is resolved once.
    static std::mutex mutex;
    static std::map<std::string, std::string> resolved;
    std::lock_guard<std::mutex> lock(mutex);
    auto known = resolved.find(family + ":" + style);
    if (known != resolved.end()) {
        return known->second;
    }
    std::string result;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) {
        return result;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8*>(style.c_str()));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult status;
    FcPattern* match = FcFontMatch(config, pattern, &status);
    if (match) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            result = reinterpret_cast<const char*>(path);
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    resolved[family + ":" + style] = result;
    return result;
}

// Decodes the next code point of UTF-8 text (bytes that are not valid UTF-8 are taken as Latin-1).
uint32_t nextCodePoint(const std::string& text, size_t& i)
{
    unsigned char c = static_cast<unsigned char>(text[i++]);
    if (c < 0x80) {
        return c;
    }
    int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
    if (extra == 0 || i + extra > text.size()) {
        return c;
    }
    uint32_t code = c & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        unsigned char n = static_cast<unsigned char>(text[i + k]);
        if ((n & 0xC0) != 0x80) {
            return c;
        }
        code = (code << 6) | (n & 0x3F);
    }
    i += extra;
    return code;
}

}  // namespace

Font::Font(const std::string& family, const std::string& style) : state(new State)
{
    file = findFont(family, style);
    if (file.empty() || FT_Init_FreeType(&state->library) != 0) {
        return;
    }
    if (FT_New_Face(state->library, file.c_str(), 0, &state->face) != 0) {
        state->face = nullptr;
    }
}

Font::~Font()
{
    if (state->face) {
        FT_Done_Face(state->face);
    }
    if (state->library) {
        FT_Done_FreeType(state->library);
    }
}

bool Font::valid() const { return state->face != nullptr; }

float Font::measure(const std::string& text, float size, float tracking)
{
    if (!valid()) {
        return 0.0f;
    }
    FT_Set_Char_Size(state->face, 0, FT_F26Dot6(std::lround(size * 64.0f)), 72, 72);
    float pen = 0.0f;
    FT_UInt previous = 0;
    for (size_t i = 0; i < text.size();) {
        FT_UInt glyph = FT_Get_Char_Index(state->face, nextCodePoint(text, i));
        if (previous && glyph && FT_HAS_KERNING(state->face)) {
            FT_Vector kern;
            FT_Get_Kerning(state->face, previous, glyph, FT_KERNING_UNFITTED, &kern);
            pen += kern.x / 64.0f;
        }
        if (FT_Load_Glyph(state->face, glyph, FT_LOAD_NO_HINTING) == 0) {
            pen += state->face->glyph->linearHoriAdvance / 65536.0f + (i < text.size() ? tracking * size : 0.0f);
        }
        previous = glyph;
    }
    return pen;
}

float Font::draw(Canvas& canvas, const std::string& text, float x, float y, float size, float r, float g, float b,
                 float a, float tracking)
{
    if (!valid()) {
        return x;
    }
    FT_Face face = state->face;
    FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(size * 64.0f)), 72, 72);
    float pen = x;
    FT_UInt previous = 0;
    for (size_t i = 0; i < text.size();) {
        FT_UInt glyph = FT_Get_Char_Index(face, nextCodePoint(text, i));
        if (previous && glyph && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            FT_Get_Kerning(face, previous, glyph, FT_KERNING_UNFITTED, &kern);
            pen += kern.x / 64.0f;
        }
        previous = glyph;
        // Position the outline at the sub-pixel pen position, then render.
        float fx = pen - std::floor(pen);
        FT_Vector shift = {FT_Pos(std::lround(fx * 64.0f)), 0};
        FT_Set_Transform(face, nullptr, &shift);
        if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) != 0) {
            continue;
        }
        FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        int left = int(std::floor(pen)) + slot->bitmap_left;
        int top = int(std::lround(y)) - slot->bitmap_top;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned col = 0; col < bitmap.width; ++col) {
                float coverage = bitmap.buffer[row * bitmap.pitch + int(col)] / 255.0f;
                canvas.blend(left + int(col), top + int(row), r, g, b, coverage * a);
            }
        }
        pen += slot->linearHoriAdvance / 65536.0f + (i < text.size() ? tracking * size : 0.0f);
    }
    FT_Set_Transform(face, nullptr, nullptr);
    return pen;
}

}  // namespace datagen
