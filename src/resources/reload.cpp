#include "resources/reload.h"

#include "base/log.h"
#include "platform/file_watch.h"
#include "platform/platform.h"
#include "resources/data_source.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "resources/mesh.h"
#include "resources/picture.h"
#include "resources/shader.h"
#include "resources/texture.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <memory>
#include <thread>
#include <unordered_map>

namespace reload {

namespace {

struct TextureNote {
    uint32_t name;
    bool cube;
};

struct BufferNote {
    unsigned int* indexBuffer;
    unsigned int* vertexBuffer;
    unsigned int usage;
};

struct MeshNote {
    Mesh* mesh;
    std::vector<BufferNote> buffers;
    std::vector<std::function<void()>> derived;  // run after the buffers are refilled
};

// Everything loaded from one entry.
struct Targets {
    std::string entry;  // as first noted
    std::vector<Shader*> shaders;
    std::vector<TextureNote> textures;
    std::vector<MeshNote> meshes;
    std::vector<Custom> customs;
};

// A picture being decoded on the worker thread (the image library is used by no one
// else meanwhile: a reload that loads through the loaders waits for it first).
struct PictureJob {
    std::string entry;
    std::vector<char> bytes;
    DecodedPicture picture;
    std::string reason;
    std::atomic<bool> finished{false};
    std::thread worker;
};

struct State {
    std::unordered_map<std::string, Targets> targets;
    Loader* loader = nullptr;
    platform::FileWatch watch;
    ChangeQueue queue;
    std::vector<std::string> settled;
    std::vector<std::string> problemLines;
    std::vector<std::string> problemKeys;  // the entry of each line
    double lastPoll = 0.0;
    // Pictures are decoded on a worker, one at a time; the others wait their turn.
    std::unique_ptr<PictureJob> job;
    std::vector<std::string> waiting;
};

// Never destroyed: the Core's destructor (a global's, at exit) still stops the watch.
State& state()
{
    static State* s = new State;
    return *s;
}

Targets& targetsOf(const std::string& entry)
{
    Targets& t = state().targets[entryKey(entry)];
    if (t.entry.empty()) {
        t.entry = entry;
    }
    return t;
}

// Every level of every face into an existing texture of the same kind (its parameters,
// the anisotropy among them, stay as they were set at its first load).
void uploadInto(const DecodedPicture& picture, uint32_t name)
{
    uploadLevels(picture, name);
    glBindTexture(picture.cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D, 0);
    noteAlphaCoverage(picture, name);
}

// The GL's texture sizes, read on the main thread when watching starts: the decode may
// run on a worker, which has no context to ask.
PictureLimits pictureLimits;

std::string decode(const std::vector<char>& bytes, DecodedPicture& picture)
{
    PictureError error;
    if (!decodePicture(bytes.data(), uint32_t(bytes.size()), pictureLimits, picture, error)) {
        return error.reason.empty() ? "cannot decode the picture" : error.reason;
    }
    return std::string();
}

std::string uploadTextures(const std::vector<TextureNote>& notes, const DecodedPicture& picture)
{
    for (const TextureNote& note : notes) {
        if (note.cube != picture.cube) {
            return picture.cube ? "a cube map cannot replace a flat picture" : "a flat picture cannot replace a cube map";
        }
    }
    for (const TextureNote& note : notes) {
        if (glIsTexture(note.name)) {
            uploadInto(picture, note.name);
        }
    }
    return std::string();
}

// The mesh's lists into buffers that already exist (the layout of uploadMesh).
void refill(const Mesh& mesh, const BufferNote& note)
{
    const std::vector<InterleavedVertex> vertices = interleaveVertices(mesh.points, mesh.normals, mesh.uvs);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, *note.indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(mesh.polygons.size() * sizeof(int32_t)), mesh.polygons.data(),
                 note.usage);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, *note.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(InterleavedVertex)), vertices.data(), note.usage);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

std::string reloadMeshes(std::vector<MeshNote>& notes, const std::vector<char>& bytes, Loader& loader)
{
    Mesh parsed;
    const std::string problem = meshProblem(parsed, parseMmf(bytes.data(), bytes.size(), loader.lineBuffer, parsed));
    if (!problem.empty()) {
        return problem;
    }
    for (MeshNote& note : notes) {
        *note.mesh = parsed;
        for (const BufferNote& buffers : note.buffers) {
            refill(parsed, buffers);
        }
        for (const std::function<void()>& derive : note.derived) {
            derive();
        }
    }
    return std::string();
}

void setProblem(const std::string& key, const std::string& line)
{
    State& s = state();
    for (size_t i = 0; i < s.problemKeys.size(); ++i) {
        if (s.problemKeys[i] == key) {
            s.problemKeys.erase(s.problemKeys.begin() + long(i));
            s.problemLines.erase(s.problemLines.begin() + long(i));
            break;
        }
    }
    if (!line.empty()) {
        s.problemKeys.push_back(key);
        s.problemLines.push_back(line);
    }
}

void say(const std::string& line)
{
    std::fprintf(stderr, "coredemo: %s\n", line.c_str());
    std::fflush(stderr);
    CORE_LOG("coredemo: " << line);
}

