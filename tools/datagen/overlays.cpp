#include "datagen/overlays.h"

#include "datagen/cubemap.h"
#include "datagen/image.h"
#include "datagen/noise.h"
#include "datagen/text.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace datagen {
namespace {

const int W = overlayWidth, H = overlayHeight;

std::string trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Exact-coverage fill of an axis-aligned rectangle in pixel units.
void fillRect(Canvas& c, float x0, float y0, float x1, float y1, float r, float g, float b, float a)
{
    for (int y = std::max(0, int(std::floor(y0))); y < std::min(c.height, int(std::ceil(y1))); ++y) {
        float cy = std::min(y1, y + 1.0f) - std::max(y0, float(y));
        for (int x = std::max(0, int(std::floor(x0))); x < std::min(c.width, int(std::ceil(x1))); ++x) {
            float cx = std::min(x1, x + 1.0f) - std::max(x0, float(x));
            c.blend(x, y, r, g, b, a * cx * cy);
        }
    }
}

// Puts a soft dark copy of the layer's coverage, offset by (d, d), underneath it so
// that thin white marks stay visible over bright frames.
void addDropShadow(Canvas& c, int d, float opacity)
{
    Canvas shadowed(c.width, c.height);
    shadowed.fill(0, 0, 0, 0);
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            float sum = 0.0f;
            for (int j = -1; j <= 1; ++j) {
                for (int i = -1; i <= 1; ++i) {
                    int sx = x - d + i, sy = y - d + j;
                    if (sx >= 0 && sy >= 0 && sx < c.width && sy < c.height) {
                        sum += c.at(sx, sy)[3];
                    }
                }
            }
            shadowed.at(x, y)[3] = std::min(1.0f, opacity * sum / 9.0f);
            const float* p = c.at(x, y);
            shadowed.blend(x, y, p[0], p[1], p[2], p[3]);
            if (shadowed.at(x, y)[3] <= 0.0f) {
                float* q = shadowed.at(x, y);
                q[0] = p[0];
                q[1] = p[1];
                q[2] = p[2];
            }
        }
    }
    c = shadowed;
}

std::vector<std::string> needLines(const Context& context, const std::string& path, size_t count)
{
    std::vector<std::string> lines = readTextLines(context, path);
    if (lines.size() < count) {
        throw std::runtime_error(path + " needs " + std::to_string(count) + " lines");
    }
    return lines;
}

// The typefaces of every overlay, opened once.
struct Fonts {
    Font bold{"Liberation Sans", "Bold"};
    Font regular{"Liberation Sans", "Regular"};
    Font serif{"Liberation Serif", "Italic"};

    Fonts()
    {
        if (!bold.valid() || !regular.valid() || !serif.valid()) {
            throw std::runtime_error("font not found (install fonts-liberation2)");
        }
    }
};

Canvas frameOverlay(const Context& context, Fonts& fonts)
{
    std::vector<std::string> text = needLines(context, "text/overlay01.txt", 2);
    Canvas c(W, H);
    c.fill(1, 1, 1, 0);  // transparent white: filtering does not darken the edges
    const float inset = 36.0f, arm = 46.0f, thick = 3.0f;
    // Hairline frame.
    fillRect(c, inset, inset, W - inset, inset + 1, 1, 1, 1, 0.28f);
    fillRect(c, inset, H - inset - 1, W - inset, H - inset, 1, 1, 1, 0.28f);
    fillRect(c, inset, inset, inset + 1, H - inset, 1, 1, 1, 0.28f);
    fillRect(c, W - inset - 1, inset, W - inset, H - inset, 1, 1, 1, 0.28f);
    // Corner brackets just outside the hairline.
    const float o = inset - 8.0f;
    for (int corner = 0; corner < 4; ++corner) {
        bool right = corner & 1, bottom = corner & 2;
        float x = right ? W - o : o, y = bottom ? H - o : o;
        float sx = right ? -1.0f : 1.0f, sy = bottom ? -1.0f : 1.0f;
        fillRect(c, std::min(x, x + sx * arm), std::min(y, y + sy * thick), std::max(x, x + sx * arm),
                 std::max(y, y + sy * thick), 1, 1, 1, 0.9f);
        fillRect(c, std::min(x, x + sx * thick), std::min(y, y + sy * arm), std::max(x, x + sx * thick),
                 std::max(y, y + sy * arm), 1, 1, 1, 0.9f);
    }
    // Ticks on the hairline every eighth of the width and height.
    for (int i = 1; i < 8; ++i) {
        float x = inset + (W - 2 * inset) * i / 8.0f, y = inset + (H - 2 * inset) * i / 8.0f;
        float len = i == 4 ? 14.0f : 7.0f;
        fillRect(c, x - 0.5f, inset, x + 0.5f, inset + len, 1, 1, 1, 0.5f);
        fillRect(c, x - 0.5f, H - inset - len, x + 0.5f, H - inset, 1, 1, 1, 0.5f);
        fillRect(c, inset, y - 0.5f, inset + len, y + 0.5f, 1, 1, 1, 0.5f);
        fillRect(c, W - inset - len, y - 0.5f, W - inset, y + 0.5f, 1, 1, 1, 0.5f);
    }
    // Centre registration cross.
    fillRect(c, W / 2.0f - 9, H / 2.0f - 0.5f, W / 2.0f + 9, H / 2.0f + 0.5f, 1, 1, 1, 0.35f);
    fillRect(c, W / 2.0f - 0.5f, H / 2.0f - 9, W / 2.0f + 0.5f, H / 2.0f + 9, 1, 1, 1, 0.35f);
    // The mark: bold word with an accent square, small line under it, bottom right.
    float wordSize = 30.0f, smallSize = 12.0f;
    float wordWidth = fonts.bold.measure(text[0], wordSize, -0.02f);
    float x = W - inset - 22 - wordWidth, y = H - inset - 34;
    fillRect(c, x - 18, y - 20, x - 8, y - 10, 1.0f, 0.45f, 0.12f, 0.95f);
    fonts.bold.draw(c, text[0], x, y, wordSize, 1, 1, 1, 0.92f, -0.02f);
    float smallWidth = fonts.regular.measure(text[1], smallSize, 0.18f);
    fonts.regular.draw(c, text[1], W - inset - 22 - smallWidth, y + 18, smallSize, 1, 1, 1, 0.7f, 0.18f);
    addDropShadow(c, 1, 0.45f);
    return c;
}

