// Reloading a data folder's entries while the program runs: for each kind of entry a
// change reaches the picture through the same GL objects and handles, and a broken
// version keeps the previous picture and says why, on screen as well.
#include "counting_new.h"
#include "gl_fixture.h"

#include "base/log.h"
#include "app/screen.h"
#include "core/gui.h"
#include "datagen/dds.h"
#include "datagen/image.h"
#include "datagen/mmf_writer.h"
#include "fx/fx.h"
#include "gpu/immediate.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "resources/mesh.h"
#include "resources/reload.h"
#include "resources/shader.h"
#include "resources/texture.h"
#include "scene/scene_loader.h"
#include "scene/scene_reload.h"
#include "scene/scene_renderer.h"
#include "scene_fixture.h"
#include "tweak/tweak.h"

#include <IL/il.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Pixel = std::array<int, 3>;

std::string solidEffect(const char* color)
{
    return std::string("float3 color = ") + color + ";\nfloat gain <float UIMin = 0; float UIMax = 4;> = 1;\n" +
           "float4 vs(float4 p : POSITION) : POSITION { return p; }\n"
           "float4 ps() : COLOR { return float4(color * gain, 1); }\n"
           "technique Main { pass { VertexProgram = compile arbvp1 vs(); FragmentProgram = compile arbfp1 ps(); } }\n";
}

std::vector<uint8_t> solidPng(int size, uint8_t r, uint8_t g, uint8_t b)
{
    datagen::Image image(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint8_t* p = image.at(x, y);
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    }
    return datagen::encodePng(image);
}

// A cube map whose six faces are one colour.
std::vector<uint8_t> solidCube(uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<datagen::Image> faces(6, datagen::Image(8, 8, 4));
    for (datagen::Image& face : faces) {
        for (size_t i = 0; i < face.pixels.size(); i += 4) {
            face.pixels[i] = r;
            face.pixels[i + 1] = g;
            face.pixels[i + 2] = b;
            face.pixels[i + 3] = 255;
        }
    }
    return datagen::encodeDds(faces, datagen::DdsFormat::Bgra8);
}

Pixel cubeTexel(uint32_t name, int face)
{
    std::vector<unsigned char> rgba(8 * 8 * 4);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    glGetTexImage(GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face), 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return {rgba[0], rgba[1], rgba[2]};
}

Mesh triangle(float z)
{
    Mesh mesh;
    mesh.points = {0, 0, z, 1, 0, z, 0, 1, z};
    mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    mesh.polygons = {0, 1, 2};
    return mesh;
}

