#include "gl_fixture.h"
#include "log_capture.h"

#include "base/log.h"
#include "datagen/basic_meshes.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "resources/geometry.h"
#include "resources/loader.h"
#include "resources/mesh.h"
#include "scene/render_target.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int buffersMade = 0;
PFNGLGENBUFFERSPROC realGenBuffers = nullptr;
void GLAPIENTRY countingGenBuffers(GLsizei n, GLuint* names)
{
    buffersMade += n;
    realGenBuffers(n, names);
}

GLint bufferSize(GLenum target, GLuint name)
{
    GLint size = -1;
    glBindBuffer(target, name);
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    glBindBuffer(target, 0);
    return size;
}

std::vector<InterleavedVertex> readVertices(GLuint name, size_t count)
{
    std::vector<InterleavedVertex> vertices(count);
    glBindBuffer(GL_ARRAY_BUFFER, name);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(count * sizeof(InterleavedVertex)), vertices.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return vertices;
}

class GeometryTest : public GlTest {
protected:
    void SetUp() override
    {
        logCapture.open("geometry");
        ASSERT_FALSE(HasFatalFailure());
        resolveBufferEntryPoints();
        realGenBuffers = epoxy_glGenBuffers;
        epoxy_glGenBuffers = countingGenBuffers;
        buffersMade = 0;
    }
    void TearDown() override
    {
        epoxy_glGenBuffers = realGenBuffers;
        logCapture.close();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    std::string logText() const { return logCapture.text(); }
    LogCapture logCapture;
};

// Draws a white mesh into a small target and returns the share of lit pixels.
template <typename Draw>
double coverage(Draw draw)
{
    RenderTarget target;
    target.create(32, 32);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, 32, 32);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadIdentity();
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    gpu::setTexturing(false);
    glDisable(GL_DEPTH_TEST);
    gpu::color(1, 1, 1, 1);
    draw();
    std::vector<uint8_t> pixels(32 * 32 * 4);
    glReadPixels(0, 0, 32, 32, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    target.destroy();
    glDeleteTextures(1, &target.colorTexture);
    int lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        lit += pixels[i] > 128;
    }
    return lit / 1024.0;
}

}  // namespace

TEST_F(GeometryTest, UploadInterleavesAndLogsTheSizes)
{
    Mesh quad = datagen::makeQuad();
    GLuint indices = 0, vertices = 0;
    ASSERT_EQ(uploadMesh(&indices, quad.polygons, quad.points, quad.normals, GL_STATIC_DRAW, &vertices, quad.uvs), 0);
    EXPECT_EQ(buffersMade, 2);
    EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER, indices), 6 * 4);
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, vertices), 4 * 32);
    EXPECT_NE(logText().find("uploading polygons..\n\tallocated mem size: 24 bytes.\n"
                             "uploading vertex streams..\n\tallocated mem size: 128 bytes.\n"),
              std::string::npos)
        << logText();
    GLint bound = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);

    std::vector<InterleavedVertex> v = readVertices(vertices, 4);
    // Vertex 2 of the quad: uv (1, 1), normal +z, position (1, 1, 0).
    const float expected[8] = {1, 1, 0, 0, 1, 1, 1, 0};
    EXPECT_EQ(std::vector<float>(&v[2].u, &v[2].u + 8), std::vector<float>(expected, expected + 8));
    std::vector<int32_t> readIndices(6);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);
    glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, 24, readIndices.data());
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    EXPECT_EQ(readIndices, quad.polygons);

    // The uploaded quad covers the whole target through the interleaved layout.
    double covered = coverage([&] { drawUploadedMesh(indices, vertices, 4, 6); });
    EXPECT_EQ(covered, 1.0);
    GLuint names[2] = {indices, vertices};
    glDeleteBuffers(2, names);
}

TEST_F(GeometryTest, NoUvsGiveZeroTextureCoordinates)
{
    Mesh cube = datagen::makeCube(2.0f);
    GLuint indices = 0, vertices = 0;
    ASSERT_EQ(uploadMesh(&indices, cube.polygons, cube.points, cube.normals, GL_STATIC_DRAW, &vertices, {}), 0);
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, vertices), 24 * 32);
    EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER, indices), 36 * 4);
    std::vector<InterleavedVertex> v = readVertices(vertices, 24);
    for (size_t k = 0; k < v.size(); ++k) {
        EXPECT_EQ(v[k].u, 0.0f);
        EXPECT_EQ(v[k].v, 0.0f);
        EXPECT_EQ(v[k].nx, cube.normals[3 * k]);
        EXPECT_EQ(v[k].z, cube.points[3 * k + 2]);
    }
    GLuint names[2] = {indices, vertices};
    glDeleteBuffers(2, names);
}

