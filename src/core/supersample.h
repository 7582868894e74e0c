// Supersampled offline pictures (--ssaa N): the whole frame is drawn N times larger
// into an off-screen frame, then each picture pixel is the plain mean of its N x N
// samples.
//
// The off-screen frame stands for the window (scene/render_target.h,
// setWindowFramebuffer): the Core draws its band into it exactly as it would draw the
// band of a window N times larger, so everything that depends on the size in pixels
// (blur radii, overlay tiling, level-of-detail choices, sprite sizes) comes out as in
// that larger picture. The frame's samples are read back as they are (BGRA, the GL's
// fastest read) and reduced on the CPU (BoxFilter): under a software rasteriser that is several
// times cheaper than a reducing pass of the GL and a read of its result.
//
// Owned by the Core (Core::supersampler); factor is set before Core::init, create is
// called by Core::initGL, release by Core::release. Main thread, GL context current;
// nothing is allocated per picture.
#pragma once
#include "core/timeline.h"
#include "gpu/pixels.h"
#include "scene/render_target.h"

#include <cstdint>
#include <vector>

// How a picture's pixels are laid out: RGB (three bytes, for picture files) or BGRA (four
// bytes, alpha opaque: what desktop GL reads fastest, for the video encoder).
using gpu::PixelLayout;
using gpu::bytesPerPixel;

// The box filter: each picture pixel the mean of its factor x factor block of samples,
// rounded to the nearest level (halves up). Pure; the scratch is kept between calls.
class BoxFilter {
public:
    // Sizes the scratch for pictures `pictureWidth` wide.
    void prepare(int factor, int pictureWidth);
    // `samples`: (factor x width) x (factor x height) BGRA rows; `picture`: width x
    // height rows of `layout`, in the same row order. prepare() must have been given
    // this factor and at least this width.
    void reduce(const uint8_t* samples, int width, int height, uint8_t* picture, PixelLayout layout);

private:
    int blockSide = 1;
    std::vector<uint16_t> sums;   // one row of samples summed over a block's rows
    std::vector<uint8_t> means;   // a block's sum -> its rounded mean
};

class Supersampler {
public:
    static constexpr int largestFactor = 4;

    int factor = 1;  // samples a side of each picture pixel; 1 = off

    // Makes the frame (factor x the window's band: colour and depth) and lets it stand
    // for the window (bound afterwards). 0 on success, 1 when the GL refused.
    int create(const Band& band);
    bool active() const { return frame.framebuffer != 0; }
    int pictureWidth() const { return band.width; }
    int pictureHeight() const { return band.height; }
    // Reads the frame's samples and reduces them: the picture, width x height pixels of
    // `layout`, rows bottom-up. The frame stays bound.
    void readPicture(std::vector<uint8_t>& pixels, PixelLayout layout);
    // Scales the frame into the window's back buffer at the band's place, for the next
    // swap (the window shows what is being rendered).
    void showPicture();
    // Frees the GL objects and gives the window its own framebuffer back (idempotent).
    void release();

private:
    Band band;
    RenderTarget frame;
    unsigned int frameDepth = 0;
    std::vector<uint8_t> samples;
    BoxFilter filter;
};

// Whether a frame of factor x the band fits sides of at most `largestSide` pixels.
bool supersampledFrameFits(int factor, const Band& band, int largestSide);
// The largest side of an off-screen frame the current GL can hold and draw into.
int largestFrameSide();
// Before Core::init, with the context current: hands the Core the factor, or refuses
// a frame the GL cannot hold with one line on standard error and 2 (0 otherwise).
int prepareSupersampling(int factor);