Pixel centre()
{
    unsigned char rgba[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(128, 128, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
}

void quad() { gpu::rect(-1, -1, 1, 1); }

Pixel drawShader(const Shader& shader)
{
    glClear(GL_COLOR_BUFFER_BIT);
    gui.pushTweakables();
    fx::Pass* pass = fx::firstPass(shader.technique);
    fx::setPassState(pass);
    quad();
    fx::resetPassState(pass);
    return centre();
}

Pixel drawTexture(uint32_t name)
{
    glClear(GL_COLOR_BUFFER_BIT);
    gpu::setTexturing(true);
    glBindTexture(GL_TEXTURE_2D, name);
    quad();
    glBindTexture(GL_TEXTURE_2D, 0);
    gpu::setTexturing(false);
    return centre();
}

}  // namespace

class Reload : public GlTest {
protected:
    static void SetUpTestSuite()
    {
        GlTest::SetUpTestSuite();
        ilInit();
        ASSERT_EQ(gui.init(), 0);
    }
    static void TearDownTestSuite()
    {
        tweak::terminate();
        fx::releaseSharedContext();
        GlTest::TearDownTestSuite();
    }
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("core_reload_gl_" + std::to_string(getpid()));
        fs::remove_all(folder);
        write("shaders/solid.cgfx", solidEffect("{1, 0, 0}"));
        write("textures/pic.png", solidPng(64, 255, 0, 0));
        const std::vector<uint8_t> mesh = datagen::writeMmf(triangle(0.5f));
        write("objects/tri.mmf", std::string(mesh.begin(), mesh.end()));
        loader.open(folder.string().c_str());
        ASSERT_TRUE(loader.opened);
        reload::forgetAll();
        gui.tweakables.clear();
        takeLoadFailures();
        glViewport(0, 0, 256, 256);
        glClearColor(0, 0, 0, 1);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
    }
    void TearDown() override
    {
        reload::stop();
        reload::forgetAll();
        loader.close();
        fs::remove_all(folder);
    }
    void write(const std::string& name, const std::string& bytes)
    {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << bytes;
    }
    void write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        write(name, std::string(bytes.begin(), bytes.end()));
    }
    void append(const std::string& name, const std::string& bytes)
    {
        std::ofstream(folder / name, std::ios::binary | std::ios::app) << bytes;
    }
    // The frames after an edit: the watcher sees it, and 100 ms later it is loaded.
    // (Pictures are decoded on a worker: frames go on until it is done.)
    void framesAfterEdit()
    {
        reload::poll(clock);
        clock += 0.2;
        reload::poll(clock);
        for (int frame = 0; frame < 5000 && reload::busy(); ++frame) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            reload::poll(clock);
        }
        EXPECT_FALSE(reload::busy());
        clock += 1.0;
    }
    std::string problemOf(const std::string& entry) const
    {
        for (const std::string& line : reload::problems()) {
            if (line.find(entry) != std::string::npos) {
                return line;
            }
        }
        return "";
    }

    fs::path folder;
    Loader loader;
    double clock = 10.0;
};

TEST_F(Reload, EffectFileCompilesAgainKeepingHandlesAndMovedBarValues)
{
    Shader shader;
    shader.source = "shaders/solid.cgfx";
    ASSERT_EQ(loadShader(loader, shader), 0u);
    ASSERT_TRUE(reload::start(loader));
    fx::Effect* effect = shader.effect;
    fx::Parameter* color = fx::namedParameter(effect, "color");
    ASSERT_EQ(gui.tweakables.size(), 1u);
    EXPECT_EQ(drawShader(shader), (Pixel{255, 0, 0}));
    gui.tweakables[0].value = 0.6f;  // the user moved "gain" on the bar
    EXPECT_EQ(drawShader(shader), (Pixel{153, 0, 0}));

    write("shaders/solid.cgfx", solidEffect("{0, 1, 0}"));
    framesAfterEdit();
    EXPECT_EQ(problemOf("solid.cgfx"), "");
    EXPECT_EQ(shader.effect, effect);
    EXPECT_EQ(fx::namedParameter(effect, "color"), color) << "a parameter of the same name and type keeps its handle";
    ASSERT_EQ(gui.tweakables.size(), 1u) << "the bar does not get the parameter twice";
    EXPECT_EQ(gui.tweakables[0].value, 0.6f);
    EXPECT_EQ(drawShader(shader), (Pixel{0, 153, 0}));

    append("shaders/solid.cgfx", "\ngarbage that is no effect {{{\n");
    framesAfterEdit();
    const std::string line = problemOf("shaders/solid.cgfx");
    EXPECT_EQ(line.rfind("coredemo: shaders/solid.cgfx: shaders/solid.cgfx(", 0), 0u) << line;
    EXPECT_NE(line.find("(keeping the previous version)"), std::string::npos) << line;
    EXPECT_EQ(drawShader(shader), (Pixel{0, 153, 0})) << "the previous version stays";

    // An untouched tweakable follows the file's new default.
    gui.tweakables[0].value = 1.0f;
    write("shaders/solid.cgfx", solidEffect("{0, 0, 1}"));
    framesAfterEdit();
    EXPECT_EQ(problemOf("solid.cgfx"), "");
    EXPECT_EQ(drawShader(shader), (Pixel{0, 0, 255}));
}

