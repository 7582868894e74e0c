// Scene authoring: builds Tessary trees from code and writes them with the same archive
// code the demo reads (scene/scene_archive.h). A storyboard adds meshes (each a vertex
// stream of its own, shareable by many objects), textures, shaders, materials, objects
// with surfaces, parents, pivots and animation, and cameras, then writes the tree.
//
// Keys: key() makes one; the span type and the p1..p6 fields say how the span that ends
// at the key is drawn (tcb: tension, continuity, bias in p1..p3; Hermite and tangent
// Bezier: incoming tangent p4, outgoing p5; time-value Bezier: see bezierKey).
#pragma once
#include "resources/mesh.h"
#include "scene/scene.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace datagen {

Key key(float time, float value, uint32_t spanType = spanTcb);
Key tcbKey(float time, float value, float tension, float continuity = 0.0f, float bias = 0.0f);
// A time-value Bezier key (span type 5): p1, p2 = incoming handle (time, value offsets),
// p3, p4 = outgoing handle. The evaluator reads the time offset of the incoming handle
// from p4 as well: for the key ending a Bezier span, outValue is that time offset
// (negative, so that time keeps increasing along the span).
Key bezierKey(float time, float value, float inTime, float inValue, float outTime, float outValue);

Envelope envelope(std::vector<Key> keys, uint32_t pre = behaviourConstant, uint32_t post = behaviourConstant);
Envelope constant(float value);

// Nine constant channels: position, heading/pitch/bank (radians), scale.
Motion still(float x, float y, float z, float heading = 0.0f, float pitch = 0.0f, float bank = 0.0f,
             float scale = 1.0f);

// A mesh made of parts, each part's triangles one surface.
struct PartedMesh {
    Mesh mesh;
    std::vector<std::pair<uint32_t, uint32_t>> parts;  // (first index, index count)
    // Appends a part (its indices shifted behind the vertices so far); returns its number.
    size_t add(const Mesh& part);
};

// Ids of one mesh in the geometry library.
struct MeshIds {
    uint32_t points = 0, normals = 0, uvs = 0, polygons = 0;
    uint32_t vbo = 0;
    const Mesh* mesh = nullptr;  // the builder's copy, for surface ranges
    std::vector<std::pair<uint32_t, uint32_t>> parts;
};

class SceneBuilder {
public:
    Tessary scene;

    explicit SceneBuilder(const std::string& name);
    // A mesh as its own streams and index list with a fresh vboID; a mesh without
    // parts counts as one part.
    MeshIds addMesh(const PartedMesh& mesh);
    MeshIds addMesh(const Mesh& mesh);
    uint32_t addTexture(const std::string& source);
    uint32_t addShader(const std::string& source, std::vector<Sampler> samplers = {});
    uint32_t addShadedMaterial(uint32_t shader, float r = 1.0f, float g = 1.0f, float b = 1.0f);
    uint32_t addTexturedMaterial(uint32_t texture);
    uint32_t addFlatMaterial(float r, float g, float b);
    // A mesh object drawing part k of the mesh with materials[k] (one surface per part);
    // returns its id. Its motion is `motion`, its dissolve constant 0.
    uint32_t addObject(const MeshIds& mesh, const std::vector<uint32_t>& materials, Motion motion);
    // A companion placeholder (type 0, no geometry).
    uint32_t addCompanion(Motion motion);
    // An empty frame to parent others to (type 1, no geometry, never drawn).
    uint32_t addNull(Motion motion);
    Object& object(uint32_t id) { return scene.object[id - 1]; }
    uint32_t addCamera(const std::string& name, Motion motion, Envelope zoom);

    std::vector<uint8_t> xml() const;
    std::vector<uint8_t> binary() const;

private:
    std::vector<Mesh> meshes_;  // kept for surface ranges (never moved: reserved)
};

}  // namespace datagen
