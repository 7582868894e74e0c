// 8-bit pictures and their file encodings (PNG through libpng, JPEG through libjpeg).
//
// An Image stores rows top to bottom, channels interleaved (1 grey, 2 grey+alpha,
// 3 RGB, 4 RGBA). Encoders are deterministic: no time stamps, fixed settings.
// Decoders return false on anything they cannot read and never throw.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

struct Image {
    int width = 0;
    int height = 0;
    int channels = 4;
    std::vector<uint8_t> pixels;

    Image() = default;
    Image(int w, int h, int c) : width(w), height(h), channels(c), pixels(size_t(w) * h * c, 0) {}
    uint8_t* at(int x, int y) { return &pixels[(size_t(y) * width + x) * channels]; }
    const uint8_t* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * channels]; }
};

// Linear-light float RGBA canvas used while drawing; toImage quantises it.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<float> rgba;  // 4 floats per pixel, straight (not premultiplied) alpha

    Canvas() = default;
    Canvas(int w, int h) : width(w), height(h), rgba(size_t(w) * h * 4, 0.0f) {}
    float* at(int x, int y) { return &rgba[(size_t(y) * width + x) * 4]; }
    const float* at(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
    // Source-over blend of colour (r, g, b) with coverage a at one pixel.
    void blend(int x, int y, float r, float g, float b, float a);
    // Fills every pixel with one colour.
    void fill(float r, float g, float b, float a);
};

// Quantises a canvas to 8 bits with the given channel count (3 drops alpha). Values
// are clamped to 0..1; a tiny ordered dither (seeded, deterministic) breaks banding.
Image toImage(const Canvas& canvas, int channels, bool dither = true);

std::vector<uint8_t> encodePng(const Image& image);
std::vector<uint8_t> encodeJpeg(const Image& image, int quality);  // 1 or 3 channels; 4 drops alpha
bool decodePng(const std::vector<uint8_t>& bytes, Image& image);     // keeps the file's channel count (8-bit)
bool decodeJpeg(const std::vector<uint8_t>& bytes, Image& image);

// Converts between channel counts (grey expands to RGB, missing alpha becomes 255).
Image convertChannels(const Image& image, int channels);

}  // namespace datagen
