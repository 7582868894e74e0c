// The capture's stream to the encoder, read back with a small EBML walker: sizes at the
// edges of each length, and a head whose every element spans exactly its children.
#include "core/capture_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Reads an EBML number at `at` (an ID keeps its marker, a size loses it); 0 bytes when
// the first byte has no marker.
uint64_t readNumber(const Bytes& in, size_t& at, bool keepMarker, int* length = nullptr)
{
    int bytes = 1;
    while (bytes <= 8 && !(in[at] & (0x80 >> (bytes - 1)))) {
        ++bytes;
    }
    uint64_t value = keepMarker ? in[at] : in[at] & (0xFF >> bytes);
    for (int i = 1; i < bytes; ++i) {
        value = value << 8 | in[at + size_t(i)];
    }
    at += size_t(bytes);
    if (length) {
        *length = bytes;
    }
    return value;
}

// The elements of in[begin, end) as "id:size" or, for the masters named, "id[...]"; an
// element running past `end` shows as "OVERRUN".
std::string walk(const Bytes& in, size_t begin, size_t end, const std::vector<uint64_t>& masters)
{
    std::string out;
    for (size_t at = begin; at < end;) {
        const uint64_t id = readNumber(in, at, true);
        const uint64_t size = readNumber(in, at, false);
        if (at + size > end) {
            return out + "OVERRUN";
        }
        char text[32];
        std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(id));
        out += text;
        bool master = false;
        for (uint64_t m : masters) {
            master = master || m == id;
        }
        if (master) {
            out += "[" + walk(in, at, at + size, masters) + "]";
        } else {
            out += ":" + std::to_string(size);
        }
        out += " ";
        at += size;
    }
    return out;
}

}  // namespace

TEST(CaptureStream, SizesTakeTheShortestFormThatIsNotUnknown)
{
    const struct {
        uint64_t size;
        int bytes;
    } rows[] = {{0, 1},     {126, 1},     {127, 2},          {16382, 2},         {16383, 3},
                {2097150, 3}, {2097151, 4}, {(1ull << 49) - 2, 7}, {(1ull << 56) - 2, 8}};
    for (const auto& row : rows) {
        Bytes out;
        appendElementSize(out, row.size);
        size_t at = 0;
        int length = 0;
        EXPECT_EQ(readNumber(out, at, false, &length), row.size) << row.size;
        EXPECT_EQ(length, row.bytes) << row.size;
        EXPECT_EQ(out.size(), size_t(row.bytes)) << row.size;
    }
}

TEST(CaptureStream, HeadAndClustersNestAsMatroskaSays)
{
    // EBML header, Info, Tracks, a track entry, its Video and Audio: masters of known size.
    const std::vector<uint64_t> masters = {0x1A45DFA3, 0x1549A966, 0x1654AE6B, 0xAE, 0xE0, 0xE1};
    for (int rate : {0, 48000}) {
        Bytes head;
        appendStreamHead(head, {322, 181, rate});
        // The Segment's size is unknown (all ones): the rest of the stream is its body.
        const Bytes segment = {0x18, 0x53, 0x80, 0x67, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        const auto found = std::search(head.begin(), head.end(), segment.begin(), segment.end());
        ASSERT_NE(found, head.end()) << rate;
        const size_t body = size_t(found - head.begin()) + segment.size();
        const std::string before = walk(head, 0, size_t(found - head.begin()), masters);
        const std::string after = walk(head, body, head.size(), masters);
        EXPECT_EQ(before, "1a45dfa3[4286:1 42f7:1 42f2:1 42f3:1 4282:8 4287:1 4285:1 ] ") << rate;
        std::string tracks = "1549a966[2ad7b1:2 4d80:8 5741:8 ] 1654ae6b[ae[d7:1 73c5:1 83:1 86:14 e0[b0:2 ba:1 "
                             "2eb524:4 ] ] ";
        if (rate > 0) {
            tracks += "ae[d7:1 73c5:1 83:1 86:16 e1[b5:8 9f:1 6264:1 ] ] ";
        }
        EXPECT_EQ(after, tracks + "] ") << rate;
    }

    // A cluster of unknown size holds its time and the blocks that follow the heads.
    Bytes cluster;
    appendClusterHead(cluster, captureFrameMicroseconds(2, 30));
    appendBlockHead(cluster, captureVideoTrack, 200);
    cluster.insert(cluster.end(), 200, 0x7F);
    size_t at = 0;
    EXPECT_EQ(readNumber(cluster, at, true), 0x1F43B675u);
    int length = 0;
    EXPECT_EQ(readNumber(cluster, at, false, &length), (1ull << 56) - 1) << "not the unknown size";
    EXPECT_EQ(walk(cluster, at, cluster.size(), {}), "e7:3 a3:204 ");
    EXPECT_EQ(captureFrameMicroseconds(2, 30), 66667u);
    EXPECT_EQ(captureFrameMicroseconds(999, 1000), 999000u);
    EXPECT_EQ(cluster[at + 2] << 16 | cluster[at + 3] << 8 | cluster[at + 4], 66667);
    EXPECT_EQ(cluster[at + 8], 0x80 | captureVideoTrack) << "the block's track (after a two-byte size)";
}
