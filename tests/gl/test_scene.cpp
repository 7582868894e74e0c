// Scene loading, upload, release and drawing on a real context: the loader's log lines
// and refusals, vertex streams shared by vboID and released once, the matrices of pivots,
// parents and the camera, which pixels a small scene covers, a deep parent chain in
// linear time, and what is not implemented reported once per object.
#include "gl_fixture.h"
#include "log_capture.h"
#include "scene_fixture.h"

#include "app/screen.h"
#include "core/gui.h"
#include "datagen/image.h"
#include "datagen/zip_writer.h"
#include "resources/loader.h"
#include "resources/prefetch.h"
#include "resources/texture.h"
#include "platform/platform.h"
#include "scene/scene_archive.h"
#include "scene/scene_loader.h"
#include "scene/scene_renderer.h"
#include "tweak/tweak.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <string>

namespace {

const char* const kSceneEffect = R"(
// Green from the texture's green channel, through all six scene semantics.
float4x4 mvp : state.matrix.mvp;
float4x4 world : tsy.matrix.model;
float4x4 worldT : tsy.matrix.inverse.model;
float4x4 modelView : tsy.matrix.modelview;
float4x4 modelViewT : tsy.matrix.inverse.modelview;
float3 eye : camPos;
sampler2D texDiffuse = sampler_state { MinFilter = Linear; MagFilter = Linear; };

struct Out { float4 position : POSITION; float2 uv : TEXCOORD0; float shade : TEXCOORD1; };

Out vs(float2 uv : TEXCOORD0, float3 n : NORMAL, float3 p : POSITION, uniform float4x4 toClip,
       uniform float4x4 m, uniform float4x4 mt, uniform float4x4 mv, uniform float4x4 mvt, uniform float3 cam)
{
    Out o;
    o.position = mul(toClip, float4(p, 1.0));
    float3 w = mul(m, float4(p, 1.0)).xyz;
    float3 wn = mul(float4(n, 0.0), mt).xyz;
    float3 v = mul(float4(p, 1.0), mv).xyz - mul(float4(p, 1.0), mvt).xyz;
    o.shade = 0.75 + 0.25 * saturate(dot(wn, normalize(cam - w))) + dot(v, v);
    o.uv = uv;
    return o;
}

float4 ps(float2 uv : TEXCOORD0, float shade : TEXCOORD1, uniform sampler2D tex) : COLOR
{
    return float4(0.0, tex2D(tex, uv).g * shade, 0.0, 1.0);
}

technique Main {
    pass {
        VertexProgram = compile arbvp1 vs(mvp, world, worldT, modelView, modelViewT, eye);
        FragmentProgram = compile arbfp1 ps(texDiffuse);
    }
}
)";

int buffersMade = 0;
int buffersDeleted = 0;
PFNGLGENBUFFERSPROC realGenBuffers = nullptr;
PFNGLDELETEBUFFERSPROC realDeleteBuffers = nullptr;
void GLAPIENTRY countingGenBuffers(GLsizei n, GLuint* names)
{
    buffersMade += n;
    realGenBuffers(n, names);
}
void GLAPIENTRY countingDeleteBuffers(GLsizei n, const GLuint* names)
{
    buffersDeleted += n;
    realDeleteBuffers(n, names);
}

int companionCalls = 0;
float companionTime = -1.0f;
void countingCompanion(float time)
{
    ++companionCalls;
    companionTime = time;
}

datagen::Asset bytesAsset(const std::string& name, const std::vector<uint8_t>& bytes) { return {name, bytes}; }
datagen::Asset textAsset(const std::string& name, const std::string& text)
{
    return {name, std::vector<uint8_t>(text.begin(), text.end())};
}

std::vector<uint8_t> whitePng()
{
    datagen::Image image(4, 4, 3);
    std::fill(image.pixels.begin(), image.pixels.end(), uint8_t(255));
    return datagen::encodePng(image);
}

struct Rgb {
    int r, g, b;
};