TEST_F(GeometryTest, GeometryOutsideTheLimitsIsRejectedWithoutBuffers)
{
    const Mesh quad = datagen::makeQuad();
    std::vector<Mesh> bad(6, quad);
    bad[0].normals.resize(9);          // normals shorter than points
    bad[1].polygons[4] = 4;            // index at the vertex count
    bad[2].polygons[0] = -1;           // negative index
    bad[3].uvs.push_back(0.5f);        // odd uvs length
    bad[4].polygons.push_back(0);      // not whole triangles
    bad[5].uvs.resize(6);              // fewer pairs than vertices
    for (size_t i = 0; i < bad.size(); ++i) {
        GLuint indices = 11, vertices = 12;
        const Mesh& m = bad[i];
        EXPECT_EQ(uploadMesh(&indices, m.polygons, m.points, m.normals, GL_STATIC_DRAW, &vertices, m.uvs), 1) << i;
        EXPECT_EQ(indices, 11u);
        EXPECT_EQ(vertices, 12u);
    }
    EXPECT_EQ(buffersMade, 0);
    std::string log = logText();
    EXPECT_EQ(log.find("uploading"), std::string::npos) << log;
    size_t lines = 0;
    for (size_t at = log.find("\tmesh rejected: "); at != std::string::npos; at = log.find("\tmesh rejected: ", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, bad.size()) << log;
}

TEST_F(GeometryTest, DrawMeshFromItsOwnBuffers)
{
    Mesh quad = datagen::makeQuad();
    EXPECT_EQ(coverage([&] { drawMesh(quad); }), 1.0);
    EXPECT_EQ(buffersMade, 2);
    const GLuint names[2] = {quad.buffers.indexBuffer, quad.buffers.vertexBuffer};
    EXPECT_EQ(coverage([&] { drawMesh(quad); }), 1.0);
    EXPECT_EQ(buffersMade, 2) << "uploaded once, drawn again from the same buffers";
    GLint bound = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    GLint enabled = 1;
    glGetIntegerv(GL_VERTEX_ARRAY, &enabled);
    EXPECT_EQ(enabled, 0);
    glGetIntegerv(GL_NORMAL_ARRAY, &enabled);
    EXPECT_EQ(enabled, 0);
    quad.textures.clear();

    // Without texture entries the uvs are never read; with them they must be present.
    Mesh noUvs = quad;
    EXPECT_EQ(noUvs.buffers.indexBuffer, 0u) << "a copy has no buffers of its own yet";
    noUvs.uvs.clear();
    EXPECT_EQ(coverage([&] { drawMesh(noUvs); }), 1.0);
    Mesh textured = quad;
    textured.textures.push_back({0, "textures\\a.png"});
    EXPECT_EQ(coverage([&] { drawMesh(textured); }), 1.0);
    glGetIntegerv(GL_TEXTURE_COORD_ARRAY, &enabled);
    EXPECT_EQ(enabled, 0);
    noUvs.textures = textured.textures;  // drawn before: the entries alone make it unusable
    EXPECT_EQ(coverage([&] { drawMesh(noUvs); }), 0.0);
    EXPECT_EQ(coverage([&] { drawMesh(noUvs); }), 0.0);
    const std::string log = logText();
    const size_t rejected = log.find("\tmesh rejected: texture coordinates missing");
    ASSERT_NE(rejected, std::string::npos) << log;
    EXPECT_EQ(log.find("\tmesh rejected", rejected + 1), std::string::npos) << "logged once, not every draw";

    // The coordinates go with the mesh whenever it has them, texture entries or not (a quad
    // whose texture item was lost is still sampled across): black | white covers half.
    const uint8_t blackWhite[8] = {0, 0, 0, 255, 255, 255, 255, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, blackWhite);
    glMultiTexCoord2f(GL_TEXTURE0, 0.0f, 0.0f);
    for (const Mesh* mesh : {&quad, &textured}) {
        const double covered = coverage([&] {
            glBindTexture(GL_TEXTURE_2D, texture);  // the target's set-up bound its own
            gpu::setTexturing(true);
            drawMesh(*mesh);
            gpu::setTexturing(false);
        });
        EXPECT_NEAR(covered, 0.5, 0.05) << mesh->textures.size() << " texture entries";
    }
    glDeleteTextures(1, &texture);

    // Half the quad: one triangle covers half the pixels (the diagonal split). Assigned
    // over the quad, the new lists go into the quad's own buffers at its next draw.
    Mesh half = quad;
    half.polygons.resize(3);
    EXPECT_NEAR(coverage([&] { drawMesh(half); }), 0.5, 0.05);
    const int made = buffersMade;
    quad = half;
    EXPECT_NEAR(coverage([&] { drawMesh(quad); }), 0.5, 0.05);
    EXPECT_EQ(buffersMade, made);
    EXPECT_EQ(quad.buffers.indexBuffer, names[0]);

    for (const Mesh* mesh : {&quad, &noUvs, &textured, &half}) {
        releaseMeshBuffers(*mesh);
        EXPECT_EQ(mesh->buffers.indexBuffer, 0u);
    }
    EXPECT_FALSE(glIsBuffer(names[0]));
    EXPECT_FALSE(glIsBuffer(names[1]));
}

TEST_F(GeometryTest, ArchiveMeshesLoadAndUpload)
{
    Loader archive;
    archive.open("data.zip");  // the generated archive in the build folder
    ASSERT_TRUE(archive.opened);
    for (const char* path : {"objects/quad.mmf", "objects/cube_env100out.mmf", "objects/arrow.mmf"}) {
        Mesh mesh;
        ASSERT_EQ(loadMesh(path, archive, mesh), 0) << path;
        EXPECT_FALSE(mesh.polygons.empty()) << path;
        GLuint indices = 0, vertices = 0;
        ASSERT_EQ(uploadMesh(&indices, mesh.polygons, mesh.points, mesh.normals, GL_STATIC_DRAW, &vertices, mesh.uvs), 0)
            << path;
        EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, vertices), GLint(mesh.points.size() / 3 * 32));
        GLuint names[2] = {indices, vertices};
        glDeleteBuffers(2, names);
    }
}
