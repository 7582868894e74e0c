// A small scene for the scene tests, built with the storyboard tools: a camera at
// (0, 0, 5) looking down -z with zoom 1 (90 degrees), and
//   object 1  a red box (flat material) at the origin, edge 1
//   object 2  a textured box sharing object 1's vertex stream, hidden (dissolve 1)
//   object 3  a box with an effect-file material and a sampler, hidden (dissolve 0.0001)
//   object 4  a parent frame moving +5 in x, scaled 3 (not drawn: no geometry)
//   object 5  a child of 4 with pivot (1, 2, 3), hidden
//   object 6  a companion placeholder (type 0), hidden
// plus a light, two textures (the second unused by any material) and animated channels
// of several span types; and helpers for the XML of lists of numbers as earlier builds
// wrote it (with an item version).
#pragma once
#include "datagen/basic_meshes.h"
#include "datagen/scene_author.h"

#include <cstring>
#include <string>
#include <vector>

inline datagen::SceneBuilder makeTestScene()
{
    using namespace datagen;
    SceneBuilder b("test scene <&>");
    const MeshIds box = b.addMesh(makeCube(1.0f));
    const uint32_t checker = b.addTexture("textures/checker.png");
    b.addTexture("textures/spare.png");
    const uint32_t shader = b.addShader("shaders/scene_test.cgfx", {{"texDiffuse", checker}});
    const uint32_t red = b.addFlatMaterial(1.0f, 0.0f, 0.0f);
    const uint32_t textured = b.addTexturedMaterial(checker);
    const uint32_t shaded = b.addShadedMaterial(shader);

    b.addObject(box, {red}, still(0, 0, 0));
    MeshIds sharedBox = box;
    const uint32_t second = b.addObject(sharedBox, {textured}, still(-2, 0, 0));
    b.object(second).dissolve = constant(1.0f);
    const uint32_t third = b.addObject(box, {shaded}, still(2, 0, 0));
    b.object(third).dissolve = constant(0.0001f);

    Motion moving = still(0, 0, 0, 0, 0, 0, 3.0f);
    moving.channel[0] = envelope({key(0, 0, spanLinear), key(1, 5, spanLinear)});
    const uint32_t parent = b.addNull(moving);
    const uint32_t child = b.addObject(box, {red}, still(0, 0, 0));
    b.object(child).pivot = {1, 2, 3};
    b.object(child).parent = {1, parent};
    b.object(child).dissolve = envelope({key(0, 1), key(10, 1, spanStepped)});
    const uint32_t companion = b.addCompanion(still(0, 0, 0));
    b.object(companion).dissolve = constant(1.0f);

    Motion camera = still(0, 0, 5);
    camera.channel[3] = envelope({tcbKey(0, 0, 0), tcbKey(5, 0, 0.5f, 0.1f, -0.2f)}, behaviourRepeat, behaviourOscillate);
    camera.channel[4] = envelope({key(0, 0), bezierKey(2, 0, -0.5f, 0, 0, -0.5f)}, behaviourOffset, behaviourReset);
    b.addCamera("Camera \"main\"", camera, constant(1.0f));

    Light light;
    light.intensity = 0.75f;
    light.motion = still(1, 2, 3);
    b.scene.light.push_back(light);
    return b;
}

// The XML as earlier builds wrote it: an item version in every list of numbers (the
// `data` of points, normals, uvs and polygons), indented like the count before it.
inline std::string withNumberItemVersions(std::string xml)
{
    for (size_t at = xml.find("<data>"); at != std::string::npos; at = xml.find("<data>", at + 1)) {
        const size_t count = xml.find("<count>", at);
        const size_t lineStart = xml.rfind('\n', count) + 1;
        const size_t countEnd = xml.find("</count>", count) + std::strlen("</count>");
        xml.insert(countEnd, "\n" + xml.substr(lineStart, count - lineStart) + "<item_version>0</item_version>");
    }
    return xml;
}

// What follows the count of every list of numbers.
inline std::vector<std::string> afterNumberCounts(const std::string& xml)
{
    std::vector<std::string> after;
    for (size_t at = xml.find("<data>"); at != std::string::npos; at = xml.find("<data>", at + 1)) {
        const size_t next = xml.find('<', xml.find("</count>", at) + 1);
        after.push_back(xml.substr(next, xml.find('>', next) - next + 1));
    }
    return after;
}
