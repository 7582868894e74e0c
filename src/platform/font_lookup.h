// Where buildOutlineFont finds a face's outlines (outline_font.h): a file fontconfig
// names natively (font_lookup.cpp), font files the program handed over in the browser
// (font_lookup_web.cpp).
#pragma once
#include "platform/outline_font.h"

#include <string>
#include <vector>

namespace platform {

struct FontSource {
    std::string file;                       // the file, or a name for messages
    const std::vector<char>* bytes = nullptr;  // the file's bytes when in memory
    int index = 0;                          // the face within the file
};

// The source of `face`, or of a metric-compatible substitute ("Arial": Liberation Sans);
// false with the reason in *error.
bool findFace(const char* face, FontSource* source, std::string* error);

}  // namespace platform
