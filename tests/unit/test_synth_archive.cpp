// The soundtrack as it ships: the entry in build/data.zip decodes to 197.5 s of 44.1 kHz
// stereo at about 160 kbit/s, with no sample above -0.3 dBFS and silence from 197 s on.
#include "datagen/music.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>
#include <zip.h>

#include <cmath>
#include <cstdio>

namespace {

TEST(SynthArchive, ShippedSoundtrackDecodesAsPromised)
{
    int error = 0;
    zip_t* archive = zip_open(CORE_BINARY_DIR "/data.zip", ZIP_RDONLY, &error);
    if (!archive) GTEST_SKIP() << "build/data.zip has not been generated";
    zip_stat_t stat;
    ASSERT_EQ(zip_stat(archive, "music/drovel-contemplation.ogg", 0, &stat), 0);
    std::vector<uint8_t> bytes(size_t(stat.size));
    zip_file_t* file = zip_fopen(archive, "music/drovel-contemplation.ogg", 0);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(zip_fread(file, bytes.data(), stat.size), zip_int64_t(stat.size));
    zip_fclose(file);
    zip_close(archive);

    datagen::VorbisInfo info;
    ASSERT_EQ(datagen::inspectVorbis(bytes, info), 0);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 44100);
    const double seconds = double(info.frames) / double(info.sampleRate);
    EXPECT_NEAR(seconds, 197.5, 0.1);
    EXPECT_LE(20.0 * std::log10(info.peak), -0.3);
    const double kbits = double(bytes.size()) * 8.0 / seconds / 1000.0;
    EXPECT_GT(kbits, 120.0);
    EXPECT_LT(kbits, 200.0);

    // Silence from 197 s: decode the last half second.
    std::FILE* tmp = std::tmpfile();
    ASSERT_NE(tmp, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), tmp);
    std::rewind(tmp);
    OggVorbis_File vf;
    ASSERT_EQ(ov_open(tmp, &vf, nullptr, 0), 0);
    ASSERT_EQ(ov_pcm_seek(&vf, ogg_int64_t(197.0 * 44100)), 0);
    float loudest = 0.0f;
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n <= 0) break;
        for (int c = 0; c < 2; ++c) {
            for (long i = 0; i < n; ++i) loudest = std::max(loudest, std::fabs(pcm[c][i]));
        }
    }
    ov_clear(&vf);  // closes tmp
    EXPECT_LT(loudest, 1e-3f);
}

}  // namespace
