// Cube-map geometry, irradiance convolution and seams of the environment generators.
#include "cube_faces.h"
#include "datagen/cubemap.h"
#include "datagen/environments.h"
#include "datagen/noise.h"

#include <gtest/gtest.h>

#include <cmath>

using datagen::CubeMap;
using datagen::Vec3;

TEST(CubeGeometry, FaceLookupInvertsFaceDirections)
{
    datagen::Random random(5);
    for (int i = 0; i < 2000; ++i) {
        int face = int(random.unit() * 6);
        float s = random.unit(), t = random.unit();
        int f2;
        float s2, t2;
        datagen::cubeFaceOf(datagen::cubeDirection(face, s, t) * 3.0f, &f2, &s2, &t2);
        if (s > 0.001f && s < 0.999f && t > 0.001f && t < 0.999f) {
            ASSERT_EQ(f2, face);
            ASSERT_NEAR(s2, s, 1e-5f);
            ASSERT_NEAR(t2, t, 1e-5f);
        }
    }
    // The OpenGL face orientation: +X's s grows towards -z, +Y's t grows towards +z.
    EXPECT_LT(datagen::cubeDirection(0, 1.0f, 0.5f).z, 0.0f);
    EXPECT_GT(datagen::cubeDirection(2, 0.5f, 1.0f).z, 0.0f);
    EXPECT_GT(datagen::cubeDirection(4, 0.5f, 0.0f).y, 0.0f);
}

TEST(CubeGeometry, TexelSolidAnglesCoverTheSphere)
{
    for (int size : {1, 7, 32}) {
        double total = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                total += 6.0 * datagen::texelSolidAngle(size, x, y);
            }
        }
        EXPECT_NEAR(total, 4.0 * M_PI, 1e-3) << size;
    }
}

TEST(Irradiance, ConstantEnvironmentStaysConstant)
{
    CubeMap source = datagen::renderCube(16, [](const Vec3&) { return Vec3(0.25f, 0.5f, 1.0f); });
    CubeMap diffuse = datagen::convolveIrradiance(source, 8);
    for (int f = 0; f < 6; ++f) {
        for (const Vec3& v : diffuse.faces[size_t(f)]) {
            ASSERT_NEAR(v.x, 0.25f, 0.0025f);
            ASSERT_NEAR(v.y, 0.5f, 0.005f);
            ASSERT_NEAR(v.z, 1.0f, 0.01f);
        }
    }
}

TEST(Irradiance, OneBrightDirectionPeaksThereAndFollowsTheCosine)
{
    const Vec3 light = datagen::normalize(Vec3(0.3f, 0.8f, -0.5f));
    CubeMap source = datagen::renderCube(32, [&](const Vec3& d) {
        return datagen::dot(d, light) > 0.995f ? Vec3(100.0f, 100.0f, 100.0f) : Vec3();
    });
    CubeMap diffuse = datagen::convolveIrradiance(source, 16);
    float best = -1.0f;
    Vec3 bestDirection;
    for (int f = 0; f < 6; ++f) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                if (diffuse.at(f, x, y).x > best) {
                    best = diffuse.at(f, x, y).x;
                    bestDirection = datagen::normalize(datagen::cubeDirection(f, (x + 0.5f) / 16, (y + 0.5f) / 16));
                }
            }
        }
    }
    EXPECT_GT(datagen::dot(bestDirection, light), 0.99f);
    Vec3 away = datagen::sampleCube(diffuse, light * -1.0f);
    EXPECT_NEAR(away.x, 0.0f, 1e-6f);
    // 60 degrees off the light: half the peak (cosine law).
    Vec3 side = datagen::normalize(datagen::cross(light, Vec3(0, 0, 1)));
    Vec3 sixty = datagen::normalize(light * 0.5f + side * 0.8660254f);
    float ratio = datagen::sampleCube(diffuse, sixty).x / datagen::sampleCube(diffuse, light).x;
    EXPECT_NEAR(ratio, 0.5f, 0.08f);
}

TEST(Environments, FacesMeetWithoutSeams)
{
    const datagen::Radiance environments[] = {datagen::livingRoomRadiance, datagen::spaceRadiance,
                                              datagen::studioRadiance, datagen::campusRadiance};
    for (const auto& radiance : environments) {
        CubeMap cube = datagen::renderCube(48, radiance);
        std::vector<datagen::Image> sharp = datagen::encodeFaces(cube, 1.0f);
        std::vector<datagen::Image> diffuse = datagen::encodeFaces(datagen::convolveIrradiance(datagen::downsample(cube, 3), 16), 1.0f);
        double across, inside;
        seamStatistics(sharp, &across, &inside);
        EXPECT_LT(across, inside * 1.6 + 1.0);
        seamStatistics(diffuse, &across, &inside);
        EXPECT_LT(across, inside * 1.6 + 1.0);
    }
}

TEST(Environments, SeamMeasureSeesFaceSteps)
{
    // A map whose faces were made independently (here: a brightness per face) fails the measure.
    CubeMap cube = datagen::renderCube(32, datagen::studioRadiance);
    for (int f = 0; f < 6; ++f) {
        for (Vec3& v : cube.faces[size_t(f)]) {
            v = v * (1.0f + 0.1f * f) + Vec3(0.02f, 0.02f, 0.02f) * float(f);
        }
    }
    double across, inside;
    seamStatistics(datagen::encodeFaces(cube, 1.0f), &across, &inside);
    EXPECT_GT(across, inside * 1.6 + 1.0);
}

TEST(Environments, DiffuseIsSmootherThanSharp)
{
    CubeMap cube = datagen::renderCube(64, datagen::studioRadiance);
    CubeMap diffuse = datagen::convolveIrradiance(datagen::downsample(cube, 2), 32);
    auto roughness = [](const CubeMap& c) {
        double sum = 0;
        for (int f = 0; f < 6; ++f) {
            for (int y = 0; y < c.size; ++y) {
                for (int x = 1; x < c.size; ++x) {
                    sum += std::fabs(c.at(f, x, y).x - c.at(f, x - 1, y).x) * c.size;
                }
            }
        }
        return sum / (6.0 * c.size * c.size);
    };
    EXPECT_LT(roughness(diffuse) * 5.0, roughness(cube));
}