Canvas bornToOverlay(const Context& context, Fonts& fonts)
{
    std::vector<std::string> text = needLines(context, "text/overlay-bornto.txt", 3);
    Canvas c(W, H);
    c.fill(1, 1, 1, 0);  // transparent white: filtering does not darken the edges
    // A soft dark corner so the words hold on bright frames.
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            float dx = x / float(W), dy = (H - y) / float(H);
            float d = std::sqrt(dx * dx * 1.2f + dy * dy * 1.6f);
            c.blend(x, y, 0, 0, 0, 0.55f * (1.0f - smoothstep(0.0f, 0.75f, d)));
        }
    }
    const float left = 64.0f;
    float baseline2 = H - 70.0f, size2 = 190.0f;
    float baseline1 = baseline2 - size2 * 0.8f, size1 = 120.0f;
    fonts.regular.draw(c, text[0], left + 6, baseline1 - size1 * 0.82f, 16.0f, 1, 1, 1, 0.75f, 0.3f);
    fonts.bold.draw(c, text[1], left, baseline1, size1, 1, 1, 1, 0.9f, -0.045f);
    fonts.bold.draw(c, text[2], left - 4, baseline2, size2, 1.0f, 0.47f, 0.1f, 0.95f, -0.05f);
    // A rule from the statement to the right edge.
    float end = left + fonts.bold.measure(text[2], size2, -0.05f) + 30.0f;
    fillRect(c, end, baseline2 - 10, W - 64.0f, baseline2 - 7, 1, 1, 1, 0.6f);
    return c;
}

Canvas spiritBlackOverlay(const Context& context, Fonts& fonts)
{
    std::vector<std::string> text = needLines(context, "text/overlay-spiritblack.txt", 2);
    Canvas c(W, H);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            float u = (x + 0.5f) / W * 2.0f - 1.0f, v = (y + 0.5f) / H * 2.0f - 1.0f;
            float d = std::sqrt(u * u * 0.8f + v * v * 1.1f);
            float a = smoothstep(0.45f, 1.35f, d) * 0.95f;
            // Letterbox bands fade in at top and bottom.
            a = std::max(a, 0.8f * (1.0f - smoothstep(40.0f, 90.0f, float(std::min(y, H - 1 - y)))));
            c.blend(x, y, 0.0f, 0.0f, 0.01f, a);
        }
    }
    std::string title;
    for (char ch : text[0]) {
        title += char(std::toupper(static_cast<unsigned char>(ch)));
    }
    float size = 34.0f, tracking = 0.45f;
    float width = fonts.regular.measure(title, size, tracking);
    float y = H - 118.0f;
    fonts.regular.draw(c, title, (W - width) / 2.0f, y, size, 1, 1, 1, 0.9f, tracking);
    fillRect(c, (W - width) / 2.0f - 120, y - 12, (W - width) / 2.0f - 40, y - 11, 1, 1, 1, 0.6f);
    fillRect(c, (W + width) / 2.0f + 30, y - 12, (W + width) / 2.0f + 110, y - 11, 1, 1, 1, 0.6f);
    float captionWidth = fonts.serif.measure(text[1], 18.0f, 0.05f);
    fonts.serif.draw(c, text[1], (W - captionWidth) / 2.0f, y + 36, 18.0f, 0.85f, 0.85f, 0.9f, 0.75f, 0.05f);
    return c;
}

