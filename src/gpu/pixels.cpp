#include "gpu/pixels.h"

#include <epoxy/gl.h>

#include <vector>

namespace gpu {

int bytesPerPixel(PixelLayout layout) { return layout == PixelLayout::Rgb ? 3 : 4; }

void readPixels(int x, int y, int width, int height, PixelLayout layout, uint8_t* out)
{
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (epoxy_is_desktop_gl()) {
        const GLenum format = layout == PixelLayout::Bgra ? GL_BGRA : layout == PixelLayout::Rgba ? GL_RGBA : GL_RGB;
        glReadPixels(x, y, width, height, format, GL_UNSIGNED_BYTE, out);
        return;
    }
    // ES reads RGBA only: RGB goes through a scratch picture kept for the next read.
    const size_t count = size_t(width) * size_t(height);
    static std::vector<uint8_t> scratch;
    if (layout == PixelLayout::Rgb && scratch.size() < count * 4) {
        scratch.resize(count * 4);
    }
    uint8_t* rgba = layout == PixelLayout::Rgb ? scratch.data() : out;
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    if (layout == PixelLayout::Bgra) {
        for (size_t i = 0; i < count; ++i) {
            uint8_t* p = out + 4 * i;
            const uint8_t r = p[0];
            p[0] = p[2];
            p[2] = r;
        }
    } else if (layout == PixelLayout::Rgb) {
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* from = rgba + 4 * i;
            uint8_t* to = out + 3 * i;
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
}

void uploadBgra(unsigned int target, int level, int width, int height, const uint8_t* bgra)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (epoxy_is_desktop_gl()) {
        glTexImage2D(target, level, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, bgra);
        return;
    }
    std::vector<uint8_t> rgba(bgra, bgra + size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        const uint8_t b = rgba[i];
        rgba[i] = rgba[i + 2];
        rgba[i + 2] = b;
    }
    glTexImage2D(target, level, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

}  // namespace gpu
