#include "datagen/scene_textures.h"

namespace datagen {

Canvas paint(int width, int height, const std::function<Vec3(float u, float v)>& colour)
{
    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float u = (float(x) + 0.5f) / float(width);
            const float v = 1.0f - (float(y) + 0.5f) / float(height);  // rows run top to bottom
            const Vec3 c = colour(u, v);
            float* p = canvas.at(x, y);
            p[0] = c.x;
            p[1] = c.y;
            p[2] = c.z;
            p[3] = 1.0f;
        }
    }
    return canvas;
}

}  // namespace datagen
