#include "datagen/preview.h"

#include "datagen/cubemap.h"
#include "datagen/dds.h"
#include "datagen/text.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace datagen {
namespace {

bool endsWith(const std::string& s, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// RGBA/grey picture to RGB, alpha composited over a checkerboard.
Image flatten(const Image& image)
{
    Image rgba = convertChannels(image, 4);
    Image out(image.width, image.height, 3);
    bool alpha = image.channels == 2 || image.channels == 4;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = rgba.at(x, y);
            int check = ((x / 16) + (y / 16)) % 2 ? 96 : 64;
            int a = alpha ? p[3] : 255;
            uint8_t* q = out.at(x, y);
            for (int c = 0; c < 3; ++c) {
                q[c] = uint8_t((p[c] * a + check * (255 - a)) / 255);
            }
        }
    }
    return out;
}

// Area-averaged (for integer factors) or nearest resize of an RGB image.
Image resize(const Image& image, int w, int h)
{
    Image out(w, h, image.channels);
    for (int y = 0; y < h; ++y) {
        int y0 = y * image.height / h, y1 = std::max(y0 + 1, (y + 1) * image.height / h);
        for (int x = 0; x < w; ++x) {
            int x0 = x * image.width / w, x1 = std::max(x0 + 1, (x + 1) * image.width / w);
            for (int c = 0; c < image.channels; ++c) {
                int sum = 0;
                for (int j = y0; j < y1; ++j) {
                    for (int i = x0; i < x1; ++i) {
                        sum += image.at(i, j)[c];
                    }
                }
                out.at(x, y)[c] = uint8_t(sum / ((y1 - y0) * (x1 - x0)));
            }
        }
    }
    return out;
}

void paste(Image& target, const Image& source, int x0, int y0)
{
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            if (x0 + x < 0 || y0 + y < 0 || x0 + x >= target.width || y0 + y >= target.height) {
                continue;
            }
            std::memcpy(target.at(x0 + x, y0 + y), source.at(x, y), size_t(target.channels));
        }
    }
}

// Faces as stored, laid out so that the edges meet: -X +Z +X -Z in a row, +Y above
// and -Y below +Z.
Image cubeCross(const std::vector<Image>& faces)
{
    const int cell = std::max(128, std::min(faces[0].width, 256));
    Image out(cell * 4, cell * 3, 3);
    for (size_t i = 0; i < out.pixels.size(); i += 3) {
        out.pixels[i] = out.pixels[i + 1] = out.pixels[i + 2] = 40;
    }
    static const int places[6][2] = {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {1, 1}, {3, 1}};
    for (int f = 0; f < 6; ++f) {
        Image face = resize(convertChannels(faces[size_t(f)], 3), cell, cell);
        paste(out, face, places[f][0] * cell, places[f][1] * cell);
    }
    return out;
}

struct MeshData {
    std::vector<Vec3> points, normals;
    std::vector<int> triangles;
};

bool parseMmf(const std::vector<uint8_t>& bytes, MeshData& mesh)
{
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    enum { none, points, normals, polygons } section = none;
    while (std::getline(in, line)) {
        if (line.find("<points>") != std::string::npos) { section = points; continue; }
        if (line.find("<normals>") != std::string::npos) { section = normals; continue; }
        if (line.find("<polygons>") != std::string::npos) { section = polygons; continue; }
        if (line.find("</") != std::string::npos || line.find('<') != std::string::npos) { section = none; continue; }
        float a, b, c;
        int i, j, k;
        if ((section == points || section == normals) && std::sscanf(line.c_str(), "%f %f %f", &a, &b, &c) == 3) {
            (section == points ? mesh.points : mesh.normals).push_back(Vec3(a, b, c));
        } else if (section == polygons && std::sscanf(line.c_str(), "%d %d %d", &i, &j, &k) == 3) {
            mesh.triangles.insert(mesh.triangles.end(), {i, j, k});
        }
    }
    for (int index : mesh.triangles) {
        if (index < 0 || size_t(index) >= mesh.points.size()) {
            return false;
        }
    }
    return !mesh.triangles.empty();
}

