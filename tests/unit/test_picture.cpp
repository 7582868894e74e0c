// The CPU half of the texture loader: what a file's header lets through, the mipmap
// chains, and the encodings that need more than the image library gives (CMYK JPEGs,
// block-compressed DDS).
#include "resources/picture.h"

#include "datagen/dds.h"
#include "datagen/image.h"
#include "picture_files.h"

#include <IL/il.h>
#include <gtest/gtest.h>
#include <squish.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

PictureLevel level(int width, int height, std::vector<uint8_t> texels)
{
    PictureLevel l;
    l.width = width;
    l.height = height;
    l.texels = std::move(texels);
    return l;
}

}  // namespace

TEST(PictureMipmaps, ChainsHalveRoundingDownToOneByOne)
{
    struct Case {
        int width, height, levels, lastAboveOneW, lastAboveOneH;
    } cases[] = {
        {1, 1, 1, 1, 1},     {2, 2, 2, 2, 2},     {4, 1, 3, 2, 1},
        {1280, 720, 11, 2, 1}, {5, 3, 3, 2, 1}, {1024, 1024, 11, 2, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mipmapLevelCount(c.width, c.height), c.levels) << c.width << "x" << c.height;
        std::vector<PictureLevel> chain;
        chain.push_back(level(c.width, c.height, std::vector<uint8_t>(size_t(c.width * c.height * 4), 9)));
        appendMipmaps(chain);
        ASSERT_EQ(int(chain.size()), c.levels) << c.width << "x" << c.height;
        for (size_t i = 1; i < chain.size(); ++i) {
            EXPECT_EQ(chain[i].width, std::max(1, chain[i - 1].width / 2));
            EXPECT_EQ(chain[i].height, std::max(1, chain[i - 1].height / 2));
            EXPECT_EQ(chain[i].texels.size(), size_t(chain[i].width * chain[i].height * 4));
            EXPECT_EQ(chain[i].texels.front(), 9) << "a flat picture stays flat";
        }
        if (c.levels > 1) {
            EXPECT_EQ(chain[chain.size() - 2].width, c.lastAboveOneW);
            EXPECT_EQ(chain[chain.size() - 2].height, c.lastAboveOneH);
        }
        EXPECT_EQ(chain.back().width * chain.back().height, 1);
    }
}

TEST(PictureMipmaps, EachTexelIsTheRoundedMeanOfTheFourAboveIt)
{
    // 3 x 2, one channel of interest (the rest 0): the odd last column is dropped, the
    // rows pair up; every channel is filtered alike.
    std::vector<uint8_t> texels(3 * 2 * 4, 0);
    const uint8_t blue[6] = {0, 1, 200, 2, 255, 100};  // rows bottom up: (0 1 200) (2 255 100)
    for (int i = 0; i < 6; ++i) {
        texels[size_t(i * 4)] = blue[i];
        texels[size_t(i * 4 + 3)] = 255;
    }
    std::vector<PictureLevel> chain;
    chain.push_back(level(3, 2, texels));
    appendMipmaps(chain);
    ASSERT_EQ(chain.size(), 2u);
    ASSERT_EQ(chain[1].width, 1);
    EXPECT_EQ(chain[1].texels[0], (0 + 1 + 2 + 255 + 2) / 4) << "rounded to nearest";
    EXPECT_EQ(chain[1].texels[3], 255) << "alpha filtered like colour";

    // A single row pairs with itself.
    chain.clear();
    chain.push_back(level(2, 1, {10, 0, 0, 0, 13, 0, 0, 0}));
    appendMipmaps(chain);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[1].texels[0], (10 + 13 + 10 + 13 + 2) / 4);
}

