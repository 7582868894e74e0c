#include "gl_fixture.h"
#include "log_capture.h"
#include "picture_files.h"

#include "base/log.h"
#include "app/screen.h"
#include "datagen/image.h"
#include "fx/fx.h"
#include "gpu/immediate.h"
#include "gpu/matrices.h"
#include "resources/alpha_coverage.h"
#include "resources/loader.h"
#include "resources/prefetch.h"
#include "resources/texture.h"
#include "scene/render_target.h"

#include <IL/il.h>
#include <squish.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
struct Rgba {
    uint8_t r, g, b, a;
};
bool operator==(Rgba x, Rgba y) { return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a; }
std::ostream& operator<<(std::ostream& out, Rgba c)
{
    return out << "(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ")";
}
bool near(Rgba x, Rgba y, int tolerance)
{
    return std::abs(x.r - y.r) <= tolerance && std::abs(x.g - y.g) <= tolerance && std::abs(x.b - y.b) <= tolerance &&
           std::abs(x.a - y.a) <= tolerance;
}

const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, white{255, 255, 255, 255};
const Rgba faceColours[6] = {{255, 0, 0, 255},   {0, 255, 0, 255},   {0, 0, 255, 255},
                             {255, 255, 0, 255}, {0, 255, 255, 255}, {255, 0, 255, 128}};

// Rows top to bottom as a picture is stored in PNG and JPEG files.
std::vector<Rgba> picture(int w, int h, Rgba top, Rgba body, Rgba bottom)
{
    std::vector<Rgba> px(size_t(w * h), body);
    for (int x = 0; x < w; ++x) {
        px[size_t(x)] = top;
        px[size_t((h - 1) * w + x)] = bottom;
    }
    return px;
}

datagen::Image toImage(int w, int h, const std::vector<Rgba>& px, int channels)
{
    datagen::Image image(w, h, channels);
    for (size_t i = 0; i < px.size(); ++i) {
        const uint8_t rgba[4] = {px[i].r, px[i].g, px[i].b, px[i].a};
        std::memcpy(&image.pixels[i * size_t(channels)], rgba, size_t(channels));
    }
    return image;
}

Bytes png(int w, int h, const std::vector<Rgba>& px, bool alpha)
{
    Bytes out = datagen::encodePng(toImage(w, h, px, alpha ? 4 : 3));
    EXPECT_FALSE(out.empty());
    return out;
}

Bytes jpeg(int w, int h, const std::vector<Rgba>& px) { return datagen::encodeJpeg(toImage(w, h, px, 3), 95); }

void put32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(uint8_t(v >> (8 * i)));
    }
}

// A DDS file: "DDS " and the 124-byte header; uncompressed 32-bit ARGB or DXT1.
Bytes ddsHeader(int w, int h, bool dxt1, bool cube)
{
    Bytes out = {'D', 'D', 'S', ' '};
    put32(out, 124);
    put32(out, 0x1 | 0x2 | 0x4 | 0x1000 | (dxt1 ? 0x80000 : 0x8));
    put32(out, uint32_t(h));
    put32(out, uint32_t(w));
    put32(out, dxt1 ? uint32_t(((w + 3) / 4) * ((h + 3) / 4) * 8) : uint32_t(w * 4));
    put32(out, 0);  // depth
    put32(out, 0);  // mipmap count
    for (int i = 0; i < 11; ++i) {
        put32(out, 0);
    }
    put32(out, 32);  // pixel format
    if (dxt1) {
        put32(out, 0x4);
        out.insert(out.end(), {'D', 'X', 'T', '1'});
        for (int i = 0; i < 5; ++i) {
            put32(out, 0);
        }
    } else {
        put32(out, 0x40 | 0x1);
        put32(out, 0);
        put32(out, 32);
        put32(out, 0x00ff0000);
        put32(out, 0x0000ff00);
        put32(out, 0x000000ff);
        put32(out, 0xff000000);
    }
    put32(out, 0x1000 | (cube ? 0x8 : 0));
    put32(out, cube ? 0x200 | 0xfc00 : 0);
    for (int i = 0; i < 3; ++i) {
        put32(out, 0);
    }
    return out;
}

// Pixels in file order (first row first) as B, G, R, A bytes.
void appendBgra(Bytes& out, const std::vector<Rgba>& px)
{
    for (Rgba c : px) {
        out.insert(out.end(), {c.b, c.g, c.r, c.a});
    }
}

Bytes ddsPlain(int w, int h, const std::vector<Rgba>& px)
{
    Bytes out = ddsHeader(w, h, false, false);
    appendBgra(out, px);
    return out;
}

