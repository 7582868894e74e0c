// The data archive: every file the program uses is read by name out of data.zip, or
// out of a folder laid out like it (resources/data_source.h) when --data names one.
//
// One process-wide object (`loader`, globals.cpp), opened by main before anything else
// runs. Protocol for every consumer: n = fileSize(name); 0 means absent or empty (give
// up); allocate n bytes; readFile(name, &buffer) fills exactly n bytes (0 = success).
// Names are matched ignoring letter case; names longer than 259 characters are refused,
// and so are entries larger than maxEntrySize (no real entry comes near it; a damaged
// directory can claim gigabytes). readFile reads every entry to its end, so the
// archive's CRC is checked. Failures are noted for standard error (noteLoadFailure).
// The Loader never allocates or keeps a content buffer.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class DataSource;
struct NameClash;

class Loader {
public:
    // Scratch line buffer of the MMF parser (255 characters + terminator).
    char lineBuffer[256] = {};
    // (scene object vboID, GL buffer name) pairs of the scene geometry upload.
    std::vector<std::pair<uint32_t, uint32_t>> uploadedStreams;
    bool opened = false;

    Loader();
    ~Loader();
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    // Opens the archive, or the folder when `path` names one; on failure shows "Data
    // file not found." (caption "Loader::loader") and leaves `opened` false. Data with
    // names that differ only in letter case is refused the same way, the box naming
    // them ("Data folder refused: A and a differ only in letter case."). The archive
    // library is linked at build time, so there is no library to load at run time.
    void open(const char* path = "data.zip");
    void close();

    // Uncompressed size of the entry, or 0 when it is absent (logged: "file not found",
    // or what stands in its place, see whyAbsent), too large (logged) or empty.
    uint32_t fileSize(const char* name);
    // Decompresses the entry into *buffer (at least fileSize bytes) and checks its CRC.
    // 0 on success; 1 after the "decompressing file error" box when the data is
    // damaged, shorter or longer than the directory says, or its CRC does not match.
    int readFile(const char* name, char** buffer);

    // The consumers' whole protocol after fileSize: allocates `size` bytes into `bytes`
    // and reads the entry. 0 on success; 1 without memory (noted as "out of memory for
    // <size> bytes"); 2 when readFile failed (noted and shown by it).
    int readAll(const char* name, uint32_t size, std::unique_ptr<char[]>& bytes);
    // For a reader on another thread (the picture prefetch, resources/prefetch.h): the
    // whole entry into `bytes`, true when it was read to its end with a matching CRC.
    // Notes, logs and shows nothing. Never alongside another use of the Loader.
    bool readQuietly(const char* name, std::vector<char>& bytes);
    // For a reload while the demo runs: the whole entry into `bytes`; empty on success,
    // else why not (whyAbsent's reason, the size refusal, the read's problem). Notes,
    // logs and shows nothing.
    std::string readChecked(const char* name, std::vector<char>& bytes);
    // Names of the entries that start with `prefix` (letter case as stored), in
    // archive order; directories left out.
    std::vector<std::string> entryNames(const char* prefix);

    // The folder's path when the data is a folder, else empty.
    std::string folder() const;
    // A folder's files changed (added, removed, renamed): look them up again.
    void rescan();
    // Why an entry the lookup did not find is absent: "file not found", or what stands
    // in its place ("<path> is not a regular file (a FIFO)", names that clash).
    std::string whyAbsent(const char* name);
    // The folder's names refused since the last rescan because another name differs
    // from them only in letter case (data_source.h).
    const std::vector<NameClash>& nameClashes() const;

    static constexpr int maxNameLength = 259;
    static constexpr uint64_t maxEntrySize = 256u << 20;

private:
    std::unique_ptr<DataSource> source;
    // Index of the entry, -1 when absent (or the name is over-long), -2 when larger
    // than maxEntrySize; fills *size.
    int64_t find(const char* name, uint64_t* size);
};

extern Loader loader;