namespace {

using namespace picture_files;

Bytes flatPng(int width, int height)
{
    datagen::Image image(width, height, 3);
    return datagen::encodePng(image);
}

Bytes jpegHeader(uint32_t width, uint32_t height)
{
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    out.insert(out.end(), {0xFF, 0xC2, 0, 17, 8});
    putBe(out, height, 2);
    putBe(out, width, 2);
    out.insert(out.end(), {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
    out.insert(out.end(), 64, 0x5A);
    return out;
}
Bytes gifHeader(uint32_t width, uint32_t height)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    putLe(out, width, 2);
    putLe(out, height, 2);
    out.insert(out.end(), 64, 0);
    return out;
}
Bytes bmpHeader(uint32_t width, int32_t height)
{
    Bytes out = {'B', 'M'};
    out.insert(out.end(), 16, 0);
    putLe(out, width, 4);
    putLe(out, uint32_t(height), 4);
    out.insert(out.end(), 64, 0);
    return out;
}

// A DDS of 32-bit texels with the given cube flags (caps2) and as many faces of data as
// the flags declare (one without the cube flag).
Bytes dds(uint32_t width, uint32_t height, uint32_t caps2)
{
    Bytes out = {'D', 'D', 'S', ' '};
    putLe(out, 124, 4);
    putLe(out, 0x1 | 0x2 | 0x4 | 0x1000 | 0x8, 4);
    putLe(out, height, 4);
    putLe(out, width, 4);
    putLe(out, width * 4, 4);
    out.insert(out.end(), 4 * 13, 0);
    putLe(out, 32, 4);
    putLe(out, 0x41, 4);
    putLe(out, 0, 4);
    putLe(out, 32, 4);
    for (uint32_t mask : {0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0xff000000u}) {
        putLe(out, mask, 4);
    }
    putLe(out, 0x1000 | (caps2 ? 0x8 : 0), 4);
    putLe(out, caps2, 4);
    out.insert(out.end(), 12, 0);
    int faces = 0;
    for (uint32_t bit = 0x400; bit <= 0x8000; bit <<= 1) {
        faces += (caps2 & bit) != 0;
    }
    out.insert(out.end(), size_t(std::max(faces, 1)) * width * height * 4, 0x80);
    return out;
}

const uint32_t allFaces = 0x200 | 0xFC00;

}  // namespace

// Before decoding, the header decides: a picture the GL cannot hold and a cube map short
// of faces are refused (the bytes after the header need not even decode); a file of
// several images is its first image, never a cube map.
TEST(PictureDecode, TheHeaderRefusesWhatTheGlCannotTakeAndDecidesTheKind)
{
    ilInit();
    PictureLimits gl;
    gl.maxSize = 64;
    gl.maxCubeSize = 8;
    const struct {
        const char* name;
        Bytes bytes;
        const char* refusal;  // the start of the reason; null: decoded
        int width = 0, height = 0, images = 0;
        bool cube = false;
    } cases[] = {
        {"PNG at the limit", flatPng(64, 2), nullptr, 64, 2, 1, false},
        {"PNG one texel wider", flatPng(65, 2), "refused: a 65x2 picture is larger than the largest texture of this GL (64x64)"},
        {"huge PNG header", pngHeader(20000, 20000), "refused: a 20000x20000 picture is larger than the largest texture"},
        {"huge progressive JPEG header", jpegHeader(40, 70000 % 65536), "refused: a 40x4464 picture is larger"},
        {"huge GIF header", gifHeader(65535, 1), "refused: a 65535x1 picture is larger"},
        {"huge BMP header, rows top down", bmpHeader(3, -100), "refused: a 3x100 picture is larger"},
        {"huge DDS header", dds(128, 1, 0), "refused: a 128x1 picture is larger"},
        {"six-face cube map", dds(8, 8, allFaces), nullptr, 8, 8, 6, true},
        {"cube map beyond the cube limit", dds(16, 16, allFaces), "refused: a 16x16 picture is larger than the largest cube map face"},
        {"cube map declaring 3 faces", dds(8, 8, 0x200 | 0x1C00), "refused: a DDS cube map declaring 3 of its 6 faces"},
        {"cube map declaring 5 faces, -Z missing", dds(8, 8, 0x200 | 0x7C00), "refused: a DDS cube map declaring 5 of its 6 faces"},
        {"cube map declaring 5 faces, +X missing", dds(8, 8, 0x200 | 0xF800), "refused: a DDS cube map declaring 5 of its 6 faces"},
        {"cube flag without faces", dds(8, 8, 0x200), "refused: a DDS cube map declaring 0 of its 6 faces"},
        {"six-frame GIF", gif(4, 2, 6), nullptr, 4, 2, 6, false},
        {"two-frame GIF", gif(4, 2, 2), nullptr, 4, 2, 2, false},
    };
    for (const auto& c : cases) {
        DecodedPicture picture;
        PictureError error;
        const bool ok = decodePicture(reinterpret_cast<const char*>(c.bytes.data()), uint32_t(c.bytes.size()), gl,
                                      picture, error);
        if (c.refusal) {
            EXPECT_FALSE(ok) << c.name;
            EXPECT_EQ(error.reason.rfind(c.refusal, 0), 0u) << c.name << ": " << error.reason;
            EXPECT_FALSE(error.logLine.empty()) << c.name;
            continue;
        }
        ASSERT_TRUE(ok) << c.name << ": " << error.reason;
        EXPECT_EQ(picture.width, c.width) << c.name;
        EXPECT_EQ(picture.height, c.height) << c.name;
        EXPECT_EQ(picture.images, c.images) << c.name;
        EXPECT_EQ(picture.cube, c.cube) << c.name;
        EXPECT_EQ(int(picture.levels.size()), picture.levelCount * (c.cube ? 6 : 1)) << c.name;
        if (std::string(c.name).find("GIF") != std::string::npos) {
            const std::vector<uint8_t>& texels = picture.level(0, 0).texels;
            for (size_t i = 0; i < texels.size(); i += 4) {
                ASSERT_EQ(texels[i + 2], 255) << c.name << ": the first frame (red) at texel " << i / 4;
                ASSERT_EQ(texels[i], 0) << c.name << ": the first frame (red) at texel " << i / 4;
            }
        }
    }
}

namespace {

enum class Alpha { Opaque, Ramp, Holes };

// A picture with smooth ramps, a disc with hard edges and a half of fine texture (which
// block compression encodes partly in its three-colour mode), with an alpha ramp or
// holes of alpha 0 (black) when asked; each `variant` (a cube face) differs, so that a
// face out of place shows.
datagen::Image testPicture(int size, int variant, Alpha alpha)
{
    datagen::Image image(size, size, 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint8_t* p = image.at(x, y);
            const bool disc = (x - size / 3) * (x - size / 3) + (y - size / 2) * (y - size / 2) < size * size / 16;
            const bool fine = x >= size / 2;
            p[0] = uint8_t(disc ? 230 : x * 255 / (size - 1));
            p[1] = uint8_t(disc ? 40 : (y * 255 / (size - 1) + 60 * variant) % 256);
            p[2] = uint8_t(disc ? 90 : fine ? (x * y) % 256 : 255 - (x + y) * 255 / (2 * size - 2));
            p[3] = uint8_t(alpha == Alpha::Ramp ? 255 - y * 200 / (size - 1) : 255);
            if (alpha == Alpha::Holes && (x / 3 + y / 3) % 2 == 0) {
                p[0] = p[1] = p[2] = p[3] = 0;
            }
        }
    }
    return image;
}

// The picture's colours in CMYK, the ink values inverted when `adobeInverted` (as
// Adobe's programs store them, the APP14 marker saying so), compressed with libjpeg
// into a JPEG of CMYK or YCCK components.
Bytes cmykJpeg(const datagen::Image& image, J_COLOR_SPACE stored, bool adobeInverted, bool progressive)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(image.width);
    info.image_height = JDIMENSION(image.height);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;  // no chroma subsampling
    }
    info.write_Adobe_marker = adobeInverted ? TRUE : FALSE;
    jpeg_set_quality(&info, 95, TRUE);
    if (progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t(image.width) * 4);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, int(info.next_scanline));
            const int k = 255 - std::max({p[0], p[1], p[2]});
            for (int c = 0; c < 3; ++c) {
                const int ink = k == 255 ? 0 : (255 - p[c] - k) * 255 / (255 - k);
                row[size_t(x) * 4 + size_t(c)] = uint8_t(adobeInverted ? 255 - ink : ink);
            }
            row[size_t(x) * 4 + 3] = uint8_t(adobeInverted ? 255 - k : k);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    Bytes bytes(out, out + size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

// A DDS of the faces (1, or 6 for a cube map) in `format` ("DXT1" to "DXT5" through
// libsquish, or "BGRA": 32 bits a texel), each face followed by `levels` - 1 levels of its
// mipmap chain (2 x 2 means). The header announces the chain (DDSD_MIPMAPCOUNT) only
// when `announced`: writers that leave the flag out still fill in the count.
Bytes ddsFile(const std::vector<datagen::Image>& faces, const std::string& format, int levels, bool announced)
{
    const bool blocks = format != "BGRA";
    const int flags = format == "DXT1"                       ? squish::kDxt1
                      : format == "DXT2" || format == "DXT3" ? squish::kDxt3
                                                             : squish::kDxt5;
    const int size = faces[0].width;
    auto bytesOf = [&](const datagen::Image& level) {
        return blocks ? size_t(squish::GetStorageRequirements(level.width, level.height, flags))
                      : level.pixels.size();
    };
    Bytes out = {'D', 'D', 'S', ' '};
    putLe(out, 124, 4);
    putLe(out, 0x1 | 0x2 | 0x4 | 0x1000 | (blocks ? 0x80000 : 0x8) | (announced ? 0x20000 : 0), 4);
    putLe(out, uint32_t(size), 4);
    putLe(out, uint32_t(size), 4);
    putLe(out, uint32_t(blocks ? bytesOf(faces[0]) : size_t(size) * 4), 4);
    putLe(out, 0, 4);
    putLe(out, uint32_t(levels), 4);
    out.insert(out.end(), 44, 0);
    putLe(out, 32, 4);
    if (blocks) {
        putLe(out, 0x4, 4);
        out.insert(out.end(), format.begin(), format.end());
        out.insert(out.end(), 20, 0);
    } else {
        putLe(out, 0x41, 4);
        putLe(out, 0, 4);
        putLe(out, 32, 4);
        for (uint32_t mask : {0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0xff000000u}) {
            putLe(out, mask, 4);
        }
    }
    const bool cube = faces.size() == 6;
    putLe(out, 0x1000 | (cube || levels > 1 ? 0x8 : 0) | (levels > 1 ? 0x400000 : 0), 4);
    putLe(out, cube ? allFaces : 0, 4);
    out.insert(out.end(), 12, 0);
    for (const datagen::Image& face : faces) {
        datagen::Image level = face;
        for (int l = 0; l < levels; ++l) {
            const size_t at = out.size();
            out.resize(at + bytesOf(level));
            if (blocks) {
                squish::CompressImage(level.pixels.data(), level.width, level.height, &out[at], flags);
            } else {
                for (size_t i = 0; i < level.pixels.size(); i += 4) {
                    const uint8_t* p = &level.pixels[i];
                    out[at + i] = p[2], out[at + i + 1] = p[1], out[at + i + 2] = p[0], out[at + i + 3] = p[3];
                }
            }
            datagen::Image half(std::max(1, level.width / 2), std::max(1, level.height / 2), 4);
            for (int y = 0; y < half.height; ++y) {
                for (int x = 0; x < half.width; ++x) {
                    for (int c = 0; c < 4; ++c) {
                        half.at(x, y)[c] = uint8_t((level.at(2 * x, 2 * y)[c] + level.at(2 * x + 1, 2 * y)[c] +
                                                    level.at(2 * x, 2 * y + 1)[c] + level.at(2 * x + 1, 2 * y + 1)[c] +
                                                    2) / 4);
                    }
                }
            }
            level = half;
        }
    }
    return out;
}

// Peak signal to noise of level 0 of every face against the reference's, in dB, over
// blue, green, red and (when `alpha`) alpha.
double psnr(const DecodedPicture& picture, const DecodedPicture& reference, bool alpha)
{
    double squares = 0.0;
    size_t samples = 0;
    for (int face = 0; face < (reference.cube ? 6 : 1); ++face) {
        const std::vector<uint8_t>& a = picture.level(face, 0).texels;
        const std::vector<uint8_t>& b = reference.level(face, 0).texels;
        for (size_t i = 0; i < b.size(); ++i) {
            if (i % 4 < 3 || alpha) {
                const double d = double(a[i]) - double(b[i]);
                squares += d * d;
                ++samples;
            }
        }
    }
    return squares == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(samples) / squares);
}

