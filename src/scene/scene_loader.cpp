#include "scene/scene_loader.h"

#include "base/log.h"
#include "resources/alpha_coverage.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "resources/prefetch.h"
#include "scene/scene_archive.h"

#include <epoxy/gl.h>

#include <map>
#include <new>
#include <string>
#include <vector>

namespace {

struct ParsedScene {
    std::unique_ptr<Tessary> tree;
    SceneEncoding encoding = SceneEncoding::Xml;
    unsigned version = 0;  // the library version the file names
};
std::map<std::string, ParsedScene> parsedScenes;  // by lower-case archive path

// The tree the worker parsed for `path`, taken out of the store; false when there is none.
bool takeParsedScene(const char* path, ParsedScene& parsed)
{
    if (parsedScenes.empty() || prefetchRunning()) {
        return false;
    }
    auto found = parsedScenes.find(prefetchKey(path));
    if (found == parsedScenes.end()) {
        return false;
    }
    parsed = std::move(found->second);
    parsedScenes.erase(found);
    return parsed.tree != nullptr;
}

}  // namespace

void prefetchScenes(Loader& loader)
{
    std::vector<char> bytes;
    for (const std::string& name : loader.entryNames("")) {
        const std::string key = prefetchKey(name);
        if (key.find('/') != std::string::npos || key.size() < 4 || key.compare(key.size() - 4, 4, ".xml") != 0) {
            continue;
        }
        try {
            if (!loader.readQuietly(name.c_str(), bytes) || bytes.empty()) {
                continue;
            }
            ParsedScene parsed;
            parsed.encoding = sceneEncoding(bytes.data(), bytes.size());
            std::string error;
            if (readScene(bytes.data(), bytes.size(), parsed.encoding, &parsed.tree, &error, &parsed.version) == 0 &&
                parsed.tree) {
                parsedScenes[key] = std::move(parsed);
            }
        } catch (const std::exception&) {
        }
    }
}

bool scenePrefetched(const char* path)
{
    return !prefetchRunning() && path && parsedScenes.count(prefetchKey(path)) > 0;
}

void dropPrefetchedScenes()
{
    finishPrefetch();
    parsedScenes.clear();
}

int loadScene(const char* path, Loader& loader, std::unique_ptr<Tessary>& root)
{
    CORE_LOG("\nload tsy: " << path);
    const uint32_t size = loader.fileSize(path);
    if (size == 0) {
        CORE_LOG("file size: 0");
        noteLoadFailure(path, "file size: 0");
        return 1;
    }
    // Parsed by the start-up's worker, or read and parsed here.
    ParsedScene parsed;
    std::unique_ptr<char[]> buffer;
    if (!takeParsedScene(path, parsed)) {
        if (const int failed = loader.readAll(path, size, buffer)) {
            if (failed == 2) {
                CORE_LOG("\ndecompression error.");
            }
            return 1;
        }
        parsed.encoding = sceneEncoding(buffer.get(), size);
    }
    if (parsed.encoding == SceneEncoding::Binary) {
        CORE_LOG("wykryte bin, przed serializacja");
    }
    std::string error;
    if (!parsed.tree && readScene(buffer.get(), size, parsed.encoding, &parsed.tree, &error, &parsed.version) != 0) {
        CORE_LOG("wyj\xB9tek! " << error);
        noteLoadFailure(path, "scene not readable: " + error);
        return 1;
    }
    buffer.reset();
    if (parsed.version > sceneArchiveVersion()) {
        CORE_LOG("\tarchive of library version " << parsed.version << ", read as version " << sceneArchiveVersion());
    }
    std::unique_ptr<Tessary> tree = std::move(parsed.tree);
    if (checkScene(*tree, &error) != 0) {
        CORE_LOG("\tscene rejected: " << error);
        noteLoadFailure(path, "scene rejected: " + error);
        return 1;
    }
    orderParents(*tree);
    root = std::move(tree);
    Tessary& scene = *root;

    if (uploadScene(scene, loader) != 0) {
        return 1;
    }
    std::vector<Texture>& textures = scene.libTexture.textures;
    for (Texture& texture : textures) {
        if (loadTexture(loader, texture) != 0) {
            return 1;
        }
        ++scene.texturesLoaded;
    }
    for (Material& material : scene.libMaterial.material) {
        if (material.tTexID != 0) {
            material.tTexID = textures[material.tTexID - 1].crc;
        }
        if (material.rTexID != 0) {
            material.rTexID = textures[material.rTexID - 1].crc;
        }
    }
    for (Shader& shader : scene.libShader.shaders) {
        if (loadShader(loader, shader) != 0) {
            return 1;
        }
    }
    return 0;
}

