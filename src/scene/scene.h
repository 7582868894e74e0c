// Scene records: one animated 3D scene as a modelling tool exports it, the root being a
// Tessary. Plain structs with public fields in archive order; scene_archive.h reads and
// writes them, scene_loader.h turns a tree into GL resources, scene_renderer.h draws it.
//
// Ids (`...ID`, `materialID`, `number`, `texID`, `shader`) are 1-based positions in the
// list they refer to; 0 means none. Some file fields are reused once the tree is on the
// card (see the comments); the fields after "run time" are never in a file.
// Texture, Shader and Sampler are the resource records of resources/.
#pragma once
#include "resources/shader.h"
#include "resources/texture.h"

#include <cstdint>
#include <string>
#include <vector>

struct Info {
    std::string tool;       // exporter name
    std::string copyright;  // rights notice
    std::string version;    // exporter version
    std::string modified;   // modification date
};

struct Vector3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct BoundingBox {
    float minX = 0.0f, minY = 0.0f, minZ = 0.0f;
    float maxX = 0.0f, maxY = 0.0f, maxZ = 0.0f;
};

// A reference to another item: `type` says the kind (0 = none, 1 = an object),
// `number` its 1-based position.
struct Parent {
    uint32_t type = 0;
    uint32_t number = 0;
};
struct Target {
    uint32_t type = 0;
    uint32_t number = 0;
};

// One key of an envelope; `spanType` interpolates the span that ends at this key.
struct Key {
    float value = 0.0f;
    float time = 0.0f;
    uint32_t spanType = 0;
    float p1 = 0.0f, p2 = 0.0f, p3 = 0.0f, p4 = 0.0f, p5 = 0.0f, p6 = 0.0f;
};

// Behaviour codes before the first (`pre`) and after the last key (`post`).
enum Behaviour : uint32_t { behaviourReset = 0, behaviourConstant, behaviourRepeat, behaviourOscillate, behaviourOffset };
// Span types.
enum SpanType : uint32_t { spanTcb = 0, spanHermite, spanBezierTangent, spanLinear, spanStepped, spanBezier };

struct Envelope {
    std::vector<Key> key;  // in increasing time
    uint32_t pre = 0;
    uint32_t post = 0;
};

// Channels: 0-2 position, 3-5 heading, pitch, bank (radians), 6-8 scale.
struct Motion {
    std::vector<Envelope> channel;
};
constexpr size_t objectChannels = 9;
constexpr size_t cameraChannels = 6;

// A range of an object's triangles drawn with one material.
struct Surface {
    uint32_t materialID = 0;
    uint32_t polyCount = 0;   // indices drawn (three per triangle)
    uint32_t polyOffset = 0;  // first index of the range in the object's index list
    uint32_t min = 0;         // smallest vertex index of the range
    uint32_t max = 0;         // largest vertex index of the range
};

struct Object {
    int32_t type = 1;         // 0 = the scene companion is drawn here; other = own geometry
    uint32_t pointsID = 0;    // after upload: the GL vertex buffer
    uint32_t normalsID = 0;
    uint32_t polygonsID = 0;  // after upload: the GL index buffer
    uint32_t uvsID = 0;
    uint32_t vboID = 0;       // objects with the same key share one vertex buffer
    uint32_t phType = 0;
    float phMass = 0.0f;
    BoundingBox boundingBox;
    Vector3 pivot;
    Parent parent;
    Target target;
    std::vector<Surface> surface;
    Motion motion;
    Envelope dissolve;

    // run time
    bool uploaded = false;         // pointsID and polygonsID name buffers
    bool ownsVertexBuffer = false; // the upload created pointsID for this object
    bool toldPost = false;         // the renderer reported an unknown post behaviour
};

struct Light {
    uint32_t type = 0;
    float r = 1.0f, g = 1.0f, b = 1.0f;
    float intensity = 1.0f;
    Parent parent;
    Target target;
    Motion motion;
};

struct Points {
    uint32_t crc = 0;
    std::vector<float> data;  // x y z per vertex
};
struct Normals {
    uint32_t crc = 0;
    std::vector<float> data;  // x y z per vertex
};
struct Uv {
    uint32_t crc = 0;
    std::vector<float> data;  // u v per vertex
};
struct Polygons {
    uint32_t crc = 0;            // after upload: the GL index buffer
    std::vector<int32_t> data;   // three vertex indices per triangle

    // run time
    bool uploaded = false;
};

struct LibGeometry {
    std::vector<Points> points;
    std::vector<Normals> normals;
    std::vector<Uv> uvs;
    std::vector<Polygons> polygons;
};

struct Camera {
    std::string name;
    Parent parent;
    Target target;   // type 1: aimed at object `number`
    Motion motion;   // channels 0-5
    Envelope zoomFactor;

    // run time: what the renderer has reported as not implemented (once each)
    bool toldParent = false;
    bool toldTarget = false;
    bool toldPost = false;
};

struct Material {
    uint32_t crc = 0;
    float r = 1.0f, g = 1.0f, b = 1.0f;
    uint32_t mappingType = 0;  // without shader: 0 = flat colour, other = textured
    uint32_t shader = 0;
    uint32_t tTexID = 0;       // after loading: the GL texture name
    uint32_t rTexID = 0;       // after loading: the GL texture name (not drawn)
};

struct LibCamera {
    std::vector<Camera> camera;
};
struct LibMaterial {
    std::vector<Material> material;
};
struct LibShader {
    std::vector<Shader> shaders;
};
struct LibTexture {
    std::vector<Texture> textures;
};

struct Tessary {
    Info info;
    std::vector<Object> object;
    std::vector<Light> light;
    LibGeometry libGeometry;
    LibCamera libCamera;
    LibMaterial libMaterial;
    LibShader libShader;
    LibTexture libTexture;

    // run time
    size_t texturesLoaded = 0;  // textures[0, texturesLoaded) hold GL names in crc
    // Set by orderParents: the objects that parent others, each after its own parent,
    // and for every object 16 floats where the renderer puts a parent object's placement
    // in the frame being drawn (its motion, pivot and parents; not its scale).
    std::vector<uint32_t> parentsFirst;
    std::vector<float> placements;

    // The archive reader allocates the root itself and, when the file ends half-way
    // through it, leaves it to the caller; these let the reader find and free it.
    static void* operator new(size_t size);
    static void operator delete(void* p);
};
