// Magnitude spectrum of one channel: 512 bins from a 1024-sample rectangular window.
//
// Each bin k (0..511) is |X_k| / 1024 × 2.5, clamped to [0, 1], where X is the discrete
// Fourier transform of the window: a full-scale sine centred on bin k reads 1.0 there.
// The FFT plan is made once by the constructor; analyse() allocates nothing.
#pragma once

struct kiss_fftr_state;

class Spectrum {
public:
    static constexpr int windowSize = 1024;
    static constexpr int bins = 512;

    Spectrum();
    ~Spectrum();
    Spectrum(const Spectrum&) = delete;
    Spectrum& operator=(const Spectrum&) = delete;

    // window: windowSize samples; out: bins magnitudes.
    void analyse(const float* window, float* out);

private:
    kiss_fftr_state* plan = nullptr;
    void* output = nullptr;  // windowSize / 2 + 1 complex values (kiss_fft_cpx)
};
