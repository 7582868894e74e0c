#include "datagen/mmf_writer.h"

#include <cstdio>
#include <string>

namespace datagen {
namespace {

void append(std::string& out, const char* text) { out += text; }

}  // namespace

std::vector<uint8_t> writeMmf(const Mesh& mesh)
{
    std::string out;
    out.reserve(mesh.points.size() * 40 + mesh.polygons.size() * 12 + 256);
    char line[256];
    append(out, "<MMF>\n<points>\n");
    for (size_t i = 0; i + 2 < mesh.points.size(); i += 3) {
        std::snprintf(line, sizeof line, "%.9g %.9g %.9g\n", mesh.points[i], mesh.points[i + 1], mesh.points[i + 2]);
        append(out, line);
    }
    append(out, "</points>\n<normals>\n");
    for (size_t i = 0; i + 2 < mesh.normals.size(); i += 3) {
        std::snprintf(line, sizeof line, "%.9g %.9g %.9g\n", mesh.normals[i], mesh.normals[i + 1], mesh.normals[i + 2]);
        append(out, line);
    }
    append(out, "</normals>\n");
    if (!mesh.uvs.empty()) {
        append(out, "<uvs>\n");
        for (size_t i = 0; i + 1 < mesh.uvs.size(); i += 2) {
            std::snprintf(line, sizeof line, "%.9g %.9g\n", mesh.uvs[i], mesh.uvs[i + 1]);
            append(out, line);
        }
        append(out, "</uvs>\n");
    }
    append(out, "<polygons>\n");
    for (size_t i = 0; i + 2 < mesh.polygons.size(); i += 3) {
        std::snprintf(line, sizeof line, "%d %d %d\n", mesh.polygons[i], mesh.polygons[i + 1], mesh.polygons[i + 2]);
        append(out, line);
    }
    append(out, "</polygons>\n");
    if (!mesh.textures.empty()) {
        append(out, "<textures>\n");
        for (const MeshTexture& texture : mesh.textures) {
            std::string path = texture.path;
            for (char& c : path) {
                if (c == '\\') {
                    c = '/';
                }
            }
            out += "<item>\n<source>" + path + "</source>\n</item>\n";
        }
        append(out, "</textures>\n");
    }
    append(out, "</MMF>\n");
    return std::vector<uint8_t>(out.begin(), out.end());
}

}  // namespace datagen
