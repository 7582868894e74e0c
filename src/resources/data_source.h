// Where the Loader's entries come from: the zip archive, or a folder laid out like it
// (the same entry names as paths below the folder, '/' between folders).
//
// The Loader owns one source and applies the rules common to both (the name length,
// maxEntrySize, the messages); a source only finds, sizes and reads entries. Both
// match names ignoring letter case, so two names that differ only in letter case would
// make one of them unreachable: such names clash (clashes()). The Loader refuses a
// source that has clashes when it opens; on a rescan the folder keeps the name it had
// before and refuses the newcomer. The folder is scanned once when opened and again
// on rescan (the file watcher asks for it when files appear or disappear); a name that
// climbs out of the folder ("..", an absolute path) is never found, and neither is a
// symbolic link whose target lies outside it. A folder, FIFO, socket or device where a
// file is expected is not an entry either, and is never opened (a FIFO would block the
// read). Sizes are read at every lookup, so an entry rewritten in place reads whole.
// Used by one thread at a time.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A name refused because another name of the source differs from it only in letter case.
struct NameClash {
    std::string refused;  // letter case as stored
    std::string other;    // the other name
    bool otherInUse;      // the other name stays the entry (else it is refused as well)
};

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
    // Why `name` is absent when something stands in its place ("<path> is not a regular
    // file (a FIFO)", two names that clash); empty when there is simply nothing.
    virtual std::string whyAbsent(const char*) { return std::string(); }
    // The names refused for a clash, as of the last scan, in name order.
    virtual const std::vector<NameClash>& clashes() const = 0;
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
