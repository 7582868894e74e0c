#include "core/capture_stream.h"

#include <cmath>
#include <cstring>

namespace {

// Element IDs keep their marker bits: they are written as they stand.
constexpr uint32_t ebmlId = 0x1A45DFA3;
constexpr uint32_t ebmlVersionId = 0x4286;
constexpr uint32_t ebmlReadVersionId = 0x42F7;
constexpr uint32_t ebmlMaxIdLengthId = 0x42F2;
constexpr uint32_t ebmlMaxSizeLengthId = 0x42F3;
constexpr uint32_t docTypeId = 0x4282;
constexpr uint32_t docTypeVersionId = 0x4287;
constexpr uint32_t docTypeReadVersionId = 0x4285;
constexpr uint32_t segmentId = 0x18538067;
constexpr uint32_t infoId = 0x1549A966;
constexpr uint32_t timecodeScaleId = 0x2AD7B1;
constexpr uint32_t muxingAppId = 0x4D80;
constexpr uint32_t writingAppId = 0x5741;
constexpr uint32_t tracksId = 0x1654AE6B;
constexpr uint32_t trackEntryId = 0xAE;
constexpr uint32_t trackNumberId = 0xD7;
constexpr uint32_t trackUidId = 0x73C5;
constexpr uint32_t trackTypeId = 0x83;
constexpr uint32_t codecId = 0x86;
constexpr uint32_t videoId = 0xE0;
constexpr uint32_t pixelWidthId = 0xB0;
constexpr uint32_t pixelHeightId = 0xBA;
constexpr uint32_t colourSpaceId = 0x2EB524;
constexpr uint32_t audioId = 0xE1;
constexpr uint32_t samplingFrequencyId = 0xB5;
constexpr uint32_t channelsId = 0x9F;
constexpr uint32_t bitDepthId = 0x6264;
constexpr uint32_t clusterId = 0x1F43B675;
constexpr uint32_t timecodeId = 0xE7;
constexpr uint32_t simpleBlockId = 0xA3;

constexpr uint8_t unknownSize[8] = {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr int masterSizeBytes = 8;
constexpr uint64_t nanosecondsPerTick = 1000;  // the timecode scale: 1 µs

void appendBytes(std::vector<uint8_t>& out, const void* data, size_t size)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

void appendId(std::vector<uint8_t>& out, uint32_t id)
{
    int bytes = 1;
    while (bytes < 4 && (id >> (8 * bytes)) != 0) {
        ++bytes;
    }
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(uint8_t(id >> (8 * i)));
    }
}

void appendUnsigned(std::vector<uint8_t>& out, uint32_t id, uint64_t value)
{
    int bytes = 1;
    while (bytes < 8 && (value >> (8 * bytes)) != 0) {
        ++bytes;
    }
    appendId(out, id);
    appendElementSize(out, uint64_t(bytes));
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(uint8_t(value >> (8 * i)));
    }
}

void appendFloat(std::vector<uint8_t>& out, uint32_t id, double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendId(out, id);
    appendElementSize(out, 8);
    for (int i = 7; i >= 0; --i) {
        out.push_back(uint8_t(bits >> (8 * i)));
    }
}

void appendString(std::vector<uint8_t>& out, uint32_t id, const char* text)
{
    const size_t size = std::strlen(text);
    appendId(out, id);
    appendElementSize(out, size);
    appendBytes(out, text, size);
}

// A master element whose size is written by endMaster once its children are in:
// eight size bytes, which EBML allows for any size.
size_t beginMaster(std::vector<uint8_t>& out, uint32_t id)
{
    appendId(out, id);
    out.insert(out.end(), masterSizeBytes, 0);
    return out.size();
}

void endMaster(std::vector<uint8_t>& out, size_t begin)
{
    const uint64_t size = uint64_t(out.size() - begin);
    uint8_t* field = out.data() + begin - masterSizeBytes;
    field[0] = 0x01;
    for (int i = 1; i < masterSizeBytes; ++i) {
        field[i] = uint8_t(size >> (8 * (masterSizeBytes - 1 - i)));
    }
}

