// Pictures as the texture loader sees them, for the datagen tests: faces decoded by
// DevIL, and a measure of how much the colour steps across the edges of cube faces.
#pragma once
#include "datagen/cubemap.h"
#include "datagen/image.h"

#include <IL/il.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

// Loads with DevIL as the texture loader does: faces keep the stored row order, RGBA.
// One picture gives one face, a cube map six. False when DevIL cannot read the bytes
// or a face cannot be copied (faces holds the ones copied before it).
inline bool devilFaces(const std::vector<uint8_t>& bytes, std::vector<datagen::Image>& faces)
{
    static bool initialised = false;
    if (!initialised) {
        ilInit();
        initialised = true;
    }
    faces.clear();
    ILuint id = 0;
    ilGenImages(1, &id);
    ilBindImage(id);
    ilDisable(IL_ORIGIN_SET);
    if (!ilLoadL(IL_TYPE_UNKNOWN, bytes.data(), ILuint(bytes.size()))) {
        ilDeleteImages(1, &id);
        return false;
    }
    const int w = ilGetInteger(IL_IMAGE_WIDTH), h = ilGetInteger(IL_IMAGE_HEIGHT);
    // This DevIL reports a six-face cube as five further faces; others as five further images.
    const int faceCount = ilGetInteger(IL_NUM_FACES), images = ilGetInteger(IL_NUM_IMAGES);
    const int count = (faceCount == 5 || images == 5) ? 6 : 1;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        ilBindImage(id);
        if (faceCount == 5) {
            ilActiveFace(ILuint(i));
        } else if (images == 5) {
            ilActiveImage(ILuint(i));
        }
        datagen::Image face(w, h, 4);
        ok = ilCopyPixels(0, 0, 0, ILuint(w), ILuint(h), 1, IL_RGBA, IL_UNSIGNED_BYTE, face.pixels.data());
        if (ok) {
            faces.push_back(face);
        }
    }
    ilDeleteImages(1, &id);
    return ok;
}

// Mean colour difference across face edges against the mean difference between
// neighbouring texels inside faces; a seam shows as a much larger cross-edge step.
inline void seamStatistics(const std::vector<datagen::Image>& faces, double* acrossEdges, double* inside)
{
    const int n = faces[0].width;
    double across = 0, within = 0;
    int count = 0;
    for (int f = 0; f < 6; ++f) {
        for (int i = 0; i < n; ++i) {
            // The four edges of the face: the texel on the edge and the point just beyond it.
            const int edges[4][4] = {{i, 0, i, -1}, {i, n - 1, i, n}, {0, i, -1, i}, {n - 1, i, n, i}};
            for (const auto& e : edges) {
                datagen::Vec3 beyond = datagen::cubeDirection(f, (e[2] + 0.5f) / n, (e[3] + 0.5f) / n);
                int g;
                float s, t;
                datagen::cubeFaceOf(beyond, &g, &s, &t);
                int x = std::min(n - 1, int(s * n)), y = std::min(n - 1, int(t * n));
                const uint8_t* a = faces[size_t(f)].at(e[0], e[1]);
                const uint8_t* b = faces[size_t(g)].at(x, y);
                const uint8_t* c = faces[size_t(f)].at(e[0] == 0 ? 1 : (e[0] == n - 1 ? n - 2 : e[0]),
                                                       e[1] == 0 ? 1 : (e[1] == n - 1 ? n - 2 : e[1]));
                for (int k = 0; k < 3; ++k) {
                    across += std::abs(int(a[k]) - int(b[k]));
                    within += std::abs(int(a[k]) - int(c[k]));
                }
                ++count;
            }
        }
    }
    *acrossEdges = across / count;
    *inside = within / count;
}
