#include "datagen/sprites.h"

#include "datagen/cubemap.h"
#include "datagen/noise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace datagen {
namespace {

float clamp01(float v) { return std::min(std::max(v, 0.0f), 1.0f); }

struct Rgb {
    float r, g, b;
};

// Everything must vanish before the square's edge: multiplied into every sprite.
float borderFade(float r) { return 1.0f - smoothstep(0.86f, 0.98f, r); }

// Evaluates intensity(x, y) in [-1, 1]^2 with 4x4 supersampling; the colour blends
// from `core` (intensity 1 and above) to `edge` (faint parts).
template <typename Shape>
Canvas render(Shape shape, Rgb core, Rgb edge)
{
    Canvas canvas(spriteSize, spriteSize);
    const int ss = 4;
    for (int y = 0; y < spriteSize; ++y) {
        for (int x = 0; x < spriteSize; ++x) {
            float sum = 0.0f;
            for (int j = 0; j < ss; ++j) {
                for (int i = 0; i < ss; ++i) {
                    float u = ((x + (i + 0.5f) / ss) / spriteSize) * 2.0f - 1.0f;
                    float v = ((y + (j + 0.5f) / ss) / spriteSize) * 2.0f - 1.0f;
                    float r = std::sqrt(u * u + v * v);
                    sum += clamp01(shape(u, v, r)) * borderFade(r);
                }
            }
            float a = sum / (ss * ss);
            float heat = smoothstep(0.35f, 1.0f, a);
            float* p = canvas.at(x, y);
            p[0] = edge.r + (core.r - edge.r) * heat;
            p[1] = edge.g + (core.g - edge.g) * heat;
            p[2] = edge.b + (core.b - edge.b) * heat;
            p[3] = a;
        }
    }
    return canvas;
}

float hexagonDistance(float u, float v)
{
    // Distance to a pointy-top hexagon's edge measure (1 at the flat sides' circumradius).
    float au = std::fabs(u), av = std::fabs(v);
    return std::max(au * 0.8660254f + av * 0.5f, av);
}

}  // namespace

Canvas drawSprite(int number)
{
    switch (number) {
    case 1:  // soft glow
        return render([](float, float, float r) { return std::exp(-r * r * 7.0f) * 1.15f + 0.25f * std::exp(-r * 3.5f); },
                      {1.0f, 0.97f, 0.9f}, {1.0f, 0.62f, 0.3f});
    case 2:  // ring
        return render(
            [](float, float, float r) {
                float ring = std::exp(-std::pow((r - 0.62f) / 0.045f, 2.0f));
                float halo = 0.35f * std::exp(-std::pow((r - 0.62f) / 0.16f, 2.0f));
                return ring + halo;
            },
            {0.85f, 1.0f, 1.0f}, {0.25f, 0.7f, 1.0f});
    case 3:  // star: four long and four short rays
        return render(
            [](float u, float v, float r) {
                float a = std::atan2(v, u);
                float rays4 = std::pow(std::fabs(std::cos(2.0f * a)), 60.0f) * std::exp(-r * 2.8f);
                float rays8 = std::pow(std::fabs(std::sin(2.0f * a)), 90.0f) * std::exp(-r * 5.5f) * 0.7f;
                return std::exp(-r * r * 60.0f) * 1.4f + rays4 + rays8 + 0.15f * std::exp(-r * 6.0f);
            },
            {1.0f, 1.0f, 1.0f}, {0.7f, 0.8f, 1.0f});
    case 4:  // spark: a hot diagonal streak
        return render(
            [](float u, float v, float) {
                float along = (u + v) * 0.7071f, across = (u - v) * 0.7071f;
                float length = std::exp(-std::pow(along / 0.62f, 4.0f));
                float width = 0.025f + 0.05f * std::max(0.0f, 1.0f - std::fabs(along) / 0.7f);
                float core = std::exp(-std::pow(across / width, 2.0f)) * length * 1.3f;
                float glow = 0.3f * std::exp(-std::pow(across / (width * 4.0f), 2.0f)) * length;
                return core + glow;
            },
            {1.0f, 0.95f, 0.75f}, {1.0f, 0.45f, 0.08f});
    case 5:  // bokeh disc: translucent body, brighter rim
        return render(
            [](float, float, float r) {
                float body = 1.0f - smoothstep(0.7f, 0.74f, r);
                float rim = std::exp(-std::pow((r - 0.69f) / 0.035f, 2.0f));
                return body * (0.38f + 0.12f * r) + rim * 0.45f;
            },
            {0.8f, 0.9f, 1.0f}, {0.55f, 0.75f, 1.0f});
    case 6:  // cross flare: long thin horizontal line, shorter vertical, halo
        return render(
            [](float u, float v, float r) {
                float horizontal = std::exp(-std::pow(v / 0.018f, 2.0f)) * std::exp(-std::fabs(u) * 1.6f);
                float vertical = std::exp(-std::pow(u / 0.018f, 2.0f)) * std::exp(-std::fabs(v) * 3.2f) * 0.8f;
                return horizontal + vertical + std::exp(-r * r * 40.0f) * 1.2f + 0.25f * std::exp(-r * 4.0f);
            },
            {1.0f, 1.0f, 1.0f}, {0.45f, 0.6f, 1.0f});
    case 7:  // smoke puff
        return render(
            [](float u, float v, float r) {
                float n = fbm3(u * 2.6f + 10.0f, v * 2.6f, 0.5f, 5, 77);
                float billow = 0.55f + 0.45f * n;
                float mask = 1.0f - smoothstep(0.3f + 0.25f * n, 0.85f, r);
                return mask * billow * 1.05f;
            },
            {0.92f, 0.92f, 0.95f}, {0.55f, 0.57f, 0.62f});
    default:  // hexagon: faint body and a crisp outline
        return render(
            [](float u, float v, float) {
                float h = hexagonDistance(u, v) / 0.72f;
                float body = (1.0f - smoothstep(0.97f, 1.0f, h)) * 0.28f;
                float outline = std::exp(-std::pow((h - 0.97f) / 0.03f, 2.0f)) * 0.85f;
                return body + outline;
            },
            {1.0f, 0.85f, 1.0f}, {0.85f, 0.35f, 0.9f});
    }
}

void generateSprites(const Context&, std::vector<Asset>& out)
{
    for (int i = 1; i <= 8; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "textures/particle%02d.png", i);
        out.push_back({name, encodePng(toImage(drawSprite(i), 4))});
    }
}

}  // namespace datagen
