#include "datagen/image.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace datagen {

void Canvas::blend(int x, int y, float r, float g, float b, float a)
{
    if (x < 0 || y < 0 || x >= width || y >= height || a <= 0.0f) {
        return;
    }
    float* p = at(x, y);
    a = std::min(a, 1.0f);
    float outA = a + p[3] * (1.0f - a);
    if (outA <= 0.0f) {
        return;
    }
    float keep = p[3] * (1.0f - a);
    p[0] = (r * a + p[0] * keep) / outA;
    p[1] = (g * a + p[1] * keep) / outA;
    p[2] = (b * a + p[2] * keep) / outA;
    p[3] = outA;
}

void Canvas::fill(float r, float g, float b, float a)
{
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = r;
        rgba[i + 1] = g;
        rgba[i + 2] = b;
        rgba[i + 3] = a;
    }
}

Image toImage(const Canvas& canvas, int channels, bool dither)
{
    // 4x4 Bayer matrix, scaled to +-0.5 of one step.
    static const float bayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    Image image(canvas.width, canvas.height, channels);
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            const float* p = canvas.at(x, y);
            float d = dither ? (bayer[(y & 3) * 4 + (x & 3)] + 0.5f) / 16.0f : 0.5f;
            uint8_t* q = image.at(x, y);
            float grey = 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2];
            for (int c = 0; c < channels; ++c) {
                float v = channels <= 2 ? (c == 0 ? grey : p[3]) : p[c];
                v = std::min(std::max(v, 0.0f), 1.0f);
                q[c] = uint8_t(std::min(255.0f, v * 255.0f + d));
            }
        }
    }
    return image;
}

std::vector<uint8_t> encodePng(const Image& image)
{
    png_image info = {};
    info.version = PNG_IMAGE_VERSION;
    info.width = png_uint_32(image.width);
    info.height = png_uint_32(image.height);
    static const png_uint_32 formats[5] = {0, PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB, PNG_FORMAT_RGBA};
    if (image.channels < 1 || image.channels > 4 || image.pixels.empty()) {
        return {};
    }
    info.format = formats[image.channels];
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&info, nullptr, &size, 0, image.pixels.data(), 0, nullptr)) {
        return {};
    }
    std::vector<uint8_t> bytes(size);
    if (!png_image_write_to_memory(&info, bytes.data(), &size, 0, image.pixels.data(), 0, nullptr)) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

bool decodePng(const std::vector<uint8_t>& bytes, Image& image)
{
    png_image info = {};
    info.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&info, bytes.data(), bytes.size())) {
        return false;
    }
    bool colour = (info.format & PNG_FORMAT_FLAG_COLOR) != 0;
    bool alpha = (info.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    int channels = (colour ? 3 : 1) + (alpha ? 1 : 0);
    static const png_uint_32 formats[5] = {0, PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB, PNG_FORMAT_RGBA};
    info.format = formats[channels];
    image = Image(int(info.width), int(info.height), channels);
    if (!png_image_finish_read(&info, nullptr, image.pixels.data(), 0, nullptr)) {
        png_image_free(&info);
        return false;
    }
    return true;
}

namespace {

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void jpegFail(j_common_ptr info)
{
    longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void jpegSilent(j_common_ptr) {}

}  // namespace

std::vector<uint8_t> encodeJpeg(const Image& source, int quality)
{
    Image image = source.channels == 1 || source.channels == 3 ? source : convertChannels(source, 3);
    jpeg_compress_struct info = {};
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegFail;
    error.manager.output_message = jpegSilent;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(image.width);
    info.image_height = JDIMENSION(image.height);
    info.input_components = image.channels;
    info.in_color_space = image.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.at(0, int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

bool decodeJpeg(const std::vector<uint8_t>& bytes, Image& image)
{
    jpeg_decompress_struct info = {};
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegFail;
    error.manager.output_message = jpegSilent;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    image = Image(int(info.output_width), int(info.output_height), int(info.output_components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.at(0, int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

Image convertChannels(const Image& image, int channels)
{
    if (image.channels == channels) {
        return image;
    }
    Image out(image.width, image.height, channels);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            uint8_t rgba[4];
            if (image.channels <= 2) {
                rgba[0] = rgba[1] = rgba[2] = p[0];
                rgba[3] = image.channels == 2 ? p[1] : 255;
            } else {
                rgba[0] = p[0];
                rgba[1] = p[1];
                rgba[2] = p[2];
                rgba[3] = image.channels == 4 ? p[3] : 255;
            }
            uint8_t* q = out.at(x, y);
            if (channels <= 2) {
                q[0] = uint8_t((rgba[0] * 54 + rgba[1] * 183 + rgba[2] * 19) >> 8);
                if (channels == 2) {
                    q[1] = rgba[3];
                }
            } else {
                for (int c = 0; c < channels; ++c) {
                    q[c] = rgba[c];
                }
            }
        }
    }
    return out;
}

}  // namespace datagen
