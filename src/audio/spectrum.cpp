#include "audio/spectrum.h"

#include <kiss_fftr.h>

#include <cmath>

namespace {
constexpr float scale = 2.5f / Spectrum::windowSize;
}

Spectrum::Spectrum()
{
    plan = kiss_fftr_alloc(windowSize, 0, nullptr, nullptr);
    output = new kiss_fft_cpx[windowSize / 2 + 1];
}

Spectrum::~Spectrum()
{
    kiss_fftr_free(plan);
    delete[] static_cast<kiss_fft_cpx*>(output);
}

void Spectrum::analyse(const float* window, float* out)
{
    kiss_fft_cpx* x = static_cast<kiss_fft_cpx*>(output);
    kiss_fftr(plan, window, x);
    for (int k = 0; k < bins; ++k) {
        float magnitude = std::sqrt(x[k].r * x[k].r + x[k].i * x[k].i) * scale;
        // A NaN (never from a valid stream) reads as silence rather than a full flash.
        out[k] = magnitude >= 1.0f ? 1.0f : (magnitude >= 0.0f ? magnitude : 0.0f);
    }
}
