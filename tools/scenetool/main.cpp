// scenetool: for people who make scenes.
//   scenetool info FILE
//   scenetool convert IN OUT --xml|--binary
//   scenetool eval FILE --object N|--camera N --channel C|--dissolve|--zoom --time T
// info lists what the file holds and whether the demo would accept it; convert writes
// the same tree in the other encoding; eval prints an envelope's value (9 significant
// digits). Objects and cameras are counted from 1, channels 0-8, both whole numbers.
// Errors: one line on standard error and exit code 1 (2 for a bad command line).
#include "scene/envelope.h"
#include "scene/scene_archive.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: scenetool info FILE\n"
                 "       scenetool convert IN OUT --xml|--binary\n"
                 "       scenetool eval FILE --object N|--camera N --channel C|--dissolve|--zoom --time T\n");
    return 2;
}

int fail(const std::string& file, const std::string& why)
{
    std::fprintf(stderr, "scenetool: %s: %s\n", file.c_str(), why.c_str());
    return 1;
}

struct Loaded {
    std::unique_ptr<Tessary> scene;
    SceneEncoding encoding = SceneEncoding::Xml;
    unsigned version = 0;
};

// 0 with the tree, or 1 after the error line.
int load(const std::string& path, Loaded* loaded)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return fail(path, "cannot open");
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        return fail(path, "empty file");
    }
    loaded->encoding = sceneEncoding(bytes.data(), bytes.size());
    std::string error;
    if (readScene(bytes.data(), bytes.size(), loaded->encoding, &loaded->scene, &error, &loaded->version) != 0) {
        return fail(path, error);
    }
    return 0;
}

void countEnvelope(const Envelope& e, unsigned* spans, unsigned* behaviours)
{
    for (const Key& k : e.key) {
        ++spans[k.spanType < 6 ? k.spanType : 6];
    }
    ++behaviours[e.pre < 5 ? e.pre : 5];
    ++behaviours[e.post < 5 ? e.post : 5];
}

void printKeys(const Motion& motion)
{
    std::printf(", keys");
    for (const Envelope& e : motion.channel) {
        std::printf(" %zu", e.key.size());
    }
}

int info(const std::string& path)
{
    Loaded loaded;
    if (load(path, &loaded) != 0) {
        return 1;
    }
    const Tessary& s = *loaded.scene;
    std::printf("%s: %s archive, library version %u\n", path.c_str(),
                loaded.encoding == SceneEncoding::Xml ? "xml" : "binary", loaded.version);
    std::printf("info: tool \"%s\", copyright \"%s\", version \"%s\", modified \"%s\"\n", s.info.tool.c_str(),
                s.info.copyright.c_str(), s.info.version.c_str(), s.info.modified.c_str());
    const LibGeometry& g = s.libGeometry;
    size_t samplers = 0;
    for (const Shader& shader : s.libShader.shaders) {
        samplers += shader.sampler.size();
    }
    std::printf("objects %zu, lights %zu, cameras %zu, materials %zu, shaders %zu (samplers %zu), textures %zu\n",
                s.object.size(), s.light.size(), s.libCamera.camera.size(), s.libMaterial.material.size(),
                s.libShader.shaders.size(), samplers, s.libTexture.textures.size());
    size_t vertices = 0, indices = 0;
    for (const Points& p : g.points) {
        vertices += p.data.size() / 3;
    }
    for (const Polygons& p : g.polygons) {
        indices += p.data.size();
    }
    std::printf("geometry: points %zu, normals %zu, uvs %zu, polygons %zu (%zu vertices, %zu triangles)\n",
                g.points.size(), g.normals.size(), g.uvs.size(), g.polygons.size(), vertices, indices / 3);

    unsigned spans[7] = {}, behaviours[6] = {};
    for (const Object& o : s.object) {
        for (const Envelope& e : o.motion.channel) {
            countEnvelope(e, spans, behaviours);
        }
        countEnvelope(o.dissolve, spans, behaviours);
    }
    for (const Camera& c : s.libCamera.camera) {
        for (const Envelope& e : c.motion.channel) {
            countEnvelope(e, spans, behaviours);
        }
        countEnvelope(c.zoomFactor, spans, behaviours);
    }
    std::printf("keys by span type: tcb %u, hermite %u, bezier-tangent %u, linear %u, stepped %u, bezier %u, other %u\n",
                spans[0], spans[1], spans[2], spans[3], spans[4], spans[5], spans[6]);
    std::printf("pre/post behaviours: reset %u, constant %u, repeat %u, oscillate %u, offset %u, other %u\n",
                behaviours[0], behaviours[1], behaviours[2], behaviours[3], behaviours[4], behaviours[5]);
    for (size_t i = 0; i < s.object.size(); ++i) {
        const Object& o = s.object[i];
        std::printf("object %zu: type %d, points %u, normals %u, polygons %u, uvs %u, vbo %u, parent %u/%u, "
                    "surfaces %zu",
                    i + 1, o.type, o.pointsID, o.normalsID, o.polygonsID, o.uvsID, o.vboID, o.parent.type,
                    o.parent.number, o.surface.size());
        printKeys(o.motion);
        std::printf(", dissolve %zu\n", o.dissolve.key.size());
    }
    for (size_t i = 0; i < s.libCamera.camera.size(); ++i) {
        const Camera& c = s.libCamera.camera[i];
        std::printf("camera %zu \"%s\": target %u/%u", i + 1, c.name.c_str(), c.target.type, c.target.number);
        printKeys(c.motion);
        std::printf(", zoom %zu\n", c.zoomFactor.key.size());
    }
    std::string reason;
    if (checkScene(s, &reason) == 0) {
        std::printf("check: ok\n");
    } else {
        std::printf("check: refused: %s\n", reason.c_str());
    }
    return 0;
}

