// Every texture datagen ships loads through the texture loader into a complete GL
// texture (environment maps as six-face cube maps), at the sizes the parts expect, and
// the shipped cube maps have no visible seams; the archive stays within its budget.
#include "gl_fixture.h"

#include "cube_faces.h"

#include "datagen/cubemap.h"
#include "datagen/environments.h"
#include "datagen/image.h"
#include "resources/loader.h"
#include "resources/texture.h"

#include <IL/il.h>
#include <zip.h>

#include <cmath>
#include <string>
#include <sys/stat.h>
#include <vector>

using datagen::Image;

namespace {

const char* const environments[] = {"living_room", "hd210", "rnl", "campus_cross"};

std::string archivePath() { return std::string(CORE_BINARY_DIR) + "/data.zip"; }

std::vector<std::string> entries()
{
    std::vector<std::string> names;
    int error = 0;
    zip_t* archive = zip_open(archivePath().c_str(), ZIP_RDONLY, &error);
    if (!archive) {
        return names;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        names.push_back(zip_get_name(archive, zip_uint64_t(i), 0));
    }
    zip_close(archive);
    return names;
}

std::vector<uint8_t> entry(const std::string& name)
{
    std::vector<uint8_t> bytes;
    uint32_t size = loader.fileSize(name.c_str());
    char* buffer = nullptr;
    if (size == 0) {
        return bytes;
    }
    buffer = new char[size];
    if (loader.readFile(name.c_str(), &buffer) == 0) {
        bytes.assign(buffer, buffer + size);
    }
    delete[] buffer;
    return bytes;
}

bool contains(const std::vector<std::string>& list, const std::string& name)
{
    for (const std::string& s : list) {
        if (s == name) {
            return true;
        }
    }
    return false;
}

class Assets : public GlTest {
protected:
    static void SetUpTestSuite()
    {
        GlTest::SetUpTestSuite();
        ilInit();
        loader.open(archivePath().c_str());
    }
    static void TearDownTestSuite()
    {
        loader.close();
        GlTest::TearDownTestSuite();
    }
};

}  // namespace

TEST_F(Assets, ArchiveHoldsTheSharedContent)
{
    ASSERT_TRUE(loader.opened) << archivePath();
    std::vector<std::string> names = entries();
    std::vector<std::string> required = {"textures/overlay01.png", "textures/overlay08.jpg", "textures/overlay-bornto.png",
                                         "textures/overlay-spiritblack.png", "textures/overlay-credits.png"};
    for (int i = 1; i <= 8; ++i) {
        required.push_back("textures/particle0" + std::to_string(i) + ".png");
    }
    for (const char* env : environments) {
        required.push_back(std::string("textures/") + env + ".dds");
        required.push_back(std::string("textures/") + env + "_diff.dds");
    }
    for (const std::string& name : required) {
        EXPECT_TRUE(contains(names, name)) << name;
    }
    struct stat info;
    ASSERT_EQ(stat(archivePath().c_str(), &info), 0);
    EXPECT_LE(info.st_size, 40 * 1024 * 1024) << "data.zip is over its 40 MB budget";
}

