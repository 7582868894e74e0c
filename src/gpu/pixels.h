// Pixels between memory and the GL in the layouts the program keeps (BGRA, as the GL
// hands it over fastest on desktop GL, RGB and RGBA) whatever the context: OpenGL ES
// reads and takes only RGBA, so there the bytes are swapped on the CPU.
//
// Needs the context current; main thread only. readPixels writes width * height pixels
// of the layout's size, rows bottom-up as GL gives them; uploadBgra allocates a scratch
// copy on ES only (pictures are uploaded at load time).
#pragma once
#include <cstdint>

namespace gpu {

enum class PixelLayout { Bgra, Rgba, Rgb };

int bytesPerPixel(PixelLayout layout);
// glReadPixels from the bound read framebuffer into `out`, packed rows.
void readPixels(int x, int y, int width, int height, PixelLayout layout, uint8_t* out);
// glTexImage2D of a BGRA picture (internal format RGBA8) into `target` (GL_TEXTURE_2D
// or a cube face) at `level`.
void uploadBgra(unsigned int target, int level, int width, int height, const uint8_t* bgra);

}  // namespace gpu