void appendTrack(std::vector<uint8_t>& out, int number, int type, const char* codec)
{
    appendUnsigned(out, trackNumberId, uint64_t(number));
    appendUnsigned(out, trackUidId, uint64_t(number));
    appendUnsigned(out, trackTypeId, uint64_t(type));
    appendString(out, codecId, codec);
}

}  // namespace

void appendElementSize(std::vector<uint8_t>& out, uint64_t size)
{
    int bytes = 1;
    while (bytes < 8 && size >= (uint64_t(1) << (7 * bytes)) - 1) {
        ++bytes;
    }
    const uint64_t coded = size | (uint64_t(1) << (7 * bytes));
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(uint8_t(coded >> (8 * i)));
    }
}

void appendStreamHead(std::vector<uint8_t>& out, const CaptureStreamFormat& format)
{
    const size_t header = beginMaster(out, ebmlId);
    appendUnsigned(out, ebmlVersionId, 1);
    appendUnsigned(out, ebmlReadVersionId, 1);
    appendUnsigned(out, ebmlMaxIdLengthId, 4);
    appendUnsigned(out, ebmlMaxSizeLengthId, 8);
    appendString(out, docTypeId, "matroska");
    appendUnsigned(out, docTypeVersionId, 4);
    appendUnsigned(out, docTypeReadVersionId, 2);
    endMaster(out, header);

    appendId(out, segmentId);
    appendBytes(out, unknownSize, sizeof unknownSize);

    const size_t info = beginMaster(out, infoId);
    appendUnsigned(out, timecodeScaleId, nanosecondsPerTick);
    appendString(out, muxingAppId, "coredemo");
    appendString(out, writingAppId, "coredemo");
    endMaster(out, info);

    const size_t tracks = beginMaster(out, tracksId);
    const size_t video = beginMaster(out, trackEntryId);
    appendTrack(out, captureVideoTrack, 1, "V_UNCOMPRESSED");
    const size_t picture = beginMaster(out, videoId);
    appendUnsigned(out, pixelWidthId, uint64_t(format.width));
    appendUnsigned(out, pixelHeightId, uint64_t(format.height));
    appendId(out, colourSpaceId);
    appendElementSize(out, 4);
    appendBytes(out, "BGRA", 4);
    endMaster(out, picture);
    endMaster(out, video);
    if (format.sampleRate > 0) {
        const size_t music = beginMaster(out, trackEntryId);
        appendTrack(out, captureMusicTrack, 2, "A_PCM/FLOAT/IEEE");
        const size_t sound = beginMaster(out, audioId);
        appendFloat(out, samplingFrequencyId, double(format.sampleRate));
        appendUnsigned(out, channelsId, 2);
        appendUnsigned(out, bitDepthId, 32);
        endMaster(out, sound);
        endMaster(out, music);
    }
    endMaster(out, tracks);
}

void appendClusterHead(std::vector<uint8_t>& out, uint64_t microseconds)
{
    appendId(out, clusterId);
    appendBytes(out, unknownSize, sizeof unknownSize);
    appendUnsigned(out, timecodeId, microseconds);
}

void appendBlockHead(std::vector<uint8_t>& out, int track, uint64_t payloadBytes)
{
    // Track number (a one-byte size-style number), time relative to the cluster (0),
    // flags: a key frame, no lacing.
    const uint8_t head[4] = {uint8_t(0x80 | track), 0, 0, 0x80};
    appendId(out, simpleBlockId);
    appendElementSize(out, sizeof head + payloadBytes);
    appendBytes(out, head, sizeof head);
}

uint64_t captureFrameMicroseconds(int64_t index, int fps)
{
    return uint64_t(std::llround(double(index) * 1e6 / double(fps)));
}
