#include "datagen/scene_author.h"

#include "scene/scene_archive.h"

#include <algorithm>
#include <sstream>

namespace datagen {

Key key(float time, float value, uint32_t spanType)
{
    Key k;
    k.time = time;
    k.value = value;
    k.spanType = spanType;
    return k;
}

Key tcbKey(float time, float value, float tension, float continuity, float bias)
{
    Key k = key(time, value, spanTcb);
    k.p1 = tension;
    k.p2 = continuity;
    k.p3 = bias;
    return k;
}

Key bezierKey(float time, float value, float inTime, float inValue, float outTime, float outValue)
{
    Key k = key(time, value, spanBezier);
    k.p1 = inTime;
    k.p2 = inValue;
    k.p3 = outTime;
    k.p4 = outValue;
    return k;
}

Envelope envelope(std::vector<Key> keys, uint32_t pre, uint32_t post)
{
    Envelope e;
    e.key = std::move(keys);
    e.pre = pre;
    e.post = post;
    return e;
}

Envelope constant(float value) { return envelope({key(0.0f, value)}); }

Motion still(float x, float y, float z, float heading, float pitch, float bank, float scale)
{
    Motion m;
    for (float v : {x, y, z, heading, pitch, bank, scale, scale, scale}) {
        m.channel.push_back(constant(v));
    }
    return m;
}

size_t PartedMesh::add(const Mesh& part)
{
    const int32_t base = int32_t(mesh.points.size() / 3);
    const uint32_t first = uint32_t(mesh.polygons.size());
    mesh.points.insert(mesh.points.end(), part.points.begin(), part.points.end());
    mesh.normals.insert(mesh.normals.end(), part.normals.begin(), part.normals.end());
    mesh.uvs.insert(mesh.uvs.end(), part.uvs.begin(), part.uvs.end());
    if (part.uvs.empty()) {
        mesh.uvs.resize(mesh.points.size() / 3 * 2, 0.0f);
    }
    for (int32_t index : part.polygons) {
        mesh.polygons.push_back(base + index);
    }
    parts.emplace_back(first, uint32_t(part.polygons.size()));
    return parts.size() - 1;
}

SceneBuilder::SceneBuilder(const std::string& name)
{
    scene.info.tool = "datagen storyboard";
    scene.info.copyright = "Core";
    scene.info.version = "1";
    scene.info.modified = name;
    meshes_.reserve(256);
}

MeshIds SceneBuilder::addMesh(const PartedMesh& parted)
{
    LibGeometry& g = scene.libGeometry;
    const Mesh& mesh = parted.mesh;
    MeshIds ids;
    g.points.push_back({0, mesh.points});
    ids.points = uint32_t(g.points.size());
    g.normals.push_back({0, mesh.normals});
    ids.normals = uint32_t(g.normals.size());
    if (!mesh.uvs.empty()) {
        g.uvs.push_back({0, mesh.uvs});
        ids.uvs = uint32_t(g.uvs.size());
    }
    Polygons polygons;
    polygons.data = mesh.polygons;
    g.polygons.push_back(polygons);
    ids.polygons = uint32_t(g.polygons.size());
    ids.vbo = ids.points;
    meshes_.push_back(mesh);
    ids.mesh = &meshes_.back();
    ids.parts = parted.parts;
    if (ids.parts.empty()) {
        ids.parts.emplace_back(0u, uint32_t(mesh.polygons.size()));
    }
    return ids;
}

MeshIds SceneBuilder::addMesh(const Mesh& mesh)
{
    PartedMesh parted;
    parted.mesh = mesh;
    return addMesh(parted);
}

uint32_t SceneBuilder::addTexture(const std::string& source)
{
    Texture t;
    t.source = source;
    scene.libTexture.textures.push_back(t);
    return uint32_t(scene.libTexture.textures.size());
}

uint32_t SceneBuilder::addShader(const std::string& source, std::vector<Sampler> samplers)
{
    Shader s;
    s.source = source;
    s.sampler = std::move(samplers);
    scene.libShader.shaders.push_back(s);
    return uint32_t(scene.libShader.shaders.size());
}

uint32_t SceneBuilder::addShadedMaterial(uint32_t shader, float r, float g, float b)
{
    Material m;
    m.r = r;
    m.g = g;
    m.b = b;
    m.shader = shader;
    scene.libMaterial.material.push_back(m);
    return uint32_t(scene.libMaterial.material.size());
}

uint32_t SceneBuilder::addTexturedMaterial(uint32_t texture)
{
    Material m;
    m.mappingType = 1;
    m.tTexID = texture;
    scene.libMaterial.material.push_back(m);
    return uint32_t(scene.libMaterial.material.size());
}

uint32_t SceneBuilder::addFlatMaterial(float r, float g, float b)
{
    Material m;
    m.r = r;
    m.g = g;
    m.b = b;
    scene.libMaterial.material.push_back(m);
    return uint32_t(scene.libMaterial.material.size());
}

uint32_t SceneBuilder::addObject(const MeshIds& mesh, const std::vector<uint32_t>& materials, Motion motion)
{
    Object o;
    o.type = 1;
    o.pointsID = mesh.points;
    o.normalsID = mesh.normals;
    o.polygonsID = mesh.polygons;
    o.uvsID = mesh.uvs;
    o.vboID = mesh.vbo;
    const Mesh& m = *mesh.mesh;
    for (size_t k = 0; k < m.points.size() / 3; ++k) {
        const float* p = &m.points[3 * k];
        BoundingBox& b = o.boundingBox;
        if (k == 0) {
            b = {p[0], p[1], p[2], p[0], p[1], p[2]};
        }
        b.minX = std::min(b.minX, p[0]);
        b.minY = std::min(b.minY, p[1]);
        b.minZ = std::min(b.minZ, p[2]);
        b.maxX = std::max(b.maxX, p[0]);
        b.maxY = std::max(b.maxY, p[1]);
        b.maxZ = std::max(b.maxZ, p[2]);
    }
    for (size_t k = 0; k < mesh.parts.size() && k < materials.size(); ++k) {
        Surface s;
        s.materialID = materials[k];
        s.polyOffset = mesh.parts[k].first;
        s.polyCount = mesh.parts[k].second;
        s.min = UINT32_MAX;
        s.max = 0;
        for (uint32_t i = s.polyOffset; i < s.polyOffset + s.polyCount; ++i) {
            s.min = std::min(s.min, uint32_t(m.polygons[i]));
            s.max = std::max(s.max, uint32_t(m.polygons[i]));
        }
        if (s.polyCount == 0) {
            s.min = 0;
        }
        o.surface.push_back(s);
    }
    o.motion = std::move(motion);
    o.dissolve = constant(0.0f);
    scene.object.push_back(o);
    return uint32_t(scene.object.size());
}

uint32_t SceneBuilder::addCompanion(Motion motion)
{
    Object o;
    o.type = 0;
    o.motion = std::move(motion);
    o.dissolve = constant(0.0f);
    scene.object.push_back(o);
    return uint32_t(scene.object.size());
}

uint32_t SceneBuilder::addNull(Motion motion)
{
    uint32_t id = addCompanion(std::move(motion));
    object(id).type = 1;
    return id;
}

uint32_t SceneBuilder::addCamera(const std::string& name, Motion motion, Envelope zoom)
{
    Camera c;
    c.name = name;
    c.motion = std::move(motion);
    c.zoomFactor = std::move(zoom);
    scene.libCamera.camera.push_back(c);
    return uint32_t(scene.libCamera.camera.size());
}

std::vector<uint8_t> SceneBuilder::xml() const
{
    std::ostringstream out;
    writeScene(scene, SceneEncoding::Xml, out);
    const std::string s = out.str();
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> SceneBuilder::binary() const
{
    std::ostringstream out;
    writeScene(scene, SceneEncoding::Binary, out);
    const std::string s = out.str();
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace datagen