TEST_F(Reload, PictureUploadsIntoTheSameTextureName)
{
    Texture texture;
    texture.source = "textures/pic.png";
    ASSERT_EQ(loadTexture(loader, texture), 0u);
    ASSERT_TRUE(reload::start(loader));
    const uint32_t name = texture.crc;
    GLfloat anisotropy = 0.0f;
    glBindTexture(GL_TEXTURE_2D, name);
    if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 4.0f);
    }
    EXPECT_EQ(drawTexture(name), (Pixel{255, 0, 0}));

    write("textures/pic.png", solidPng(128, 0, 0, 255));
    framesAfterEdit();
    EXPECT_EQ(problemOf("pic.png"), "");
    EXPECT_EQ(drawTexture(name), (Pixel{0, 0, 255}));
    GLint width = 0, lastLevel = 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_WIDTH, &lastLevel);
    EXPECT_EQ(width, 128);
    EXPECT_EQ(lastLevel, 1) << "the mipmaps down to 1 x 1";
    if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
        EXPECT_EQ(anisotropy, 4.0f);
    }

    const std::vector<uint8_t> green = solidPng(128, 0, 255, 0);
    write("textures/pic.png", std::vector<uint8_t>(green.begin(), green.begin() + long(green.size() / 2)));
    framesAfterEdit();
    EXPECT_NE(problemOf("coredemo: textures/pic.png: "), "");
    EXPECT_EQ(drawTexture(name), (Pixel{0, 0, 255})) << "a truncated picture keeps the previous one";

    fs::remove(folder / "textures/pic.png");
    framesAfterEdit();
    EXPECT_EQ(problemOf("textures/pic.png"),
              "coredemo: textures/pic.png: file not found (keeping the previous version)");
    write("textures/pic.png", green);
    framesAfterEdit();
    EXPECT_EQ(problemOf("pic.png"), "");
    EXPECT_EQ(drawTexture(name), (Pixel{0, 255, 0}));
}

// What a folder may hold where an entry's file was: each keeps the picture and says so
// until the file is back.
TEST_F(Reload, WhatCannotBeTheEntryReplacesNothingAndIsNamed)
{
    Texture texture;
    texture.source = "textures/pic.png";
    ASSERT_EQ(loadTexture(loader, texture), 0u);
    ASSERT_TRUE(reload::start(loader));
    const fs::path path = folder / "textures/pic.png";
    const fs::path other = folder / "textures/PIC.png";
    struct Row {
        const char* what;
        std::function<void()> edit;
        std::string line;  // the notice's line of the file named first in it
    };
    const Row rows[] = {
        {"a new file whose name differs only in letter case",
         [&] { write("textures/PIC.png", solidPng(8, 0, 0, 255)); },
         "coredemo: textures/PIC.png: refused: its name differs from textures/pic.png only in letter case (keeping "
         "textures/pic.png)"},
        {"a FIFO in the file's place",
         [&] {
             fs::remove(path);
             ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
         },
         "coredemo: textures/pic.png: " + path.string() +
             " is not a regular file (a FIFO) (keeping the previous version)"},
        {"a folder in the file's place",
         [&] {
             fs::remove(path);
             fs::create_directory(path);
         },
         "coredemo: textures/pic.png: " + path.string() +
             " is not a regular file (a folder) (keeping the previous version)"},
    };
    for (const Row& row : rows) {
        row.edit();
        framesAfterEdit();
        const std::string named = row.line.substr(0, row.line.find(": ", 10) + 2);
        EXPECT_EQ(problemOf(named), row.line) << row.what;
        EXPECT_EQ(drawTexture(texture.crc), (Pixel{255, 0, 0})) << row.what << ": nothing replaced";
        fs::remove_all(other);
        fs::remove_all(path);
        write("textures/pic.png", solidPng(64, 255, 0, 0));
        framesAfterEdit();
        EXPECT_TRUE(reload::problems().empty()) << row.what << ": the line stays after the file is back: "
                                                << reload::problems().front();
    }
    // Beside a refused file, the entry's own file still reloads.
    write("textures/PIC.png", solidPng(8, 0, 0, 255));
    framesAfterEdit();
    write("textures/pic.png", solidPng(64, 0, 255, 0));
    framesAfterEdit();
    EXPECT_EQ(drawTexture(texture.crc), (Pixel{0, 255, 0}));
    EXPECT_NE(problemOf("coredemo: textures/PIC.png: refused"), "");
}