bool decode(const Bytes& bytes, DecodedPicture& picture, PictureError& error)
{
    return decodePicture(reinterpret_cast<const char*>(bytes.data()), uint32_t(bytes.size()), PictureLimits(),
                         picture, error);
}

}  // namespace

// Encodings the image library gets wrong without a word: decoded as faithfully as the
// reference the same picture gives as an RGB(A) PNG (as 32-bit texels for cube maps),
// or refused with the reason.
TEST(PictureDecode, CmykJpegsAndDdsVariantsMatchTheirReference)
{
    ilInit();
    const int size = 64;
    std::vector<datagen::Image> opaque, ramp, holes;
    for (int face = 0; face < 6; ++face) {
        opaque.push_back(testPicture(size, face, Alpha::Opaque));
        ramp.push_back(testPicture(size, face, Alpha::Ramp));
        holes.push_back(testPicture(size, face, Alpha::Holes));
    }
    datagen::Image rgb(size, size, 3);
    for (size_t i = 0; i < size_t(size * size); ++i) {
        std::memcpy(&rgb.pixels[i * 3], &opaque[0].pixels[i * 4], 3);
    }
    datagen::Image premultiplied = ramp[0];
    for (size_t i = 0; i < premultiplied.pixels.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            uint8_t& v = premultiplied.pixels[i + c];
            v = uint8_t((v * premultiplied.pixels[i + 3] + 127) / 255);
        }
    }
    const Bytes rgbPng = datagen::encodePng(rgb), holesPng = datagen::encodePng(holes[0]);
    const Bytes rampPng = datagen::encodePng(ramp[0]);
    const Bytes rampCube = ddsFile(ramp, "BGRA", 1, true), holesCube = ddsFile(holes, "BGRA", 1, true);
    const Bytes cut = [&] {
        Bytes dds = ddsFile({ramp[0]}, "DXT5", 1, true);
        dds.resize(dds.size() - 100);
        return dds;
    }();
    const Bytes cutJpeg = [&] {
        Bytes jpeg = cmykJpeg(opaque[0], JCS_CMYK, true, false);
        jpeg.resize(jpeg.size() / 2);
        return jpeg;
    }();
    // The bounds lie between what the loss of the encoding leaves (about 40-45 dB for the
    // JPEGs at quality 95, 28-34 dB for the fine texture in blocks) and wrong colours,
    // texels or faces (under 20 dB).
    const struct {
        const char* name;
        Bytes bytes;
        const Bytes* reference;
        double minimumDb;
        bool alpha = false;        // compared too
        std::string refusal = {};  // the start of the reason, when refused
    } cases[] = {
        {"CMYK JPEG, Adobe-inverted", cmykJpeg(opaque[0], JCS_CMYK, true, false), &rgbPng, 36.0},
        {"progressive YCCK JPEG, Adobe-inverted", cmykJpeg(opaque[0], JCS_YCCK, true, true), &rgbPng, 36.0},
        {"progressive CMYK JPEG without the Adobe marker", cmykJpeg(opaque[0], JCS_CMYK, false, true), &rgbPng, 36.0},
        {"DXT1 with holes", ddsFile({holes[0]}, "DXT1", 1, true), &holesPng, 26.0, true},
        {"DXT1 cube map with holes", ddsFile(holes, "DXT1", 1, true), &holesCube, 26.0, true},
        {"DXT4, colour premultiplied by alpha", ddsFile({premultiplied}, "DXT4", 1, true), &rampPng, 26.0, true},
        {"DXT5 cube map, mipmaps not announced", ddsFile(ramp, "DXT5", 7, false), &rampCube, 26.0, true},
        {"DXT3 cube map, mipmaps not announced", ddsFile(ramp, "DXT3", 7, false), &rampCube, 26.0, true},
        {"32-bit cube map, mipmaps not announced", ddsFile(ramp, "BGRA", 7, false), &rampCube, 99.0, true},
        {"DXT5 cut short", cut, &rgbPng, 0.0, false,
         "refused: a DXT5 DDS of " + std::to_string(cut.size()) + " bytes, short of the " +
             std::to_string(cut.size() + 100) + " its header declares"},
        {"CMYK JPEG cut short", cutJpeg, &rgbPng, 0.0, false,
         "refused: the CMYK JPEG is damaged: Premature end of JPEG file"},
    };
    for (const auto& c : cases) {
        DecodedPicture reference, picture;
        PictureError error;
        ASSERT_TRUE(decode(*c.reference, reference, error)) << c.name << ": the reference: " << error.reason;
        const bool ok = decode(c.bytes, picture, error);
        if (!c.refusal.empty()) {
            EXPECT_FALSE(ok) << c.name;
            EXPECT_EQ(error.reason.rfind(c.refusal, 0), 0u) << c.name << ": " << error.reason;
            continue;
        }
        if (!ok || picture.cube != reference.cube || picture.width != size ||
            picture.levels.size() != reference.levels.size()) {
            ADD_FAILURE() << c.name << ": " << (ok ? "not shaped as the reference" : error.reason);
            continue;
        }
        EXPECT_GE(psnr(picture, reference, c.alpha), c.minimumDb) << c.name;
    }
}
