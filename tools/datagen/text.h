// Typesetting with FreeType: fonts are found through fontconfig by family and style
// ("Liberation Sans", "Bold"), glyphs rendered antialiased into a Canvas.
#pragma once
#include "datagen/image.h"

#include <memory>
#include <string>

namespace datagen {

class Font {
public:
    // Resolves the family/style with fontconfig; valid() is false when nothing matches.
    Font(const std::string& family, const std::string& style);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool valid() const;
    const std::string& path() const { return file; }
    // Width in pixels of a line of text at the given pixel size (em), with extra
    // tracking in ems between letters.
    float measure(const std::string& text, float size, float tracking = 0.0f);
    // Draws one line of UTF-8/Latin-1 text with its baseline at y, starting at x, in
    // colour (r, g, b) with opacity a; returns the pen position after the last glyph.
    float draw(Canvas& canvas, const std::string& text, float x, float y, float size, float r, float g, float b,
               float a = 1.0f, float tracking = 0.0f);

private:
    struct State;
    std::unique_ptr<State> state;
    std::string file;
};

}  // namespace datagen
