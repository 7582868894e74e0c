#include "datagen/dds.h"

#include "datagen/parallel.h"

#include <squish.h>

#include <cstring>

namespace datagen {
namespace {

const uint32_t ddsdCaps = 0x1, ddsdHeight = 0x2, ddsdWidth = 0x4, ddsdPitch = 0x8, ddsdPixelFormat = 0x1000,
               ddsdLinearSize = 0x80000;
const uint32_t ddpfAlphaPixels = 0x1, ddpfFourCc = 0x4, ddpfRgb = 0x40;
const uint32_t capsComplex = 0x8, capsTexture = 0x1000;
const uint32_t caps2Cube = 0x200, caps2AllFaces = 0xFC00;

uint32_t fourCc(const char* s)
{
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(uint8_t(v >> (8 * i)));
    }
}

uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

size_t faceBytes(int w, int h, DdsFormat format)
{
    if (format == DdsFormat::Bgra8) {
        return size_t(w) * h * 4;
    }
    size_t blocks = size_t((w + 3) / 4) * ((h + 3) / 4);
    return blocks * (format == DdsFormat::Dxt1 ? 8 : 16);
}

int squishFlags(DdsFormat format)
{
    return (format == DdsFormat::Dxt1 ? squish::kDxt1 : squish::kDxt5) | squish::kColourClusterFit;
}

}  // namespace

std::vector<uint8_t> encodeDds(const std::vector<Image>& faces, DdsFormat format)
{
    if (faces.size() != 1 && faces.size() != 6) {
        return {};
    }
    const int w = faces[0].width, h = faces[0].height;
    for (const Image& f : faces) {
        if (f.width != w || f.height != h || f.channels != 4 || w <= 0 || h <= 0) {
            return {};
        }
    }
    if (format != DdsFormat::Bgra8 && (w % 4 != 0 || h % 4 != 0)) {
        return {};
    }
    const bool cube = faces.size() == 6;
    const bool compressed = format != DdsFormat::Bgra8;
    std::vector<uint8_t> out;
    put32(out, fourCc("DDS "));
    put32(out, 124);
    put32(out, ddsdCaps | ddsdHeight | ddsdWidth | ddsdPixelFormat | (compressed ? ddsdLinearSize : ddsdPitch));
    put32(out, uint32_t(h));
    put32(out, uint32_t(w));
    put32(out, compressed ? uint32_t(faceBytes(w, h, format)) : uint32_t(w * 4));
    put32(out, 0);  // depth
    put32(out, 1);  // mip levels
    for (int i = 0; i < 11; ++i) {
        put32(out, 0);
    }
    put32(out, 32);  // pixel format size
    if (compressed) {
        put32(out, ddpfFourCc);
        put32(out, fourCc(format == DdsFormat::Dxt1 ? "DXT1" : "DXT5"));
        for (int i = 0; i < 5; ++i) {
            put32(out, 0);
        }
    } else {
        put32(out, ddpfRgb | ddpfAlphaPixels);
        put32(out, 0);
        put32(out, 32);
        put32(out, 0x00FF0000);
        put32(out, 0x0000FF00);
        put32(out, 0x000000FF);
        put32(out, 0xFF000000);
    }
    put32(out, capsTexture | (cube ? capsComplex : 0));
    put32(out, cube ? caps2Cube | caps2AllFaces : 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    const size_t header = out.size();
    const size_t perFace = faceBytes(w, h, format);
    out.resize(header + perFace * faces.size());
    if (!compressed) {
        for (size_t f = 0; f < faces.size(); ++f) {
            const uint8_t* src = faces[f].pixels.data();
            uint8_t* dst = &out[header + perFace * f];
            for (size_t i = 0; i < size_t(w) * h; ++i) {
                dst[4 * i] = src[4 * i + 2];
                dst[4 * i + 1] = src[4 * i + 1];
                dst[4 * i + 2] = src[4 * i];
                dst[4 * i + 3] = src[4 * i + 3];
            }
        }
        return out;
    }
    // Compress block rows in parallel: each block depends only on its own pixels.
    const int blockRows = h / 4, blocksPerRow = w / 4;
    const int blockSize = format == DdsFormat::Dxt1 ? 8 : 16;
    const int total = blockRows * int(faces.size());
    const int flags = squishFlags(format);
    parallelFor(total, [&](int begin, int end) {
        uint8_t block[64];
        for (int job = begin; job < end; ++job) {
            int f = job / blockRows, by = job % blockRows;
            uint8_t* dst = &out[header + perFace * f + size_t(by) * blocksPerRow * blockSize];
            for (int bx = 0; bx < blocksPerRow; ++bx) {
                for (int y = 0; y < 4; ++y) {
                    std::memcpy(block + y * 16, faces[f].at(bx * 4, by * 4 + y), 16);
                }
                squish::Compress(block, dst + bx * blockSize, flags);
            }
        }
    });
    return out;
}

bool decodeDds(const std::vector<uint8_t>& bytes, std::vector<Image>& faces, DdsFormat* formatOut)
{
    faces.clear();
    if (bytes.size() < 128 || get32(&bytes[0]) != fourCc("DDS ") || get32(&bytes[4]) != 124) {
        return false;
    }
    const uint8_t* hd = &bytes[4];
    uint32_t h = get32(hd + 8), w = get32(hd + 12);
    uint32_t pfFlags = get32(hd + 76), pfFourCc = get32(hd + 80), bits = get32(hd + 84);
    uint32_t caps2 = get32(hd + 108);
    if (w == 0 || h == 0 || w > 16384 || h > 16384) {
        return false;
    }
    DdsFormat format;
    int squishFormat = 0;
    if (pfFlags & ddpfFourCc) {
        if (pfFourCc == fourCc("DXT1")) {
            format = DdsFormat::Dxt1;
            squishFormat = squish::kDxt1;
        } else if (pfFourCc == fourCc("DXT5")) {
            format = DdsFormat::Dxt5;
            squishFormat = squish::kDxt5;
        } else if (pfFourCc == fourCc("DXT3")) {
            format = DdsFormat::Dxt5;  // same block size; decoded with its own flag
            squishFormat = squish::kDxt3;
        } else {
            return false;
        }
    } else if ((pfFlags & ddpfRgb) && bits == 32 && get32(hd + 88) == 0x00FF0000 && get32(hd + 92) == 0x0000FF00 &&
               get32(hd + 96) == 0x000000FF) {
        format = DdsFormat::Bgra8;
    } else {
        return false;
    }
    bool alpha = (pfFlags & ddpfAlphaPixels) != 0;
    size_t count = (caps2 & caps2Cube) ? 6 : 1;
    size_t perFace = faceBytes(int(w), int(h), format);
    if (bytes.size() < 128 + perFace * count) {
        return false;
    }
    for (size_t f = 0; f < count; ++f) {
        Image image(int(w), int(h), 4);
        const uint8_t* src = &bytes[128 + perFace * f];
        if (format == DdsFormat::Bgra8) {
            for (size_t i = 0; i < size_t(w) * h; ++i) {
                image.pixels[4 * i] = src[4 * i + 2];
                image.pixels[4 * i + 1] = src[4 * i + 1];
                image.pixels[4 * i + 2] = src[4 * i];
                image.pixels[4 * i + 3] = alpha ? src[4 * i + 3] : 255;
            }
        } else {
            squish::DecompressImage(image.pixels.data(), int(w), int(h), src, squishFormat);
        }
        faces.push_back(std::move(image));
    }
    if (formatOut) {
        *formatOut = format;
    }
    return true;
}

}  // namespace datagen
