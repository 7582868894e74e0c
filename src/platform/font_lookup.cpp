// Faces found through fontconfig (the browser's: font_lookup_web.cpp).
#include "platform/font_lookup.h"

#include <fontconfig/fontconfig.h>

namespace platform {

// The file of `face`, or of a substitute fontconfig binds strongly to it (its metric
// aliases: "Arial" gives Liberation Sans); the weakly bound fallbacks it appends for
// any name do not count, so an unknown name gives nothing.
bool findFace(const char* face, FontSource* source, std::string* error)
{
    if (!FcInit()) {
        *error = "fontconfig could not be initialised";
        return false;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    bool ok = false;
    FcChar8* matchedFamily = nullptr;
    FcChar8* path = nullptr;
    if (match && FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch &&
        FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        FcValue family;
        FcValueBinding binding = FcValueBindingWeak;
        for (int i = 0; !ok && FcPatternGetWithBinding(pattern, FC_FAMILY, i, &family, &binding) == FcResultMatch;
             ++i) {
            ok = binding == FcValueBindingStrong && family.type == FcTypeString &&
                 FcStrCmpIgnoreCase(family.u.s, matchedFamily) == 0;
        }
        if (ok) {
            source->file = reinterpret_cast<const char*>(path);
            int faceIndex = 0;
            FcPatternGetInteger(match, FC_INDEX, 0, &faceIndex);
            source->index = faceIndex;
        }
    }
    if (!ok) {
        *error = std::string("no font for the face \"") + face + "\"";
    }
    if (match) {
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return ok;
}

bool fontFilesNeeded() { return false; }

void addFontFile(std::vector<char>) {}

}  // namespace platform
