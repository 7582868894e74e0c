// The swarm's records: the draws of init against the shared generator, and the
// constructor's defaults.
#include "effects/blobs.h"
#include "effects/sfmt.h"

#include <gtest/gtest.h>

#include <vector>

TEST(BlobsRecords, CreateDrawsFourValuesPerBlobInOrder)
{
    seedRandom(12345);
    Sfmt19937 reference;
    reference.seed(12345);
    auto draw = [&reference] { return unitFromWord(reference.next()); };

    std::vector<Blob> blobs;
    createBlobs(blobs, 64);
    ASSERT_EQ(blobs.size(), 64u);
    for (size_t i = 0; i < blobs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(blobs[i].x, (draw() - 0.5f) * 70.0f);
        EXPECT_EQ(blobs[i].y, (draw() - 0.5f) * 70.0f);
        EXPECT_EQ(blobs[i].z, (draw() - 0.5f) * 70.0f);
        EXPECT_EQ(blobs[i].s, 0.5f + 40.0f * draw());
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_EQ(randomUnit(), draw()) << "exactly 256 draws";
}

TEST(BlobsRecords, ValuesStayInTheirRanges)
{
    seedRandom(12345);
    std::vector<Blob> blobs;
    createBlobs(blobs, 64);
    for (const Blob& b : blobs) {
        for (float p : {b.x, b.y, b.z}) {
            EXPECT_GE(p, -35.0f);
            EXPECT_LE(p, 35.0f);
        }
        EXPECT_GE(b.s, 0.5f);
        EXPECT_LE(b.s, 40.5f);
    }
}

TEST(BlobsRecords, ConstructorSetsDefaultsOnly)
{
    seedRandom(12345);
    Sfmt19937 reference;
    reference.seed(12345);
    {
        Blobs part;
        EXPECT_EQ(part.blobCount, 64u);
        EXPECT_TRUE(part.blobs.empty());
        EXPECT_EQ(part.lastCut, 0.0f);
        const CameraBlock& c = part.camera;
        EXPECT_EQ(c.camX, 0.0f);
        EXPECT_EQ(c.camY, -3.5f);
        EXPECT_EQ(c.camZ, -30.0f);
        EXPECT_EQ(c.camP, 0.0f);
        EXPECT_EQ(c.camH, 25.0f);
        EXPECT_EQ(c.camB, 30.0f);
        EXPECT_EQ(c.fovy, 70.0f);
        EXPECT_EQ(c.zFar, 140.0f);
        EXPECT_EQ(part.indexBuffer, 0u);
        EXPECT_EQ(part.overlayTexture.crc, 0u);
    }  // destroying an uninitialised part touches no GL
    EXPECT_EQ(randomUnit(), unitFromWord(reference.next())) << "constructors draw nothing";
}