int convert(const std::string& in, const std::string& out, const std::string& encoding)
{
    if (encoding != "--xml" && encoding != "--binary") {
        return usage();
    }
    Loaded loaded;
    if (load(in, &loaded) != 0) {
        return 1;
    }
    std::ofstream file(out, std::ios::binary);
    if (!file) {
        return fail(out, "cannot write");
    }
    writeScene(*loaded.scene, encoding == "--xml" ? SceneEncoding::Xml : SceneEncoding::Binary, file);
    file.close();
    return file ? 0 : fail(out, "cannot write");
}

bool number(const char* text, double* value)
{
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

std::string whole(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

// Decimal digits only: ids and channels are whole numbers.
bool wholeNumber(const char* text, double* value)
{
    if (*text == '\0' || std::strspn(text, "0123456789") != std::strlen(text)) {
        return false;
    }
    return number(text, value);
}

int eval(int argc, char** argv)
{
    const std::string path = argv[2];
    bool camera = false;
    double item = -1, channel = -1, time = 0;
    bool haveTime = false;
    enum { None, Channel, Dissolve, Zoom } what = None;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if ((arg == "--object" || arg == "--camera") && hasValue) {
            camera = arg == "--camera";
            if (!wholeNumber(argv[++i], &item)) {
                return usage();
            }
        } else if (arg == "--channel" && hasValue) {
            what = Channel;
            if (!wholeNumber(argv[++i], &channel)) {
                return usage();
            }
        } else if (arg == "--dissolve") {
            what = Dissolve;
        } else if (arg == "--zoom") {
            what = Zoom;
        } else if (arg == "--time" && hasValue) {
            haveTime = number(argv[++i], &time);
            if (!haveTime) {
                return usage();
            }
        } else {
            return usage();
        }
    }
    if (item < 1 || what == None || !haveTime || (what == Dissolve && camera) || (what == Zoom && !camera)) {
        return usage();
    }
    Loaded loaded;
    if (load(path, &loaded) != 0) {
        return 1;
    }
    const Tessary& s = *loaded.scene;
    const size_t count = camera ? s.libCamera.camera.size() : s.object.size();
    if (item > double(count)) {
        return fail(path, std::string(camera ? "no camera " : "no object ") + whole(item));
    }
    const size_t index = size_t(item) - 1;
    const Motion& motion = camera ? s.libCamera.camera[index].motion : s.object[index].motion;
    const Envelope* envelope = nullptr;
    if (what == Dissolve) {
        envelope = &s.object[index].dissolve;
    } else if (what == Zoom) {
        envelope = &s.libCamera.camera[index].zoomFactor;
    } else if (channel >= 0 && channel <= 8 && channel < double(motion.channel.size())) {
        envelope = &motion.channel[size_t(channel)];
    } else {
        return fail(path, "no channel " + whole(channel));
    }
    std::printf("%.9g\n", double(evaluateEnvelope(float(time), *envelope)));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return usage();
    }
    const std::string verb = argv[1];
    if (verb == "info" && argc == 3) {
        return info(argv[2]);
    }
    if (verb == "convert" && argc == 5) {
        return convert(argv[2], argv[3], argv[4]);
    }
    if (verb == "eval" && argc >= 7) {
        return eval(argc, argv);
    }
    return usage();
}
