#include "resources/cmyk_jpeg.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <new>
#include <vector>

namespace {

// libjpeg reports a fatal error through error_exit, which must not return: it jumps
// back to decode's set-up point. Warnings (damaged data libjpeg goes on with) are
// counted by the library and kept here, quietly, as the first message.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info)
{
    ErrorManager* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->back, 1);
}

void onMessage(j_common_ptr info, int level)
{
    ErrorManager* errors = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && info->err->num_warnings++ == 0) {
        (*info->err->format_message)(info, errors->message);
    }
}

int product(int a, int b) { return (a * b + 127) / 255; }

// Decodes into level (sized here) through the row buffer. Nothing with a destructor is
// made in this frame: the jump back from an error would skip it.
bool decode(jpeg_decompress_struct& info, ErrorManager& errors, const uint8_t* bytes, size_t size,
            PictureLevel& level, std::vector<uint8_t>& row, std::string& reason)
{
    if (setjmp(errors.back) != 0) {
        reason = std::string("refused: libjpeg cannot decode the CMYK JPEG: ") + errors.message;
        return false;
    }
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (info.num_components != 4) {
        reason = "refused: a JPEG of " + std::to_string(info.num_components) + " components taken for CMYK";
        return false;
    }
    info.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&info);
    const bool inverted = info.saw_Adobe_marker;
    const int width = int(info.output_width), height = int(info.output_height);
    level.width = width;
    level.height = height;
    level.texels.resize(size_t(width) * size_t(height) * 4);
    row.resize(size_t(width) * 4);
    while (int(info.output_scanline) < height) {
        const int y = int(info.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        uint8_t* to = &level.texels[size_t(height - 1 - y) * size_t(width) * 4];
        for (int x = 0; x < width; ++x, to += 4) {
            const uint8_t* ink = &row[size_t(x) * 4];
            const int k = inverted ? ink[3] : 255 - ink[3];
            for (int c = 0; c < 3; ++c) {
                to[2 - c] = uint8_t(product(inverted ? ink[c] : 255 - ink[c], k));
            }
            to[3] = 255;
        }
    }
    jpeg_finish_decompress(&info);
    if (info.err->num_warnings > 0) {
        reason = std::string("refused: the CMYK JPEG is damaged: ") + errors.message;
        return false;
    }
    return true;
}

}  // namespace

bool decodeCmykJpeg(const uint8_t* bytes, size_t size, PictureLevel& level, std::string& reason)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    errors.message[0] = '\0';
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    jpeg_create_decompress(&info);
    bool ok = false;
    std::vector<uint8_t> row;
    try {
        ok = decode(info, errors, bytes, size, level, row, reason);
    } catch (const std::bad_alloc&) {
        reason = "out of memory for the CMYK JPEG's texels";
    }
    jpeg_destroy_decompress(&info);
    return ok;
}