TEST_F(Reload, MeshGoesIntoTheRecordAndTheBuffersThePartDrawsFrom)
{
    Mesh mesh;
    ASSERT_EQ(loadMesh("objects/tri.mmf", loader, mesh), 0);
    unsigned int indexBuffer = 0, vertexBuffer = 0;
    ASSERT_EQ(uploadMesh(&indexBuffer, mesh.polygons, mesh.points, mesh.normals, GL_STATIC_DRAW, &vertexBuffer,
                         mesh.uvs),
              0);
    ASSERT_TRUE(reload::start(loader));
    const unsigned int names[2] = {indexBuffer, vertexBuffer};
    auto vertexZ = [&](size_t k) {
        InterleavedVertex v{};
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        glGetBufferSubData(GL_ARRAY_BUFFER, GLintptr(k * sizeof(v)), sizeof(v), &v);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        return v.z;
    };
    EXPECT_EQ(vertexZ(0), 0.5f);

    Mesh bigger = triangle(0.25f);
    bigger.points.insert(bigger.points.end(), {1, 1, 0.25f});
    bigger.normals.insert(bigger.normals.end(), {0, 0, 1});
    bigger.polygons.insert(bigger.polygons.end(), {1, 3, 2});
    write("objects/tri.mmf", datagen::writeMmf(bigger));
    framesAfterEdit();
    EXPECT_EQ(problemOf("tri.mmf"), "");
    EXPECT_EQ(mesh.polygons.size(), 6u);
    EXPECT_EQ(indexBuffer, names[0]);
    EXPECT_EQ(vertexBuffer, names[1]);
    EXPECT_EQ(vertexZ(3), 0.25f);
    GLint indexBytes = 0;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &indexBytes);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    EXPECT_EQ(indexBytes, 24);

    Mesh broken = triangle(0.75f);
    broken.polygons = {0, 1, 7};
    write("objects/tri.mmf", datagen::writeMmf(broken));
    framesAfterEdit();
    EXPECT_NE(problemOf("coredemo: objects/tri.mmf: "), "");
    EXPECT_EQ(mesh.polygons.size(), 6u) << "the previous mesh stays";
    EXPECT_EQ(vertexZ(0), 0.25f);
    glDeleteBuffers(2, names);
}