// Six 4 x 4 faces in the order +X, -X, +Y, -Y, +Z, -Z; the first row of +X is white.
Bytes ddsCube()
{
    Bytes out = ddsHeader(4, 4, false, true);
    for (int face = 0; face < 6; ++face) {
        Rgba c = faceColours[face];
        appendBgra(out, picture(4, 4, face == 0 ? white : c, c, c));
    }
    return out;
}

Bytes ddsDxt1(Rgba colour)
{
    Bytes out = ddsHeader(8, 8, true, false);
    uint8_t rgba[64];
    for (int i = 0; i < 16; ++i) {
        std::memcpy(rgba + 4 * i, &colour, 4);
    }
    uint8_t block[8];
    squish::Compress(rgba, block, squish::kDxt1);
    for (int i = 0; i < 4; ++i) {
        out.insert(out.end(), block, block + 8);
    }
    return out;
}

int maxTextureSize()
{
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

// Level-0 texels of a texture target (or cube face), first row (t = 0) first.
std::vector<Rgba> readTexels(GLenum target, int w, int h)
{
    std::vector<Rgba> texels(size_t(w * h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

class TextureTest : public GlTest {
protected:
    static void SetUpTestSuite()
    {
        GlTest::SetUpTestSuite();
        ilInit();
        zipPath = "/tmp/core_tex_" + std::to_string(getpid()) + ".zip";
        std::remove(zipPath.c_str());
        int error = 0;
        zip_t* z = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(z, nullptr);
        files = {
            {"textures/rgba.png", png(4, 4, picture(4, 4, blue, green, red), true)},
            {"textures/rgb.png", png(3, 2, picture(3, 2, green, green, blue), false)},
            {"textures/photo.jpg", jpeg(16, 16, picture(16, 16, green, green, green))},
            {"textures/plain.dds", ddsPlain(2, 2, picture(2, 2, green, green, red))},
            {"textures/dxt1.dds", ddsDxt1(blue)},
            {"textures/cube.dds", ddsCube()},
            {"textures/broken.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3}},
            {"textures/wide.png", png(maxTextureSize() + 1, 4, std::vector<Rgba>(size_t(maxTextureSize() + 1) * 4, green), false)},
            {"textures/huge.png", picture_files::pngHeader(20000, 20000)},
            {"textures/frames.gif", picture_files::gif(4, 2, 6)},
        };
        for (const auto& file : files) {
            zip_source_t* s = zip_source_buffer(z, file.second.data(), file.second.size(), 0);
            ASSERT_GE(zip_file_add(z, file.first.c_str(), s, 0), 0);
        }
        ASSERT_EQ(zip_close(z), 0);
        loader.open(zipPath.c_str());
        ASSERT_TRUE(loader.opened);
    }
    static void TearDownTestSuite()
    {
        loader.close();
        std::remove(zipPath.c_str());
        GlTest::TearDownTestSuite();
    }
    void SetUp() override
    {
        logCapture.open("tex");
        ASSERT_FALSE(HasFatalFailure());
        screen.anisotropy = 4.0f;
    }
    void TearDown() override
    {
        logCapture.close();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    std::string logText() const { return logCapture.text(); }
    static size_t fileBytes(const std::string& name)
    {
        for (const auto& file : files) {
            if (file.first == name) {
                return file.second.size();
            }
        }
        return 0;
    }
    // Loads one file into a fresh record and checks the log line of a good load.
    Texture load(const std::string& name, const std::string& shape)
    {
        Texture texture;
        texture.source = name;
        EXPECT_EQ(loadTexture(loader, texture), 0u) << logText();
        EXPECT_NE(texture.crc, 0u);
        std::string line = "load texture: " + name + " .. \nfile: " + name + " size: " +
                           std::to_string(fileBytes(name)) + "\n" + shape + " .. ok\n";
        EXPECT_NE(logText().find(line), std::string::npos) << logText();
        return texture;
    }

    static Loader loader;
    static std::string zipPath;
    static std::vector<std::pair<std::string, Bytes>> files;
    LogCapture logCapture;
};

Loader TextureTest::loader;
std::string TextureTest::zipPath;
std::vector<std::pair<std::string, Bytes>> TextureTest::files;

}  // namespace

TEST_F(TextureTest, PngIsUprightMipmappedWithTheChosenAnisotropy)
{
    Texture texture = load("textures/rgba.png", "4x4x32bit (x1)");
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), texture.crc) << "left bound to GL_TEXTURE_2D";
    std::vector<Rgba> texels = readTexels(GL_TEXTURE_2D, 4, 4);
    EXPECT_EQ(texels[0], red) << "the picture's bottom row is at t = 0";
    EXPECT_EQ(texels[5], green);
    EXPECT_EQ(texels[15], blue);

    GLint internal = 0, level1 = 0, minFilter = 0, wrap = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    EXPECT_EQ(internal, GL_RGBA8);
    EXPECT_EQ(level1, 2) << "mipmaps generated";
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    GLfloat anisotropy = 0;
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    EXPECT_EQ(anisotropy, 4.0f);
    ASSERT_NE(findAlphaCoverage(texture.crc), nullptr) << "a picture with alpha is measured for the overlay";
    EXPECT_EQ(findAlphaCoverage(texture.crc)->width, 4);

    // A second load of the same record makes a new texture and leaves the first.
    GLuint first = texture.crc;
    ASSERT_EQ(loadTexture(loader, texture), 0u);
    EXPECT_NE(texture.crc, first);
    EXPECT_TRUE(glIsTexture(first));
    GLuint names[2] = {first, texture.crc};
    glDeleteTextures(2, names);
}

TEST_F(TextureTest, OtherSourceFormatsEndUpAsFourChannels)
{
    Texture rgb = load("textures/rgb.png", "3x2x24bit (x1)");
    std::vector<Rgba> texels = readTexels(GL_TEXTURE_2D, 3, 2);
    EXPECT_EQ(texels[0], blue) << "alpha 255 without an alpha channel";
    EXPECT_EQ(texels[5], green);

    Texture photo = load("textures/photo.jpg", "16x16x24bit (x1)");
    texels = readTexels(GL_TEXTURE_2D, 16, 16);
    EXPECT_TRUE(near(texels[17], green, 8)) << texels[17];

    Texture plain = load("textures/plain.dds", "2x2x32bit (x1)");
    texels = readTexels(GL_TEXTURE_2D, 2, 2);
    EXPECT_EQ(texels[0], red) << "bottom row of the file at t = 0";
    EXPECT_EQ(texels[3], green);

    Texture dxt = load("textures/dxt1.dds", "8x8x32bit (x1)");
    texels = readTexels(GL_TEXTURE_2D, 8, 8);
    for (Rgba t : texels) {
        ASSERT_TRUE(near(t, blue, 8)) << t;
    }
    EXPECT_EQ(findAlphaCoverage(rgb.crc), nullptr) << "no alpha channel: drawn whole, not measured";
    EXPECT_EQ(findAlphaCoverage(photo.crc), nullptr);
    GLuint names[4] = {rgb.crc, photo.crc, plain.crc, dxt.crc};
    glDeleteTextures(4, names);
}

TEST_F(TextureTest, SixFaceDdsBecomesACubeMapInFileOrder)
{
    screen.anisotropy = 8.0f;
    // The image library's origin setting of one load must not leak into the next.
    Texture before = load("textures/rgba.png", "4x4x32bit (x1)");
    Texture cube = load("textures/cube.dds", "4x4x32bit (x6)");
    Texture after = load("textures/rgba.png", "4x4x32bit (x1)");
    EXPECT_EQ(readTexels(GL_TEXTURE_2D, 4, 4)[0], red);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube.crc);
    GLuint flat[2] = {before.crc, after.crc};
    glDeleteTextures(2, flat);
    GLint bound = 0, level1 = 0, wrapR = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &bound);
    ASSERT_EQ(GLuint(bound), cube.crc);
    for (int face = 0; face < 6; ++face) {
        std::vector<Rgba> texels = readTexels(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 4, 4);
        EXPECT_EQ(texels[5], faceColours[face]) << "face " << face;
        EXPECT_EQ(texels[15], faceColours[face]) << "face " << face;
    }
    EXPECT_EQ(readTexels(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 4, 4)[0], white) << "faces keep the file's row order";
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 1, GL_TEXTURE_WIDTH, &level1);
    EXPECT_EQ(level1, 2);
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, &wrapR);
    EXPECT_EQ(wrapR, GL_CLAMP_TO_EDGE);
    GLfloat anisotropy = 0;
    glGetTexParameterfv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    EXPECT_EQ(anisotropy, 1.0f) << "cube maps get no anisotropy";

    // The loaded faces sample to their colours along the six axes.
    RenderTarget target;
    target.create(6, 1);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube.crc);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glViewport(0, 0, 6, 1);
    gpu::matrixMode(gpu::MatrixMode::Projection);
    gpu::loadIdentity();
    gpu::ortho(0, 6, 0, 1, -1, 1);
    gpu::matrixMode(gpu::MatrixMode::ModelView);
    gpu::loadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    const float axes[6][3] = {{1, 0.1f, 0.1f}, {-1, 0.1f, 0.1f}, {0.1f, 1, 0.1f},
                              {0.1f, -1, 0.1f}, {0.1f, 0.1f, 1}, {0.1f, 0.1f, -1}};
    // Pixel `face` is two triangles with that face's axis as their texture coordinate.
    struct AxisVertex {
        float x, y, s, t, r;
    };
    std::vector<AxisVertex> vertices;
    const float corners[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
    for (int face = 0; face < 6; ++face) {
        for (const float* corner : corners) {
            vertices.push_back({float(face) + corner[0], corner[1], axes[face][0], axes[face][1], axes[face][2]});
        }
    }
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(AxisVertex)), vertices.data(), GL_STATIC_DRAW);
    gpu::VertexLayout layout;
    layout.stride = sizeof(AxisVertex);
    layout.position = offsetof(AxisVertex, x);
    layout.positionSize = 2;
    layout.texCoord = offsetof(AxisVertex, s);
    layout.texCoordSize = 3;
    fx::Context* context = fx::createContext();
    fx::Effect* effect = fx::createEffect(context, R"(
samplerCUBE cube;
void vs(float4 p : POSITION, float3 d : TEXCOORD0, out float4 o : POSITION, out float3 t : TEXCOORD0) {
    o = mul(glstate.matrix.mvp, p);
    t = d;
}
float4 ps(float3 t : TEXCOORD0) : COLOR { return texCUBE(cube, t); }
technique T { pass { VertexProgram = compile arbvp1 vs(); FragmentProgram = compile arbfp1 ps(); } }
)", "cube.cgfx");
    ASSERT_NE(effect, nullptr) << fx::lastListing(context);
    fx::setupSampler(fx::namedParameter(effect, "cube"), cube.crc);
    fx::Pass* pass = fx::firstPass(fx::firstTechnique(effect));
    fx::setPassState(pass);
    gpu::bindVertexLayout(layout);
    gpu::drawArrays(GL_TRIANGLES, 0, GLsizei(vertices.size()));
    gpu::unbindVertexLayout();
    fx::resetPassState(pass);
    fx::destroyContext(context);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
    Rgba drawn[6];
    glReadPixels(0, 0, 6, 1, GL_RGBA, GL_UNSIGNED_BYTE, drawn);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    target.destroy();
    glDeleteTextures(1, &target.colorTexture);
    for (int face = 0; face < 6; ++face) {
        Rgba want = faceColours[face];
        EXPECT_TRUE(near(drawn[face], {want.r, want.g, want.b, drawn[face].a}, 2)) << face << " " << drawn[face];
    }
    glDeleteTextures(1, &cube.crc);
}

