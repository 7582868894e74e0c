#include "datagen/icon.h"

#include "datagen/image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace datagen {
namespace {

// The design, in units of a 256 x 256 canvas (the SVG's own coordinates).
constexpr float design = 256.0f;
constexpr float tileMin = 16.0f, tileMax = 240.0f, tileRadius = 48.0f;
constexpr float centre = 128.0f;
constexpr float ringRadius = 66.0f, ringWidth = 22.0f;
constexpr float gapHalfAngle = 0.62f;  // radians either side of the ring's opening, to the right
constexpr float coreHalfSide = 21.0f, coreRadius = 3.0f;
constexpr float glowRadius = 92.0f;

struct Colour {
    float r, g, b;
};
struct Stop {
    float offset;
    Colour colour;
    float opacity;
};

// The tile, top to bottom: the deep blue of the interference picture into dusk.
const Stop tileStops[] = {
    {0.0f, {0.035f, 0.045f, 0.140f}, 1.0f},
    {0.55f, {0.110f, 0.070f, 0.200f}, 1.0f},
    {1.0f, {0.480f, 0.160f, 0.150f}, 1.0f},
};
// The warm light around the core, by distance from the centre over glowRadius.
const Stop glowStops[] = {
    {0.0f, {1.0f, 0.45f, 0.12f}, 0.8f},
    {0.3f, {1.0f, 0.45f, 0.12f}, 0.4f},
    {0.65f, {1.0f, 0.45f, 0.12f}, 0.1f},
    {1.0f, {1.0f, 0.45f, 0.12f}, 0.0f},
};
const Colour ringColour = {0.98f, 0.85f, 0.62f};  // the pale of the interference picture
const Colour coreColour = {1.0f, 0.45f, 0.12f};   // the mark's accent square

template <size_t N>
Stop sample(const Stop (&stops)[N], float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    size_t i = 1;
    while (i + 1 < N && stops[i].offset < t) {
        ++i;
    }
    const Stop& a = stops[i - 1];
    const Stop& b = stops[i];
    const float f = std::clamp((t - a.offset) / (b.offset - a.offset), 0.0f, 1.0f);
    return {t,
            {a.colour.r + (b.colour.r - a.colour.r) * f, a.colour.g + (b.colour.g - a.colour.g) * f,
             a.colour.b + (b.colour.b - a.colour.b) * f},
            a.opacity + (b.opacity - a.opacity) * f};
}

// Signed distance to a rounded rectangle (negative inside).
float roundedBox(float x, float y, float x0, float y0, float x1, float y1, float radius)
{
    const float qx = std::fabs(x - (x0 + x1) * 0.5f) - ((x1 - x0) * 0.5f - radius);
    const float qy = std::fabs(y - (y0 + y1) * 0.5f) - ((y1 - y0) * 0.5f - radius);
    const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

// Signed distance to the open ring: a stroke of ringWidth along the circle, round caps.
float openRing(float x, float y, float scale)
{
    const float dx = x - centre * scale, dy = centre * scale - y;
    const float radius = ringRadius * scale, half = ringWidth * 0.5f * scale;
    if (std::fabs(std::atan2(dy, dx)) >= gapHalfAngle) {
        return std::fabs(std::hypot(dx, dy) - radius) - half;
    }
    const float ex = radius * std::cos(gapHalfAngle), ey = radius * std::sin(gapHalfAngle);
    return std::min(std::hypot(dx - ex, dy - ey), std::hypot(dx - ex, dy + ey)) - half;
}

// Coverage of a pixel by a shape from its signed distance in pixels.
float coverage(float distance) { return std::clamp(0.5f - distance, 0.0f, 1.0f); }

Canvas drawIcon(int size)
{
    const float s = float(size) / design;
    // The core square sits on whole pixels at every size, so its edges stay sharp.
    const float half = std::max(2.0f, std::round(coreHalfSide * s));
    const float c = float(size) * 0.5f;
    Canvas canvas(size, size);
    canvas.fill(0, 0, 0, 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            const float tile = coverage(roundedBox(px, py, tileMin * s, tileMin * s, tileMax * s, tileMax * s,
                                                   tileRadius * s));
            if (tile <= 0.0f) {
                continue;
            }
            const Stop base = sample(tileStops, (py / s - tileMin) / (tileMax - tileMin));
            canvas.blend(x, y, base.colour.r, base.colour.g, base.colour.b, tile);
            const Stop glow = sample(glowStops, std::hypot(px - c, py - c) / (glowRadius * s));
            canvas.blend(x, y, glow.colour.r, glow.colour.g, glow.colour.b, glow.opacity * tile);
            canvas.blend(x, y, ringColour.r, ringColour.g, ringColour.b, coverage(openRing(px, py, s)));
            const float core = roundedBox(px, py, c - half, c - half, c + half, c + half, coreRadius * s);
            canvas.blend(x, y, coreColour.r, coreColour.g, coreColour.b, coverage(core));
        }
    }
    return canvas;
}

std::string hex(const Colour& colour)
{
    auto byte = [](float v) { return int(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", byte(colour.r), byte(colour.g), byte(colour.b));
    return text;
}

std::string number(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", double(v));
    std::string s = text;
    while (s.back() == '0') {
        s.pop_back();
    }
    if (s.back() == '.') {
        s.pop_back();
    }
    return s;
}

template <size_t N>
std::string gradientStops(const Stop (&stops)[N])
{
    std::string text;
    for (const Stop& stop : stops) {
        text += "      <stop offset=\"" + number(stop.offset) + "\" stop-color=\"" + hex(stop.colour) + "\"";
        if (stop.opacity < 1.0f) {
            text += " stop-opacity=\"" + number(stop.opacity) + "\"";
        }
        text += "/>\n";
    }
    return text;
}

// The same design as a scalable picture.
std::string drawSvg()
{
    const float ex = centre + ringRadius * std::cos(gapHalfAngle);
    const float ey = ringRadius * std::sin(gapHalfAngle);
    const std::string tile = "x=\"" + number(tileMin) + "\" y=\"" + number(tileMin) + "\" width=\"" +
                             number(tileMax - tileMin) + "\" height=\"" + number(tileMax - tileMin) + "\" rx=\"" +
                             number(tileRadius) + "\"";
    std::string svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    svg += "  <defs>\n";
    svg += "    <linearGradient id=\"tile\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" + number(tileMin) +
           "\" x2=\"0\" y2=\"" + number(tileMax) + "\">\n" + gradientStops(tileStops) + "    </linearGradient>\n";
    svg += "    <radialGradient id=\"glow\" gradientUnits=\"userSpaceOnUse\" cx=\"" + number(centre) + "\" cy=\"" +
           number(centre) + "\" r=\"" + number(glowRadius) + "\">\n" + gradientStops(glowStops) +
           "    </radialGradient>\n";
    svg += "    <clipPath id=\"shape\"><rect " + tile + "/></clipPath>\n";
    svg += "  </defs>\n";
    svg += "  <rect " + tile + " fill=\"url(#tile)\"/>\n";
    svg += "  <rect " + tile + " fill=\"url(#glow)\" clip-path=\"url(#shape)\"/>\n";
    svg += "  <path d=\"M " + number(ex) + " " + number(centre - ey) + " A " + number(ringRadius) + " " +
           number(ringRadius) + " 0 1 0 " + number(ex) + " " + number(centre + ey) + "\" fill=\"none\" stroke=\"" +
           hex(ringColour) + "\" stroke-width=\"" + number(ringWidth) + "\" stroke-linecap=\"round\"/>\n";
    svg += "  <rect x=\"" + number(centre - coreHalfSide) + "\" y=\"" + number(centre - coreHalfSide) +
           "\" width=\"" + number(2 * coreHalfSide) + "\" height=\"" + number(2 * coreHalfSide) + "\" rx=\"" +
           number(coreRadius) + "\" fill=\"" + hex(coreColour) + "\"/>\n";
    svg += "</svg>\n";
    return svg;
}

}  // namespace

std::vector<Asset> generateIcons()
{
    std::vector<Asset> icons;
    for (int size : iconSizes) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        icons.push_back({folder + "/apps/coredemo.png", encodePng(toImage(drawIcon(size), 4, false))});
    }
    const std::string svg = drawSvg();
    icons.push_back({"scalable/apps/coredemo.svg", std::vector<uint8_t>(svg.begin(), svg.end())});
    return icons;
}

}  // namespace datagen
