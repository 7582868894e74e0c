// The data archive: every file the program uses is read by name out of data.zip.
//
// One process-wide object (`loader`, globals.cpp), opened by main before anything else
// runs. Protocol for every consumer: n = fileSize(name); 0 means absent or empty (give
// up); allocate n bytes; readFile(name, &buffer) fills exactly n bytes (0 = success).
// Names are matched ignoring letter case; names longer than 259 characters are refused.
// The Loader never allocates or keeps a content buffer.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

struct zip;

class Loader {
public:
    // Scratch line buffer of the MMF parser (255 characters + terminator).
    char lineBuffer[256] = {};
    // (scene object vboID, GL buffer name) pairs of the scene geometry upload.
    std::vector<std::pair<uint32_t, uint32_t>> uploadedStreams;
    bool opened = false;

    Loader() = default;
    ~Loader();
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    // Opens the archive; on failure shows "Data file not found." (caption
    // "Loader::loader") and leaves `opened` false. The archive library is linked at
    // build time, so there is no library to load at run time.
    void open(const char* path = "data.zip");
    void close();

    // Uncompressed size of the entry, or 0 when it is absent (logged) or empty.
    uint32_t fileSize(const char* name);
    // Decompresses the entry into *buffer (at least fileSize bytes). 0 on success.
    int readFile(const char* name, char** buffer);

    static constexpr int maxNameLength = 259;

private:
    zip* archive = nullptr;
    // Index of the entry or -1; fills *size. Refuses over-long names.
    int64_t find(const char* name, uint64_t* size);
};

extern Loader loader;