TEST_F(TextureTest, FailuresLogAndMakeNoTexture)
{
    Texture texture;
    texture.crc = 77;
    texture.source = "textures/missing.png";
    EXPECT_EQ(loadTexture(loader, texture), 1u);
    EXPECT_NE(logText().find("load texture: textures/missing.png ..  file not found: textures/missing.png\n"
                             " error, file size 0\n"),
              std::string::npos)
        << logText();

    texture.source = "textures/broken.png";
    EXPECT_EQ(loadTexture(loader, texture), 1u);
    EXPECT_NE(logText().find("\nfile: textures/broken.png size: 7\nilLoadL errorcode: "), std::string::npos)
        << logText();
    EXPECT_EQ(texture.crc, 77u);
}

// What the GL cannot take is refused before decoding (so never decoded ahead either); a
// file of several images is a 2D texture of its first, with a warning.
TEST_F(TextureTest, PicturesBeyondTheGlAreRefusedAndSeveralImagesGiveTheFirst)
{
    const std::string largest = std::to_string(maxTextureSize()) + "x" + std::to_string(maxTextureSize());
    const std::string wide = std::to_string(maxTextureSize() + 1) + "x4";
    startPrefetch(loader, textureSizeLimits());
    finishPrefetch();
    for (const char* name : {"textures/wide.png", "textures/huge.png"}) {
        EXPECT_EQ(prefetchedPicture(name), nullptr) << name;
    }
    EXPECT_NE(prefetchedPicture("textures/frames.gif"), nullptr);
    dropPrefetched();
    takeLoadFailures();
    const struct {
        const char* name;
        std::string size;
    } refused[] = {{"textures/wide.png", wide}, {"textures/huge.png", "20000x20000"}};
    for (const auto& r : refused) {
        Texture texture;
        texture.crc = 77;
        texture.source = r.name;
        EXPECT_EQ(loadTexture(loader, texture), 1u) << r.name;
        EXPECT_EQ(texture.crc, 77u);
        EXPECT_NE(logText().find("\npicture too large: " + r.size + ", the largest texture is " + largest + "\n"),
                  std::string::npos)
            << logText();
        EXPECT_EQ(takeLoadFailures(), (std::vector<std::string>{std::string(r.name) + ": refused: a " + r.size +
                                                               " picture is larger than the largest texture of this GL (" +
                                                               largest + ")"}));
    }

    Texture frames = load("textures/frames.gif", "4x2x8bit (x6) .. 6 images in the file: only the first is used");
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), frames.crc) << "a 2D texture, not a cube map";
    for (Rgba texel : readTexels(GL_TEXTURE_2D, 4, 2)) {
        ASSERT_EQ(texel, red) << "the first image";
    }
    size_t failures = 1;
    EXPECT_EQ(takeLoadFailures("", &failures),
              (std::vector<std::string>{"textures/frames.gif: 6 images in the file: only the first is used"}));
    EXPECT_EQ(failures, 0u);
    glDeleteTextures(1, &frames.crc);
}

