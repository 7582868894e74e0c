#include "scene/scene_archive.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace {

// The first bad parent link of a tree.
struct ParentFault {
    bool found = false;
    bool cycle = false;   // else a parent outside the list
    size_t object = 0;    // the object whose link is bad (on the cycle, for a cycle)
    uint32_t number = 0;  // its parent number
};

// Walks every object's parent chain, each link once. Gives the objects that are parents
// of others, each after its own parent, leaving out the objects of a cycle; *fault gets
// the first parent outside the list or cycle met.
std::vector<uint32_t> walkParents(const std::vector<Object>& objects, ParentFault* fault)
{
    const size_t n = objects.size();
    std::vector<bool> isParent(n, false);
    for (const Object& o : objects) {
        if (o.parent.type != 0 && o.parent.number >= 1 && o.parent.number <= n) {
            isParent[o.parent.number - 1] = true;
        }
    }
    enum : uint8_t { unseen, onPath, walked };
    std::vector<uint8_t> state(n, unseen);
    std::vector<uint32_t> parentsFirst;
    std::vector<size_t> path;
    for (size_t i = 0; i < n; ++i) {
        path.clear();
        size_t cycleFrom = SIZE_MAX;  // path[cycleFrom..] is a cycle
        for (size_t j = i; state[j] != walked;) {
            if (state[j] == onPath) {
                cycleFrom = size_t(std::find(path.begin(), path.end(), j) - path.begin());
                if (!fault->found) {
                    *fault = {true, true, j, objects[j].parent.number};
                }
                break;
            }
            state[j] = onPath;
            path.push_back(j);
            const Parent& parent = objects[j].parent;
            if (parent.type == 0) {
                break;
            }
            if (parent.number == 0 || parent.number > n) {
                if (!fault->found) {
                    *fault = {true, false, j, parent.number};
                }
                break;
            }
            j = parent.number - 1;
        }
        // From the top of the path (below an ancestor already walked, a root or the
        // cycle) down to object i.
        for (size_t k = path.size(); k-- > 0;) {
            state[path[k]] = walked;
            if (k < cycleFrom && isParent[path[k]]) {
                parentsFirst.push_back(uint32_t(path[k]));
            }
        }
    }
    return parentsFirst;
}

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

    bool parents()
    {
        ParentFault fault;
        walkParents(scene.object, &fault);
        if (fault.found && fault.cycle) {
            why << "object " << fault.object + 1 << " is its own ancestor";
        } else if (fault.found) {
            why << "object " << fault.object + 1 << " has parent " << fault.number;
        }
        return !fault.found;
    }

    // Every span (a key after the first) of a type the envelopes know; the first key's
    // type only chooses its outgoing tangent, where any other type counts as none.
    bool spans(const Envelope& e, const char* item, size_t index, const char* what, size_t channel)
    {
        for (size_t k = 1; k < e.key.size(); ++k) {
            if (e.key[k].spanType > spanBezier) {
                why << item << " " << index + 1 << " " << what;
                if (channel != SIZE_MAX) {
                    why << " " << channel;
                }
                why << " key " << k + 1 << " has span type " << e.key[k].spanType;
                return false;
            }
        }
        return true;
    }

    bool envelopes()
    {
        for (size_t i = 0; i < scene.object.size(); ++i) {
            const Object& o = scene.object[i];
            for (size_t c = 0; c < o.motion.channel.size(); ++c) {
                if (!spans(o.motion.channel[c], "object", i, "channel", c)) {
                    return false;
                }
            }
            if (!spans(o.dissolve, "object", i, "dissolve", SIZE_MAX)) {
                return false;
            }
        }
        for (size_t i = 0; i < scene.libCamera.camera.size(); ++i) {
            const Camera& c = scene.libCamera.camera[i];
            for (size_t k = 0; k < c.motion.channel.size(); ++k) {
                if (!spans(c.motion.channel[k], "camera", i, "channel", k)) {
                    return false;
                }
            }
            if (!spans(c.zoomFactor, "camera", i, "zoom", SIZE_MAX)) {
                return false;
            }
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
    if (checker.streams() && checker.cameras() && checker.materials() && checker.objects() && checker.parents() &&
        checker.envelopes()) {
        return 0;
    }
    *reason = checker.why.str();
    return 1;
}

void orderParents(Tessary& scene)
{
    ParentFault fault;
    scene.parentsFirst = walkParents(scene.object, &fault);
    scene.placements.assign(16 * scene.object.size(), 0.0f);
    for (size_t m = 0; m < scene.placements.size(); m += 16) {
        for (size_t k = 0; k < 16; k += 5) {
            scene.placements[m + k] = 1.0f;  // identity
        }
    }
}
