// Live reloading: when the data is a folder and the demo plays live, an entry that
// changes on disk is loaded again into the records and GL objects that were loaded
// from it, between two frames, without restarting.
//
// Registration: the loaders note every entry they load successfully with what it went
// into (a shader record, a texture name, a mesh record and the buffers uploaded from
// it); a layer above notes entries of its own kinds (the scene files, the music) with a
// reload function. The notes keep pointers to the records: forgetAll() before records
// die (Core::release does; so do tests). Noting is cheap and happens whether or not
// anything is watched.
//
// Watching: start(loader) watches the loader's folder (platform/file_watch.h); poll()
// once a frame reads the queued changes without blocking, and reloads every changed
// entry once it has been quiet for `quietSeconds` (editors save in several steps), once
// per burst. A reload that fails keeps the previous version, prints
// "coredemo: <entry>: <reason> (keeping the previous version)" on standard error and in
// the log, and keeps that line in problems() (shown on screen by the Core) until the
// entry loads cleanly; a reload that succeeds prints "coredemo: reloaded <entry>".
// A new file whose name differs from an entry's only in letter case replaces nothing:
// "coredemo: <new>: refused: its name differs from <entry> only in letter case
// (keeping <entry>)" stays in problems() until the file is gone or renamed.
// Without changes poll makes one system call and allocates nothing. Main thread only
// (the worker that decodes pictures aside); needs the GL context current.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class Loader;
struct Mesh;
struct Shader;

namespace reload {

constexpr double quietSeconds = 0.1;

// ---- registration ----
void noteShader(Shader& shader);
void noteTexture(const std::string& entry, uint32_t name, bool cube);
void noteMesh(const std::string& entry, Mesh& mesh);
// Called by uploadMesh: when `polygons` are a noted mesh's, its buffers are refilled
// from the mesh whenever it reloads (same names, same usage).
void noteMeshUpload(const std::vector<int32_t>& polygons, unsigned int* indexBuffer, unsigned int* vertexBuffer,
                    unsigned int usage);
// A part that derived numbers from a mesh when it loaded it (index lists of its own,
// counts, bounds) derives them again in `derive`, which runs after every reload of the
// mesh, once the record and its buffers hold the new mesh. `mesh` must be noted first.
void noteMeshDerived(const Mesh& mesh, std::function<void()> derive);
// Another kind of entry: `load` gets the watched loader and the entry's bytes and
// answers "" when they are in use now, else why not (the previous version then stays).
using Custom = std::function<std::string(Loader& loader, const std::vector<char>& bytes)>;
void noteCustom(const std::string& entry, Custom load);
// Records going away before forgetAll (a scene replaced by its reload frees its own).
void forgetShader(const Shader* shader);
void forgetTexture(uint32_t name);
void forgetAll();

// ---- the quiet period of a burst of changes (kept apart for its tests) ----
class ChangeQueue {
public:
    // A change of `entry` (letter case as given) at time `now`, in seconds.
    void note(const std::string& entry, double now);
    // Moves the entries quiet since `now - quietSeconds` into `out` (emptied first), in
    // the order they first changed. Allocates nothing while the queue is empty.
    void takeSettled(double now, std::vector<std::string>& out);
    bool empty() const { return pending.empty(); }

private:
    struct Pending {
        std::string entry;
        double last;
    };
    std::vector<Pending> pending;
};

// ---- watching ----
// Watches loader.folder(); false when the data is not a folder or cannot be watched.
bool start(Loader& loader);
void stop();
bool watching();
// Once a frame: reads the changes and reloads the settled entries. The clock is the
// platform's monotonic one unless a test gives `now` (seconds).
void poll();
void poll(double now);
// Loads the entry again into everything noted for it, now (a picture decoded here
// too); "" when it succeeded (or nothing was loaded from it), else the reason. Prints
// and records as described above. poll does the same, except that it decodes pictures
// on a worker thread, one at a time, and loads each at the first poll after its decode.
std::string reloadEntry(const std::string& entry);
// A picture is being decoded or waits for the worker.
bool busy();
// The failure lines of the entries whose latest reload failed, oldest first.
const std::vector<std::string>& problems();

}  // namespace reload