// One orthographic view: screen x along `right`, screen y along `up`, looking along -forward.
void renderView(const MeshData& mesh, const Vec3& right, const Vec3& up, Image& out, int x0)
{
    const int size = out.height;
    Vec3 forward = cross(right, up);
    Vec3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (const Vec3& p : mesh.points) {
        lo = Vec3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = Vec3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    Vec3 centre = (lo + hi) * 0.5f;
    float extent = std::max(length(hi - lo), 1e-6f);
    float scale = size * 0.9f / extent;
    std::vector<float> depth(size_t(size) * size, -1e30f);
    Vec3 light = normalize(right * -0.4f + up * 0.6f + forward * 0.7f);
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        Vec3 p[3];
        float sx[3], sy[3], sz[3];
        for (int k = 0; k < 3; ++k) {
            p[k] = mesh.points[size_t(mesh.triangles[t + k])];
            Vec3 q = p[k] - centre;
            sx[k] = size * 0.5f + dot(q, right) * scale;
            sy[k] = size * 0.5f - dot(q, up) * scale;
            sz[k] = dot(q, forward);
        }
        Vec3 n = normalize(cross(p[1] - p[0], p[2] - p[0]));
        float area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
        if (std::fabs(area) < 1e-12f) {
            continue;
        }
        float facing = dot(n, forward);
        float shade = 0.18f + 0.82f * std::fabs(dot(n, light));
        int minX = std::max(0, int(std::floor(std::min({sx[0], sx[1], sx[2]}))));
        int maxX = std::min(size - 1, int(std::ceil(std::max({sx[0], sx[1], sx[2]}))));
        int minY = std::max(0, int(std::floor(std::min({sy[0], sy[1], sy[2]}))));
        int maxY = std::min(size - 1, int(std::ceil(std::max({sy[0], sy[1], sy[2]}))));
        for (int y = minY; y <= maxY; ++y) {
            for (int x = minX; x <= maxX; ++x) {
                float px = x + 0.5f, py = y + 0.5f;
                float w0 = ((sx[1] - px) * (sy[2] - py) - (sx[2] - px) * (sy[1] - py)) / area;
                float w1 = ((sx[2] - px) * (sy[0] - py) - (sx[0] - px) * (sy[2] - py)) / area;
                float w2 = 1.0f - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0) {
                    continue;
                }
                float z = w0 * sz[0] + w1 * sz[1] + w2 * sz[2];
                float& d = depth[size_t(y) * size + x];
                if (z <= d) {
                    continue;
                }
                d = z;
                // Front faces warm grey, back faces (seen through holes) bluish.
                uint8_t* q = out.at(x0 + x, y);
                float r = facing >= 0 ? 0.95f : 0.55f, g = facing >= 0 ? 0.9f : 0.6f, b = facing >= 0 ? 0.82f : 0.85f;
                q[0] = uint8_t(255 * shade * r);
                q[1] = uint8_t(255 * shade * g);
                q[2] = uint8_t(255 * shade * b);
            }
        }
    }
}

}  // namespace

bool renderMeshPreview(const std::vector<uint8_t>& mmf, Image& preview)
{
    MeshData mesh;
    if (!parseMmf(mmf, mesh)) {
        return false;
    }
    const int size = 256;
    preview = Image(size * 3, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size * 3; ++x) {
            uint8_t v = uint8_t(30 + 20 * y / size);
            uint8_t* q = preview.at(x, y);
            q[0] = q[1] = v;
            q[2] = uint8_t(v + 8);
        }
    }
    renderView(mesh, Vec3(1, 0, 0), Vec3(0, 1, 0), preview, 0);          // front (looking along -z)
    renderView(mesh, Vec3(0, 0, -1), Vec3(0, 1, 0), preview, size);      // side (looking along -x)
    renderView(mesh, Vec3(1, 0, 0), Vec3(0, 0, -1), preview, size * 2);  // top (looking down)
    return true;
}

