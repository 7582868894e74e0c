// Scene loading: a scene file of the data archive becomes a tree whose geometry,
// textures and shaders live on the card.
//
// loadScene reads the file (XML or binary, by its first byte), checks the tree
// (checkScene), orders its parents for the renderer (orderParents) and then uploads it:
// after a success every uploaded object's pointsID names its vertex buffer and
// polygonsID its index buffer, every texture's crc and every material's tTexID/rTexID a
// GL texture, every shader its compiled effect. `root` gets
// the tree as soon as it has been read, so that the caller can releaseScene it even
// when a later step failed. Needs a current GL context (except for rejected files).
// Everything is logged; no message boxes (the caller shows its own).
#pragma once
#include "scene/scene.h"

#include <memory>

class Loader;

// 0 on success; 1 for a missing or empty file, a failed decompression, a reader error
// (logged "wyj\xB9tek! " and the reader's message), a tree checkScene refuses (logged
// "\tscene rejected: " and the reason), or a texture or shader that failed to load.
// A file of a later library version than this build's is read with this build's layout
// and logged ("\tarchive of library version N, read as version M").
int loadScene(const char* path, Loader& loader, std::unique_ptr<Tessary>& root);

// Scene files read ahead: prefetchScenes is the prefetch worker's job for the layer above
// it (resources/prefetch.h) and parses every scene file at the archive's top level
// ("*.xml", either encoding); loadScene then takes the parsed tree (path letter case
// ignored) instead of reading and parsing the file, with the same log, and reads a file
// the worker could not parse by itself. dropPrefetchedScenes frees what no load took.
void prefetchScenes(Loader& loader);
bool scenePrefetched(const char* path);  // a parsed tree waits for its load
void dropPrefetchedScenes();

// Creates one index buffer per polygons record and one vertex buffer per distinct
// vboID (32-byte interleaved vertices); objects lacking points, normals or polygons
// are skipped ("\tnull object found, skipped.") and keep their fields. Fills
// loader.uploadedStreams with (vboID, buffer) pairs. Always 0. The tree must have
// passed checkScene.
int uploadScene(Tessary& scene, Loader& loader);

// Deletes exactly the buffers uploadScene created, each once, and the textures
// loadScene loaded; the tree then holds no GL names it owns. Always 0.
int releaseScene(Tessary& scene);
