// Pictures and meshes decoded ahead of their loads. While the loading bar fades in, the
// main thread has nothing to do but draw it: a worker thread meanwhile reads and decodes
// (resources/picture.h) every picture in the archive's "textures/" folder and parses
// every mesh in its "objects/" folder, so that the parts' inits only upload them.
//
// Protocol (main thread): startPrefetch before the fade-in (with the sizes the GL's
// textures can have, textureSizeLimits() of resources/texture.h: pictures larger than
// that are left to their loads, which refuse them), then no use of the image
// library or the loader until finishPrefetch has returned; the loaders then take what
// they need with prefetchedPicture / prefetchedMesh (path letter case ignored) and read
// by themselves whatever is missing (a file the worker could not read, decode or parse
// is simply left out, so its failure is reported by the load as usual). Once the loads
// are done, dropPrefetched frees the memory. With nothing started, or while the worker
// runs, every lookup gives null.
//
// A layer above can give the worker one more job (`more`, run after the meshes and
// pictures under the same protocol: the scene files' parsing); prefetchRunning tells its
// lookups whether the worker still runs.
#pragma once
#include <string>

#include "resources/picture.h"

class Loader;
struct Mesh;

using PrefetchJob = void (*)(Loader& loader);
// The key the stores use for an archive path: the path in lower case.
std::string prefetchKey(const std::string& path);
void startPrefetch(Loader& loader, const PictureLimits& limits, PrefetchJob more = nullptr);
void finishPrefetch();
bool prefetchRunning();
const DecodedPicture* prefetchedPicture(const char* path);
const Mesh* prefetchedMesh(const char* path);
void dropPrefetched();
