// The image library's half of decodePicture (resources/picture.h): the files the
// header leaves to it (PNG, JPEG but CMYK, DDS but DXT, GIF, BMP...). Natively DevIL
// decodes them (picture_library.cpp); in the browser stb_image and a reader of
// uncompressed DDS files (picture_library_web.cpp).
#pragma once
#include "resources/picture.h"

#include <cstdint>

// Decodes into `out` (level 0 of each face with its mipmap chain: a cube map's faces as
// stored, a flat picture bottom row first) or sets `error`. `ddsCube`: the header
// declares a DDS cube map of six faces.
bool decodeWithLibrary(const char* bytes, uint32_t size, bool ddsCube, const PictureLimits& limits,
                       DecodedPicture& out, PictureError& error);

// Whether a width x height picture fits the GL's textures; error set when not.
bool fitsLimits(long width, long height, bool cube, const PictureLimits& limits, PictureError& error);

// An all-zero level of that size.
PictureLevel blankLevel(int width, int height);