TEST_F(Assets, EveryTextureLoadsIntoACompleteGlTexture)
{
    ASSERT_TRUE(loader.opened);
    int loaded = 0;
    for (const std::string& name : entries()) {
        if (name.compare(0, 9, "textures/") != 0) {
            continue;
        }
        Texture texture;
        texture.source = name;
        ASSERT_EQ(loadTexture(loader, texture), 0u) << name;
        ASSERT_NE(texture.crc, 0u) << name;
        bool cube = name.size() > 4 && name.compare(name.size() - 4, 4, ".dds") == 0;
        GLint width = 0, height = 0;
        glGetTexLevelParameteriv(cube ? GL_TEXTURE_CUBE_MAP_NEGATIVE_Z : GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(cube ? GL_TEXTURE_CUBE_MAP_NEGATIVE_Z : GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        EXPECT_GT(width, 0) << name;
        EXPECT_GT(height, 0) << name;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << name;
        GLuint id = texture.crc;
        glDeleteTextures(1, &id);
        ++loaded;
    }
    EXPECT_GE(loaded, 21);
}

TEST_F(Assets, EnvironmentMapsAreSixFacesOfTheExpectedSizes)
{
    ASSERT_TRUE(loader.opened);
    for (const char* env : environments) {
        for (int diffuse = 0; diffuse < 2; ++diffuse) {
            std::string name = std::string("textures/") + env + (diffuse ? "_diff.dds" : ".dds");
            std::vector<Image> faces;
            devilFaces(entry(name), faces);
            ASSERT_EQ(faces.size(), 6u) << name;
            if (diffuse) {
                EXPECT_TRUE(faces[0].width >= 64 && faces[0].width <= 128) << name;
            } else {
                EXPECT_EQ(faces[0].width, 512) << name;
            }
            EXPECT_EQ(faces[0].width, faces[0].height) << name;
        }
    }
}

TEST_F(Assets, ShippedCubeMapsMeetAtTheirEdges)
{
    ASSERT_TRUE(loader.opened);
    for (const char* env : environments) {
        for (int diffuse = 0; diffuse < 2; ++diffuse) {
            std::string name = std::string("textures/") + env + (diffuse ? "_diff.dds" : ".dds");
            std::vector<Image> faces;
            devilFaces(entry(name), faces);
            ASSERT_EQ(faces.size(), 6u) << name;
            double across, inside;
            seamStatistics(faces, &across, &inside);
            // Stepping over an edge changes the colour about as much as stepping inside a face.
            EXPECT_LT(across, inside * 1.6 + 1.0) << name;
        }
    }
}

TEST_F(Assets, SpritesAndOverlaysHaveTheirShapes)
{
    ASSERT_TRUE(loader.opened);
    for (int i = 1; i <= 8; ++i) {
        std::vector<Image> faces;
        devilFaces(entry("textures/particle0" + std::to_string(i) + ".png"), faces);
        ASSERT_EQ(faces.size(), 1u);
        EXPECT_TRUE(faces[0].width >= 64 && faces[0].width <= 128);
    }
    for (const char* name : {"textures/overlay01.png", "textures/overlay08.jpg", "textures/overlay-bornto.png",
                             "textures/overlay-spiritblack.png", "textures/overlay-credits.png"}) {
        std::vector<Image> faces;
        devilFaces(entry(name), faces);
        ASSERT_EQ(faces.size(), 1u) << name;
        EXPECT_GE(faces[0].width, 1024) << name;
        EXPECT_EQ(faces[0].width * 9, faces[0].height * 16) << name;
    }
}

TEST_F(Assets, CubeFacesLandWhereOpenGlLooksForThem)
{
    // Read the campus map back from the GL cube texture: the brightest texels (the sun's
    // glow, which clips) must gather round the sun's direction, and the sky face must be
    // the blue one. A face landing elsewhere moves the glow by 90 degrees or more.
    ASSERT_TRUE(loader.opened);
    Texture texture;
    texture.source = "textures/campus_cross.dds";
    ASSERT_EQ(loadTexture(loader, texture), 0u);
    glBindTexture(GL_TEXTURE_CUBE_MAP, texture.crc);
    GLint n = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_TEXTURE_WIDTH, &n);
    ASSERT_GT(n, 0);
    std::vector<uint8_t> pixels(size_t(n) * n * 4);
    int best = -1;
    datagen::Vec3 bestDirection;
    double blue[6] = {}, red[6] = {};
    for (int f = 0; f < 6; ++f) {
        glGetTexImage(GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f), 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const uint8_t* p = &pixels[(size_t(y) * n + x) * 4];
                int brightness = p[0] + p[1] + p[2];
                blue[f] += p[2];
                red[f] += p[0];
                const datagen::Vec3 d = datagen::normalize(datagen::cubeDirection(f, (x + 0.5f) / n, (y + 0.5f) / n));
                if (brightness > best) {
                    best = brightness;
                    bestDirection = datagen::Vec3();
                }
                if (brightness == best) {
                    bestDirection = bestDirection + d;
                }
            }
        }
    }
    EXPECT_GT(datagen::dot(datagen::normalize(bestDirection), datagen::campusSunDirection()), 0.999f);
    EXPECT_GT(blue[2], red[2] * 1.3);  // +Y: sky
    EXPECT_LT(blue[3], red[3] * 1.1);  // -Y: paving and grass
    GLuint id = texture.crc;
    glDeleteTextures(1, &id);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
