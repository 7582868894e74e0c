#include "core/supersample.h"

#include "base/screen_settings.h"
#include "core/core.h"

#include <epoxy/gl.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// One row of 2 x 2 blocks: rows a and b of BGRA samples into `width` pixels laid out as
// `layout` (RGB: three bytes a pixel; BGRA: four, alpha opaque).
void reducePairOfRows(const uint8_t* a, const uint8_t* b, int width, uint8_t* out, PixelLayout layout)
{
    const bool rgb = layout == PixelLayout::Rgb;
    const int step = rgb ? 3 : 4;
    int x = 0;
#ifdef __SSE2__
    // Four pixels at a time: eight samples of each row widened to 16 bits, the rows
    // added, then each pixel's two columns; rounded, for RGB the blue and red lanes
    // swapped, narrowed, and stored (for RGB three bytes a pixel: each four-byte store
    // overwrites the previous one's spare byte).
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(2);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    for (; x + 4 <= width; x += 4, a += 32, b += 32) {
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 16));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16));
        const __m128i s0 = _mm_add_epi16(_mm_unpacklo_epi8(a0, zero), _mm_unpacklo_epi8(b0, zero));
        const __m128i s1 = _mm_add_epi16(_mm_unpackhi_epi8(a0, zero), _mm_unpackhi_epi8(b0, zero));
        const __m128i s2 = _mm_add_epi16(_mm_unpacklo_epi8(a1, zero), _mm_unpacklo_epi8(b1, zero));
        const __m128i s3 = _mm_add_epi16(_mm_unpackhi_epi8(a1, zero), _mm_unpackhi_epi8(b1, zero));
        __m128i p01 = _mm_add_epi16(_mm_unpacklo_epi64(s0, s1), _mm_unpackhi_epi64(s0, s1));
        __m128i p23 = _mm_add_epi16(_mm_unpacklo_epi64(s2, s3), _mm_unpackhi_epi64(s2, s3));
        p01 = _mm_srli_epi16(_mm_add_epi16(p01, half), 2);
        p23 = _mm_srli_epi16(_mm_add_epi16(p23, half), 2);
        if (!rgb) {
            const __m128i packed = _mm_or_si128(_mm_packus_epi16(p01, p23), opaque);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
            out += 16;
            continue;
        }
        constexpr int swapBlueRed = _MM_SHUFFLE(3, 0, 1, 2);
        p01 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(p01, swapBlueRed), swapBlueRed);
        p23 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(p23, swapBlueRed), swapBlueRed);
        uint32_t pixels[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), _mm_packus_epi16(p01, p23));
        std::memcpy(out, &pixels[0], 4);
        std::memcpy(out + 3, &pixels[1], 4);
        std::memcpy(out + 6, &pixels[2], 4);
        std::memcpy(out + 9, &pixels[3], 3);
        out += 12;
    }
#endif
    for (; x < width; ++x, a += 8, b += 8, out += step) {
        for (int c = 0; c < 3; ++c) {
            const int from = rgb ? 2 - c : c;  // samples are B, G, R, A
            out[c] = uint8_t((a[from] + a[from + 4] + b[from] + b[from + 4] + 2) >> 2);
        }
        if (!rgb) {
            out[3] = 255;
        }
    }
}

}  // namespace

void BoxFilter::prepare(int factor, int pictureWidth)
{
    blockSide = std::max(1, factor);
    sums.assign(size_t(std::max(0, pictureWidth)) * size_t(blockSide) * 4, 0);
    const int cells = blockSide * blockSide;
    means.resize(size_t(cells) * 255 + 1);
    for (int sum = 0; sum <= cells * 255; ++sum) {
        means[size_t(sum)] = uint8_t((sum + cells / 2) / cells);
    }
}

