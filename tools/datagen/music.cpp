#include "datagen/music.h"

#include "datagen/synth/render.h"

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace datagen {

namespace {

const char* const kScorePath = "music/drovel-contemplation.score";
const char* const kEntryName = "music/drovel-contemplation.ogg";
const int kStreamSerial = 0x436f7265;
// A little under the promised -0.3 dBFS, so other decoders' rounding cannot cross it.
const float kPeakLimitDb = -0.4f;

struct MemoryStream {
    const std::vector<uint8_t>* bytes;
    size_t at;
};

size_t memoryRead(void* dst, size_t size, size_t count, void* source)
{
    auto* m = static_cast<MemoryStream*>(source);
    size_t n = std::min(size * count, m->bytes->size() - m->at);
    std::memcpy(dst, m->bytes->data() + m->at, n);
    m->at += n;
    return size ? n / size : 0;
}

int memorySeek(void* source, ogg_int64_t offset, int whence)
{
    auto* m = static_cast<MemoryStream*>(source);
    ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? ogg_int64_t(m->at) : ogg_int64_t(m->bytes->size());
    ogg_int64_t to = base + offset;
    if (to < 0 || to > ogg_int64_t(m->bytes->size())) return -1;
    m->at = size_t(to);
    return 0;
}

long memoryTell(void* source) { return long(static_cast<MemoryStream*>(source)->at); }

void appendPage(const ogg_page& page, std::vector<uint8_t>& out)
{
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

// Takes every finished block out of the encoder and into pages.
void drainBlocks(vorbis_dsp_state& dsp, vorbis_block& block, ogg_stream_state& stream, std::vector<uint8_t>& out)
{
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
        vorbis_analysis(&block, nullptr);
        vorbis_bitrate_addblock(&block);
        while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
            ogg_stream_packetin(&stream, &packet);
            while (ogg_stream_pageout(&stream, &page) != 0) appendPage(page, out);
        }
    }
}

// The one encoder behind both entry points: sample i of channel c is channelData[c][i * stride],
// so planar channels (stride 1) and interleaved ones (stride = channels) need no copy.
int encodeChannels(const float* const* channelData, int channels, size_t stride, size_t frames, int sampleRate,
                   float quality, const std::string& title, std::vector<uint8_t>& out, std::string& error)
{
    out.clear();
    if (channels < 1 || channels > 2 || sampleRate <= 0) {
        error = "the Vorbis encoder takes one or two channels at a positive rate";
        return 1;
    }
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, sampleRate, quality) != 0) {
        vorbis_info_clear(&info);
        error = "the Vorbis encoder refused the stream settings";
        return 1;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "TITLE", title.c_str());
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, kStreamSerial);
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) appendPage(page, out);

    const size_t chunk = 4096;
    for (size_t at = 0; at < frames; at += chunk) {
        const size_t n = std::min(chunk, frames - at);
        float** buffer = vorbis_analysis_buffer(&dsp, int(n));
        for (int c = 0; c < channels; ++c) {
            const float* from = channelData[c] + at * stride;
            for (size_t i = 0; i < n; ++i) buffer[c][i] = from[i * stride];
        }
        vorbis_analysis_wrote(&dsp, int(n));
        drainBlocks(dsp, block, stream, out);
    }
    vorbis_analysis_wrote(&dsp, 0);
    drainBlocks(dsp, block, stream, out);
    while (ogg_stream_flush(&stream, &page) != 0) appendPage(page, out);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return 0;
}

}  // namespace

int encodeVorbis(const std::vector<float>& left, const std::vector<float>& right, int sampleRate, float quality,
                 const std::string& title, std::vector<uint8_t>& out, std::string& error)
{
    const float* channels[] = {left.data(), right.data()};
    return encodeChannels(channels, 2, 1, std::min(left.size(), right.size()), sampleRate, quality, title, out,
                          error);
}

std::vector<uint8_t> encodeOggVorbis(const std::vector<float>& interleaved, int channels, int rate, float quality)
{
    std::vector<uint8_t> out;
    std::string error;
    if (channels < 1 || channels > 2) return out;
    const size_t frames = interleaved.size() / size_t(channels);
    const float* start[] = {interleaved.data(), interleaved.data() + (channels > 1 && frames > 0 ? 1 : 0)};
    if (encodeChannels(start, channels, size_t(channels), frames, rate, quality, "test signal", out, error) != 0) {
        out.clear();
    }
    return out;
}

int inspectVorbis(const std::vector<uint8_t>& bytes, VorbisInfo& info)
{
    info = VorbisInfo();
    MemoryStream stream{&bytes, 0};
    ov_callbacks callbacks{memoryRead, memorySeek, nullptr, memoryTell};
    OggVorbis_File file;
    if (ov_open_callbacks(&stream, &file, nullptr, 0, callbacks) != 0) return 1;
    vorbis_info* vi = ov_info(&file, -1);
    info.channels = vi->channels;
    info.sampleRate = vi->rate;
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        long n = ov_read_float(&file, &pcm, 4096, &section);
        if (n == 0) break;
        if (n < 0) {
            ov_clear(&file);
            return 1;
        }
        for (int c = 0; c < info.channels; ++c) {
            for (long i = 0; i < n; ++i) info.peak = std::max(info.peak, std::fabs(pcm[c][i]));
        }
        info.frames += n;
    }
    ov_clear(&file);
    return 0;
}

void generateMusic(const Context& context, std::vector<Asset>& out)
{
    std::vector<uint8_t> source = readSource(context, kScorePath);
    synth::Score score;
    std::string error;
    if (synth::parseScore(std::string(source.begin(), source.end()), score, error)) {
        throw std::runtime_error(std::string(kScorePath) + ": " + error);
    }
    synth::Rendering rendering;
    synth::renderScore(score, rendering, 2);
    Asset asset;
    asset.name = kEntryName;
    const float limit = synth::dbToGain(kPeakLimitDb);
    for (int attempt = 0;; ++attempt) {
        if (encodeVorbis(rendering.left, rendering.right, int(score.sampleRate), 0.5f, "Drovel Contemplation",
                         asset.bytes, error)) {
            throw std::runtime_error(error);
        }
        VorbisInfo info;
        if (inspectVorbis(asset.bytes, info)) throw std::runtime_error("the encoded soundtrack does not decode");
        if (info.peak <= limit || attempt == 3) break;
        const float scale = limit / info.peak * 0.98f;
        for (float& v : rendering.left) v *= scale;
        for (float& v : rendering.right) v *= scale;
    }
    out.push_back(std::move(asset));
}

}  // namespace datagen