TEST_F(TextureTest, PicturesDecodedAheadLoadAsDecodedByTheLoadTheirTexelsLaterAtStartUp)
{
    const char* const good[][2] = {{"textures/rgba.png", "4x4x32bit (x1)"},
                                   {"textures/rgb.png", "3x2x24bit (x1)"},
                                   {"textures/plain.dds", "2x2x32bit (x1)"},
                                   {"textures/cube.dds", "4x4x32bit (x6)"}};
    // Every level of every face, as loaded without and with the prefetch.
    auto levels = [](const Texture& texture) {
        std::vector<std::vector<Rgba>> out;
        GLint cube = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &cube);
        const bool isCube = GLuint(cube) == texture.crc;
        const GLenum target = isCube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
        glBindTexture(target, texture.crc);
        for (int face = 0; face < (isCube ? 6 : 1); ++face) {
            const GLenum image = isCube ? GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face) : GL_TEXTURE_2D;
            for (int l = 0;; ++l) {
                GLint w = 0, h = 0;
                glGetTexLevelParameteriv(image, l, GL_TEXTURE_WIDTH, &w);
                glGetTexLevelParameteriv(image, l, GL_TEXTURE_HEIGHT, &h);
                if (w == 0) {
                    break;
                }
                std::vector<Rgba> texels(size_t(w * h));
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glGetTexImage(image, l, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
                out.push_back(texels);
            }
        }
        return out;
    };
    std::vector<std::vector<std::vector<Rgba>>> direct;
    for (const auto& file : good) {
        Texture texture = load(file[0], file[1]);
        direct.push_back(levels(texture));
        glDeleteTextures(1, &texture.crc);
    }

    startPrefetch(loader, textureSizeLimits());
    finishPrefetch();
    EXPECT_NE(prefetchedPicture("TEXTURES/RGBA.PNG"), nullptr) << "letter case ignored, as the archive does";
    EXPECT_EQ(prefetchedPicture("textures/broken.png"), nullptr) << "not decodable: left to the load";
    for (size_t i = 0; i < 4; ++i) {
        logCapture.close();
        logCapture.open("tex-ahead");
        Texture texture = load(good[i][0], good[i][1]);  // the same log line
        EXPECT_EQ(levels(texture), direct[i]) << good[i][0];
        EXPECT_GT(direct[i].size(), 1u) << "mipmapped";
        glDeleteTextures(1, &texture.crc);
    }
    // At start-up the texels follow later, in load order, before anything draws.
    deferTextureUploads(true);
    Texture first = load(good[3][0], good[3][1]);
    Texture second = load(good[0][0], good[0][1]);
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 0) << "named and bound, texels still to come";
    EXPECT_FALSE(uploadDeferredTextures(1e-9)) << "one texture per step at least, the second left";
    deferTextureUploads(false);
    EXPECT_TRUE(uploadDeferredTextures(0.0));
    glBindTexture(GL_TEXTURE_CUBE_MAP, first.crc);
    EXPECT_EQ(levels(first), direct[3]);
    glBindTexture(GL_TEXTURE_2D, second.crc);
    EXPECT_EQ(levels(second), direct[0]);
    GLuint names[2] = {first.crc, second.crc};
    glDeleteTextures(2, names);

    Texture broken;
    broken.source = "textures/broken.png";
    EXPECT_EQ(loadTexture(loader, broken), 1u);
    EXPECT_NE(logText().find("ilLoadL errorcode: "), std::string::npos) << "the load's own report";
    EXPECT_EQ(broken.crc, 0u);
    dropPrefetched();
    EXPECT_EQ(prefetchedPicture("textures/rgba.png"), nullptr);
}
