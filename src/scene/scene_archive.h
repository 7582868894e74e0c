// Scene archives: a Tessary tree as a serialisation archive, XML or binary, the root
// stored through a pointer named "tsy" (class version 0, class information kept). Lists
// of records carry an item version; lists of numbers do not (XML files of earlier builds
// that have one there are read as well). Pure CPU code: no GL, no log.
//
// Reading is built for files from outside: a list count larger than the input could
// hold, a string longer than the input, malformed XML or a truncated binary archive end
// the read with an error instead of allocating or reading past the data. Archives of
// later library versions are read with this release's layout (a real layout change
// then shows as a parse error); binary archives older than library version 8 are
// refused. checkScene then says whether the renderer may trust a tree.
#pragma once
#include "scene/scene.h"

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>

enum class SceneEncoding { Xml, Binary };

// XML when the first byte is '<', binary otherwise.
SceneEncoding sceneEncoding(const char* data, size_t size);

// Reads a whole archive of the given encoding from memory. 0 with *root = the new tree
// and *libraryVersion (when given) = the library version the archive names (which may be
// later than sceneArchiveVersion); 1 with *error = the reader's message and *root left
// empty.
int readScene(const char* data, size_t size, SceneEncoding encoding, std::unique_ptr<Tessary>* root,
              std::string* error, unsigned* libraryVersion = nullptr);

void writeScene(const Tessary& scene, SceneEncoding encoding, std::ostream& out);

// The library version this build writes into its archives.
unsigned sceneArchiveVersion();

// Checks everything drawing relies on: at least one camera with six channels, nine
// channels per object, every id inside its list (materials, shaders, textures,
// samplers, geometry, parents, camera target), parent chains without cycles, span types
// the envelopes know for every span of an object's or camera's envelopes, whole vectors
// in the geometry streams, indices inside their vertex stream, surfaces inside their
// index list with every index in [min, max], and objects sharing a vertex buffer
// fitting the first one's stream. Every parent link is followed once. 0 when usable;
// 1 with *reason.
int checkScene(const Tessary& scene, std::string* reason);

// Prepares a checked tree for the renderer: lists the objects that parent others, each
// after its own parent (Tessary::parentsFirst), and makes room for their placements,
// identity until a frame places them. Objects in a parent cycle (which checkScene
// refuses) are left out, so that their children are placed as if they had no parent.
void orderParents(Tessary& scene);
