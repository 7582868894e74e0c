// JPEGs of four components (CMYK, or YCCK that libjpeg turns into CMYK), which the image
// library draws in wrong colours: decoded here with libjpeg into BGRA.
//
// Programs of Adobe's store the ink values inverted (0 is full ink) and say so with an
// APP14 "Adobe" marker: with the marker, c' = c (the stored value is already 255 - ink),
// without it c' = 255 - c; then red = c'(C) · c'(K) / 255, and so on for green (M) and
// blue (Y). No colour profile is applied. Pure function, any thread.
#pragma once
#include "resources/picture.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Level 0 as BGRA texels (alpha 255), bottom row first; false with the reason when
// libjpeg cannot decode the file or found it damaged (a warning about its data).
bool decodeCmykJpeg(const uint8_t* bytes, size_t size, PictureLevel& level, std::string& reason);
