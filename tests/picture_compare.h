// How two renderings of the same moment are compared (the golden frames, the same shot
// on two display systems): per colour channel the mean absolute difference must stay
// at or below 1.5 (of 255), and at most 0.25% of the pixels may differ by more than 32
// in any channel. The first allows the rounding noise of another driver build; the
// second catches a small object that moved or vanished, which hardly changes the mean.
#pragma once
#include "picture_png.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

struct PictureDifference {
    double meanAbsolute[3] = {};  // per channel, 0..255
    double farFraction = 0.0;     // pixels with a channel off by more than 32
};

// Pictures of the same size; *diff receives the differences amplified 4x.
inline PictureDifference comparePictures(const Picture& a, const Picture& b, Picture* diff)
{
    PictureDifference d;
    const size_t pixels = size_t(a.width) * size_t(a.height);
    diff->width = a.width;
    diff->height = a.height;
    diff->rgb.assign(pixels * 3, 0);
    size_t far = 0;
    for (size_t p = 0; p < pixels; ++p) {
        bool isFar = false;
        for (int c = 0; c < 3; ++c) {
            const int delta = std::abs(int(a.rgb[p * 3 + c]) - int(b.rgb[p * 3 + c]));
            d.meanAbsolute[c] += delta;
            isFar = isFar || delta > 32;
            diff->rgb[p * 3 + c] = uint8_t(std::min(255, delta * 4));
        }
        far += isFar ? 1 : 0;
    }
    for (double& m : d.meanAbsolute) {
        m /= double(pixels);
    }
    d.farFraction = double(far) / double(pixels);
    return d;
}

// Peak signal-to-noise ratio of b against a (same size), in dB; 99 for equal pictures.
inline double psnr(const Picture& a, const Picture& b)
{
    double squares = 0.0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = double(a.rgb[i]) - double(b.rgb[i]);
        squares += d * d;
    }
    const double mean = squares / double(a.rgb.size());
    return mean > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mean) : 99.0;
}

inline bool withinGoldenTolerance(const PictureDifference& d)
{
    for (double m : d.meanAbsolute) {
        if (m > 1.5) {
            return false;
        }
    }
    return d.farFraction <= 0.0025;
}
