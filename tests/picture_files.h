// Picture files for the loader's tests, built byte by byte: headers that promise more
// than follows them, and animated GIFs.
#pragma once
#include <cstdint>
#include <vector>

namespace picture_files {

using Bytes = std::vector<uint8_t>;

inline void putLe(Bytes& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(uint8_t(v >> (8 * i)));
    }
}
inline void putBe(Bytes& out, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(uint8_t(v >> (8 * i)));
    }
}

// Only a header worth believing: whatever follows it cannot be decoded.
inline Bytes pngHeader(uint32_t width, uint32_t height)
{
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putBe(out, 13, 4);
    out.insert(out.end(), {'I', 'H', 'D', 'R'});
    putBe(out, width, 4);
    putBe(out, height, 4);
    out.insert(out.end(), {8, 2, 0, 0, 0, 1, 2, 3, 4});
    out.insert(out.end(), 64, 0x5A);
    return out;
}
// An animated GIF: a red first frame, then blue ones (LZW codes kept at 9 bits by a clear
// code before every pixel pair).
inline Bytes gif(int width, int height, int frames)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    putLe(out, uint32_t(width), 2);
    putLe(out, uint32_t(height), 2);
    out.insert(out.end(), {0x80, 0, 0, 255, 0, 0, 0, 0, 255});
    for (int frame = 0; frame < frames; ++frame) {
        out.push_back(0x2C);
        putLe(out, 0, 4);
        putLe(out, uint32_t(width), 2);
        putLe(out, uint32_t(height), 2);
        out.insert(out.end(), {0, 2});
        Bytes data;
        uint32_t bits = 0;
        int count = 0;
        auto emit = [&](uint32_t code) {
            bits |= code << count;
            for (count += 3; count >= 8; count -= 8, bits >>= 8) {
                data.push_back(uint8_t(bits));
            }
        };
        for (int i = 0; i < width * height; ++i) {
            if (i % 2 == 0) {
                emit(4);
            }
            emit(frame == 0 ? 0 : 1);
        }
        emit(5);
        if (count > 0) {
            data.push_back(uint8_t(bits));
        }
        out.push_back(uint8_t(data.size()));  // small pictures only: one block
        out.insert(out.end(), data.begin(), data.end());
        out.push_back(0);
    }
    out.push_back(0x3B);
    return out;
}

}  // namespace picture_files
