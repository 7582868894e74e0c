// Where the Loader's entries come from: the zip archive, or a folder laid out like it
// (the same entry names as paths below the folder, '/' between folders).
//
// The Loader owns one source and applies the rules common to both (the name length,
// maxEntrySize, the messages); a source only finds, sizes and reads entries. Both
// match names ignoring letter case. The folder is scanned once when opened and again
// on rescan (the file watcher asks for it when files appear or disappear); a name that
// climbs out of the folder ("..", an absolute path) is never found, and neither is a
// symbolic link whose target lies outside it. Sizes are read at every lookup, so an
// entry rewritten in place reads whole. Used by one thread at a time.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DataSource {
public:
    virtual ~DataSource() = default;
    // Index of the entry (valid until the next rescan), -1 when absent; fills *size.
    virtual int64_t locate(const char* name, uint64_t* size) = 0;
    // Reads `size` bytes of entry `index` into buffer and makes sure the entry ends
    // there (the archive checks its CRC); empty on success, else what went wrong.
    virtual std::string read(int64_t index, uint64_t size, char* buffer) = 0;
    // Every entry's name (letter case as stored), in the source's order; no folders.
    virtual std::vector<std::string> names() = 0;
    // The folder: looks at its files again. The archive never changes.
    virtual void rescan() {}
    // The folder's path as given; empty for the archive.
    virtual std::string folder() const { return std::string(); }
};

// Null when the file cannot be opened as a zip archive.
std::unique_ptr<DataSource> openZipSource(const char* path);
// Null when `path` is not a readable folder.
std::unique_ptr<DataSource> openFolderSource(const char* path);
// True when `path` names a folder (the Loader then opens it as one).
bool isFolder(const char* path);
// The key an entry name is matched by: the name in lower case.
std::string entryKey(std::string name);
