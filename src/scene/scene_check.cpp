#include "scene/scene_archive.h"

#include <map>
#include <sstream>

namespace {

struct Checker {
    const Tessary& scene;
    std::ostringstream why;

    bool inList(uint32_t id, size_t size, bool optional) const { return id <= size && (optional || id != 0); }

    bool streams()
    {
        const LibGeometry& g = scene.libGeometry;
        for (size_t i = 0; i < g.points.size(); ++i) {
            if (g.points[i].data.size() % 3 != 0) {
                why << "points " << i + 1 << " are not whole vectors";
                return false;
            }
        }
        for (size_t i = 0; i < g.normals.size(); ++i) {
            if (g.normals[i].data.size() % 3 != 0) {
                why << "normals " << i + 1 << " are not whole vectors";
                return false;
            }
        }
        for (size_t i = 0; i < g.uvs.size(); ++i) {
            if (g.uvs[i].data.size() % 2 != 0) {
                why << "uvs " << i + 1 << " are not whole pairs";
                return false;
            }
        }
        return true;
    }

    bool cameras()
    {
        const std::vector<Camera>& cameras = scene.libCamera.camera;
        if (cameras.empty()) {
            why << "no camera";
            return false;
        }
        for (size_t i = 0; i < cameras.size(); ++i) {
            const Camera& c = cameras[i];
            if (c.motion.channel.size() < cameraChannels) {
                why << "camera " << i + 1 << " has " << c.motion.channel.size() << " channels";
                return false;
            }
            if (c.target.type == 1 && !inList(c.target.number, scene.object.size(), false)) {
                why << "camera " << i + 1 << " aims at object " << c.target.number;
                return false;
            }
        }
        return true;
    }

    bool materials()
    {
        const size_t textures = scene.libTexture.textures.size();
        const std::vector<Material>& materials = scene.libMaterial.material;
        for (size_t i = 0; i < materials.size(); ++i) {
            const Material& m = materials[i];
            if (!inList(m.shader, scene.libShader.shaders.size(), true) || !inList(m.tTexID, textures, true) ||
                !inList(m.rTexID, textures, true)) {
                why << "material " << i + 1 << " refers outside the shader or texture list";
                return false;
            }
        }
        const std::vector<Shader>& shaders = scene.libShader.shaders;
        for (size_t i = 0; i < shaders.size(); ++i) {
            for (const Sampler& s : shaders[i].sampler) {
                if (!inList(s.texID, textures, false)) {
                    why << "shader " << i + 1 << " samples texture " << s.texID;
                    return false;
                }
            }
        }
        return true;
    }

    // Follows the parent chain; more steps than objects means a cycle.
    bool parents(size_t index)
    {
        size_t j = index;
        for (size_t steps = 0; scene.object[j].parent.type != 0; ++steps) {
            const uint32_t number = scene.object[j].parent.number;
            if (!inList(number, scene.object.size(), false)) {
                why << "object " << j + 1 << " has parent " << number;
                return false;
            }
            if (steps >= scene.object.size()) {
                why << "object " << index + 1 << " is its own ancestor";
                return false;
            }
            j = number - 1;
        }
        return true;
    }

    bool indicesBelow(const std::vector<int32_t>& indices, size_t begin, size_t end, int64_t low, int64_t high)
    {
        for (size_t k = begin; k < end; ++k) {
            if (indices[k] < low || indices[k] > high) {
                return false;
            }
        }
        return true;
    }

    // Geometry of an object the upload will take (all three main ids set); `vertices`
    // is the count of the vertex buffer it will draw from (shared by vboID).
    bool geometry(size_t index, size_t vertices)
    {
        const Object& o = scene.object[index];
        const std::vector<int32_t>& indices = scene.libGeometry.polygons[o.polygonsID - 1].data;
        if (!indicesBelow(indices, 0, indices.size(), 0, int64_t(vertices) - 1)) {
            why << "object " << index + 1 << " indexes past its " << vertices << " vertices";
            return false;
        }
        for (size_t s = 0; s < o.surface.size(); ++s) {
            const Surface& u = o.surface[s];
            const uint64_t end = uint64_t(u.polyOffset) + u.polyCount;
            bool ok = inList(u.materialID, scene.libMaterial.material.size(), false) && end <= indices.size() &&
                      u.min <= u.max && (u.polyCount == 0 || u.max < vertices) &&
                      indicesBelow(indices, u.polyOffset, size_t(end), u.min, u.max);
            if (!ok) {
                why << "object " << index + 1 << " surface " << s + 1 << " is outside its lists";
                return false;
            }
        }
        return true;
    }

    bool objects()
    {
        const LibGeometry& g = scene.libGeometry;
        std::map<uint32_t, size_t> streamVertices;  // vboID -> vertices of the first upload
        for (size_t i = 0; i < scene.object.size(); ++i) {
            const Object& o = scene.object[i];
            if (o.motion.channel.size() < objectChannels) {
                why << "object " << i + 1 << " has " << o.motion.channel.size() << " channels";
                return false;
            }
            if (!inList(o.pointsID, g.points.size(), true) || !inList(o.normalsID, g.normals.size(), true) ||
                !inList(o.polygonsID, g.polygons.size(), true) || !inList(o.uvsID, g.uvs.size(), true)) {
                why << "object " << i + 1 << " refers outside the geometry";
                return false;
            }
            if (!parents(i)) {
                return false;
            }
            if (o.pointsID == 0 || o.normalsID == 0 || o.polygonsID == 0) {
                continue;  // skipped by the upload, never drawn
            }
            auto shared = streamVertices.find(o.vboID);
            if (shared == streamVertices.end()) {
                const size_t n = g.points[o.pointsID - 1].data.size() / 3;
                if (g.normals[o.normalsID - 1].data.size() < 3 * n ||
                    (o.uvsID != 0 && g.uvs[o.uvsID - 1].data.size() < 2 * n)) {
                    why << "object " << i + 1 << " has fewer normals or uvs than points";
                    return false;
                }
                shared = streamVertices.emplace(o.vboID, n).first;
            }
            if (o.type != 0 && !geometry(i, shared->second)) {
                return false;
            }
        }
        return true;
    }
};

}  // namespace

int checkScene(const Tessary& scene, std::string* reason)
{
    Checker checker{scene, {}};
    if (checker.streams() && checker.cameras() && checker.materials() && checker.objects()) {
        return 0;
    }
    *reason = checker.why.str();
    return 1;
}
