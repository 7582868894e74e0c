// The one stream a video capture hands to ffmpeg: Matroska (EBML) carrying the raw
// frames and the music side by side, so the encoder reads a single pipe in order and
// never waits for one input while the program waits for the other.
//
// Layout: the header (EBML header, a Segment of unknown size, Info with a timecode
// scale of 1 µs, Tracks: track 1 raw BGRA frames of the picture's size, rows as GL
// reads them, track 2, when there is music, stereo 32-bit float samples at the music's
// rate), then one Cluster of unknown size per frame holding a SimpleBlock of the frame
// and one of exactly that frame's music. Unknown sizes let the stream be written as it
// goes, with nothing to patch afterwards.
//
// Plain functions appending bytes to the caller's buffer: they allocate only when the
// buffer's capacity is short, so a buffer reserved once (or kept from the previous
// frame and cleared) takes a frame's heads without allocating.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct CaptureStreamFormat {
    int width = 0;
    int height = 0;
    int sampleRate = 0;  // the music's; 0: no music track
};

constexpr int captureVideoTrack = 1;
constexpr int captureMusicTrack = 2;

// Appends the EBML header, the opening of the Segment, Info and Tracks.
void appendStreamHead(std::vector<uint8_t>& out, const CaptureStreamFormat& format);
// Appends the opening of the Cluster of a frame shown `microseconds` into the stream.
void appendClusterHead(std::vector<uint8_t>& out, uint64_t microseconds);
// Appends the head of a SimpleBlock of `track` (a key frame, at its cluster's time)
// whose payload of `payloadBytes` the caller writes right after it.
void appendBlockHead(std::vector<uint8_t>& out, int track, uint64_t payloadBytes);
// The time of a capture's frame `index` at `fps`, in the stream's microseconds.
uint64_t captureFrameMicroseconds(int64_t index, int fps);
// The bytes of an element size as EBML writes it: the shortest form whose value bits
// are not all ones (that form means "unknown size").
void appendElementSize(std::vector<uint8_t>& out, uint64_t size);
