#include "resources/prefetch.h"

#include "resources/data_source.h"
#include "resources/loader.h"
#include "resources/mesh.h"
#include "resources/picture.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

std::thread worker;
std::map<std::string, DecodedPicture> pictures;  // by lower-case archive path
std::map<std::string, Mesh> meshes;

// Reads every named entry and keeps what `decode` makes of it under its lower-case name.
// An entry that cannot be read or decoded (or memory that runs out) is left out: its
// load reads it again and reports what happens then.
template <typename Item, typename Decode>
void decodeEach(Loader& loader, const std::vector<std::string>& names, std::map<std::string, Item>& items,
                Decode decode)
{
    std::vector<char> bytes;
    for (const std::string& name : names) {
        try {
            Item item;
            if (loader.readQuietly(name.c_str(), bytes) && !bytes.empty() && decode(bytes, item)) {
                items[prefetchKey(name)] = std::move(item);
            }
        } catch (const std::exception&) {
        }
    }
}

void decodeAll(Loader* loader, std::vector<std::string> pictureNames, std::vector<std::string> meshNames,
               PictureLimits limits, PrefetchJob more)
{
    char lineBuffer[256] = {};
    decodeEach(*loader, meshNames, meshes, [&lineBuffer](const std::vector<char>& bytes, Mesh& mesh) {
        // A mesh with defects is left to its load, which reports them.
        return !parseMmf(bytes.data(), bytes.size(), lineBuffer, mesh).any();
    });
    decodeEach(*loader, pictureNames, pictures, [&limits](const std::vector<char>& bytes, DecodedPicture& picture) {
        PictureError error;
        return decodePicture(bytes.data(), uint32_t(bytes.size()), limits, picture, error);
    });
    if (more) {
        try {
            more(*loader);
        } catch (const std::exception&) {
        }
    }
}

template <typename Item>
const Item* lookUp(const std::map<std::string, Item>& items, const char* path)
{
    if (items.empty() || !path || worker.joinable()) {
        return nullptr;
    }
    auto found = items.find(prefetchKey(path));
    return found == items.end() ? nullptr : &found->second;
}

}  // namespace

std::string prefetchKey(const std::string& path)
{
    return entryKey(path);
}

void startPrefetch(Loader& loader, const PictureLimits& limits, PrefetchJob more)
{
    if (worker.joinable() || !loader.opened) {
        return;
    }
    std::vector<std::string> pictureNames = loader.entryNames("textures/");
    std::vector<std::string> meshNames = loader.entryNames("objects/");
    try {
        worker = std::thread(decodeAll, &loader, std::move(pictureNames), std::move(meshNames), limits,
                             more);
    } catch (const std::system_error&) {
        // No thread: every picture is decoded by its load.
    }
}

void finishPrefetch()
{
    if (worker.joinable()) {
        worker.join();
    }
}

bool prefetchRunning() { return worker.joinable(); }

const DecodedPicture* prefetchedPicture(const char* path) { return lookUp(pictures, path); }

const Mesh* prefetchedMesh(const char* path) { return lookUp(meshes, path); }

void dropPrefetched()
{
    finishPrefetch();
    pictures.clear();
    meshes.clear();
}
