#include "datagen/test_music.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdint>

namespace datagen {
namespace {

constexpr double twoPi = 6.283185307179586;

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
        while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
            ogg_stream_packetin(&stream, &packet);
            while (ogg_stream_pageout(&stream, &page)) {
                appendPage(page, out);
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> encodeOggVorbis(const std::vector<float>& interleaved, int channels, int rate, float quality)
{
    std::vector<uint8_t> out;
    if (channels < 1 || channels > 2 || rate <= 0) {
        return out;
    }
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "ENCODER", "datagen");
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x436f7265);  // fixed serial number: same bytes on every run

    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) {
        appendPage(page, out);
    }

    const long frames = long(interleaved.size() / size_t(channels));
    const long chunk = 4096;
    for (long start = 0; start < frames; start += chunk) {
        long count = frames - start < chunk ? frames - start : chunk;
        float** buffer = vorbis_analysis_buffer(&dsp, int(count));
        for (long i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) {
                buffer[c][i] = interleaved[size_t((start + i) * channels + c)];
            }
        }
        vorbis_analysis_wrote(&dsp, int(count));
        drainBlocks(dsp, block, stream, out);
    }
    vorbis_analysis_wrote(&dsp, 0);
    drainBlocks(dsp, block, stream, out);
    while (ogg_stream_flush(&stream, &page)) {
        appendPage(page, out);
    }

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

std::vector<float> renderTestPiece(float seconds, int rate)
{
    const long frames = long(seconds * rate);
    std::vector<float> out(size_t(frames) * 2, 0.0f);
    const double beat = 0.5;  // 120 beats per minute
    // Chord roots per four bars (16 beats), in Hz; the fifth above sounds with each.
    const double roots[] = {110.0, 146.83, 130.81, 98.0};
    uint32_t noise = 12345;
    for (long i = 0; i < frames; ++i) {
        double t = double(i) / rate;
        long beatIndex = long(t / beat);
        double inBeat = t - beatIndex * beat;
        // Kick: a sine falling from 90 Hz to 45 Hz, gone after a quarter of the beat.
        double kickPhase = twoPi * (45.0 * inBeat + 45.0 * 0.04 * (1.0 - std::exp(-inBeat / 0.04)));
        double kick = 0.55 * std::exp(-inBeat / 0.09) * std::sin(kickPhase);
        // Click: a short noise burst halfway between beats.
        noise = noise * 1664525u + 1013904223u;
        double offBeat = inBeat - beat * 0.5;
        double click = offBeat >= 0.0 && offBeat < 0.01 ? 0.25 * (double(noise >> 8) / 8388608.0 - 1.0) *
                                                             (1.0 - offBeat / 0.01)
                                                       : 0.0;
        double root = roots[(beatIndex / 16) % 4];
        double fade = std::fmin(1.0, std::fmin(t / 2.0, (seconds - t) / 2.0));
        double chordLeft = 0.12 * std::sin(twoPi * root * t) + 0.06 * std::sin(twoPi * root * 1.5 * t);
        double chordRight = 0.12 * std::sin(twoPi * root * 1.5 * t) + 0.06 * std::sin(twoPi * root * 2.0 * t);
        out[size_t(i) * 2] = float(kick + click + fade * chordLeft);
        out[size_t(i) * 2 + 1] = float(kick + click + fade * chordRight);
    }
    return out;
}

void generateTestMusic(const Context& /*context*/, std::vector<Asset>& out)
{
    const int rate = 44100;
    out.push_back({"music/drovel-contemplation.ogg", encodeOggVorbis(renderTestPiece(197.0f, rate), 2, rate, 0.3f)});
}

}  // namespace datagen