int uploadScene(Tessary& scene, Loader& loader)
{
    LibGeometry& geometry = scene.libGeometry;
    CORE_LOG("uploading polygons..");
    for (Polygons& polygons : geometry.polygons) {
        polygons.crc = fillBuffer(GL_ELEMENT_ARRAY_BUFFER, polygons.data.data(),
                                  polygons.data.size() * sizeof(int32_t), GL_STATIC_DRAW);
        polygons.uploaded = true;
    }
    loader.uploadedStreams.clear();
    CORE_LOG("uploading vertex streams..");
    std::vector<InterleavedVertex> vertices;
    for (Object& object : scene.object) {
        if (object.polygonsID == 0 || object.pointsID == 0 || object.normalsID == 0) {
            CORE_LOG("\tnull object found, skipped.");
            continue;
        }
        const uint32_t indexBuffer = geometry.polygons[object.polygonsID - 1].crc;
        bool shared = false;
        for (const auto& stream : loader.uploadedStreams) {
            if (stream.first == object.vboID) {
                CORE_LOG("\tdata already uploaded. ");
                object.pointsID = stream.second;
                shared = true;
                break;
            }
        }
        if (!shared) {
            const std::vector<float>& points = geometry.points[object.pointsID - 1].data;
            const std::vector<float>& normals = geometry.normals[object.normalsID - 1].data;
            const std::vector<float>* uvs = object.uvsID != 0 ? &geometry.uvs[object.uvsID - 1].data : nullptr;
            const size_t n = points.size() / 3;
            vertices.assign(n, InterleavedVertex{});
            for (size_t k = 0; k < n; ++k) {
                InterleavedVertex& v = vertices[k];
                if (uvs) {
                    v.u = (*uvs)[2 * k];
                    v.v = (*uvs)[2 * k + 1];
                }
                v.nx = normals[3 * k];
                v.ny = normals[3 * k + 1];
                v.nz = normals[3 * k + 2];
                v.x = points[3 * k];
                v.y = points[3 * k + 1];
                v.z = points[3 * k + 2];
            }
            object.pointsID = fillBuffer(GL_ARRAY_BUFFER, vertices.data(), n * sizeof(InterleavedVertex), GL_STATIC_DRAW);
            object.ownsVertexBuffer = true;
            loader.uploadedStreams.emplace_back(object.vboID, object.pointsID);
        }
        object.polygonsID = indexBuffer;
        object.uploaded = true;
    }
    return 0;
}

int releaseScene(Tessary& scene)
{
    for (Object& object : scene.object) {
        if (object.ownsVertexBuffer) {
            glDeleteBuffers(1, &object.pointsID);
        }
        object.ownsVertexBuffer = false;
        object.uploaded = false;
    }
    for (Polygons& polygons : scene.libGeometry.polygons) {
        if (polygons.uploaded) {
            glDeleteBuffers(1, &polygons.crc);
        }
        polygons.uploaded = false;
    }
    for (size_t i = 0; i < scene.texturesLoaded; ++i) {
        forgetAlphaCoverage(scene.libTexture.textures[i].crc);
        glDeleteTextures(1, &scene.libTexture.textures[i].crc);
    }
    scene.texturesLoaded = 0;
    return 0;
}