// The problem key of a file refused for a name clash: its name as stored after a '/',
// which no entry's key starts with (the folder refuses absolute names).
std::string clashKey(const std::string& refused) { return "/" + refused; }

bool refusedForClash(const std::string& name)
{
    for (const NameClash& clash : state().loader->nameClashes()) {
        if (clash.refused == name) {
            return true;
        }
    }
    return false;
}

// After a rescan: a line for each file newly refused because its name differs from
// another only in letter case (nothing is loaded from it), none for those gone since.
void reportClashes()
{
    State& s = state();
    for (size_t i = 0; i < s.problemKeys.size();) {
        const std::string& key = s.problemKeys[i];
        if (key[0] == '/' && !refusedForClash(key.substr(1))) {
            s.problemKeys.erase(s.problemKeys.begin() + long(i));
            s.problemLines.erase(s.problemLines.begin() + long(i));
        } else {
            ++i;
        }
    }
    for (const NameClash& clash : s.loader->nameClashes()) {
        const std::string key = clashKey(clash.refused);
        if (std::find(s.problemKeys.begin(), s.problemKeys.end(), key) != s.problemKeys.end()) {
            continue;
        }
        const std::string line = clash.refused + ": refused: its name differs from " + clash.other +
                                 " only in letter case" + (clash.otherInUse ? " (keeping " + clash.other + ")" : "");
        say(line);
        setProblem(key, "coredemo: " + line);
    }
}

std::string readEntry(const Targets& targets, std::vector<char>& bytes)
{
    std::string reason = state().loader->readChecked(targets.entry.c_str(), bytes);
    if (reason.empty() && bytes.empty()) {
        reason = "the file is empty";
    }
    return reason;
}

// Loads the bytes (a picture already decoded) into everything noted for the entry,
// unless `reason` says they cannot be used, and reports the outcome.
std::string apply(const std::string& key, Targets& targets, const std::vector<char>& bytes,
                  const DecodedPicture& picture, std::string reason)
{
    State& s = state();
    for (size_t i = 0; reason.empty() && i < targets.shaders.size(); ++i) {
        reason = recompileShader(*targets.shaders[i], bytes);
    }
    if (reason.empty() && !targets.textures.empty()) {
        reason = uploadTextures(targets.textures, picture);
    }
    if (reason.empty() && !targets.meshes.empty()) {
        reason = reloadMeshes(targets.meshes, bytes, *s.loader);
    }
    for (size_t i = 0; reason.empty() && i < targets.customs.size(); ++i) {
        reason = targets.customs[i](*s.loader, bytes);
    }
    if (reason.empty()) {
        say("reloaded " + targets.entry);
        setProblem(key, std::string());
    } else {
        const std::string line = targets.entry + ": " + reason + " (keeping the previous version)";
        say(line);
        setProblem(key, "coredemo: " + line);
    }
    return reason;
}

// Takes the worker's picture when it is done (or, with `wait`, once it is) and loads it.
void finishPicture(bool wait)
{
    State& s = state();
    if (!s.job || (!wait && !s.job->finished.load(std::memory_order_acquire))) {
        return;
    }
    std::unique_ptr<PictureJob> job = std::move(s.job);
    job->worker.join();
    auto it = s.targets.find(entryKey(job->entry));
    if (it != s.targets.end() && s.loader) {
        apply(it->first, it->second, job->bytes, job->picture, job->reason);
    }
}

// Starts decoding the next waiting picture when the worker is free.
void startPicture()
{
    State& s = state();
    while (!s.job && !s.waiting.empty()) {
        const std::string entry = s.waiting.front();
        s.waiting.erase(s.waiting.begin());
        auto it = s.targets.find(entryKey(entry));
        if (it == s.targets.end()) {
            continue;
        }
        auto job = std::make_unique<PictureJob>();
        job->entry = entry;
        const std::string reason = readEntry(it->second, job->bytes);
        if (!reason.empty()) {
            apply(it->first, it->second, job->bytes, job->picture, reason);
            continue;
        }
        PictureJob* running = job.get();
        job->worker = std::thread([running] {
            running->reason = decode(running->bytes, running->picture);
            running->finished.store(true, std::memory_order_release);
        });
        s.job = std::move(job);
    }
}

void onChange(const char* path, int change, void* user)
{
    State& s = *static_cast<State*>(user);
    if (change != platform::FileWatch::FolderChanged) {
        s.queue.note(path, s.lastPoll);
    }
}

}  // namespace

void noteShader(Shader& shader)
{
    std::vector<Shader*>& shaders = targetsOf(shader.source).shaders;
    for (Shader* known : shaders) {
        if (known == &shader) {
            return;
        }
    }
    shaders.push_back(&shader);
}

void noteTexture(const std::string& entry, uint32_t name, bool cube)
{
    std::vector<TextureNote>& textures = targetsOf(entry).textures;
    for (TextureNote& known : textures) {
        if (known.name == name) {
            known.cube = cube;
            return;
        }
    }
    textures.push_back({name, cube});
}