void BoxFilter::reduce(const uint8_t* samples, int width, int height, uint8_t* picture, PixelLayout layout)
{
    const int n = blockSide;
    const bool rgb = layout == PixelLayout::Rgb;
    const int step = rgb ? 3 : 4;
    const size_t stride = size_t(width) * size_t(n) * 4;  // bytes in a row of samples
    for (int y = 0; y < height; ++y) {
        const uint8_t* rows = samples + size_t(y) * size_t(n) * stride;
        uint8_t* out = picture + size_t(y) * size_t(width) * size_t(step);
        if (n == 2) {
            reducePairOfRows(rows, rows + stride, width, out, layout);
            continue;
        }
        for (size_t i = 0; i < stride; ++i) {
            sums[i] = rows[i];
        }
        for (int dy = 1; dy < n; ++dy) {
            const uint8_t* row = rows + size_t(dy) * stride;
            for (size_t i = 0; i < stride; ++i) {
                sums[i] = uint16_t(sums[i] + row[i]);
            }
        }
        const uint16_t* block = sums.data();
        for (int x = 0; x < width; ++x, block += 4 * n, out += step) {
            unsigned blue = 0, green = 0, red = 0;
            for (int dx = 0; dx < n; ++dx) {
                blue += block[4 * dx];
                green += block[4 * dx + 1];
                red += block[4 * dx + 2];
            }
            if (rgb) {
                out[0] = means[red];
                out[1] = means[green];
                out[2] = means[blue];
            } else {
                out[0] = means[blue];
                out[1] = means[green];
                out[2] = means[red];
                out[3] = 255;
            }
        }
    }
}

int Supersampler::create(const Band& windowBand)
{
    band = windowBand;
    while (glGetError() != GL_NO_ERROR) {
    }
    frame.create(band.width * factor, band.height * factor);
    if (createDepthBuffer(frame.width, frame.height, &frameDepth) != 0) {
        release();
        return 1;
    }
    frame.attachDepthBuffer(frameDepth);
    if (frame.checkStatus() != 0 || glGetError() == GL_OUT_OF_MEMORY) {
        release();
        return 1;
    }
    samples.resize(size_t(frame.width) * size_t(frame.height) * 4);
    filter.prepare(factor, band.width);
    setWindowFramebuffer(frame.framebuffer);
    bindFramebuffer(frame.framebuffer);
    return 0;
}

void Supersampler::readPicture(std::vector<uint8_t>& pixels, PixelLayout layout)
{
    gpu::readPixels(0, 0, frame.width, frame.height, PixelLayout::Bgra, samples.data());
    pixels.resize(size_t(band.width) * size_t(band.height) * bytesPerPixel(layout));
    filter.reduce(samples.data(), band.width, band.height, pixels.data(), layout);
}

void Supersampler::showPicture()
{
    // A blit is clipped by the scissor test: off for the copy, then as it was.
    const bool scissored = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, frame.width, frame.height, band.x, band.y, band.x + band.width, band.y + band.height,
                      GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glBindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
    if (scissored) {
        glEnable(GL_SCISSOR_TEST);
    }
}

void Supersampler::release()
{
    if (frame.framebuffer != 0 && windowFramebuffer() == frame.framebuffer) {
        setWindowFramebuffer(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    releaseTarget(frame);
    releaseDepthBuffer(&frameDepth);
    samples = std::vector<uint8_t>();
}

bool supersampledFrameFits(int factor, const Band& band, int largestSide)
{
    return int64_t(factor) * band.width <= largestSide && int64_t(factor) * band.height <= largestSide;
}

int largestFrameSide()
{
    GLint texture = 0, renderbuffer = 0, viewport[2] = {};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::min({texture, renderbuffer, viewport[0], viewport[1]});
}

int prepareSupersampling(int factor)
{
    core.supersampler.factor = 1;
    if (factor <= 1) {
        return 0;
    }
    const Band band = bandInWindow(screenSettings.width, screenSettings.height);
    const int side = largestFrameSide();
    if (!supersampledFrameFits(factor, band, side)) {
        std::fprintf(stderr,
                     "coredemo: --ssaa %d draws the %d x %d picture at %lld x %lld, larger than this GL's largest "
                     "render target (%d a side)\n",
                     factor, band.width, band.height, static_cast<long long>(factor) * band.width,
                     static_cast<long long>(factor) * band.height, side);
        return 2;
    }
    core.supersampler.factor = factor;
    return 0;
}