Rgb pixel(int x, int y)
{
    uint8_t p[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

}  // namespace

class SceneTest : public GlTest {
protected:
    static inline std::string dir;
    static inline Loader archive;

    static void SetUpTestSuite()
    {
        GlTest::SetUpTestSuite();
        char pattern[] = "/tmp/scene_test_XXXXXX";
        dir = mkdtemp(pattern);
        datagen::SceneBuilder scene = makeTestScene();
        datagen::SceneBuilder noTexture = makeTestScene();
        noTexture.scene.libTexture.textures[1].source = "textures/missing.png";
        datagen::SceneBuilder badIds = makeTestScene();
        badIds.scene.object[0].surface[0].materialID = 40;
        // The same scene as a binary archive of a later library version.
        std::vector<uint8_t> later = scene.binary();
        later[8 + 22] = uint8_t(sceneArchiveVersion() + 1);
        std::vector<datagen::Asset> assets = {
            bytesAsset("scene.xml", scene.xml()),
            bytesAsset("scene.bin", scene.binary()),
            bytesAsset("later.bin", later),
            bytesAsset("notexture.xml", noTexture.xml()),
            bytesAsset("badids.xml", badIds.xml()),
            textAsset("garbage.xml", "<?xml version=\"1.0\"?><nothing/>"),
            bytesAsset("textures/checker.png", whitePng()),
            bytesAsset("textures/spare.png", whitePng()),
            textAsset("shaders/scene_test.cgfx", kSceneEffect),
        };
        ASSERT_EQ(datagen::writeZip(dir + "/data.zip", assets), "");
        archive.open((dir + "/data.zip").c_str());
        ASSERT_TRUE(archive.opened);
        ASSERT_EQ(gui.init(), 0);
        screen.viewportWidth = 256;
        screen.viewportHeight = 256;
    }
    static void TearDownTestSuite()
    {
        tweak::terminate();
        fx::releaseSharedContext();
        archive.close();
        GlTest::TearDownTestSuite();
    }
    void SetUp() override
    {
        logCapture.open("scene");
        resolveBufferEntryPoints();
        realGenBuffers = epoxy_glGenBuffers;
        realDeleteBuffers = epoxy_glDeleteBuffers;
        epoxy_glGenBuffers = countingGenBuffers;
        epoxy_glDeleteBuffers = countingDeleteBuffers;
        buffersMade = buffersDeleted = 0;
    }
    void TearDown() override
    {
        epoxy_glGenBuffers = realGenBuffers;
        epoxy_glDeleteBuffers = realDeleteBuffers;
        logCapture.close();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    LogCapture logCapture;
};

// Loads the scenes read by the start-up's worker as well as those read by the load: the
// same tree, buffers and log either way (the worker parses "*.xml" entries only).
void readAhead(bool ahead, Loader& archive)
{
    if (ahead) {
        startPrefetch(archive, textureSizeLimits(), prefetchScenes);
        finishPrefetch();
    }
}

void dropReadAhead()
{
    dropPrefetched();
    dropPrefetchedScenes();
}

TEST_F(SceneTest, LoadsUploadsSharedStreamsOnceAndReleasesThem)
{
    for (const bool ahead : {false, true})
    for (const char* file : {"scene.xml", "scene.bin", "later.bin"}) {
        SCOPED_TRACE(ahead ? "read ahead" : "read by the load");
        readAhead(ahead, archive);
        EXPECT_EQ(scenePrefetched("SCENE.XML"), ahead) << "letter case ignored";
        EXPECT_FALSE(scenePrefetched("scene.bin"));
        std::unique_ptr<Tessary> tree;
        buffersMade = buffersDeleted = 0;
        ASSERT_EQ(loadScene(file, archive, tree), 0) << file << logCapture.text();
        EXPECT_FALSE(scenePrefetched(file)) << "taken by the load";
        const Tessary& s = *tree;
        // One index list and one vertex stream, shared by the four box objects.
        EXPECT_EQ(buffersMade, 2) << file;
        EXPECT_EQ(s.libGeometry.polygons[0].crc, s.object[0].polygonsID);
        for (size_t i : {1, 2, 4}) {
            EXPECT_EQ(s.object[i].pointsID, s.object[0].pointsID) << i;
            EXPECT_TRUE(s.object[i].uploaded);
        }
        EXPECT_TRUE(glIsBuffer(s.object[0].pointsID));
        EXPECT_FALSE(s.object[3].uploaded);  // the parent frame has no geometry
        EXPECT_EQ(archive.uploadedStreams.size(), 1u);
        EXPECT_EQ(s.libMaterial.material[1].tTexID, s.libTexture.textures[0].crc);
        EXPECT_EQ(s.libMaterial.material[0].tTexID, 0u);
        EXPECT_TRUE(glIsTexture(s.libTexture.textures[1].crc));
        ASSERT_NE(s.libShader.shaders[0].effect, nullptr);

        const std::string log = logCapture.text();
        EXPECT_NE(log.find(std::string("\nload tsy: ") + file + "\n"), std::string::npos) << log;
        EXPECT_NE(log.find("uploading polygons..\n\tallocated mem size: 144 bytes.\nuploading vertex streams..\n"
                           "\tallocated mem size: 768 bytes.\n\tdata already uploaded. \n"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("\tnull object found, skipped.\n"), std::string::npos);
        EXPECT_EQ(log.find("wykryte bin, przed serializacja") != std::string::npos, file[6] == 'b') << file;
        const std::string named = "\tarchive of library version " + std::to_string(sceneArchiveVersion() + 1) +
                                  ", read as version " + std::to_string(sceneArchiveVersion()) + "\n";
        EXPECT_EQ(log.find(named) != std::string::npos, file[0] == 'l') << file << "\n" << log;

        const uint32_t vertexBuffer = s.object[0].pointsID, indexBuffer = s.object[0].polygonsID;
        const uint32_t texture = s.libTexture.textures[0].crc;
        EXPECT_EQ(releaseScene(*tree), 0);
        EXPECT_EQ(buffersDeleted, 2) << file;
        EXPECT_FALSE(glIsBuffer(vertexBuffer));
        EXPECT_FALSE(glIsBuffer(indexBuffer));
        EXPECT_FALSE(glIsTexture(texture));
        releaseScene(*tree);  // a second release finds nothing left to delete
        EXPECT_EQ(buffersDeleted, 2);
        dropReadAhead();
        logCapture.close();
        logCapture.open("scene");
    }
}

TEST_F(SceneTest, RefusesMissingDamagedAndInconsistentFiles)
{
    struct Case {
        const char* file;
        const char* line;
        bool treeKept;  // read and uploaded, so the caller must release it
    } cases[] = {
        {"absent.xml", "file size: 0\n", false},
        {"garbage.xml", "wyj\xB9tek! ", false},
        {"badids.xml", "\tscene rejected: object 1 surface 1 is outside its lists\n", false},
        {"notexture.xml", "load texture: textures/missing.png", true},
    };
    for (const bool ahead : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(ahead ? "read ahead" : "read by the load");
        readAhead(ahead, archive);
        EXPECT_FALSE(scenePrefetched("garbage.xml")) << "not parsed: left to the load";
        std::unique_ptr<Tessary> tree;
        EXPECT_EQ(loadScene(c.file, archive, tree), 1) << c.file;
        EXPECT_EQ(bool(tree), c.treeKept) << c.file;
        const std::string log = logCapture.text();
        EXPECT_NE(log.find(c.line), std::string::npos) << c.file << "\n" << log;
        if (tree) {
            EXPECT_EQ(tree->texturesLoaded, 1u);
            releaseScene(*tree);
            EXPECT_EQ(buffersDeleted, buffersMade);
        }
        dropReadAhead();
    }
}

TEST_F(SceneTest, PivotsParentsAndCameraThroughTheMatrices)
{
    Tessary scene = makeTestScene().scene;
    SceneRenderer renderer;
    renderer.setCamera(scene, 0.0f);
    // Zoom 1: 90 degrees, so 1 / tan(45 degrees) on the diagonal (aspect 1 here).
    EXPECT_NEAR(renderer.projection[5], 1.0f, 1e-6f);
    EXPECT_NEAR(renderer.projection[0], 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(renderer.view[11], -5.0f);

    struct Case {
        float time;
        float x, y, z;
    } cases[] = {
        {0.0f, -1.0f, -2.0f, 3.0f},  // the pivot alone: z not negated
        {1.0f, 4.0f, -2.0f, 3.0f},   // the parent moved by +5 in x
    };
    orderParents(scene);
    for (const Case& c : cases) {
        renderer.placeParents(scene, c.time);
        renderer.placeObject(scene, 4, c.time);
        EXPECT_NEAR(renderer.model[3], c.x, 1e-5f) << c.time;
        EXPECT_NEAR(renderer.model[7], c.y, 1e-5f) << c.time;
        EXPECT_NEAR(renderer.model[11], c.z, 1e-5f) << c.time;
        EXPECT_FLOAT_EQ(renderer.model[0], 1.0f);  // the parent's scale of 3 stays with the parent
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(renderer.modelview[k], renderer.inverseModelview[k]) << k;
            EXPECT_EQ(renderer.inverseModel[k], renderer.model[4 * (k % 4) + k / 4]) << k;
        }
    }
    // A parent cycle (refused by the loader) cannot hold the renderer either: its objects
    // are placed as if they had no parent (the parent's +5 in x is not applied).
    scene.object[3].parent = {1, 5};
    orderParents(scene);
    renderer.placeParents(scene, 1.0f);
    renderer.placeObject(scene, 4, 1.0f);
    EXPECT_NEAR(renderer.model[3], -1.0f, 1e-5f);
    EXPECT_NEAR(renderer.model[7], -2.0f, 1e-5f);
    EXPECT_NEAR(renderer.model[11], 3.0f, 1e-5f);
    scene.object[3].parent = {};
    orderParents(scene);

    // Aimed at the box at the origin from (0, 0, 5): the same view as looking down -z.
    scene.libCamera.camera[0].target = {1, 1};
    renderer.setCamera(scene, 0.0f);
    EXPECT_NEAR(renderer.view[0], 1.0f, 1e-6f);
    EXPECT_NEAR(renderer.view[11], -5.0f, 1e-6f);
}

TEST_F(SceneTest, DrawsWhatIsNotDissolvedWithItsMaterial)
{
    std::unique_ptr<Tessary> tree;
    ASSERT_EQ(loadScene("scene.xml", archive, tree), 0);
    Tessary& scene = *tree;
    sceneRenderer.companion = countingCompanion;
    glViewport(0, 0, 256, 256);
    auto draw = [&](float time) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        sceneRenderer.render(scene, time);
        glFinish();
    };
    // Boxes at x = -2, 0, +2 at 5 units with 90 degrees: centres at pixels 71, 128, 185.
    draw(0.0f);
    Rgb centre = pixel(128, 128);
    EXPECT_GT(centre.r, 250);
    EXPECT_EQ(centre.g + centre.b, 0);
    EXPECT_EQ(pixel(71, 128).r + pixel(71, 128).g, 0);    // dissolve 1
    EXPECT_EQ(pixel(185, 128).r + pixel(185, 128).g, 0);  // dissolve 0.0001
    EXPECT_EQ(pixel(4, 4).r, 0);
    EXPECT_EQ(companionCalls, 0);

    for (size_t i : {1, 2, 5}) {
        scene.object[i].dissolve = datagen::constant(0.0f);
    }
    draw(0.5f);
    const Rgb textured = pixel(71, 128), shaded = pixel(185, 128);
    EXPECT_GT(textured.r, 250);  // white texture, white colour
    EXPECT_GT(textured.b, 250);
    EXPECT_EQ(shaded.r + shaded.b, 0);  // the effect file's green
    EXPECT_GT(shaded.g, 150);
    EXPECT_EQ(companionCalls, 1);
    EXPECT_EQ(companionTime, 0.5f);
    sceneRenderer.companion = nullptr;
    releaseScene(scene);
}

TEST_F(SceneTest, ADeepParentChainCostsAFrameLinearInItsObjects)
{
    std::unique_ptr<Tessary> tree;
    ASSERT_EQ(loadScene("scene.xml", archive, tree), 0);
    Tessary& scene = *tree;
    // The red box at the end of a chain of 20,000 frames, listed before all of them,
    // which step +1 and -1 in x in turn and so bring it back to the origin.
    constexpr uint32_t links = 20000;
    const uint32_t first = uint32_t(scene.object.size()) + 1;
    for (uint32_t k = 0; k < links; ++k) {
        Object link;
        link.motion = datagen::still(k % 2 == 0 ? 1.0f : -1.0f, 0, 0);
        link.dissolve = datagen::constant(1.0f);
        link.parent = {k == 0 ? 0u : 1u, k == 0 ? 0u : first + k - 1};
        scene.object.push_back(link);
    }
    scene.object[0].parent = {1, first + links - 1};
    orderParents(scene);
    EXPECT_EQ(scene.parentsFirst.size(), size_t(links) + 1);  // and the scene's own parent frame

    glViewport(0, 0, 256, 256);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const auto start = std::chrono::steady_clock::now();
    sceneRenderer.render(scene, 0.0f);
    glFinish();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Each object placed once: a few milliseconds (walking every chain took minutes).
    EXPECT_LT(seconds, 5.0);
    const Rgb centre = pixel(128, 128);
    EXPECT_GT(centre.r, 250);
    EXPECT_EQ(centre.g + centre.b, 0);
    sceneRenderer.placeObject(scene, 0, 0.0f);
    EXPECT_EQ(sceneRenderer.model[3], 0.0f);
    sceneRenderer.placeObject(scene, first - 1, 0.0f);  // the first link
    EXPECT_EQ(sceneRenderer.model[3], 1.0f);
    releaseScene(scene);
}

TEST_F(SceneTest, WhatIsNotImplementedIsToldOncePerObject)
{
    Tessary scene = makeTestScene().scene;
    using datagen::envelope;
    using datagen::key;
    const Envelope unknownPost = envelope({key(0, 0), key(0.5f, 0, spanLinear)}, behaviourConstant, 9);
    scene.object[0].motion.channel[0] = unknownPost;  // drawn
    scene.object[3].motion.channel[1] = unknownPost;  // a parent, never drawn
    scene.object[1].dissolve = envelope({key(0, 1), key(0.5f, 1, spanLinear)}, behaviourConstant, 9);  // hidden
    scene.libCamera.camera[0].zoomFactor = envelope({key(0, 1), key(0.5f, 1, spanLinear)}, behaviourConstant, 9);
    scene.libCamera.camera[0].parent = {2, 1};
    scene.libCamera.camera[0].target = {2, 1};
    orderParents(scene);
    platform::setBatchMode(true);
    SceneRenderer renderer;
    testing::internal::CaptureStderr();
    for (float time : {1.0f, 2.0f, 3.0f}) {
        renderer.render(scene, time);
    }
    const std::string told = testing::internal::GetCapturedStderr();
    auto count = [&told](const std::string& line) {
        size_t n = 0;
        for (size_t at = told.find(line); at != std::string::npos; at = told.find(line, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("error: parent not implemented!\n"), 1u) << told;
    EXPECT_EQ(count("error: target not implemented!\n"), 1u) << told;
    EXPECT_EQ(count("error: Post behaviour type not implemented\n"), 4u) << told;  // camera, objects 1, 2, 4
    EXPECT_EQ(count("\n"), 6u) << told;
}