void noteMesh(const std::string& entry, Mesh& mesh)
{
    std::vector<MeshNote>& meshes = targetsOf(entry).meshes;
    for (const MeshNote& known : meshes) {
        if (known.mesh == &mesh) {
            return;
        }
    }
    meshes.push_back({&mesh, {}, {}});
}

void noteMeshUpload(const std::vector<int32_t>& polygons, unsigned int* indexBuffer, unsigned int* vertexBuffer,
                    unsigned int usage)
{
    for (auto& [key, targets] : state().targets) {
        for (MeshNote& note : targets.meshes) {
            if (&note.mesh->polygons == &polygons) {
                note.buffers.push_back({indexBuffer, vertexBuffer, usage});
                return;
            }
        }
    }
}

void noteMeshDerived(const Mesh& mesh, std::function<void()> derive)
{
    for (auto& [key, targets] : state().targets) {
        for (MeshNote& note : targets.meshes) {
            if (note.mesh == &mesh) {
                note.derived.push_back(std::move(derive));
                return;
            }
        }
    }
}

void noteCustom(const std::string& entry, Custom load) { targetsOf(entry).customs.push_back(std::move(load)); }

void forgetShader(const Shader* shader)
{
    for (auto& [key, targets] : state().targets) {
        std::vector<Shader*>& shaders = targets.shaders;
        shaders.erase(std::remove(shaders.begin(), shaders.end(), shader), shaders.end());
    }
}

void forgetTexture(uint32_t name)
{
    for (auto& [key, targets] : state().targets) {
        std::vector<TextureNote>& textures = targets.textures;
        textures.erase(std::remove_if(textures.begin(), textures.end(),
                                      [name](const TextureNote& note) { return note.name == name; }),
                       textures.end());
    }
}

void forgetAll()
{
    State& s = state();
    s.targets.clear();
    s.problemKeys.clear();
    s.problemLines.clear();
}

void ChangeQueue::note(const std::string& entry, double now)
{
    for (Pending& p : pending) {
        if (p.entry == entry) {
            p.last = now;
            return;
        }
    }
    pending.push_back({entry, now});
}

void ChangeQueue::takeSettled(double now, std::vector<std::string>& out)
{
    out.clear();
    if (pending.empty()) {
        return;
    }
    size_t kept = 0;
    for (size_t i = 0; i < pending.size(); ++i) {
        // (A nanosecond of slack: 0.18 - 0.08 is a hair below 0.1 in doubles.)
        if (now - pending[i].last >= quietSeconds - 1e-9) {
            out.push_back(std::move(pending[i].entry));
        } else {
            if (kept != i) {
                pending[kept] = std::move(pending[i]);
            }
            ++kept;
        }
    }
    pending.resize(kept);
}

bool start(Loader& loader)
{
    State& s = state();
    stop();
    const std::string folder = loader.folder();
    if (folder.empty() || !s.watch.open(folder)) {
        return false;
    }
    s.loader = &loader;
    s.settled.reserve(16);
    pictureLimits = textureSizeLimits();
    return true;
}

void stop()
{
    State& s = state();
    if (s.job) {
        s.job->worker.join();
        s.job.reset();
    }
    s.waiting.clear();
    s.watch.close();
    s.loader = nullptr;
}

bool watching() { return state().watch.watching(); }

void poll()
{
    poll(double(platform::counter()) / double(platform::counterFrequency()));
}

void poll(double now)
{
    State& s = state();
    if (!s.loader) {
        return;
    }
    s.lastPoll = now;
    s.watch.poll(onChange, &s);
    if (s.job || !s.waiting.empty()) {
        finishPicture(false);
        startPicture();
    }
    if (s.queue.empty()) {
        return;
    }
    s.queue.takeSettled(now, s.settled);
    if (s.settled.empty()) {
        return;
    }
    s.loader->rescan();  // names may have come or gone (a save by renaming, a deletion)
    reportClashes();
    for (const std::string& entry : s.settled) {
        auto it = s.targets.find(entryKey(entry));
        if (it == s.targets.end() || refusedForClash(entry)) {
            continue;  // nothing was loaded from it
        }
        if (!it->second.textures.empty()) {
            if (std::find(s.waiting.begin(), s.waiting.end(), entry) == s.waiting.end()) {
                s.waiting.push_back(entry);
            }
        } else {
            reloadEntry(entry);
        }
    }
    startPicture();
}

std::string reloadEntry(const std::string& entry)
{
    State& s = state();
    auto it = s.targets.find(entryKey(entry));
    if (it == s.targets.end() || !s.loader) {
        return std::string();  // nothing was loaded from it
    }
    finishPicture(true);
    std::vector<char> bytes;
    std::string reason = readEntry(it->second, bytes);
    DecodedPicture picture;
    if (reason.empty() && !it->second.textures.empty()) {
        reason = decode(bytes, picture);
    }
    return apply(it->first, it->second, bytes, picture, reason);
}

bool busy()
{
    const State& s = state();
    return s.job || !s.waiting.empty();
}

const std::vector<std::string>& problems() { return state().problemLines; }

}  // namespace reload