TEST_F(Reload, NoticeIsReadableOverABrightPicture)
{
    const std::vector<std::string> lines = {"coredemo: shaders/x.cgfx: x(3): error: bad (keeping the previous version)"};
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    tweak::setNotice(&lines);
    tweak::draw();
    tweak::setNotice(nullptr);
    std::vector<unsigned char> rgba(256 * 256 * 4);
    glReadPixels(0, 0, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    auto at = [&](int x, int yFromTop) { return rgba[(size_t(255 - yFromTop) * 256 + size_t(x)) * 4 + 2]; };
    int dark = 0, text = 0;
    for (int y = 8; y < 20; ++y) {
        for (int x = 10; x < 200; ++x) {
            dark += at(x, y) < 40;
            text += at(x, y) >= 40;
        }
    }
    EXPECT_GT(dark, 190 * 12 / 2) << "a dark box behind the line";
    EXPECT_GT(text, 20) << "letters on it";
    EXPECT_EQ(at(128, 250), 255) << "the rest of the picture untouched";
    glClearColor(0, 0, 0, 1);
}

TEST_F(Reload, FramesWithoutChangesAllocateNothing)
{
    Texture texture;
    texture.source = "textures/pic.png";
    ASSERT_EQ(loadTexture(loader, texture), 0u);
    ASSERT_TRUE(reload::start(loader));
    reload::poll(clock);
    tweak::draw();
    allocations = 0;
    countAllocations = true;
    for (int frame = 0; frame < 100; ++frame) {
        reload::poll(clock + 0.01 * frame);
        tweak::draw();
    }
    countAllocations = false;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_TRUE(reload::problems().empty());
}

TEST_F(Reload, SceneFileSwapsItsTreeAndItsTimeGoesOn)
{
    const char* const effect =
        "float4x4 mvp : state.matrix.mvp;\nsampler2D texDiffuse;\n"
        "float4 vs(float3 p : POSITION, uniform float4x4 m) : POSITION { return mul(m, float4(p, 1)); }\n"
        "float4 ps() : COLOR { return float4(0, 1, 0, 1); }\n"
        "technique Main { pass { VertexProgram = compile arbvp1 vs(mvp); FragmentProgram = compile arbfp1 ps(); } }\n";
    write("shaders/scene_test.cgfx", effect);
    write("textures/checker.png", solidPng(4, 255, 255, 255));
    write("textures/spare.png", solidPng(4, 255, 255, 255));
    datagen::SceneBuilder builder = makeTestScene();
    write("scene.xml", builder.xml());
    loader.rescan();
    screen.viewportWidth = 256;
    screen.viewportHeight = 256;
    std::unique_ptr<Tessary> tree;
    ASSERT_EQ(loadScene("scene.xml", loader, tree), 0);
    noteSceneReload("scene.xml", tree);
    ASSERT_TRUE(reload::start(loader));
    auto draw = [&](float time) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        sceneRenderer.render(*tree, time);
        return centre();
    };
    EXPECT_EQ(draw(0.5f), (Pixel{255, 0, 0})) << "the red box in the middle";

    builder.scene.libMaterial.material[0].r = 0.0f;  // the box's flat colour
    builder.scene.libMaterial.material[0].b = 1.0f;
    write("scene.xml", builder.xml());
    const Tessary* before = tree.get();
    framesAfterEdit();
    EXPECT_EQ(problemOf("scene.xml"), "");
    EXPECT_NE(tree.get(), before) << "a new tree in the part's place";
    EXPECT_EQ(draw(0.75f), (Pixel{0, 0, 255}));

    write("scene.xml", std::string("<?xml version=\"1.0\"?><nothing/>"));
    framesAfterEdit();
    EXPECT_EQ(problemOf("scene.xml").rfind("coredemo: scene.xml: scene not readable", 0), 0u) << problemOf("scene.xml");
    EXPECT_EQ(draw(1.0f), (Pixel{0, 0, 255})) << "the previous tree stays";
    reload::stop();
    reload::forgetAll();
    releaseScene(*tree);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
}

TEST_F(Reload, CubeMapStaysACubeMap)
{
    write("textures/env.dds", solidCube(255, 0, 0));
    loader.rescan();
    Texture texture;
    texture.source = "textures/env.dds";
    ASSERT_EQ(loadTexture(loader, texture), 0u);
    ASSERT_TRUE(reload::start(loader));
    EXPECT_EQ(cubeTexel(texture.crc, 5), (Pixel{255, 0, 0}));

    write("textures/env.dds", solidCube(0, 255, 0));
    framesAfterEdit();
    EXPECT_EQ(problemOf("env.dds"), "");
    for (int face = 0; face < 6; ++face) {
        EXPECT_EQ(cubeTexel(texture.crc, face), (Pixel{0, 255, 0})) << "face " << face;
    }
    write("textures/env.dds", solidPng(8, 0, 0, 255));
    framesAfterEdit();
    EXPECT_EQ(problemOf("env.dds"),
              "coredemo: textures/env.dds: a flat picture cannot replace a cube map (keeping the previous version)");
    EXPECT_EQ(cubeTexel(texture.crc, 0), (Pixel{0, 255, 0}));
    glDeleteTextures(1, &texture.crc);
}
