// The end-to-end tests' view of what the program writes: PNG pictures read as RGB rows
// (top row first), text files read whole, and fresh temporary folders.
#pragma once
#include <png.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first

    std::array<float, 3> at(int x, int y) const  // 0..1, y counted from the top
    {
        const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
        return {rgb[i] / 255.0f, rgb[i + 1] / 255.0f, rgb[i + 2] / 255.0f};
    }
    std::array<float, 3> centre() const { return at(width / 2, height / 2); }
};

inline bool readPng(const std::string& path, Picture& picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = int(image.width);
    picture.height = int(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

inline std::string readText(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A new folder /tmp/<prefix>-XXXXXX; "" when it cannot be made.
inline std::string makeTempDir(const std::string& prefix)
{
    std::string path = "/tmp/" + prefix + "-XXXXXX";
    return mkdtemp(path.data()) ? path : "";
}