bool previewAsset(const Asset& asset, Image& preview)
{
    Image image;
    if (endsWith(asset.name, ".png") && decodePng(asset.bytes, image)) {
        preview = flatten(image);
        return true;
    }
    if (endsWith(asset.name, ".jpg") && decodeJpeg(asset.bytes, image)) {
        preview = convertChannels(image, 3);
        return true;
    }
    std::vector<Image> faces;
    if (endsWith(asset.name, ".dds") && decodeDds(asset.bytes, faces)) {
        preview = faces.size() == 6 ? cubeCross(faces) : flatten(faces[0]);
        return true;
    }
    if (endsWith(asset.name, ".mmf")) {
        return renderMeshPreview(asset.bytes, preview);
    }
    return false;
}

namespace {

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int writePreviews(const std::vector<Asset>& assets, const std::string& dir)
{
    mkdir(dir.c_str(), 0755);
    struct Tile {
        std::string name;
        Image picture;
    };
    std::vector<Tile> tiles;
    for (const Asset& asset : assets) {
        Image preview;
        if (!previewAsset(asset, preview)) {
            continue;
        }
        std::string file = asset.name;
        std::replace(file.begin(), file.end(), '/', '_');
        if (!writeFile(dir + "/" + file + ".png", encodePng(preview))) {
            return -1;
        }
        tiles.push_back({asset.name, preview});
    }
    // Contact sheet: thumbnails fitted into 300 x 200 cells with the entry name below.
    const int cellW = 320, cellH = 236, thumbW = 300, thumbH = 200, columns = 5;
    int rows = std::max(1, int(tiles.size() + columns - 1) / columns);
    Canvas sheet(cellW * columns, cellH * rows + 40);
    sheet.fill(0.09f, 0.09f, 0.1f, 1.0f);
    Font font("Liberation Sans", "Regular");
    Font bold("Liberation Sans", "Bold");
    bold.draw(sheet, "data.zip contact sheet", 12, 28, 20, 0.9f, 0.9f, 0.9f);
    Image sheetImage = toImage(sheet, 3, false);
    for (size_t i = 0; i < tiles.size(); ++i) {
        const Image& p = tiles[i].picture;
        float fit = std::min(float(thumbW) / p.width, float(thumbH) / p.height);
        int w = std::max(1, int(p.width * fit)), h = std::max(1, int(p.height * fit));
        int cx = int(i % columns) * cellW, cy = 40 + int(i / columns) * cellH;
        paste(sheetImage, resize(p, w, h), cx + (cellW - w) / 2, cy + (thumbH - h) / 2 + 4);
    }
    // Labels go on a transparent layer drawn over the thumbnails.
    Canvas labels(sheetImage.width, sheetImage.height);
    for (size_t i = 0; i < tiles.size(); ++i) {
        int cx = int(i % columns) * cellW, cy = 40 + int(i / columns) * cellH;
        float width = font.measure(tiles[i].name, 14);
        font.draw(labels, tiles[i].name, cx + (cellW - width) / 2, float(cy + thumbH + 24), 14, 0.85f, 0.85f, 0.85f);
    }
    for (int y = 0; y < sheetImage.height; ++y) {
        for (int x = 0; x < sheetImage.width; ++x) {
            const float* l = labels.at(x, y);
            uint8_t* q = sheetImage.at(x, y);
            for (int c = 0; c < 3; ++c) {
                q[c] = uint8_t(q[c] * (1.0f - l[3]) + 255.0f * l[c] * l[3]);
            }
        }
    }
    if (!writeFile(dir + "/contact.png", encodePng(sheetImage))) {
        return -1;
    }
    return int(tiles.size());
}

}  // namespace datagen