Canvas creditsOverlay(const Context& context, Fonts& fonts)
{
    std::vector<std::string> lines = needLines(context, "text/credits.txt", 1);
    Canvas c(W, H);
    c.fill(1, 1, 1, 0);  // transparent white: filtering does not darken the edges
    // A dark panel on the right, its left edge fading: dark enough that the names read
    // over the pale sculpture and the gold greetings behind them.
    const float panelX = W * 0.56f;
    for (int y = 0; y < H; ++y) {
        for (int x = int(panelX) - 200; x < W; ++x) {
            float a = 0.8f * smoothstep(panelX - 200.0f, panelX + 40.0f, float(x));
            c.blend(x, y, 0.02f, 0.02f, 0.03f, a);
        }
    }
    const float left = panelX + 60.0f;
    const float block = 150.0f;
    float top = H / 2.0f - block * lines.size() / 2.0f + 40.0f;
    fonts.regular.draw(c, "CREDITS", left, top - 40.0f, 15.0f, 1.0f, 0.5f, 0.15f, 0.95f, 0.5f);
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t eq = lines[i].find('=');
        std::string role = trim(lines[i].substr(0, eq)), handle = eq == std::string::npos ? "" : trim(lines[i].substr(eq + 1));
        float y = top + block * i + 30.0f;
        fonts.regular.draw(c, role, left, y, 24.0f, 0.72f, 0.74f, 0.8f, 0.95f, 0.12f);
        fillRect(c, left, y + 14, left + 36, y + 16, 1.0f, 0.5f, 0.15f, 0.9f);
        fonts.bold.draw(c, handle, left - 3, y + 82.0f, 64.0f, 1, 1, 1, 1.0f, -0.02f);
    }
    return c;
}

// An opaque abstract picture: duotone gradient, moire of two ring systems, grain, caption.
Canvas interferencePicture(const Context& context, Fonts& fonts)
{
    std::vector<std::string> text = needLines(context, "text/overlay08.txt", 2);
    Canvas c(W, H);
    const Vec3 deep(0.03f, 0.05f, 0.16f), warm(0.95f, 0.36f, 0.22f), pale(0.98f, 0.85f, 0.62f);
    const float ax = W * 0.36f, ay = H * 0.55f, bx = W * 0.62f, by = H * 0.42f;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            float u = x / float(W), v = y / float(H);
            Vec3 base = mix(deep, warm, smoothstep(0.1f, 1.1f, u * 0.7f + (1.0f - v) * 0.6f));
            float ra = std::hypot(x - ax, y - ay), rb = std::hypot(x - bx, y - by);
            float rings = 0.5f + 0.5f * std::cos(ra * 0.16f) * std::cos(rb * 0.16f);
            float falloff = std::exp(-std::pow(std::hypot(x - W * 0.5f, y - H * 0.5f) / (W * 0.42f), 2.0f));
            Vec3 col = mix(base, pale, rings * rings * 0.55f * falloff);
            float grain = hashUnit(x, y, 0, 808) - 0.5f;
            float* p = c.at(x, y);
            p[0] = col.x + grain * 0.035f;
            p[1] = col.y + grain * 0.035f;
            p[2] = col.z + grain * 0.035f;
            p[3] = 1.0f;
        }
    }
    fonts.bold.draw(c, text[0], 60.0f, H - 60.0f, 150.0f, 1, 1, 1, 0.85f, -0.04f);
    fonts.regular.draw(c, text[1], 68.0f, H - 40.0f, 16.0f, 1, 1, 1, 0.75f, 0.4f);
    return c;
}

}  // namespace

std::vector<std::string> readTextLines(const Context& context, const std::string& relativePath)
{
    std::vector<uint8_t> bytes = readSource(context, relativePath);
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\n') {
            line = trim(line);
            if (!line.empty() && line[0] != '#') {
                lines.push_back(line);
            }
            line.clear();
        } else {
            line += char(bytes[i]);
        }
    }
    return lines;
}

void generateOverlays(const Context& context, std::vector<Asset>& out)
{
    Fonts fonts;
    out.push_back({"textures/overlay01.png", encodePng(toImage(frameOverlay(context, fonts), 4))});
    out.push_back({"textures/overlay08.jpg", encodeJpeg(toImage(interferencePicture(context, fonts), 3), 90)});
    out.push_back({"textures/overlay-bornto.png", encodePng(toImage(bornToOverlay(context, fonts), 4))});
    out.push_back({"textures/overlay-spiritblack.png", encodePng(toImage(spiritBlackOverlay(context, fonts), 4))});
    out.push_back({"textures/overlay-credits.png", encodePng(toImage(creditsOverlay(context, fonts), 4))});
}

}  // namespace datagen
